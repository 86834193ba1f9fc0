// Which user interface the program shows: dialogs on the desktop, or texts on the console.
// Stateless; any thread.
#pragma once

namespace quillon {

enum class UserInterfaceKind { kConsole, kDesktop };

// quillonUi is the value of QUILLON_UI: "console" or "qt" decides. Otherwise (unset, empty or any
// other value) the desktop is chosen when display or waylandDisplay (DISPLAY, WAYLAND_DISPLAY) names
// one, and the console without a display. Null pointers count as unset.
UserInterfaceKind ChooseUserInterface(const char* quillonUi, const char* display, const char* waylandDisplay);

}  // namespace quillon
