#include "ui/qt/DesktopProgram.h"

#include <QApplication>
#include <cstring>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/QuillonRunApp.h"
#include "platform/TerminationSignals.h"
#include "platform/Trace.h"
#include "support/MessageBox.h"
#include "ui/qt/Artwork.h"
#include "ui/qt/QtMessageLoop.h"
#include "ui/qt/QtPresenter.h"

namespace quillon {
namespace {

bool NamesPlatform(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0) {
            return true;
        }
    }
    return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

}  // namespace

std::optional<int> RunOnDesktop(int argc, char** argv, TerminationSignals& endSignals) {
    // Qt ends the process when the display it tries cannot be opened, and the backup would not run.
    // Unless the user names a platform, the desktop's platforms are tried in turn and the offscreen
    // one, which always opens, comes last: ending up there means there is no display to show anything.
    std::vector<char*> arguments(argv, argv + argc);
    bool fallBack = !NamesPlatform(argc, argv);
    char platformSwitch[] = "-platform";
    char platforms[] = "wayland;xcb;offscreen";
    char* desktopPlatforms = qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ? platforms + 8 : platforms;
    if (fallBack) {
        arguments.insert(arguments.begin() + 1, {platformSwitch, desktopPlatforms});
    }
    int count = static_cast<int>(arguments.size());
    arguments.push_back(nullptr);

    QApplication application(count, arguments.data());
    if (fallBack && QGuiApplication::platformName() == "offscreen") {
        Trace("*** Keine Anzeige erreichbar: Konsole statt Desktop\n");
        return std::nullopt;
    }
    // The program ends through its own WM_QUIT, not when its last dialog closes: a resident program
    // waits for its next run without any window.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(ProgramIcon());
    Trace("Oberfl\344che: Desktop (%s)\n", QGuiApplication::platformName().toUtf8().constData());

    QtMessageLoop loop;
    QtPresenter presenter;
    SetMessageBoxPresenter(MessageBoxesOnLoopThread(loop, presenter.BoxPresenter()));

    CQuillonRunApp app(loop, presenter);
    presenter.Attach(&app);
    // Qt has taken its own options out of the arguments.
    app.CommandLine =
        CommandLineFromArguments(std::vector<std::string>(arguments.begin() + 1, arguments.begin() + count));
    endSignals.SetHandler([&app](int signal) { app.RequestTermination(signal); });
    int exitCode = app.Run();

    endSignals.SetHandler(nullptr);
    SetMessageBoxPresenter(nullptr);
    presenter.Attach(nullptr);
    return exitCode;
}

std::string DesktopLibraryVersion() {
    return std::string("Qt ") + qVersion();
}

}  // namespace quillon
