#include "platform/Clock.h"

#include <gtest/gtest.h>

#include <ctime>

#include "testing/FakeClock.h"

namespace quillon {
namespace {

TEST(ClockTest, TheSystemClockReadsTheRealTime) {
    int64_t before = static_cast<int64_t>(std::time(nullptr));
    int64_t now = NowSeconds();
    EXPECT_GE(now, before);
    EXPECT_LE(now, before + 5);
}

TEST(ClockTest, AnInstalledClockServesNowAndSleepUntilItGoes) {
    {
        testing::FakeClock clock(1'000'000'000);
        EXPECT_EQ(NowSeconds(), 1'000'000'000);
        SleepMilliseconds(3'600'000);  // an hour passes at once
        EXPECT_EQ(NowSeconds(), 1'000'003'600);
        EXPECT_EQ(clock.Slept(), 3'600'000);
    }
    EXPECT_GT(NowSeconds(), 1'600'000'000);
}

}  // namespace
}  // namespace quillon
