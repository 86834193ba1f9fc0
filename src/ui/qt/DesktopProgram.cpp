#include "ui/qt/DesktopProgram.h"

#include <QApplication>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/QuillonRunApp.h"
#include "support/MessageBox.h"
#include "ui/qt/Artwork.h"
#include "ui/qt/QtMessageLoop.h"
#include "ui/qt/QtPresenter.h"

namespace quillon {

int RunOnDesktop(int argc, char** argv) {
    QApplication application(argc, argv);
    // The program ends through its own WM_QUIT, not when its last dialog closes: a resident program
    // waits for its next run without any window.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(ProgramIcon());

    QtMessageLoop loop;
    QtPresenter presenter;
    SetMessageBoxPresenter(MessageBoxesOnLoopThread(loop, presenter.BoxPresenter()));

    CQuillonRunApp app(loop, presenter);
    presenter.Attach(&app);
    app.CommandLine = CommandLineFromArguments(std::vector<std::string>(argv + 1, argv + argc));
    int exitCode = app.Run();

    SetMessageBoxPresenter(nullptr);
    presenter.Attach(nullptr);
    return exitCode;
}

}  // namespace quillon
