#include "ui/MessageBoxLayout.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace quillon::testing {
namespace {

TEST(MessageBoxLayoutTest, SizesFromTextButtonsAndCheckBox) {
    const std::tuple<std::string, bool, int, bool, const char*> cases[] = {
        // large fonts, buttons, check box
        {"x", false, 1, false, "210x140"},
        {"x", false, 2, false, "260x140"},
        {"x", false, 3, false, "330x140"},
        {"x", false, 1, true, "340x170"},
        {"x", true, 1, true, "400x178"},          // 13 * 1.227 rounds to 16: 26 + 7, 107, 38
        {"a\nb\nc", false, 1, false, "210x163"},  // three lines: 39 + 10 + 7 + 107
        {std::string(40, 'W'), false, 1, false, "510x140"},
    };
    for (const auto& [text, largeFonts, buttons, checkBox, size] : cases) {
        BoxLayout layout = LayoutBox(text, largeFonts, buttons, checkBox);
        EXPECT_EQ(std::to_string(layout.WindowWidth) + "x" + std::to_string(layout.WindowHeight), size)
            << text << " " << largeFonts << buttons << checkBox;
    }
    EXPECT_EQ(NormaliseLineBreaks("a\nb\r\nc\n"), "a\r\nb\r\nc\r\n");
}

}  // namespace
}  // namespace quillon::testing
