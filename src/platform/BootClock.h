// BootClock: a clock for timers that are meant in real elapsed time.
//
// It never jumps when the wall clock is set, and, unlike the usual monotonic clock, it goes on
// counting while the computer sleeps: a timer due during a suspend is due at the resume, so a
// scheduled backup is not put off by the hours the machine was asleep. Any thread.
#pragma once

#include <cstdint>

namespace quillon {

// Milliseconds since the system started, the time suspended included.
int64_t BootMilliseconds();

}  // namespace quillon
