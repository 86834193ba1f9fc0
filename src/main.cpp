// quillon-run: the program. Puts the layers together: the message loop, the user interface, the
// application object; then hands over to the application until the program ends. The desktop's
// dialogs serve when a display is there (or QUILLON_UI=qt), the console otherwise (or QUILLON_UI=console),
// also when the display named cannot be opened. The system's requests to end (SIGTERM, SIGINT, SIGHUP)
// go to the application object as messages of its loop. The long options (--help, --version, --check,
// --dry-run) are answered before any of that, and an unknown one ends the program with status 2.
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "app/CheckOption.h"
#include "app/CommandLine.h"
#include "app/DryRunOption.h"
#include "app/LongOptions.h"
#include "app/QuillonRunApp.h"
#include "app/TimerLoop.h"
#include "platform/LibraryVersions.h"
#include "platform/LocalTime.h"
#include "platform/ProcessMemory.h"
#include "platform/TerminationSignals.h"
#include "support/MessageBox.h"
#include "ui/ConsolePresenter.h"
#include "ui/UserInterfaceChoice.h"
#include "ui/qt/DesktopProgram.h"

namespace {

int RunOnConsole(const std::vector<std::string>& switches, quillon::TerminationSignals& endSignals) {
    using namespace quillon;
    TimerLoop loop(TimerLoop::Time::kReal);
    ConsolePresenter presenter(StandardConsoleStreams());
    SetMessageBoxPresenter(MessageBoxesOnLoopThread(loop, presenter.BoxPresenter()));

    CQuillonRunApp app(loop, presenter);
    app.CommandLine = CommandLineFromArguments(switches);
    endSignals.SetHandler([&app](int signal) { app.RequestTermination(signal); });
    int exitCode = app.Run();

    endSignals.SetHandler(nullptr);
    SetMessageBoxPresenter(nullptr);
    return exitCode;
}

// The options that end the program before a run; nothing when a run (or the desktop) follows.
std::optional<int> AnswerOptions(const quillon::LongOptions& options) {
    using namespace quillon;
    if (!options.Unknown.empty()) {
        std::fprintf(stderr,
                     "quillon-run: unknown option '%s'\nTry 'quillon-run --help' for more information.\n",
                     options.Unknown.c_str());
        return 2;
    }
    if (options.Help) {
        std::fputs(UsageText().c_str(), stdout);
        return 0;
    }
    if (options.Version) {
        std::string text = VersionLine() + "\n";
        for (const std::string& library : LibraryVersions()) {
            text += "  " + library + "\n";
        }
        text += "  " + DesktopLibraryVersion() + "\n";
        std::fputs(text.c_str(), stdout);
        return 0;
    }
    if (options.Check) {
        return RunCheckOption(options, stdout, stderr);
    }
    if (options.DryRun) {
        return RunDryRunOption(options, stdout, stderr);
    }
    return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace quillon;
    // Every date of a control file is converted; without this each conversion looks at the zone file
    // again. It sets TZ, so it comes before any thread exists.
    PinLocalTimeZone();
    ShareOneMemoryArena();
    // Before any thread exists, so that every thread inherits the blocked signals.
    TerminationSignals endSignals;
    LongOptions options = ParseLongOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (std::optional<int> exitCode = AnswerOptions(options)) {
        return *exitCode;
    }
    UserInterfaceKind kind = ChooseUserInterface(std::getenv("QUILLON_UI"), std::getenv("DISPLAY"),
                                                 std::getenv("WAYLAND_DISPLAY"));
    if (kind == UserInterfaceKind::kDesktop) {
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
