#include "support/TimeValue.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <tuple>

#include "support/TimeText.h"
#include "testing/CaptureTrace.h"
#include "testing/Environment.h"
#include "testing/FakeClock.h"

namespace quillon {
namespace {

// Berlin has a 23-hour day on the last Sunday of March and a 25-hour day on the last Sunday of October.
class TimeValueTest : public ::testing::Test {
  protected:
    testing::ScopedTimeZone zone_{"Europe/Berlin"};
};
using TimeTextTest = TimeValueTest;

// As the registry stores it, or "0" for the TimeValue 0.
std::string Text(TimeValue t) {
    return t.IsSet() ? FormatRegistryTime(t) : "0";
}

// The last second of the 32-bit count, 2038-01-19 03:14:07 UTC, in Berlin.
constexpr const char* kLastSecond = "2038-01-19 04:14:07";

TEST_F(TimeValueTest, AddDaysKeepsTimeOfDayAcrossDaylightSavingChanges) {
    const std::tuple<const char*, int32_t, const char*> cases[] = {
        {"2024-03-30 23:30:00", 1, "2024-03-31 23:30:00"},   // into the 23-hour day, late
        {"2024-04-01 00:30:00", -1, "2024-03-31 00:30:00"},  // back onto it, early
        {"2024-10-26 23:30:00", 1, "2024-10-27 23:30:00"},   // the 25-hour day
        {"2024-10-28 00:30:00", -1, "2024-10-27 00:30:00"},
        {"2024-03-20 04:59:59", 14, "2024-04-03 04:59:59"},
        {"2024-01-31 22:00:00", 30, "2024-03-01 22:00:00"},
        {"2003-11-24 17:05:09", 0, "2003-11-24 17:05:09"},
        {"2038-01-10 12:00:00", 30, kLastSecond},  // saturates
        {"2003-11-24 12:00:00", INT32_MAX, kLastSecond},
    };
    for (const auto& [start, days, expected] : cases) {
        TimeValue t = ParseRegistryTime(start);
        AddDays(t, days);
        EXPECT_EQ(Text(t), expected) << start << " + " << days << " days";
    }
    TimeValue early = ParseRegistryTime("2003-11-24 12:00:00");
    AddDays(early, INT32_MIN);
    EXPECT_EQ(early.Seconds(), INT32_MIN);
}

TEST_F(TimeValueTest, MakeTimeAndSpansNormaliseAndSaturate) {
    EXPECT_EQ(Text(MakeTime(2003, 4, 31, 24, 0, 0)), "2003-05-02 00:00:00");
    EXPECT_EQ(Text(MakeTime(2003, -1, 0, 0, 0, 0)), "2002-10-31 00:00:00");
    EXPECT_EQ(MakeTime(2038, 1, 19, 4, 14, 7).Seconds(), INT32_MAX);
    EXPECT_EQ(MakeTime(2049, 12, 31, 24, 59, 59).Seconds(), INT32_MAX);
    // Fields too far out even for the C library must still give an end of the range.
    EXPECT_EQ(MakeTime(INT_MAX, INT_MAX, INT_MAX, INT_MAX, INT_MAX, INT_MAX).Seconds(), INT32_MAX);
    EXPECT_EQ(MakeTime(INT_MIN, INT_MIN, INT_MIN, INT_MIN, INT_MIN, INT_MIN).Seconds(), INT32_MIN);
    EXPECT_EQ(MakeTime(INT_MAX - 1, 12, INT_MAX, 0, 0, 0).Seconds(), INT32_MAX);
    EXPECT_EQ(TimeSpan(30000, 0, 0, 0).Seconds(), INT32_MAX);
    EXPECT_EQ((TimeValue(INT32_MAX) - TimeValue(INT32_MIN)).Seconds(), INT32_MAX);
    EXPECT_EQ((TimeValue(INT32_MAX - 5) + TimeSpan(0, 1, 0, 0)).Seconds(), INT32_MAX);
    // A span is exact seconds: across the 23-hour day one day lands an hour later on the clock.
    EXPECT_EQ(Text(ParseRegistryTime("2024-03-30 12:00:00") + TimeSpan(1, 0, 0, 0)), "2024-03-31 13:00:00");
}

TEST_F(TimeValueTest, DaylightSavingTodayFollowsTheClock) {
    const std::tuple<const char*, int64_t, bool> cases[] = {
        {"Europe/Berlin", 1719835200, true},   // 2024-07-01 12:00 UTC
        {"Europe/Berlin", 1705320000, false},  // 2024-01-15 12:00 UTC
        {"Europe/Berlin", 1711845000, true},   // 2024-03-31 00:30 UTC, before that day's change
        {"Europe/Berlin", 1729989000, false},  // 2024-10-27 00:30 UTC, before that day's change
        {"UTC", 1719835200, false},
    };
    for (const auto& [name, utc, expected] : cases) {
        testing::ScopedTimeZone zone(name);
        testing::FakeClock clock(utc);
        EXPECT_EQ(IsDaylightSavingToday(), expected) << name << " at " << utc;
    }
}

// The TimeValue 0 is 1970-01-01 in Berlin, 1969-12-31 in New York: the years clamp to 1980.
TEST_F(TimeValueTest, TruncateToDayGivesTheStartOfTheLocalDay) {
    for (auto [zone, seconds, day] : {std::tuple{"Europe/Berlin", 1'069'689'909, "2003-11-24 00:00:00"},
                                      {"Europe/Berlin", 0, "1980-01-01 00:00:00"},
                                      {"America/New_York", 0, "1980-12-31 00:00:00"}}) {
        testing::ScopedTimeZone inZone(zone);
        TimeValue t(seconds);
        TruncateToDay(t);
        EXPECT_EQ(Text(t), day) << zone << " " << seconds;
    }
}

// The lenient reader of a date and minute (D) and the strict registry readers of the second (S) and the
// minute form (M), which trace garbage: the text, the time read, whether it is traced.
TEST_F(TimeTextTest, ParsersReadTheirFormsAndTheRegistryOnesTraceGarbage) {
    const std::tuple<char, const char*, const char*, bool> cases[] = {
        {'D', "2003-11-24", "2003-11-24 00:00:00", false},
        {'D', "2003-11-24 13:45", "2003-11-24 13:45:00", false},
        {'D', "2003-11-24 13:45:59", "2003-11-24 13:45:00", false},  // seconds never read
        {'D', "2003-11-24T13:45", "2003-11-24 13:45:00", false},     // index 10 not examined
        {'D', "2003-11-24 1345", "2003-11-24 00:00:00", false},      // no ':' at index 13
        {'D', "03-11-24", "0", false},
        {'D', "2003/11/24", "0", false},
        {'D', "", "0", false},
        {'D', "1975-06-01", "1980-06-01 00:00:00", false},
        {'D', "2003-13-40", "2003-12-31 00:00:00", false},
        {'D', "2003-02-31", "2003-03-03 00:00:00", false},
        {'D', "2003-11-24 25:70", "2003-11-25 00:59:00", false},
        {'D', "abcd-ef-gh", "1980-01-01 00:00:00", false},
        {'D', "2045-06-01", "2038-01-19 04:14:07", false},  // past the 32-bit range: the last second
        {'S', "2003-11-24 05:40:24", "2003-11-24 05:40:24", false},
        {'S', "2003-11-24 05:40:24 and more", "2003-11-24 05:40:24", false},
        {'S', "2003-11-24 05:40", "0", false},  // too short: not traced
        {'S', "2003-11-24x05:40:24", "1980-01-01 00:00:00", true},
        {'S', "2003-11-24 05:4x:24", "1980-01-01 00:00:00", true},
        {'S', "2003-11-24 05:40: 4", "2003-11-24 05:40:04", false},
        {'S', "1975-13-32 24:60:60", "1981-01-01 00:59:59", false},
        {'M', "2003-11-24 05:40", "2003-11-24 05:40:00", false},
        {'M', "2003-11-24 05:40:24", "2003-11-24 05:40:00", false},
        {'M', "2003-11-24 05-40", "1980-01-01 00:00:00", true},
        {'M', "2003-11-2A 05:40", "1980-01-01 00:00:00", true},
    };
    for (const auto& [form, text, expected, traced] : cases) {
        SCOPED_TRACE(form + std::string(" >") + text + "<");
        testing::CaptureTrace trace;
        EXPECT_EQ(Text(form == 'D'   ? ParseDateTime(text)
                       : form == 'M' ? ParseRegistryMinuteTime(text)
                                     : ParseRegistryTime(text)),
                  expected);
        const std::string record = std::string("*** Illegal Time String >") + text + "< in Registry\n";
        EXPECT_EQ(trace.Records(), std::vector<std::string>(traced, record));
    }
}

// Formats as the registry and the folder names use them; only the minute form loses its seconds.
TEST_F(TimeTextTest, FormatsReadBackByTheirParsers) {
    const TimeValue t = MakeTime(2003, 11, 24, 5, 40, 24);
    EXPECT_EQ(t.Format(kUserDatePattern) + t.Format("|%y|%%|%Q|%"), "24.11.2003|03|%|%Q|%");
    EXPECT_EQ(ParseRegistryTime(FormatRegistryTime(t)), t);
    EXPECT_EQ(ParseRegistryMinuteTime(FormatRegistryMinuteTime(t)), t - TimeSpan(24));
    const TimeValue summer = MakeTime(2024, 7, 1, 23, 59, 0);
    EXPECT_EQ(ParseRegistryMinuteTime(FormatRegistryMinuteTime(summer)), summer);
}

}  // namespace
}  // namespace quillon
