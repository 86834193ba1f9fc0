// Clock: the current time and waiting, behind one interface so that tests control both.
//
// The system clock is used unless a test installs another (see tests/testing/FakeClock.h); with a fake
// clock an hour of waiting passes in microseconds. Thread-safe; SetClock is for start-up and tests.
#pragma once

#include <cstdint>

namespace quillon {

class Clock {
  public:
    virtual ~Clock() = default;
    // Seconds since 1970-01-01 00:00:00 UTC.
    virtual int64_t Now() = 0;
    // Blocks the calling thread for the given time.
    virtual void Sleep(int64_t milliseconds) = 0;
};

// The installed clock's time and wait.
int64_t NowSeconds();
void SleepMilliseconds(int64_t milliseconds);

// Installs a clock (nullptr: the system clock) and returns the previous one (nullptr when it was the
// system clock). The caller keeps ownership; the clock must outlive its installation.
Clock* SetClock(Clock* clock);

}  // namespace quillon
