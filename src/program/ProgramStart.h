// What the two programs share: quillon-run, the console program, which never loads the desktop's
// libraries, and quillon-run-desktop beside it, which shows the dialogs and which the console program
// hands the process over to when there is a display. Both answer the long options and run on the
// console the same way. Main's thread only.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/LongOptions.h"

namespace quillon {

class TerminationSignals;

// The file name of the desktop program, in the console program's folder.
inline constexpr char kDesktopProgramName[] = "quillon-run-desktop";

// The desktop's library as --version names it ("Qt 6.4.2"), or "" when there is none.
using DesktopLibraryName = std::string (*)();

// First thing in main, before any thread exists: the process-wide settings of a run, then the arguments
// (main's argc and argv) sorted into options. Answers the exit code when an option ends the program: an
// unknown one (status 2), --help, --version (desktopLibrary is asked only then: its answer, when not
// empty, is the last line), --check, --dry-run; nothing when a run follows. None of them changes
// anything, so they run before the signals are taken over: Ctrl-C ends them at once.
std::optional<int> StartProgram(int argc, char** argv, DesktopLibraryName desktopLibrary, LongOptions& options);

// True when the environment asks for the desktop's dialogs (QUILLON_UI, DISPLAY, WAYLAND_DISPLAY).
bool DesktopWanted();

// Runs the program on the console with the '/' switches; answers its exit code. The application object
// takes the signals while it runs.
int RunOnConsole(const std::vector<std::string>& switches, TerminationSignals& endSignals);

}  // namespace quillon
