// quillon-run-desktop: the program with the desktop's dialogs, which quillon-run hands the process
// over to when there is a display; started by itself it behaves the same. It answers the long options
// as quillon-run does, then shows the progress window, the message boxes and the list of files not
// copied. When the display cannot be opened (or QUILLON_UI=console) the run takes place on the console.
#include <optional>
#include <string>
#include <vector>

#include "platform/TerminationSignals.h"
#include "program/ProgramStart.h"
#include "ui/qt/DesktopProgram.h"

int main(int argc, char** argv) {
    using namespace quillon;
    LongOptions options;
    if (std::optional<int> exitCode = StartProgram(argc, argv, DesktopLibraryVersion, options)) {
        return *exitCode;
    }
    // Before any thread exists, so that every thread inherits the blocked signals.
    TerminationSignals endSignals;
    if (DesktopWanted()) {
        std::vector<char*> arguments{argv[0]};
        for (std::string& word : options.Rest) {
            arguments.push_back(word.data());
        }
        arguments.push_back(nullptr);
        if (std::optional<int> exitCode =
                RunOnDesktop(static_cast<int>(arguments.size()) - 1, arguments.data(), endSignals)) {
            return *exitCode;
        }
    }
    return RunOnConsole(options.Rest, endSignals);
}
