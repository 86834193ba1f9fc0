// Local calendar time through the C library, which honours the TZ variable.
#pragma once

#include <cstdint>
#include <ctime>

namespace quillon {

// Breaks a count of seconds since 1970 into local calendar fields. False when the C library cannot.
bool ToLocalFields(int64_t seconds, std::tm& fields);

// Builds seconds since 1970 from local calendar fields, normalising out-of-range fields and honouring
// fields.tm_isdst (-1: decide from the date, 0: standard time, 1: daylight time), as mktime does.
// The fields are updated to the normalised values. Answers -1 when the C library cannot.
int64_t FromLocalFields(std::tm& fields);

// Rereads the TZ variable (after a test changed it).
void ReloadTimeZone();

// With TZ unset the C library looks at /etc/localtime again at every conversion from calendar fields,
// one system call per date of a control file. Naming the zone file in TZ once spares that; a change of
// the system's zone is then seen at the next start. Call at start-up, before any other thread exists.
void PinLocalTimeZone();

}  // namespace quillon
