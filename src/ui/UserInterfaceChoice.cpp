#include "ui/UserInterfaceChoice.h"

#include <string_view>

namespace quillon {
namespace {

bool IsSet(const char* value) {
    return value != nullptr && *value != '\0';
}

}  // namespace

UserInterfaceKind ChooseUserInterface(const char* quillonUi, const char* display,
                                      const char* waylandDisplay) {
    if (IsSet(quillonUi)) {
        std::string_view choice(quillonUi);
        if (choice == "console") {
            return UserInterfaceKind::kConsole;
        }
        if (choice == "qt") {
            return UserInterfaceKind::kDesktop;
        }
    }
    return IsSet(display) || IsSet(waylandDisplay) ? UserInterfaceKind::kDesktop
                                                   : UserInterfaceKind::kConsole;
}

}  // namespace quillon
