#include "ui/qt/QtPresenter.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <thread>

#include "testing/TempDir.h"
#include "ui/qt/ImageButton.h"
#include "ui/qt/QtMessageLoop.h"

namespace quillon::testing {
namespace {

TEST(QtPresenterTest, HelpOpensTheDocumentAtTheCurrentTopicOnlyWhenItIsThere) {
    TempDir dir;
    QStringList opened;
    bool desktopOpens = true;
    QtPresenter presenter;
    presenter.Help = DesktopHelp(dir.Path(), [&](const QUrl& url) {
        opened << url.toString();
        return desktopOpens;
    });
    std::string document = dir / "quillon-run.html";

    presenter.SetMessageBoxHelpContext(3846);
    QTimer::singleShot(0, [&] {
        QWidget* box = QApplication::activeModalWidget();
        ASSERT_NE(box, nullptr);
        QTest::keyClick(box, Qt::Key_H);  // no document: nothing opened
        EXPECT_TRUE(opened.empty());
        WriteFile(document, "<html></html>");
        QTest::keyClick(box, Qt::Key_H);
        QTest::keyClick(box, Qt::Key_Escape);
    });
    EXPECT_EQ(presenter.ShowMessageBox("Delete?", kMbYesNo | kMbHelp), kIdNo);

    // The error list's Help opens the topic in force, even where the desktop then refuses.
    presenter.SetMessageBoxHelpContext(3841);
    desktopOpens = false;
    QTimer::singleShot(0, [&] {
        QWidget* dialog = QApplication::activeModalWidget();
        ASSERT_NE(dialog, nullptr);
        for (auto* button : dialog->findChildren<ImageButton*>()) {
            if (button->Role() == ButtonRole::kHelp) {
                button->click();
            }
        }
        EXPECT_TRUE(dialog->isVisible());
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    presenter.ShowErrorList(1, {"C:\\x"});
    const QString url = QUrl::fromLocalFile(QString::fromStdString(document)).toString();
    EXPECT_EQ(opened, QStringList({url + "#h3846", url + "#h3841"}));
}

TEST(QtPresenterTest, AWorkersBoxIsShownOnTheLoopThreadAndAnswersTheWorker) {
    QtMessageLoop loop;
    QtPresenter presenter;
    MessageBoxPresenter boxes = MessageBoxesOnLoopThread(loop, presenter.BoxPresenter());
    std::thread::id shownOn;
    QTimer closer;  // presses Enter on the box as soon as it is up
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (QWidget* box = QApplication::activeModalWidget()) {
            shownOn = std::this_thread::get_id();
            QTest::keyClick(box, Qt::Key_Return);
        }
    });
    closer.start(5);
    int answer = 0;
    std::thread worker([&] {  // its box waits for the loop
        answer = boxes("The archive could not be written.", kMbOkCancel);
        loop.PostThreadMessage(WM_QUIT);
    });
    loop.Run([](uint32_t) {});
    worker.join();
    EXPECT_EQ(answer, kIdOk);
    EXPECT_EQ(shownOn, std::this_thread::get_id());
}

}  // namespace
}  // namespace quillon::testing
