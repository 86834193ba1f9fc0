#include "ui/qt/ImageButton.h"

#include <gtest/gtest.h>

#include <QTest>
#include <QWidget>
#include <memory>
#include <vector>

namespace quillon::testing {
namespace {

// A window that records the hover notifications it receives.
struct NotifyWindow final : QObject {
    bool event(QEvent* event) override {
        if (event->type() != HoverNotification::kType) {
            return QObject::event(event);
        }
        codes.push_back(static_cast<HoverNotification*>(event)->Code());
        return true;
    }
    std::vector<int> codes;
};

TEST(ImageButtonTest, HoverShowsItsPictureAndTellsTheNotifyWindowOnEnteringAndLeaving) {
    QWidget window;
    window.resize(300, 100);
    auto* button = new ImageButton(ButtonRole::kHelp, &window);
    button->move(10, 10);
    auto* label = new LinkedLabel("label", &window);
    label->setGeometry(200, 10, 80, 20);
    label->Link(button);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    auto notify = std::make_unique<NotifyWindow>();
    button->SetNotifyWindow(notify.get(), 7);
    QTest::mouseMove(&window, QPoint(150, 80));
    QTest::mouseMove(button, QPoint(5, 5));
    EXPECT_EQ(button->CurrentBitmap(), 327);
    QTest::mouseMove(button, QPoint(6, 6));  // a move within the button changes nothing
    QTest::mouseMove(&window, QPoint(150, 80));
    EXPECT_EQ(button->CurrentBitmap(), 326);
    QTest::mouseMove(label, QPoint(5, 5));  // the label hovers for its control
    EXPECT_EQ(button->CurrentBitmap(), 327);
    QTest::mouseMove(&window, QPoint(150, 80));
    EXPECT_EQ(notify->codes, (std::vector<int>{7, 0, 7, 0}));

    notify.reset();  // a notify window that is gone is not told
    QTest::mouseMove(button, QPoint(5, 5));
    EXPECT_TRUE(button->Hovered());
}

}  // namespace
}  // namespace quillon::testing
