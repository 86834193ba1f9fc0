// The system's request to end the program (a signal, as the watcher thread hands it over).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>

#include "app/AppFixture.h"

namespace quillon::testing {
namespace {

using TerminationTest = AppTest;

// A program waiting for another program's semaphore ends as usual (the end while waiting for the run
// time is left to the end-to-end script): status 0, the semaphore untouched, the instance given back.
// A second request right behind the first is the same request; one after a pause ends the process at once.
TEST_F(TerminationTest, WithoutARunTheProgramEndsAsUsual) {
    Set("DynData", "AktuellInstance", 4);
    WriteRegistryInt(HKEY_LOCAL_MACHINE, "Software\\Norrow\\Quillon\\Semaphore", 5);
    CQuillonRunApp& resident = Fresh("/W");
    std::vector<int> statuses;  // the statuses the process would have ended with at once
    resident.EndProcess = [&](int status) { statuses.push_back(status); };
    std::thread([&] {
        resident.RequestTermination(SIGTERM);  // from another thread, as the watcher calls
        resident.RequestTermination(SIGINT);
        std::this_thread::sleep_for(std::chrono::milliseconds(CQuillonRunApp::kSameRequestMilliseconds + 50));
        resident.RequestTermination(SIGHUP);
    }).join();
    EXPECT_EQ(RunUntil(resident, 86'400), 0);

    EXPECT_EQ(statuses, std::vector<int>{128 + SIGHUP});
    EXPECT_EQ(EngineRuns, 0);
    EXPECT_EQ(Record(), "-1 1 5 <none>");
}

// During a run the worker is held between two files, the semaphore and the instance are freed, and
// the run's record is written before the end: its error lines, the interruption, status 2 and its
// time. A worker that does not come by in time is left alone: the record then goes without its lines.
TEST_F(TerminationTest, DuringARunTheRecordIsWrittenAndTheSemaphoreFreedBeforeTheEnd) {
    Set("Settings", "ErrorLogPath", "C:\\Logs\\QuillonRun.Log");
    Set("DynData", "AktuellInstance", 4);
    for (bool ticking : {true, false}) {
        SCOPED_TRACE(ticking ? "the worker reaches a point between two files" : "the worker never comes by");
        std::filesystem::remove(drives.Native("C:\\Logs\\QuillonRun.Log"));
        Set("DynData", "LastRunStatus", 0);
        // The engine goes on writing the hive while the user-interface thread ends the program.
        std::atomic<bool> ended{false};
        int32_t written = 0;
        CQuillonRunApp& run = Fresh("/W");
        run.HoldMilliseconds = ticking ? 60'000 : 50;
        std::string startedAt;
        run.Engine = [&](RunState& state) {
            startedAt = state.RunTime.Format("%Y-%m-%d %H:%M:%S");
            state.CopyErrorList.push_back("2003-11-24 18:02:11  C:\\Data\\locked.doc");
            run.RequestTermination(SIGTERM);
            while (!ended.load()) {
                state.Profile->WriteProfileInt("Path000", "Probe", ++written);
                if (ticking) {
                    state.Tick();
                }
            }
            state.RunInProgress.store(false);
        };
        std::string atEnd, logAtEnd;  // each end's status the process would have ended with, and the record
        run.EndProcess = [&](int status) {
            atEnd += std::to_string(status) + " " + Record();
            logAtEnd = ReadFile(drives.Native("C:\\Logs\\QuillonRun.Log"));
            ended.store(true);  // here the process is gone; the test lets the run finish instead
        };
        RunUntil(run, 86'400);

        EXPECT_EQ(atEnd, std::to_string(128 + SIGTERM) + " -1 2 0 " + startedAt);
        EXPECT_THAT(logAtEnd,
                    HasSubstr("  **** Run interrupted by signal 15 (SIGTERM): the next run saves what is "
                              "missing" +
                              std::string(ticking ? "\r\n" : "; the errors met before are not known\r\n")));
        EXPECT_EQ(logAtEnd.find("C:\\Data\\locked.doc") != std::string::npos, ticking) << logAtEnd;
        EXPECT_GT(written, 0);
        EXPECT_EQ(GetInt("Path000", "Probe"), written);  // no write of the worker lost
    }
}

}  // namespace
}  // namespace quillon::testing
