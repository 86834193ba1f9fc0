// A clock that stands still until told to move; sleeping on it moves it instead of waiting.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/Clock.h"

namespace quillon::testing {

class FakeClock : public Clock {
  public:
    explicit FakeClock(int64_t now = 1'069'648'824) : milliseconds_(now * 1000) {
        previous_ = SetClock(this);
    }
    ~FakeClock() override { SetClock(previous_); }

    int64_t Now() override { return milliseconds_.load() / 1000; }
    void Sleep(int64_t milliseconds) override {
        slept_ += milliseconds;
        milliseconds_ += milliseconds;
    }
    void Set(int64_t seconds) { milliseconds_ = seconds * 1000; }
    // Total milliseconds callers have slept.
    int64_t Slept() const { return slept_.load(); }

  private:
    Clock* previous_ = nullptr;
    std::atomic<int64_t> milliseconds_;
    std::atomic<int64_t> slept_{0};
};

}  // namespace quillon::testing
