// quillon-run: the program as users start it. Answers the long options (--help, --version, --check,
// --dry-run; an unknown one ends it with status 2), then runs the backup on the console. When there is
// a display (or QUILLON_UI=qt) it hands the process over to the desktop program beside it, which shows
// the dialogs; this program loads nothing of the desktop, so that a run at the console, from a timer or
// a service starts at once. Should the desktop program be missing or fail to start, the run takes place
// on the console. The system's requests to end (SIGTERM, SIGINT, SIGHUP) go to the application object
// as messages of its loop.
#include <optional>
#include <string>

#include "platform/ProgramHandOver.h"
#include "platform/ProgramLocation.h"
#include "platform/TerminationSignals.h"
#include "platform/Trace.h"
#include "program/ProgramStart.h"

namespace {

std::string DesktopProgram() {
    return quillon::NativeProgramDirectory() + "/" + quillon::kDesktopProgramName;
}

// The desktop's library as the desktop program names it in its --version, when that program is there.
std::string DesktopLibrary() {
    return quillon::IsNativeRegularFile(DesktopProgram()) ? "Qt " QUILLON_DESKTOP_QT_VERSION : "";
}

}  // namespace

int main(int argc, char** argv) {
    using namespace quillon;
    LongOptions options;
    if (std::optional<int> exitCode = StartProgram(argc, argv, DesktopLibrary, options)) {
        return *exitCode;
    }
    if (DesktopWanted()) {
        const std::string desktop = DesktopProgram();
        const std::string reason = ReplaceProgram(desktop, argv);
        Trace("*** %s nicht startbar (%s): Konsole statt Desktop\n", desktop.c_str(), reason.c_str());
    }
    // Before any thread exists, so that every thread inherits the blocked signals.
    TerminationSignals endSignals;
    return RunOnConsole(options.Rest, endSignals);
}
