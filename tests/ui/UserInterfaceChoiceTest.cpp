#include "ui/UserInterfaceChoice.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

TEST(UserInterfaceChoiceTest, SettingFirstThenTheDisplay) {
    struct Case {
        const char *ui, *display, *wayland;
        UserInterfaceKind kind;
    };
    const Case cases[] = {
        {nullptr, nullptr, nullptr, UserInterfaceKind::kConsole},
        {nullptr, ":0", nullptr, UserInterfaceKind::kDesktop},
        {"", "", "wayland-0", UserInterfaceKind::kDesktop},
        {"console", ":0", nullptr, UserInterfaceKind::kConsole},
        {"qt", nullptr, nullptr, UserInterfaceKind::kDesktop},
        {"fancy", nullptr, "", UserInterfaceKind::kConsole},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ChooseUserInterface(c.ui, c.display, c.wayland), c.kind)
            << (c.ui ? c.ui : "-") << " " << (c.display ? c.display : "-") << " "
            << (c.wayland ? c.wayland : "-");
    }
}

}  // namespace
}  // namespace quillon
