// quillon-run: the program. Puts the layers together: the message loop, the user interface, the
// application object; then hands over to the application until the program ends.
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/QuillonRunApp.h"
#include "app/TimerLoop.h"
#include "support/MessageBox.h"
#include "ui/ConsolePresenter.h"

int main(int argc, char** argv) {
    using namespace quillon;

    TimerLoop loop(TimerLoop::Time::kReal);
    // QUILLON_UI=qt or a display will select the desktop's dialogs (ChooseUserInterface) once they
    // exist; until then the console serves every run.
    ConsolePresenter presenter(StandardConsoleStreams());
    SetMessageBoxPresenter(MessageBoxesOnLoopThread(loop, presenter.BoxPresenter()));

    CQuillonRunApp app(loop, presenter);
    app.CommandLine = CommandLineFromArguments(std::vector<std::string>(argv + 1, argv + argc));
    int exitCode = app.Run();

    SetMessageBoxPresenter(nullptr);
    return exitCode;
}
