// quillon-run: the program. Puts the layers together: the message loop, the user interface, the
// application object; then hands over to the application until the program ends. The desktop's
// dialogs serve when a display is there (or QUILLON_UI=qt), the console otherwise (or QUILLON_UI=console),
// also when the display named cannot be opened. The system's requests to end (SIGTERM, SIGINT, SIGHUP)
// go to the application object as messages of its loop.
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/DryRun.h"
#include "app/QuillonRunApp.h"
#include "app/TimerLoop.h"
#include "platform/TerminationSignals.h"
#include "support/MessageBox.h"
#include "ui/ConsolePresenter.h"
#include "ui/UserInterfaceChoice.h"
#include "ui/qt/DesktopProgram.h"

namespace {

int RunOnConsole(int argc, char** argv, quillon::TerminationSignals& endSignals) {
    using namespace quillon;
    TimerLoop loop(TimerLoop::Time::kReal);
    ConsolePresenter presenter(StandardConsoleStreams());
    SetMessageBoxPresenter(MessageBoxesOnLoopThread(loop, presenter.BoxPresenter()));

    CQuillonRunApp app(loop, presenter);
    app.CommandLine = CommandLineFromArguments(std::vector<std::string>(argv + 1, argv + argc));
    endSignals.SetHandler([&app](int signal) { app.RequestTermination(signal); });
    int exitCode = app.Run();

    endSignals.SetHandler(nullptr);
    SetMessageBoxPresenter(nullptr);
    return exitCode;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace quillon;
    // A run that only looks needs neither a window nor the run's machinery: it writes nothing.
    if (const std::vector<std::string> arguments(argv + 1, argv + argc); AsksForDryRun(arguments)) {
        return RunDryRun(arguments, std::cout);
    }
    // Before any thread exists, so that every thread inherits the blocked signals.
    TerminationSignals endSignals;
    UserInterfaceKind kind = ChooseUserInterface(std::getenv("QUILLON_UI"), std::getenv("DISPLAY"),
                                                 std::getenv("WAYLAND_DISPLAY"));
    if (kind == UserInterfaceKind::kDesktop) {
        if (std::optional<int> exitCode = RunOnDesktop(argc, argv, endSignals)) {
            return *exitCode;
        }
    }
    return RunOnConsole(argc, argv, endSignals);
}
