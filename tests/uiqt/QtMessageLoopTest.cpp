#include "ui/qt/QtMessageLoop.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <thread>
#include <vector>

namespace quillon::testing {
namespace {

struct RecordingWindow : TimerWindow {
    explicit RecordingWindow(std::function<void(uint32_t)> onTimer) : onTimer(std::move(onTimer)) {}
    void OnTimer(uint32_t id) override { onTimer(id); }
    std::function<void(uint32_t)> onTimer;
};

// Posted messages are handled in order until the quit; then nobody waits for the loop: a call runs at
// once on the caller's thread. (A call while it runs goes to its thread: the presenter's worker test.)
TEST(QtMessageLoopTest, HandlesPostedMessagesInOrderUntilTheQuitAndCallsAtOnceAfterIt) {
    QtMessageLoop loop;
    std::vector<uint32_t> seen;
    loop.PostThreadMessage(WM_SCHEDULE_WAIT);
    loop.PostThreadMessage(WM_START_RUN);
    loop.PostThreadMessage(WM_QUIT);
    loop.PostThreadMessage(WM_START_RUN);  // after the quit: left for a later Run
    EXPECT_EQ(loop.Run([&](uint32_t message) { seen.push_back(message); }), 0);
    EXPECT_EQ(seen, (std::vector<uint32_t>{WM_SCHEDULE_WAIT, WM_START_RUN}));
    loop.PostThreadMessage(WM_QUIT);
    loop.Run([&](uint32_t message) { seen.push_back(message); });
    EXPECT_EQ(seen, (std::vector<uint32_t>{WM_SCHEDULE_WAIT, WM_START_RUN, WM_START_RUN}));

    std::thread::id ranOn;
    std::thread late([&] { loop.Invoke([&] { ranOn = std::this_thread::get_id(); }); });
    std::thread::id lateId = late.get_id();
    late.join();
    EXPECT_EQ(ranOn, lateId);
}

TEST(QtMessageLoopTest, TimersAreToldApartByWindowAndIdAndRestartWhenSetAgain) {
    QtMessageLoop loop;
    std::vector<std::pair<char, uint32_t>> fired;
    RecordingWindow other([&](uint32_t id) {
        fired.push_back({'b', id});
        loop.KillTimer(other, id);  // one shot, as the wait window's timers are
    });
    int ticks = 0;
    RecordingWindow first([&](uint32_t id) {
        fired.push_back({'a', id});
        if (++ticks == 3) {
            loop.KillTimers(other);
            loop.KillTimer(other, 7);  // not running: nothing happens
            loop.PostThreadMessage(WM_QUIT);
        }
    });
    loop.SetTimer(first, 1, 10);
    loop.SetTimer(first, 1, 30);  // restarts with the new interval: still one timer
    loop.SetTimer(other, 1, 5);
    EXPECT_EQ(loop.TimerCount(), 2u);
    QElapsedTimer clock;
    clock.start();
    loop.Run([](uint32_t) {});
    EXPECT_GE(clock.elapsed(), 85);  // three ticks of 30 ms, not of 10
    EXPECT_EQ(fired, (std::vector<std::pair<char, uint32_t>>{{'b', 1}, {'a', 1}, {'a', 1}, {'a', 1}}));
    loop.KillTimers(first);
    EXPECT_EQ(loop.TimerCount(), 0u);
}

}  // namespace
}  // namespace quillon::testing
