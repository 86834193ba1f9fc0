// quillon-screenshots: renders every dialog of the desktop in its typical states to PNG files in the
// folder given as the only argument, for a look at them without running a backup.
#include <QApplication>
#include <QDir>
#include <QWidget>
#include <cstdio>
#include <string>

#include "ui/qt/ErrorListDialog.h"
#include "ui/qt/ImageButton.h"
#include "ui/qt/ProgressWindow.h"
#include "ui/qt/WhiteMessageBox.h"

namespace {

using namespace quillon;

QString folder;

void Save(QWidget& widget, const char* name) {
    widget.show();
    QCoreApplication::processEvents();
    QString path = folder + "/" + name + ".png";
    if (!widget.grab().save(path)) {
        std::fprintf(stderr, "cannot write %s\n", path.toLocal8Bit().constData());
    }
    widget.hide();
}

void Progress(bool largeFonts, int filled, const char* status, const char* kind, const char* name) {
    ProgressWindow window(largeFonts);
    window.SetText(ProgressLine::kVersion, "Version 2.10");
    window.SetText(ProgressLine::kStatus, status);
    window.SetText(ProgressLine::kPath, "C:\\Users\\Anna\\Documents\\Letters\\2024\\M\xE4rz\\offer.txt");
    window.SetText(ProgressLine::kKind, kind);
    for (int i = 0; i < filled; ++i) {
        window.SetSegment(i, true);
    }
    Save(window, name);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: quillon-screenshots FOLDER\n");
        return 2;
    }
    folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);

    Progress(false, 0, "Searching for changed files", "Backup of the changed files", "progress-start");
    Progress(false, 17, "    42 Files copied", "Backup of the changed files", "progress-half");
    Progress(false, 35, "   128 Files copied", "128 files have been saved.", "progress-end");
    Progress(true, 9, "     7 Files copied", "Full backup", "progress-large-fonts");

    WhiteMessageBox small("x", kMbOk, false, false);
    Save(small, "box-ok-small");
    WhiteMessageBox error("Backup error:\n\nThe file C:\\Backup\\000.zip could not be written.",
                          kMbOk | kMbIconHand, false, false);
    Save(error, "box-stop");
    WhiteMessageBox question(
        "According to the delete settings of the source Path\n    'C:\\Data',\nold backups shall be deleted, "
        "until "
        "they cover not more than 500 MB disk space.\nThis would result in the deletion of all backups "
        "except the "
        "newest one.\n\nAre you sure to have all the older backups deleted?\n\n(Click 'Yes' to delete or "
        "'No' to "
        "remove the setting to delete for disk space.)",
        0x4124, true, false);
    question.CheckBox()->SetTicked(true);
    Save(question, "box-question-checkbox");
    WhiteMessageBox removed(
        "The setting to delete backups due to their disk space extension\nwill be removed.\n\nPlease check "
        "your "
        "settings on the page Path - Delete, if necessary.",
        0x4031, false, false);
    Save(removed, "box-okcancel-help");
    WhiteMessageBox info("Compression is not possible.", kMbOk | kMbIconAsterisk, true, true);
    Save(info, "box-information-large-fonts");

    ErrorListDialog list(1234,
                         {"C:\\Data\\Projects\\report.docx", "C:\\Data\\locked.pst",
                          "C:\\Data\\Archive\\2023\\Very long folder name "
                          "that needs the list to scroll sideways\\notes.txt",
                          "C:\\Data\\a.txt"},
                         false);
    Save(list, "error-list");
    ErrorListDialog large(3, {"C:\\Data\\locked.pst"}, true);
    Save(large, "error-list-large-fonts");
    return 0;
}
