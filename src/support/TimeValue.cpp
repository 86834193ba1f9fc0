#include "support/TimeValue.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <ctime>

#include "platform/Clock.h"
#include "platform/LocalTime.h"

namespace quillon {
namespace {

// The local fields of t. The C library can break down every 32-bit count; should it ever refuse,
// the fields of 1970-01-01 00:00:00 keep the callers' arithmetic harmless.
std::tm LocalFields(TimeValue t) {
    std::tm fields{};
    if (!ToLocalFields(t.Seconds(), fields)) {
        fields = std::tm{};
        fields.tm_year = 70;
        fields.tm_mday = 1;
    }
    return fields;
}

int Clamp(int value, int lower, int upper) {
    return value < lower ? lower : value > upper ? upper : value;
}

// value in decimal, padded with zeros to at least digits digits (a control file formats a time for
// every file it lists, so this stays clear of printf).
void AppendNumber(std::string& out, int value, int digits) {
    if (value < 0) {
        char buffer[16];
        int length = std::snprintf(buffer, sizeof buffer, "%0*d", digits, value);
        out.append(buffer, static_cast<size_t>(length));
        return;
    }
    char buffer[16];
    char* end = buffer + sizeof buffer;
    char* p = end;
    do {
        *--p = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (end - p < digits && p > buffer) {
        *--p = '0';
    }
    out.append(p, static_cast<size_t>(end - p));
}

}  // namespace

TimeValue TimeValue::FromSeconds(int64_t seconds) {
    // Saturation: the count is 32 bits wide, so every time after 2038-01-19 03:14:07 UTC becomes
    // exactly that second (and every time before 1901-12-13 20:45:52 UTC the first second). A date
    // beyond the range therefore still orders after every earlier one and never stops the program.
    if (seconds > INT32_MAX) {
        return TimeValue(INT32_MAX);
    }
    if (seconds < INT32_MIN) {
        return TimeValue(INT32_MIN);
    }
    return TimeValue(static_cast<int32_t>(seconds));
}

int TimeValue::Year() const {
    return LocalFields(*this).tm_year + 1900;
}
int TimeValue::Month() const {
    return LocalFields(*this).tm_mon + 1;
}
int TimeValue::Day() const {
    return LocalFields(*this).tm_mday;
}
int TimeValue::Hour() const {
    return LocalFields(*this).tm_hour;
}
int TimeValue::Minute() const {
    return LocalFields(*this).tm_min;
}
int TimeValue::Second() const {
    return LocalFields(*this).tm_sec;
}
int TimeValue::DayOfWeek() const {
    return LocalFields(*this).tm_wday;
}

std::string TimeValue::Format(const char* pattern) const {
    // Formatted here rather than by strftime: the patterns of the program are purely numeric, and
    // numbers do not depend on the locale the way strftime's names of days and months do.
    const std::tm fields = LocalFields(*this);
    std::string out;
    out.reserve(24);
    for (const char* p = pattern; *p != '\0'; ++p) {
        if (*p != '%' || p[1] == '\0') {
            out += *p;
            continue;
        }
        switch (*++p) {
            case 'Y':
                AppendNumber(out, fields.tm_year + 1900, 1);
                break;
            case 'y':
                AppendNumber(out, (fields.tm_year + 1900) % 100, 2);
                break;
            case 'm':
                AppendNumber(out, fields.tm_mon + 1, 2);
                break;
            case 'd':
                AppendNumber(out, fields.tm_mday, 2);
                break;
            case 'H':
                AppendNumber(out, fields.tm_hour, 2);
                break;
            case 'M':
                AppendNumber(out, fields.tm_min, 2);
                break;
            case 'S':
                AppendNumber(out, fields.tm_sec, 2);
                break;
            case '%':
                out += '%';
                break;
            default:
                out += '%';
                out += *p;
                break;
        }
    }
    return out;
}

TimeSpan TimeValue::operator-(TimeValue other) const {
    return TimeSpan(TimeSpan::Saturate(int64_t{seconds_} - other.seconds_));
}

TimeValue MakeTime(int year, int month, int day, int hour, int minute, int second, int daylightSaving) {
    // Months are carried into the year in 64 bits first, so that no field arithmetic can overflow an
    // int; a year the C library cannot hold lies far outside the 32-bit range and saturates.
    const int64_t months = int64_t{year} * 12 + (int64_t{month} - 1);
    const int64_t monthInYear = ((months % 12) + 12) % 12;
    const int64_t tmYear = (months - monthInYear) / 12 - 1900;
    if (tmYear > INT_MAX) {
        return TimeValue::FromSeconds(INT64_MAX);
    }
    if (tmYear < INT_MIN) {
        return TimeValue::FromSeconds(INT64_MIN);
    }
    std::tm fields{};
    fields.tm_year = static_cast<int>(tmYear);
    fields.tm_mon = static_cast<int>(monthInYear);
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    fields.tm_isdst = daylightSaving;
    const int64_t seconds = FromLocalFields(fields);
    // -1 is both the last second of 1969 (UTC) and the C library's failure; it fails only when the
    // normalised year overflows, and then the year still tells which end to saturate at.
    if (seconds == -1 && fields.tm_year != 69 && fields.tm_year != 70) {
        return TimeValue::FromSeconds(fields.tm_year >= 70 ? INT64_MAX : INT64_MIN);
    }
    return TimeValue::FromSeconds(seconds);
}

TimeValue GetNow() {
    return TimeValue::FromSeconds(NowSeconds());
}

void ClampDateParts(int year, int month, int day, int hour, int minute, int second, int& outYear,
                    int& outMonth, int& outDay, int& outHour, int& outMinute, int& outSecond) {
    outYear = Clamp(year, 1980, 2049);
    outMonth = Clamp(month, 1, 12);
    outDay = Clamp(day, 1, 31);
    // 24 stays: it becomes 00 of the next day when the time is built.
    outHour = Clamp(hour, 0, 24);
    outMinute = Clamp(minute, 0, 59);
    outSecond = Clamp(second, 0, 59);
}

bool IsDaylightSavingToday() {
    const std::tm today = LocalFields(GetNow());
    int year, month, day, hour, minute, second;
    ClampDateParts(today.tm_year + 1900, today.tm_mon + 1, today.tm_mday, 8, 0, 0, year, month, day, hour,
                   minute, second);
    // On a summer day the fields read as standard time lie one hour after the same fields read by
    // the date's own rule; in winter both readings agree.
    return MakeTime(year, month, day, hour, minute, second, -1) !=
           MakeTime(year, month, day, hour, minute, second, 0);
}

bool IsEarlierDay(TimeValue a, TimeValue b) {
    const std::tm x = LocalFields(a);
    const std::tm y = LocalFields(b);
    if (x.tm_year != y.tm_year) {
        return x.tm_year < y.tm_year;
    }
    if (x.tm_mon != y.tm_mon) {
        return x.tm_mon < y.tm_mon;
    }
    return x.tm_mday < y.tm_mday;
}

bool IsEarlierMinute(TimeValue a, TimeValue b) {
    const std::tm x = LocalFields(a);
    const std::tm y = LocalFields(b);
    const int left[] = {x.tm_year, x.tm_mon, x.tm_mday, x.tm_hour, x.tm_min};
    const int right[] = {y.tm_year, y.tm_mon, y.tm_mday, y.tm_hour, y.tm_min};
    for (int i = 0; i < 5; ++i) {
        if (left[i] != right[i]) {
            return left[i] < right[i];
        }
    }
    return false;
}

void TruncateToDay(TimeValue& t) {
    const std::tm fields = LocalFields(t);
    int year, month, day, hour, minute, second;
    ClampDateParts(fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday, 0, 0, 0, year, month, day, hour,
                   minute, second);
    t = MakeTime(year, month, day, hour, minute, second, -1);
}

void SetDateKeepTime(TimeValue& target, TimeValue source) {
    const std::tm date = LocalFields(source);
    const std::tm time = LocalFields(target);
    target = MakeTime(date.tm_year + 1900, date.tm_mon + 1, date.tm_mday, time.tm_hour, time.tm_min,
                      time.tm_sec, -1);
}

void AddDays(TimeValue& t, int32_t days) {
    // Move a copy into the middle of its day (hours 2 to 21) first: a 23-hour or 25-hour day on the
    // way then shifts it by an hour at most and cannot carry it onto the wrong date. The time of day
    // is taken from t again at the end.
    TimeValue w = t;
    if (w.Hour() > 20) {
        w -= TimeSpan(0, 2, 0, 0);
    }
    if (w.Hour() < 5) {
        w += TimeSpan(0, 2, 0, 0);
    }
    // In 64 bits: days * 86400 leaves the 32-bit range beyond about 68 years, and the sum saturates.
    w = TimeValue::FromSeconds(int64_t{w.Seconds()} + int64_t{days} * 86400);
    SetDateKeepTime(t, w);
}

}  // namespace quillon
