#include "support/TimeText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testing/CaptureTrace.h"
#include "testing/Environment.h"

namespace quillon {
namespace {

using testing::CaptureTrace;
using testing::ScopedTimeZone;

class TimeTextTest : public ::testing::Test {
  protected:
    ScopedTimeZone zone_{"Europe/Berlin"};
};

// The local time as text, or "0" for the TimeValue 0.
std::string Text(TimeValue t) {
    return t.IsSet() ? FormatRegistryTime(t) : "0";
}

TEST_F(TimeTextTest, ParseDateTimeReadsDateAndMinuteLeniently) {
    const std::pair<const char*, const char*> cases[] = {
        {"2003-11-24", "2003-11-24 00:00:00"},
        {"2003-11-24 13:45", "2003-11-24 13:45:00"},
        {"2003-11-24 13:45:59", "2003-11-24 13:45:00"},  // seconds never read
        {"2003-11-24T13:45", "2003-11-24 13:45:00"},     // index 10 not examined
        {"2003-11-24 1345", "2003-11-24 00:00:00"},      // no ':' at index 13
        {"03-11-24", "0"},
        {"2003/11/24", "0"},
        {"", "0"},
        {"1975-06-01", "1980-06-01 00:00:00"},
        {"2003-13-40", "2003-12-31 00:00:00"},
        {"2003-02-31", "2003-03-03 00:00:00"},
        {"2003-11-24 25:70", "2003-11-25 00:59:00"},
        {"abcd-ef-gh", "1980-01-01 00:00:00"},
        {"2045-06-01", "2038-01-19 04:14:07"},        // past the 32-bit range: the last second
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(Text(ParseDateTime(text)), expected) << "text >" << text << "<";
    }
}

TEST_F(TimeTextTest, RegistryParsersAreStrictAndTraceGarbage) {
    struct Case {
        bool minuteForm;
        const char *text, *expected;
        bool traced;
    } cases[] = {
        {false, "2003-11-24 05:40:24", "2003-11-24 05:40:24", false},
        {false, "2003-11-24 05:40:24 and more", "2003-11-24 05:40:24", false},
        {false, "2003-11-24 05:40", "0", false},  // too short: not traced
        {false, "2003-11-24x05:40:24", "1980-01-01 00:00:00", true},
        {false, "2003-11-24 05:4x:24", "1980-01-01 00:00:00", true},
        {false, "2003-11-24 05:40: 4", "2003-11-24 05:40:04", false},
        {false, "1975-13-32 24:60:60", "1981-01-01 00:59:59", false},
        {true, "2003-11-24 05:40", "2003-11-24 05:40:00", false},
        {true, "2003-11-24 05:40:24", "2003-11-24 05:40:00", false},
        {true, "2003-11-24 05-40", "1980-01-01 00:00:00", true},
        {true, "2003-11-2A 05:40", "1980-01-01 00:00:00", true},
    };
    for (const Case& c : cases) {
        CaptureTrace trace;
        TimeValue t = c.minuteForm ? ParseRegistryMinuteTime(c.text) : ParseRegistryTime(c.text);
        EXPECT_EQ(Text(t), c.expected) << "text >" << c.text << "<";
        std::vector<std::string> lines;
        if (c.traced) {
            lines.push_back(std::string("*** Illegal Time String >") + c.text + "< in Registry\n");
        }
        EXPECT_EQ(trace.Records(), lines) << "text >" << c.text << "<";
    }
}

TEST_F(TimeTextTest, FormatsReadBackByTheirParsers) {
    const TimeValue t = MakeTime(2003, 11, 24, 5, 40, 24);
    EXPECT_EQ(FormatRegistryTime(t), "2003-11-24 05:40:24");
    EXPECT_EQ(FormatRegistryMinuteTime(t), "2003-11-24 05:40");
    EXPECT_EQ(t.Format(kDatePattern), "2003-11-24");
    EXPECT_EQ(t.Format(kUserDatePattern), "24.11.2003");
    EXPECT_EQ(t.Format("%y|%%|%Q|%"), "03|%|%Q|%");
    EXPECT_EQ(ParseRegistryTime(FormatRegistryTime(t)), t);
    EXPECT_EQ(ParseRegistryMinuteTime(FormatRegistryMinuteTime(t)), t - TimeSpan(24));
    const TimeValue summer = MakeTime(2024, 7, 1, 23, 59, 0);
    EXPECT_EQ(ParseRegistryMinuteTime(FormatRegistryMinuteTime(summer)), summer);
}

}  // namespace
}  // namespace quillon
