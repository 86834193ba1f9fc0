// The end of a run: summaries, status, registry entries, the disk error report, the error list.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <tuple>

#include "app/AppFixture.h"
#include "app/QuillonRunApp.h"
#include "log/ErrorLog.h"
#include "testing/TempDir.h"

namespace quillon::testing {
namespace {

// The summary, status and registry record of a run's end. A start at login runs only the paths due today:
// when none is, it says until when, not that nothing changed. An automatic run stores its new-files
// counter at its end, "/T" leaves the stored one alone, and a run by hand neither loads nor stores it.
TEST_F(AppTest, SummaryAndStatusOfTheRun) {
    // The switches, the files copied (-1: none), an error; the summary, the run's record without its time,
    // the exit status and the new-files counter stored.
    const std::tuple<const char*, int32_t, bool, const char*, const char*, int, int32_t> cases[] = {
        {"", -1, false, "No changed file found.", "-999 1 0", 0, 5},
        {"", 1, false, "1 file has been saved.", "-999 0 0", 0, 5},
        {"", 2, false, "2 files have been saved.", "-999 0 0", 0, 5},
        {"", 2, true, "Errors have been occurred.", "-999 2 0", 1, 5},
        {"/W", -1, false, "Not due until 2003-11-25.", "-1 1 0", 0, 8},
        {"/W /T", 2, false, "2 files have been saved.", "-1 0 0", 0, 5},
    };
    Set("Path000", "SourcePath", "C:\\Data");
    Set("Path000", "DestPath", "C:\\Backup");
    Set("Path000", "NextRunTime", "2003-11-26 00:00");
    Set("Path001", "SourcePath", "C:\\Mail");
    Set("Path001", "DestPath", "C:\\Backup2");
    Set("Path001", "NextRunTime", "2003-11-25 00:00");
    for (const auto& [switches, files, error, summary, record, exitStatus, newFiles] : cases) {
        SCOPED_TRACE(std::string(switches) + " " + summary);
        CQuillonRunApp& run = Fresh(switches);
        run.Engine = [&](RunState& state) {
            state.CopyPerformed = files >= 0;
            state.RunFilesCopied = std::max(files, 0);
            state.ErrorFlag = error;
            state.CountNewFiles += 3;
            state.RunInProgress.store(false);
        };
        Set("DynData", "TotalFullBackup", 1);
        WriteRegistryInt(HKEY_LOCAL_MACHINE, "Software\\Norrow\\Quillon\\CountNewFiles", 5);
        WriteRegistryString(HKEY_LOCAL_MACHINE, "Software\\Norrow\\Quillon\\LastAutoRunTime", "");
        int64_t start = NowSeconds();
        EXPECT_EQ(run.Run(), exitStatus);
        EXPECT_EQ(presenter.Views.back()->Texts[ProgressLine::kKind], summary);
        EXPECT_EQ(presenter.Views.back()->Texts[ProgressLine::kStatus], "");
        EXPECT_EQ(Record(), record + (" " + At(start)));
        EXPECT_EQ(GetInt("DynData", "TotalFullBackup"), 0);
        EXPECT_EQ(Machine("LastAutoRunTime"), switches[0] == '/' ? At(start) : "");
        EXPECT_EQ(MachineInt("CountNewFiles"), newFiles);
    }
    EXPECT_EQ(presenter.ErrorLists, 0);
    EXPECT_TRUE(Messages.empty());
}

// A disk error is logged with the pass's line that tells where it met it. (The box that shows it the
// full-disk script sees; the list of the files not copied, the hostile-tree and source-access scripts.)
TEST_F(AppTest, DiskErrorIsLogged) {
    Set("Settings", "ErrorLogPath", "C:\\Logs\\QuillonRun.Log");
    CQuillonRunApp& run = Fresh();
    run.Engine = [](RunState& state) {
        state.FirstErrorCode = 112;
        state.PassErrorLine = "2003-11-24 18:02:11  Error copying C:\\Data\\big.iso";
        state.RunInProgress.store(false);
    };
    EXPECT_EQ(run.Run(), 1);
    EXPECT_EQ(GetInt("DynData", "LastRunStatus"), 2);
    EXPECT_THAT(ReadFile(drives.Native("C:\\Logs\\QuillonRun.Log")),
                HasSubstr("  **** Disk Error 112: Not enough space on the disk\r\n"
                          "2003-11-24 18:02:11  Error copying C:\\Data\\big.iso\r\n"));
}

// An unreadable user hive must not read as "nothing configured", a success with "No changed file found.":
// the run fails, shown and logged, with status 2. (The hive's state in words: the configuration's tests.)
TEST_F(AppTest, AnUnreadableUserHiveFailsTheRunInsteadOfFindingNothing) {
    const std::pair<const char*, std::function<void(ScopedHives&)>> cases[] = {
        {"database is corrupt\n(Error code 1009)",
         [](ScopedHives& h) { h.MakeDamaged(HiveRoot::kCurrentUser); }},
        {"key could not be opened\n(Error code 1011)",
         [](ScopedHives& h) { std::filesystem::create_directories(h.File(HiveRoot::kCurrentUser)); }},
    };
    // With the profile unreadable the log has no configured place: it lies beside the program.
    const std::string logFile = drives.Native(ProgramDirectory() + "\\QuillonRun.Log");
    for (const auto& [shown, spoil] : cases) {
        SCOPED_TRACE(shown);
        ScopedHives spoilt;
        spoil(spoilt);
        std::filesystem::remove(logFile);
        Messages.clear();
        EXPECT_EQ(Fresh().Run(), 2);
        EXPECT_EQ(EngineRuns, 0);
        EXPECT_THAT(Messages, ::testing::ElementsAre(::testing::StartsWith(
                                  std::string("Backup error:\n\nThe configuration registry ") + shown +
                                  "\n\nThe user hive ")));
        EXPECT_THAT(ReadFile(logFile), HasSubstr("  The user hive " + spoilt.File(HiveRoot::kCurrentUser)));
        EXPECT_EQ(MachineInt("Semaphore"), 0);
    }
}

TEST_F(AppTest, LatestSaveDateIsRaisedAndAFutureOneReplaced) {
    const std::tuple<const char*, TimeValue, const char*> cases[] = {
        {"2003-11-26 09:00", TimeValue(), "1990-01-01 00:00"},  // two days ahead: cannot be right
        {"2003-11-20 09:00", MakeTime(2003, 11, 24, 0, 0, 0), "2003-11-24 00:00"},
        {"2003-11-24 00:00", MakeTime(2003, 11, 20, 0, 0, 0), "2003-11-24 00:00"},
    };
    for (const auto& [stored, latest, after] : cases) {
        SCOPED_TRACE(stored);
        Set("DynData", "LatestSaveDate", stored);
        CQuillonRunApp& run = Fresh();
        run.LatestSetDate = latest.IsSet() ? latest : run.LatestSetDate;
        run.Run();
        EXPECT_EQ(Get("DynData", "LatestSaveDate"), after);
    }
}

}  // namespace
}  // namespace quillon::testing
