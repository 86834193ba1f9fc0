#include "platform/Clock.h"

#include <gtest/gtest.h>

#include <ctime>

#include "testing/FakeClock.h"

namespace quillon {
namespace {

TEST(ClockTest, AnInstalledClockServesNowAndSleepUntilItGoes) {
    {
        testing::FakeClock clock(1'000'000'000);
        SleepMilliseconds(3'600'000);  // an hour passes at once
        EXPECT_EQ(NowSeconds(), 1'000'003'600);
    }
    int64_t now = static_cast<int64_t>(std::time(nullptr));
    EXPECT_GE(NowSeconds(), now);
    EXPECT_LE(NowSeconds(), now + 5);
}

}  // namespace
}  // namespace quillon
