// TimeValue and TimeSpan: the one time type of the program and its calendar operations.
//
// A TimeValue counts seconds since 1970-01-01 00:00:00 UTC in 32 signed bits; 0 means "no time". Its
// calendar fields are always those of the local time zone (the C library's, so TZ is honoured). Values
// are built from local fields with mktime-style normalisation: day 31 of a 30-day month is the 1st of
// the next, hour 24 is 00 of the next day.
//
// All functions are stateless and may be called from any thread (the local-time conversion is the
// reentrant one).
#pragma once

#include <compare>
#include <cstdint>
#include <string>

namespace quillon {

// A signed count of seconds.
class TimeSpan {
  public:
    constexpr TimeSpan() = default;
    constexpr explicit TimeSpan(int32_t seconds) : seconds_(seconds) {}
    // The sum is taken in 64 bits and saturated to the 32-bit range (about 24 855 days either way), so
    // a large count of days gives the longest span rather than one that wrapped to the other sign.
    constexpr TimeSpan(int32_t days, int32_t hours, int32_t minutes, int32_t seconds)
        : seconds_(
              Saturate(int64_t{days} * 86400 + int64_t{hours} * 3600 + int64_t{minutes} * 60 + seconds)) {}

    constexpr int32_t Seconds() const { return seconds_; }
    // Whole days, truncated toward zero.
    constexpr int32_t Days() const { return seconds_ / 86400; }

    constexpr auto operator<=>(const TimeSpan&) const = default;

    // seconds bounded to the 32-bit range.
    static constexpr int32_t Saturate(int64_t seconds) {
        return seconds > INT32_MAX   ? INT32_MAX
               : seconds < INT32_MIN ? INT32_MIN
                                     : static_cast<int32_t>(seconds);
    }

  private:
    int32_t seconds_ = 0;
};

class TimeValue {
  public:
    constexpr TimeValue() = default;
    constexpr explicit TimeValue(int32_t seconds) : seconds_(seconds) {}

    // A 64-bit count of seconds, saturated to the 32-bit range: every time after
    // 2038-01-19 03:14:07 UTC becomes that last representable second (and every time before
    // 1901-12-13 the first), so a date beyond the range never stops the program.
    static TimeValue FromSeconds(int64_t seconds);

    constexpr int32_t Seconds() const { return seconds_; }
    constexpr bool IsSet() const { return seconds_ != 0; }

    // Local calendar fields: year with four digits, month 1-12, day 1-31, hour, minute, second,
    // day of the week 0 (Sunday) to 6.
    int Year() const;
    int Month() const;
    int Day() const;
    int Hour() const;
    int Minute() const;
    int Second() const;
    int DayOfWeek() const;

    // The local fields formatted with a strftime-style pattern ("%Y-%m-%d %H:%M:%S" and the like).
    // Understood: %Y %y %m %d %H %M %S and %%; any other conversion is copied as written.
    std::string Format(const char* pattern) const;

    // Moving by a span saturates at the ends of the range, like FromSeconds.
    TimeValue operator+(TimeSpan span) const { return FromSeconds(int64_t{seconds_} + span.Seconds()); }
    TimeValue operator-(TimeSpan span) const { return FromSeconds(int64_t{seconds_} - span.Seconds()); }
    TimeValue& operator+=(TimeSpan span) { return *this = *this + span; }
    TimeValue& operator-=(TimeSpan span) { return *this = *this - span; }
    // The distance between two times, saturated to the 32-bit range of a span.
    TimeSpan operator-(TimeValue other) const;

    constexpr auto operator<=>(const TimeValue&) const = default;

  private:
    int32_t seconds_ = 0;
};

// Builds a time from local fields; daylightSaving is -1 (decide from the date), 0 (the fields are
// standard time) or 1 (daylight time). Out-of-range fields are normalised (month 13 is January of the
// next year, day 0 the last day of the month before); a result outside the 32-bit range saturates as
// in FromSeconds, also when the fields are too far out for the C library to build them at all.
TimeValue MakeTime(int year, int month, int day, int hour, int minute, int second, int daylightSaving = -1);

// The current time, from the installed clock (platform/Clock.h).
TimeValue GetNow();

// Bounds each field on its own: year 1980-2049, month 1-12, day 1-31, hour 0-24, minute and second 0-59.
void ClampDateParts(int year, int month, int day, int hour, int minute, int second, int& outYear,
                    int& outMonth, int& outDay, int& outHour, int& outMinute, int& outSecond);

// True when daylight-saving time is in effect today (on the installed clock): 08:00 of today's date
// read as standard time differs from the same fields read as whatever the date's rule says.
bool IsDaylightSavingToday();

// True when a's calendar date lies before b's.
bool IsEarlierDay(TimeValue a, TimeValue b);
// True when a lies before b, compared down to the minute (seconds ignored).
bool IsEarlierMinute(TimeValue a, TimeValue b);

// Sets t to 00:00:00 of its own date.
void TruncateToDay(TimeValue& t);
// target takes source's date and keeps its own time of day.
void SetDateKeepTime(TimeValue& target, TimeValue source);
// Moves t by whole calendar days (negative days move back), keeping its time of day even when a
// 23-hour or 25-hour day lies between. In the repeated hour of the autumn change the rebuilt time may
// be the other of the two equal-looking times.
void AddDays(TimeValue& t, int32_t days);

}  // namespace quillon
