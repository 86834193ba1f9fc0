#include "app/TimerLoop.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "testing/FakeClock.h"

namespace quillon {
namespace {

// Records when each of its timers fired and runs a scripted reaction.
struct Recorder : TimerWindow {
    explicit Recorder(TimerLoop& loop) : loop(loop) {}
    ~Recorder() { loop.KillTimers(*this); }
    void OnTimer(uint32_t id) override {
        fired.push_back({loop.NowMilliseconds(), id});
        react(id);
    }
    TimerLoop& loop;
    std::vector<std::pair<int64_t, uint32_t>> fired;
    std::function<void(uint32_t)> react;
};

TEST(TimerLoopTest, VirtualTimeFiresTimersInOrderAndMovesTheClock) {
    testing::FakeClock clock(1'000'000);
    TimerLoop loop(TimerLoop::Time::kVirtual);
    Recorder window(loop);
    int ticks = 0;
    window.react = [&](uint32_t id) {
        if (id == 2 && ++ticks == 3) {
            loop.KillTimer(window, 2);  // a repeating timer runs until killed
            loop.SetTimer(window, 5, 100);
            loop.SetTimer(window, 5, 1000);  // setting it again restarts it
        }
        if (id == 5) {
            loop.PostThreadMessage(WM_QUIT);
        }
    };
    loop.SetTimer(window, 3, 1000);
    loop.SetTimer(window, 2, 400);
    loop.SetTimer(window, 4, 400);  // due with timer 2: fires after it, as it was set later
    loop.KillTimer(window, 4);
    loop.SetTimer(window, 4, 400);
    std::vector<uint32_t> messages;
    loop.PostThreadMessage(WM_START_RUN);  // posted messages come before any due timer

    EXPECT_EQ(loop.Run([&](uint32_t m) { messages.push_back(m); }), 0);
    EXPECT_EQ(messages, std::vector<uint32_t>{WM_START_RUN});
    std::vector<std::pair<int64_t, uint32_t>> expected = {{400, 2},  {400, 4},  {800, 2},  {800, 4},
                                                          {1000, 3}, {1200, 2}, {1200, 4}, {1600, 4},
                                                          {2000, 3}, {2000, 4}, {2200, 5}};
    EXPECT_EQ(window.fired, expected);
    EXPECT_EQ(clock.Now(), 1'000'002);
}

TEST(TimerLoopTest, InvokeRunsOnTheLoopThreadAndWaits) {
    TimerLoop loop(TimerLoop::Time::kReal);
    const std::thread::id loopThread = std::this_thread::get_id();
    std::thread::id ranOn;
    std::thread other([&] {
        loop.Invoke([&] { ranOn = std::this_thread::get_id(); });
        EXPECT_EQ(ranOn, loopThread);  // Invoke returns only after the work is done
        loop.PostThreadMessage(WM_QUIT);
    });
    loop.Run([](uint32_t) {});
    other.join();

    // Once the loop has ended, nobody waits for it: the work runs on the calling thread.
    std::thread late([&] { loop.Invoke([&] { ranOn = std::this_thread::get_id(); }); });
    std::thread::id lateId = late.get_id();
    late.join();
    EXPECT_EQ(ranOn, lateId);
}

}  // namespace
}  // namespace quillon
