#include "program/ProgramStart.h"

#include <cstdio>
#include <cstdlib>

#include "app/CheckOption.h"
#include "app/CommandLine.h"
#include "app/DryRunOption.h"
#include "app/QuillonRunApp.h"
#include "app/TimerLoop.h"
#include "platform/LibraryVersions.h"
#include "platform/LocalTime.h"
#include "platform/ProcessMemory.h"
#include "platform/TerminationSignals.h"
#include "support/MessageBox.h"
#include "ui/ConsolePresenter.h"
#include "ui/UserInterfaceChoice.h"

namespace quillon {
namespace {

void PrepareProcess() {
    // Every date of a control file is converted; without this each conversion looks at the zone file
    // again. It sets TZ, so it comes before any thread exists.
    PinLocalTimeZone();
    ShareOneMemoryArena();
}

std::optional<int> AnswerOptions(const LongOptions& options, DesktopLibraryName desktopLibrary) {
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
        if (std::string desktop = desktopLibrary(); !desktop.empty()) {
            text += "  " + desktop + "\n";
        }
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

std::optional<int> StartProgram(int argc, char** argv, DesktopLibraryName desktopLibrary, LongOptions& options) {
    PrepareProcess();
    options = ParseLongOptions(std::vector<std::string>(argv + 1, argv + argc));
    return AnswerOptions(options, desktopLibrary);
}

bool DesktopWanted() {
    return ChooseUserInterface(std::getenv("QUILLON_UI"), std::getenv("DISPLAY"), std::getenv("WAYLAND_DISPLAY")) ==
           UserInterfaceKind::kDesktop;
}

int RunOnConsole(const std::vector<std::string>& switches, TerminationSignals& endSignals) {
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

}  // namespace quillon
