#include "platform/BootClock.h"

#include <time.h>

namespace quillon {

int64_t BootMilliseconds() {
    timespec now{};
    if (::clock_gettime(CLOCK_BOOTTIME, &now) != 0) {
        ::clock_gettime(CLOCK_MONOTONIC, &now);
    }
    return int64_t{now.tv_sec} * 1000 + now.tv_nsec / 1'000'000;
}

}  // namespace quillon
