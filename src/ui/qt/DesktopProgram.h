// The program on the desktop: the Qt application object, the message loop on its event loop, the
// dialogs, and the application object run on them: the desktop program's main calls it and includes
// nothing of Qt itself. Call from main's thread only.
#pragma once

#include <optional>
#include <string>

namespace quillon {

class TerminationSignals;

// Runs the program with main's arguments (Qt's own options are taken out first); answers the exit code.
// Nothing (and nothing done) when no display can be opened: the caller runs on the console instead.
// The application object takes the signals while it runs.
std::optional<int> RunOnDesktop(int argc, char** argv, TerminationSignals& endSignals);

// "Qt 6.4.2": the version of the Qt library in use, for --version.
std::string DesktopLibraryVersion();

}  // namespace quillon
