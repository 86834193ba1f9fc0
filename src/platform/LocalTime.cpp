#include "platform/LocalTime.h"

#include <time.h>

#include <cerrno>
#include <cstdlib>

namespace quillon {

bool ToLocalFields(int64_t seconds, std::tm& fields) {
    time_t value = static_cast<time_t>(seconds);
    return ::localtime_r(&value, &fields) != nullptr;
}

int64_t FromLocalFields(std::tm& fields) {
    time_t result = std::mktime(&fields);
    return result == static_cast<time_t>(-1) ? -1 : static_cast<int64_t>(result);
}

void ReloadTimeZone() {
    ::tzset();
}

void PinLocalTimeZone() {
    if (std::getenv("TZ") == nullptr) {
        ::setenv("TZ", ":/etc/localtime", 1);
    }
    ::tzset();
}

}  // namespace quillon
