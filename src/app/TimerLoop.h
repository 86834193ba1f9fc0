// TimerLoop: the program's own MessageLoop, without any GUI toolkit.
//
// In real time it measures on the boot clock (platform/BootClock.h), so that setting the wall clock
// neither fires nor delays a timer, and a timer due while the computer slept fires at the resume. In virtual
// time (tests) it never waits for a timer: when nothing else is to do it moves straight to the next due timer
// and advances the installed clock (platform/Clock.h, a fake one in tests) by the same amount, so an hour of
// waiting passes in microseconds and GetNow follows.
//
// Thread rules as for MessageLoop: the thread that constructs the loop is the loop's thread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "app/CrossThreadCalls.h"
#include "app/MessageLoop.h"

namespace quillon {

class TimerLoop final : public MessageLoop {
  public:
    enum class Time { kReal, kVirtual };

    explicit TimerLoop(Time time = Time::kReal);
    TimerLoop(const TimerLoop&) = delete;
    TimerLoop& operator=(const TimerLoop&) = delete;

    void PostThreadMessage(uint32_t message) override;
    void SetTimer(TimerWindow& window, uint32_t id, int64_t milliseconds) override;
    void KillTimer(TimerWindow& window, uint32_t id) override;
    void KillTimers(TimerWindow& window) override;
    int Run(const ThreadMessageHandler& handler) override;
    void Invoke(const std::function<void()>& work) override;

    // Milliseconds on the loop's own time line (virtual time starts at 0).
    int64_t NowMilliseconds() const;

  private:
    struct Timer {
        TimerWindow* window;
        uint32_t id;
        int64_t interval;
        int64_t due;
        uint64_t order;  // timers due at the same moment fire in the order they were set
    };
    // The index of the timer that is due first, or -1. Called with mutex_ held.
    int NextTimer() const;

    const Time time_;
    const std::thread::id owner_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;   // something was posted or queued
    std::deque<uint32_t> messages_;  // guarded by mutex_
    CrossThreadCalls calls_;         // guarded by mutex_
    std::vector<Timer> timers_;      // guarded by mutex_
    uint64_t nextOrder_ = 0;         // guarded by mutex_
    int64_t virtualNow_ = 0;         // guarded by mutex_
};

}  // namespace quillon
