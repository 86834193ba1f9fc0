#include "app/TimerLoop.h"

#include <algorithm>
#include <chrono>

#include "platform/BootClock.h"
#include "platform/Clock.h"

namespace quillon {
namespace {

// A condition variable waits on the monotonic clock, which stands still while the computer sleeps; the
// loop looks at the boot clock at least this often, so that a timer due during a suspend fires soon
// after the resume.
constexpr int64_t kLongestWaitMilliseconds = 60'000;

}  // namespace

TimerLoop::TimerLoop(Time time) : time_(time), owner_(std::this_thread::get_id()) {}

int64_t TimerLoop::NowMilliseconds() const {
    if (time_ == Time::kReal) {
        return BootMilliseconds();
    }
    std::lock_guard lock(mutex_);
    return virtualNow_;
}

void TimerLoop::PostThreadMessage(uint32_t message) {
    {
        std::lock_guard lock(mutex_);
        messages_.push_back(message);
    }
    wake_.notify_all();
}

void TimerLoop::SetTimer(TimerWindow& window, uint32_t id, int64_t milliseconds) {
    int64_t now = NowMilliseconds();
    std::lock_guard lock(mutex_);
    milliseconds = std::max<int64_t>(milliseconds, 1);
    Timer timer{&window, id, milliseconds, now + milliseconds, nextOrder_++};
    auto same = std::find_if(timers_.begin(), timers_.end(),
                             [&](const Timer& t) { return t.window == &window && t.id == id; });
    if (same != timers_.end()) {
        *same = timer;
    } else {
        timers_.push_back(timer);
    }
}

void TimerLoop::KillTimer(TimerWindow& window, uint32_t id) {
    std::lock_guard lock(mutex_);
    std::erase_if(timers_, [&](const Timer& t) { return t.window == &window && t.id == id; });
}

void TimerLoop::KillTimers(TimerWindow& window) {
    std::lock_guard lock(mutex_);
    std::erase_if(timers_, [&](const Timer& t) { return t.window == &window; });
}

int TimerLoop::NextTimer() const {
    int next = -1;
    for (size_t i = 0; i < timers_.size(); ++i) {
        const Timer& t = timers_[i];
        if (next < 0 || t.due < timers_[next].due ||
            (t.due == timers_[next].due && t.order < timers_[next].order)) {
            next = static_cast<int>(i);
        }
    }
    return next;
}

int TimerLoop::Run(const ThreadMessageHandler& handler) {
    std::unique_lock lock(mutex_);
    calls_.Start();
    for (;;) {
        calls_.RunAll(lock);
        if (!messages_.empty()) {
            uint32_t message = messages_.front();
            messages_.pop_front();
            if (message == WM_QUIT) {
                calls_.End(lock);
                return 0;
            }
            lock.unlock();
            handler(message);
            lock.lock();
            continue;
        }
        int next = NextTimer();
        int64_t now = time_ == Time::kReal ? BootMilliseconds() : virtualNow_;
        if (next >= 0 && timers_[next].due <= now) {
            Timer& timer = timers_[next];
            timer.due = now + timer.interval;
            TimerWindow* window = timer.window;
            uint32_t id = timer.id;
            lock.unlock();
            window->OnTimer(id);
            lock.lock();
            continue;
        }
        if (time_ == Time::kVirtual && next >= 0) {
            // A worker thread runs in real time: give it a millisecond to post or ask something before
            // the loop jumps ahead, so that virtual time does not race far beyond what it is doing.
            if (wake_.wait_for(lock, std::chrono::milliseconds(1),
                               [this] { return !messages_.empty() || !calls_.Empty(); })) {
                continue;
            }
            next = NextTimer();  // the timers may have changed while the lock was open
            if (next < 0) {
                continue;
            }
            int64_t step = timers_[next].due - virtualNow_;
            virtualNow_ = std::max(virtualNow_, timers_[next].due);
            lock.unlock();
            if (step > 0) {
                SleepMilliseconds(step);
            }
            lock.lock();
            continue;
        }
        if (next >= 0) {
            wake_.wait_for(
                lock, std::chrono::milliseconds(std::min(timers_[next].due - now, kLongestWaitMilliseconds)));
        } else {
            wake_.wait(lock);
        }
    }
}

void TimerLoop::Invoke(const std::function<void()>& work) {
    if (std::this_thread::get_id() == owner_) {
        work();
        return;
    }
    std::unique_lock lock(mutex_);
    calls_.Call(lock, work, [this] { wake_.notify_all(); });
}

}  // namespace quillon
