// Text forms of TimeValue: the program's own date text and the two forms kept in the registry.
//
//   second form  "%Y-%m-%d %H:%M:%S"  FormatRegistryTime / ParseRegistryTime
//   minute form  "%Y-%m-%d %H:%M"     FormatRegistryMinuteTime / ParseRegistryMinuteTime
//
// Stateless; any thread.
#pragma once

#include <string>
#include <string_view>

#include "support/TimeValue.h"

namespace quillon {

inline constexpr const char* kTimeSecondPattern = "%Y-%m-%d %H:%M:%S";
inline constexpr const char* kTimeMinutePattern = "%Y-%m-%d %H:%M";
inline constexpr const char* kDatePattern = "%Y-%m-%d";
inline constexpr const char* kUserDatePattern = "%d.%m.%Y";

// "YYYY-MM-DD" optionally followed by " HH:MM"; the TimeValue 0 when the text is not such a date.
TimeValue ParseDateTime(std::string_view text);

// The registry forms. Too short a text gives the TimeValue 0; a malformed one is traced and gives
// 1980-01-01 00:00:00.
TimeValue ParseRegistryTime(std::string_view text);
TimeValue ParseRegistryMinuteTime(std::string_view text);
std::string FormatRegistryTime(TimeValue t);
std::string FormatRegistryMinuteTime(TimeValue t);

}  // namespace quillon
