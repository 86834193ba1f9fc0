#include "ui/qt/ErrorListDialog.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLabel>
#include <QListWidget>
#include <QScrollBar>
#include <QTimer>

#include "ui/qt/ImageButton.h"

namespace quillon::testing {
namespace {

TEST(ErrorListDialogTest, ShowsTheCountAndThePathsAlphabeticallyAndScrollsToTheWidest) {
    ErrorListDialog dialog(12, {"C:\\b\\zeta.txt", "C:\\A\\beta.txt", "C:\\a\\Alpha.txt"}, false);
    EXPECT_EQ(dialog.CountField()->text(), "12");
    QStringList shown;
    for (int i = 0; i < dialog.List()->count(); ++i) {
        shown << dialog.List()->item(i)->text();
    }
    EXPECT_EQ(shown, QStringList({"C:\\a\\Alpha.txt", "C:\\A\\beta.txt", "C:\\b\\zeta.txt"}));

    ErrorListDialog wide(0, {"C:\\" + std::string(300, 'W') + ".txt"}, false);
    wide.show();
    QCoreApplication::processEvents();
    QScrollBar* across = wide.List()->horizontalScrollBar();
    EXPECT_EQ(across->maximum() + wide.List()->viewport()->width(), wide.HorizontalExtent());
}

TEST(ErrorListDialogTest, CloseAndTheAutoCloseEndIt) {
    for (bool byButton : {true, false}) {
        ErrorListDialog dialog(1, {"C:\\x"}, false);
        QTimer::singleShot(0, &dialog,
                           [&] { byButton ? dialog.CloseButton()->click() : dialog.OnAutoClose(); });
        dialog.ShowModal(nullptr);
        EXPECT_FALSE(dialog.isVisible());
    }
}

}  // namespace
}  // namespace quillon::testing
