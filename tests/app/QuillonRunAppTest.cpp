#include "app/QuillonRunApp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <tuple>

#include "app/AppFixture.h"
#include "support/TimeText.h"

namespace quillon::testing {
namespace {

constexpr char kSemaphore[] = "Software\\Norrow\\Quillon\\Semaphore";
constexpr char kWait[] = "Beginning wait %d seconds (CurrentTime: %19[^)]  NextRun: %19[^)])";

// What the switches set, as "/W /T <instance> <profile key>", then each word traced as invalid.
TEST_F(AppTest, SwitchesAreReadInOrderAndUnknownOnesOnlyTraced) {
    const std::pair<const char*, const char*> cases[] = {
        {"", "0 Software\\Norrow\\Quillon"},
        {"/w", "/W 0 Software\\Norrow\\Quillon"},
        {"/T /F", "/T 0 Software\\Norrow\\Quillon"},
        {"/3 /5", "5 Software\\Norrow\\QuillonApp5"},
        {"/0 /10 /x", "0 Software\\Norrow\\Quillon /0 /10 /X"},
        {"\t/4\t/t", "/T 4 Software\\Norrow\\QuillonApp4"},
    };
    for (auto [line, read] : cases) {
        SCOPED_TRACE(line);
        trace.Clear();
        Set("Settings", "NoAutomaticRun", 1);  // "/W" then ends at once; otherwise the run is only posted
        CQuillonRunApp& fresh = Fresh(line);
        fresh.InitInstance();
        std::string shown = std::string(fresh.StartedByWindows ? "/W " : "") +
                            (fresh.NoCounterReset ? "/T " : "") + std::to_string(fresh.InstanceNumber) + " " +
                            fresh.ProfileKey();
        const std::string invalid = "*** Ung\xFCltiger Aufrufparameter: ";
        for (const std::string& record : Traces(invalid)) {
            shown += " " + record.substr(invalid.size(), record.size() - invalid.size() - 1);  // without "\n"
        }
        EXPECT_EQ(shown, read);
    }
}

// An automatic start while automatic runs are off ends at once; one by hand runs at once and ends without
// a wait, "RunTime" left alone. ("RunningInstance" left alone: the end-of-run table's check.)
TEST_F(AppTest, StartsThatDoNotWait) {
    Set("Settings", "NoAutomaticRun", 1);
    Set("Settings", "RunAtTime", 1);
    Set("DynData", "AktuellInstance", 4);
    Set("DynData", "RunTime", "2003-11-25 08:00:00");
    EXPECT_EQ(RunUntil(Fresh("/W")), 0);
    EXPECT_EQ(EngineRuns, 0);
    EXPECT_EQ(Get("DynData", "LastWindowsStartTime"), "2003-11-24 18:02:11");
    EXPECT_EQ(Record(), "-1 1 -1 <none>");

    const int64_t start = clock.Now();
    EXPECT_EQ(RunUntil(Fresh("")), 0);
    EXPECT_EQ(EngineRuns, 1);
    EXPECT_EQ(Get("DynData", "RunTime"), "2003-11-25 08:00:00");
    // No wait for "RunTime": 2 s of closing, then the end (virtual time also passes while a loaded
    // machine starts the worker).
    EXPECT_LT(clock.Now() - start, 60);
}

// A resident program waits for "RunTime" (in pieces of at most 1 000 000 s, and again for the rest when
// it wakes up early), runs, moves "RunTime" by whole days to the first such time after the run's start
// and waits for that. Each wait is traced, its length from its own "now", and tells when the next run comes.
TEST_F(AppTest, ResidentProgramWaitsForTheRunTime) {
    // "RunTime", the seconds until the test stops the program, the time each wait aims at, the runs.
    const std::tuple<std::string, int64_t, std::vector<std::string>, int> cases[] = {
        {"2003-11-21 20:00:00", 600, {"2003-11-21 20:00:00", "2003-11-24 20:00:00"}, 1},  // still ahead today
        {"2003-11-21 08:00:00", 600, {"2003-11-21 08:00:00", "2003-11-25 08:00:00"}, 1},  // passed: tomorrow
        // Moved a second later during the wait: the timer fires a second early and the wait goes on.
        {At(kNow + 10), 600, {At(kNow + 10), At(kNow + 11), At(kNow + 11 + 86400)}, 1},
        {At(kNow + 2'000'000), 1'999'000, {At(kNow + 2'000'000), At(kNow + 2'000'000)}, 0},
    };
    for (const auto& [stored, stopAfter, aims, runs] : cases) {
        SCOPED_TRACE(stored);
        trace.Clear();
        presenter.Notices.clear();
        clock.Set(kNow);
        EngineRuns = 0;
        Set("Settings", "RunAtTime", 1);
        Set("DynData", "RunTime", stored);
        ActionAt later(loop, 5000, [&] {
            if (stored == At(kNow + 10)) {
                Set("DynData", "RunTime", At(kNow + 11));
            }
        });
        RunUntil(Fresh("/W"), stopAfter);

        std::vector<std::string> waits, notices;
        for (const std::string& wait : Traces("Beginning wait")) {
            int seconds = 0;
            char now[20] = {}, next[20] = {};
            ASSERT_EQ(std::sscanf(wait.c_str(), kWait, &seconds, now, next), 3) << wait;
            int64_t ahead = ParseRegistryTime(next).Seconds() - ParseRegistryTime(now).Seconds();
            EXPECT_EQ(seconds, std::clamp<int64_t>(ahead, 1, 1'000'000)) << wait;
            EXPECT_EQ(waits.empty(), now == At(kNow)) << wait;
            waits.push_back(next);
            notices.push_back("Next run: " + std::string(next).substr(0, 16));
        }
        EXPECT_EQ(waits, aims);
        EXPECT_EQ(presenter.Notices, notices);
        EXPECT_EQ(EngineRuns, runs);
        EXPECT_EQ(Get("DynData", "RunTime"), aims.back());
        EXPECT_EQ(Machine("LastAutoRunTime"), "2003-11-24 18:02:12");
    }
}

// A waiting instance that is no longer wanted ends at its wake-up without a run; it clears
// "RunningInstance" only while the generation is still its own.
TEST_F(AppTest, InstanceNoLongerNeededEndsAtItsWakeUp) {
    const std::tuple<const char*, const char*, int32_t, int32_t> cases[] = {
        {"DynData", "AktuellInstance", 8, 7},  // a new generation: "RunningInstance" is not its own
        {"Settings", "NoAutomaticRun", 1, -1},
        {"Settings", "RunAtTime", 0, -1},
    };
    for (auto [section, entry, value, runningInstance] : cases) {
        SCOPED_TRACE(entry);
        trace.Clear();
        Set("Settings", "RunAtTime", 1);
        Set("Settings", "NoAutomaticRun", 0);
        Set("DynData", "AktuellInstance", 7);
        Set("DynData", "RunTime", At(NowSeconds() + 60));
        ActionAt change(loop, 30'000, [&] { Set(section, entry, value); });
        RunUntil(Fresh("/W"), 3600);
        EXPECT_EQ(EngineRuns, 0);
        EXPECT_TRUE(trace.Contains("Ende, weil diese Instanz nicht mehr ben\xF6tigt wird\n"));
        EXPECT_EQ(Record(), std::to_string(runningInstance) + " 1 -1 <none>");
    }
}

// A clock on which the semaphore's holder writes a new value every 30 s (every sixth poll).
struct RenewingClock : FakeClock {
    RenewingClock(int64_t now, bool renew) : FakeClock(now), renew(renew) {}
    void Sleep(int64_t milliseconds) override {
        FakeClock::Sleep(milliseconds);
        if (renew && ++sleeps % 6 == 0) {
            WriteRegistryInt(HKEY_LOCAL_MACHINE, kSemaphore, ++value);
        }
    }
    bool renew;
    int sleeps = 0;
    int32_t value = 5;
};

TEST_F(AppTest, SemaphoreWaitEndsWhenFreeUnchangedOrAfterAnHour) {
    // The semaphore, whether its holder renews it, and the polls: how many, the first and the last.
    const std::tuple<int32_t, bool, const char*> cases[] = {
        {0, false, "0"},                                                           // free
        {5, false, "36 Waiting for Semaphore: 35\n Waiting for Semaphore:  0\n"},  // held unchanged
        {5, true, "720 Waiting for Semaphore: 35\n Waiting for Semaphore: 30\n"},  // held and renewed
    };
    for (auto [semaphore, renew, polled] : cases) {
        SCOPED_TRACE(polled);
        trace.Clear();
        RenewingClock renewing(kNow, renew);
        WriteRegistryInt(HKEY_LOCAL_MACHINE, kSemaphore, semaphore);
        app.WaitForSemaphore();
        std::vector<std::string> polls = Traces("Waiting for Semaphore: ");
        EXPECT_EQ(renewing.Slept(), static_cast<int64_t>(polls.size()) * 5000);
        EXPECT_EQ(
            std::to_string(polls.size()) + (polls.empty() ? "" : " " + polls.front() + " " + polls.back()),
            polled);
    }
}

// A semaphore left by a run that ended without freeing it: the wait says once which run it waits
// for, and the run begins after two waits of 3 quiet minutes each.
TEST_F(AppTest, WaitForAnotherRunIsAnnouncedOnce) {
    WriteRegistryInt(HKEY_LOCAL_MACHINE, kSemaphore, 7);
    WriteRegistryString(HKEY_LOCAL_MACHINE, "Software\\Norrow\\Quillon\\SemaphoreTaken",
                        "2003-11-24 14:02:30");
    RunUntil(Fresh(""));
    EXPECT_EQ(EngineRuns, 1);
    EXPECT_EQ(presenter.Notices,
              std::vector<std::string>{
                  "Waiting for the run started at 14:02 to end. (A run that ended without a "
                  "word is given up after 3 minutes without a sign of life, twice: 6 minutes.)"});
    EXPECT_EQ(Traces("Waiting for Semaphore: ").size(), 72u);  // 2 x 36 polls of 5 seconds
    EXPECT_EQ(Machine("SemaphoreTaken"), At(kNow + 360));
}

TEST_F(AppTest, WaitWindowTimersFireOnce) {
    CWaitWindow window(app);
    struct Dialog : AutoCloseDialog {
        void OnAutoClose() override { ++closed; }
        int closed = 0;
    } first, second;
    std::vector<uint32_t> messages;
    auto runFor = [&](int64_t milliseconds) {
        ActionAt end(loop, milliseconds, [&] { loop.PostThreadMessage(WM_QUIT); });
        loop.Run([&](uint32_t message) { messages.push_back(message); });
    };

    window.OpenAutoCloseDialog(first);
    window.CloseAutoCloseDialog(first);  // the user closed it before the 30 minutes were up
    runFor(1'800'001);
    EXPECT_EQ(first.closed, 0);

    window.OpenAutoCloseDialog(second);
    loop.SetTimer(window, CWaitWindow::kScheduleTimer, 1000);
    runFor(3'600'000);
    EXPECT_EQ(second.closed, 1);
    EXPECT_EQ(messages, std::vector<uint32_t>{WM_START_RUN});
}

}  // namespace
}  // namespace quillon::testing
