#include "ui/qt/WhiteMessageBox.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QTest>
#include <QTimer>

#include <functional>
#include <tuple>
#include <vector>

#include "app/QuillonRunApp.h"
#include "ui/ConsolePresenter.h"
#include "ui/qt/ImageButton.h"
#include "ui/qt/QtMessageLoop.h"

namespace quillon::testing {
namespace {

constexpr unsigned kDeleteQuestion = kMbYesNo | kMbIconQuestion | kMbDefButton2 | kMbHelp;  // 0x4124

TEST(WhiteMessageBoxTest, SizesItselfToItsTextAndCentresItsButtonRow) {
    WhiteMessageBox box("x", kMbOk, false, false);
    EXPECT_EQ(box.size(), QSize(210 - WhiteMessageBox::kFrameWidth, 140 - WhiteMessageBox::kFrameHeight));
    EXPECT_EQ(box.Button(1)->geometry().topLeft(), QPoint(12 + (198 - 75) / 2, 80));

    WhiteMessageBox question("Delete?\nReally?", kDeleteQuestion, true, false);
    ASSERT_NE(question.CheckBox(), nullptr);
    // Help, Yes, No from left to right, 1.2 button widths apart; No has the focus.
    EXPECT_EQ(question.Button(1)->Role(), ButtonRole::kHelp);
    EXPECT_EQ(question.Button(3)->Role(), ButtonRole::kNo);
    EXPECT_EQ(question.Button(3)->x(), 12 + (328 - 255) / 2 + 2 * 90);  // a row of 3.4 buttons, centred
    EXPECT_EQ(question.FocusedButton(), 3);
    EXPECT_TRUE(question.Button(3)->Highlighted());
    EXPECT_FALSE(question.Button(2)->Highlighted());
}

TEST(WhiteMessageBoxTest, TabWrapsAndTheArrowsStopAtTheEnds) {
    WhiteMessageBox box("Text", kMbOkCancel | kMbHelp, false, false);
    box.show();
    std::string visited;
    for (int key : {Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Right, Qt::Key_Right, Qt::Key_Right,
                    Qt::Key_Left, Qt::Key_Left, Qt::Key_Left}) {
        QTest::keyClick(&box, static_cast<Qt::Key>(key));
        visited += std::to_string(box.FocusedButton());
    }
    EXPECT_EQ(visited, "312333211");  // Tab, then Right, then Left, three times each
    EXPECT_TRUE(box.isVisible());     // none of these keys closes the box
}

// Each case's keys are pressed in turn; a box still open after them is closed by the wait window's
// timer, which presses the focused button (Help counting as No or Cancel). So that a key that does
// nothing shows, each case's focused button answers otherwise than the key. The box is the wait window's
// while it is open, and forgotten however it closed.
TEST(WhiteMessageBoxTest, EveryWayOfClosingAnswersAsTheBoxSays) {
    auto keys = [](std::vector<Qt::Key> pressed, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        return [=](WhiteMessageBox& box) {
            for (Qt::Key k : pressed) {
                QTest::keyClick(&box, k, modifiers);
            }
        };
    };
    const std::tuple<const char*, unsigned, std::function<void(WhiteMessageBox&)>, int> cases[] = {
        {"Escape in a Yes/No box", kMbYesNo, keys({Qt::Key_Escape}), kIdNo},
        {"close box", kMbYesNo, [](WhiteMessageBox& box) { box.close(); }, kIdNo},
        {"auto-close with No focused", kDeleteQuestion, keys({}), kIdNo},
        {"auto-close after Tab to Help", kDeleteQuestion, keys({Qt::Key_Tab}), kIdNo},
        {"auto-close with Yes focused", kMbYesNo, keys({}), kIdYes},
        {"auto-close of an OK box that has no second button", kMbOk | kMbDefButton2, keys({}), kIdOk},
        {"Alt+C", kMbOkCancel, keys({Qt::Key_C}, Qt::AltModifier), kIdCancel},
        {"Y", kDeleteQuestion, keys({Qt::Key_Y}), kIdYes},
        {"n", kMbYesNo, keys({Qt::Key_N}), kIdNo},
        {"clicked Yes", kDeleteQuestion, [](WhiteMessageBox& box) { box.Button(2)->click(); }, kIdYes},
        {"C in an OK box answers as Escape", kMbOk, keys({Qt::Key_C}), kIdCancel},
        // Help and Enter on Help leave the box open, with Yes focused at the end.
        {"Help keeps the box open", kMbYesNo | kMbHelp,
         keys({Qt::Key_H, Qt::Key_Left, Qt::Key_Return, Qt::Key_Right}), kIdYes},
    };
    QtMessageLoop loop;
    ConsolePresenter unused(ConsoleStreams{});
    CQuillonRunApp app(loop, unused);
    CWaitWindow waitWindow(app);
    int helps = 0;
    for (const auto& [name, style, close, answer] : cases) {
        WhiteMessageBox box("Question", style, false, false);
        box.OnHelp = [&] { ++helps; };
        QTimer::singleShot(0, &box, [&] {
            EXPECT_EQ(app.CurrentAutoCloseDialog.load(), &box) << name;
            close(box);
            if (box.isVisible()) {
                waitWindow.OnTimer(CWaitWindow::kAutoCloseTimer);
            }
        });
        EXPECT_EQ(box.Ask(&waitWindow), answer) << name;
        EXPECT_EQ(app.CurrentAutoCloseDialog.load(), nullptr) << name;
    }
    EXPECT_EQ(helps, 2);
}

TEST(WhiteMessageBoxTest, TheLabelTogglesTheCheckBoxOnceAndTheCallerSeesTheTick) {
    WhiteMessageBox message("Saved", kMbOk | kMbIconExclamation, true, false);
    EXPECT_EQ(message.CheckBoxLabel()->text().toStdString(), " Please do not display this message again");
    WhiteMessageBox box("Delete?", kDeleteQuestion, true, false);
    EXPECT_EQ(box.CheckBoxLabel()->text().toStdString(), " Please do not display this question again");
    box.show();
    EXPECT_FALSE(box.CheckBoxTicked());
    QTest::mouseClick(box.CheckBoxLabel(), Qt::LeftButton);
    EXPECT_TRUE(box.CheckBoxTicked());
    QTest::mouseClick(box.CheckBoxLabel(), Qt::LeftButton);
    QTest::mouseClick(box.CheckBox(), Qt::LeftButton);
    EXPECT_TRUE(box.CheckBoxTicked());
    EXPECT_EQ(box.CheckBox()->CurrentBitmap(), 339);
}

}  // namespace
}  // namespace quillon::testing
