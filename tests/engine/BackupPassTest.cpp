#include "engine/PassTestTree.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using testing::At;
using ::testing::ElementsAre, ::testing::EndsWith, ::testing::HasSubstr;
using BackupPassTest = testing::RunTest;

TEST_F(BackupPassTest, AFirstRunCopiesEveryFileIntoAFullSetAndRecordsIt) {
    Sources({{"offer.doc", "offer", At(2003, 11, 20, 10, 0)},
             {"old\\notes.txt", "notes", At(2003, 11, 23, 9, 30, 45)}});

    RunAt(At(2003, 11, 24, 18, 5, 12));

    // The set is named after the newest change; the copies are read-only, as configured by default.
    EXPECT_EQ(Saved("2003-11-23\\offer.doc") + Saved("2003-11-23\\old\\notes.txt") + Saved("Quillon.TMP"),
              "offernotes<none>");
    EXPECT_EQ(fs::status(Native("C:\\Backup\\2003-11-23\\offer.doc")).permissions() & fs::perms(0222),
              fs::perms::none);
    EXPECT_EQ(Control(),
              "Quillon-Run -- Processing Time: 2003-11-24 18:05   Latest File Change: 2003-11-23 09:30\r\n"
              "0 runs until full backup\r\nC:\\Data\r\n"
              "# ===== Saved Backups:\r\n2003-11-23 F         1 kBytes\r\n# ===== Files:\r\n"
              "X 2003-11-20 10:00  C:\\Data\\offer.doc\r\nX 2003-11-23 09:30  C:\\Data\\old\\notes.txt\r\n");
    // The set describes itself with a copy of the control file.
    EXPECT_EQ(Saved("2003-11-23\\Quillon.txt"), Control());
    EXPECT_EQ(Get("LastRunTime") + ", " + Get("NextRunTime") + ", " + Get("LatestSaveDate"),
              "2003-11-24 18:05:12, 2003-11-25 00:00, 2003-11-23 00:00");
    EXPECT_EQ(profile_.GetProfileInt("Path000", "FullBackupNext", -1), 0);
    EXPECT_TRUE(run_.RunFilesCopied == 2 && run_.CopyPerformed && run_.FirstErrorCode == 0 &&
                !run_.ErrorFlag && run_.LatestSetDate == At(2003, 11, 23));
}

TEST_F(BackupPassTest, AFirstRunWithoutCopyOnFirstRunOnlyRecordsTheFiles) {
    Set("Flags", 0x400 | 0x20);  // full backups scheduled, no copy on the first run
    RunAt(At(2003, 11, 24, 10, 0));
    // An empty source without sets leaves no destination behind.
    EXPECT_TRUE(!Exists("C:\\Backup") && run_.CopyErrorList.empty());

    Sources({{"a.txt", "a", At(2003, 11, 20, 10, 0)}});
    RunAt(At(2003, 11, 24, 18, 5));
    EXPECT_FALSE(Exists("C:\\Backup\\2003-11-20"));
    EXPECT_EQ(Control(),
              "Quillon-Run -- Processing Time: 2003-11-24 18:05   Latest File Change: 2003-11-20 10:00\r\n"
              "0 runs until full backup\r\nC:\\Data\r\n# ===== Saved Backups:\r\n# ===== Files:\r\n"
              "  2003-11-20 10:00  C:\\Data\\a.txt\r\n");
    EXPECT_TRUE(!run_.CopyPerformed && Get("LatestSaveDate") == "<none>");
}

TEST_F(BackupPassTest, LaterRunsCopyOnlyWhatChangedAndMakeAFullSetEveryThirdRun) {
    Set("FullBackupSep", 3);
    Sources({{"a.txt", "a", At(2003, 11, 20, 10, 0)}, {"b.txt", "b", At(2003, 11, 20, 10, 0)}});
    std::string sets;                       // each set's copies of a.txt and b.txt, and its kind
    for (int day = 20; day <= 24; ++day) {  // the 20th: a new path, full
        const std::string set = "2003-11-" + std::to_string(day);
        Sources({{"b.txt", "b" + std::to_string(day), At(2003, 11, day, 9, 0)}});
        RunAt(At(2003, 11, day, 18, 0));
        sets += Saved(set + "\\a.txt") + Saved(set + "\\b.txt") +
                (Control().find(set + " F") != std::string::npos ? " F " : " I ");
    }
    EXPECT_EQ(sets, "ab20 F <none>b21 I <none>b22 I ab23 F <none>b24 I ");
    EXPECT_THAT(Control(), HasSubstr("  2003-11-20 10:00  C:\\Data\\a.txt"));
}

TEST_F(BackupPassTest, AFullBackupIsDueWhenItsDayHasCome) {
    Set("Flags", 0x20 | 0x80);  // scheduled by days
    Set("FullBackupSepTage", 7);
    Sources({{"a.txt", "a", At(2003, 11, 1, 10, 0)}, {"b.txt", "b", At(2003, 11, 1, 10, 0)}});
    RunAt(At(2003, 11, 1, 18, 0));
    // The schedule counts whole intervals from the date recorded before (none: from 1970-01-01).
    EXPECT_EQ(Get("FB_NextTime"), "2003-11-06 00:00");
    EXPECT_THAT(Control(), HasSubstr("Next scheduled full backup: 2003-11-06\r\n"));

    Sources({{"b.txt", "b2", At(2003, 11, 5, 9, 0)}});
    RunAt(At(2003, 11, 5, 18, 0));
    EXPECT_EQ(Saved("2003-11-05\\a.txt"), "<none>");

    // Due once the day of FB_NextTime has passed: every file goes into the set.
    Sources({{"b.txt", "b3", At(2003, 11, 9, 9, 0)}});
    RunAt(At(2003, 11, 9, 18, 0));
    EXPECT_EQ(Saved("2003-11-09\\a.txt") + ", " + Get("FB_NextTime"), "a, 2003-11-13 00:00");
}

// A control file of 200 000 set lines whose folders are gone (a destination cleared by hand, or a
// damaged file) and one set that is still there: the pass forgets the vanished sets in one sweep and
// keeps the rest. Taking them out one by one moved every set behind each one and took minutes.
TEST_F(BackupPassTest, AControlFileOfManyVanishedSetsIsReadAndCleanedInOneSweep) {
    Sources({{"a.txt", "a", At(2003, 11, 20, 10, 0)}});
    RunAt(At(2003, 11, 20, 18, 0));
    std::string control = Control(), vanished;
    for (int i = 0; i < 200'000; ++i) {
        TimeValue day = At(1990, 1, 1);
        AddDays(day, i % 4000);
        vanished += day.Format(kDatePattern) + " I         7 kBytes\r\n";
    }
    control.insert(control.find("# ===== Saved Backups:\r\n") + 24, vanished);
    testing::WriteFile(Native("C:\\Backup\\Quillon.txt"), control);

    Sources({{"a.txt", "a2", At(2003, 11, 24, 9, 0)}});
    RunAt(At(2003, 11, 24, 18, 0));
    EXPECT_THAT(Control(), HasSubstr("# ===== Saved Backups:\r\n2003-11-20 F         1 kBytes\r\n"
                                     "2003-11-24 I         1 kBytes\r\n# ===== Files:"));
    EXPECT_TRUE(Saved("2003-11-24\\a.txt") == "a2" && !run_.ErrorFlag);
}

TEST_F(BackupPassTest, TheSetDateFollowsTheLastRunAndThePreviousDaySetting) {
    Sources({{"a.txt", "a", At(2003, 11, 20, 10, 0)}});
    RunAt(At(2003, 11, 23, 20, 0), true);  // the path last ran on the 23rd

    // Changed at 00:30 and started at login at 01:00: the set belongs to the day before.
    Sources({{"a.txt", "night", At(2003, 11, 24, 0, 30)}});
    RunAt(At(2003, 11, 24, 1, 0), true);
    EXPECT_EQ(Saved("2003-11-23\\a.txt"), "night");

    // Without the setting the same change is filed under its own day.
    ASSERT_TRUE(profile_.WriteProfileInt("Settings", "Vortagsdatum", 0));
    Sources({{"a.txt", "night 2", At(2003, 11, 25, 0, 30)}});
    RunAt(At(2003, 11, 25, 1, 0), true);
    EXPECT_EQ(Saved("2003-11-25\\a.txt"), "night 2");

    // Started at login again the same night, before NextRunTime (the next midnight): not due, skipped.
    Sources({{"a.txt", "changed", At(2003, 11, 25, 1, 30)}});
    RunAt(At(2003, 11, 25, 2, 0), true);
    EXPECT_EQ(Saved("2003-11-25\\a.txt"), "night 2");
    RunAt(At(2003, 11, 25, 3, 0), false);  // by hand it runs
    EXPECT_EQ(Saved("2003-11-25\\a.txt"), "changed");
}

// A new set in which no copy succeeded is not kept: an empty set would count towards the keep rules and
// push an older, real set out. That happens when the disk runs full (every file is left to be copied
// again) or when every copy fails on its own (here the files vanish after the scan, when the set's
// folder is made). Only the folder this pass made is given up so: a folder that was there already holds
// backups, even when the control file no longer lists it.
TEST_F(BackupPassTest, AFailedNewSetIsNotKeptButAFolderThatWasThereIsNeverDeleted) {
    Set("Flags", 0);  // plain copies, no scheduled full backups
    const std::tuple<const char*, bool, bool> cases[] = {
        {"the disk is full", false, true},
        {"every copy fails on its own", false, false},
        {"... in a folder that was there", true, false},
        {"the disk is full, in a folder that was there", true, true},
    };
    for (const auto& [label, folderThere, diskFull] : cases) {
        SCOPED_TRACE(label);
        fs::remove_all(Native("C:\\Backup"));
        const int day = folderThere ? 24 : 20;
        Sources({{"a.txt", "a", At(2003, 11, day, 9, 0)}, {"b.txt", "b", At(2003, 11, day, 9, 0)}});
        RunAt(At(2003, 11, day, 10, 0));
        if (folderThere) {
            fs::remove(Native("C:\\Backup\\Quillon.txt"));  // the control file is lost
        } else {
            Sources({{"a.txt", "a2", At(2003, 11, 24, 9, 0)}, {"b.txt", "b2", At(2003, 11, 24, 9, 0)}});
        }
        if (diskFull) {
            InjectFault(FileOperation::kWrite, 2, ENOSPC);  // a.txt is written whole, b.txt is not
        } else {
            InjectHook(FileOperation::kCreateDirectory, 2,
                       [&] { fs::rename(Native("C:\\Data"), Native("C:\\Away")); });
        }
        RunAt(At(2003, 11, 24, 11, 0));
        ClearFaults();
        if (!diskFull) {
            fs::rename(Native("C:\\Away"), Native("C:\\Data"));
        }
        EXPECT_TRUE(run_.ErrorFlag);  // the copies did fail
        if (folderThere) {
            EXPECT_TRUE(Saved("2003-11-24\\a.txt") == "a" && Exists("C:\\Backup\\2003-11-24\\b.txt"));
            EXPECT_THAT(Control(), HasSubstr("2003-11-24 F")) << "the set is listed again";
            continue;
        }
        EXPECT_FALSE(Exists("C:\\Backup\\2003-11-24"));
        EXPECT_THAT(
            Control(),
            EndsWith("# ===== Saved Backups:\r\n2003-11-20 F         1 kBytes\r\n# ===== Files:\r\n"
                     "E 2003-11-24 09:00  C:\\Data\\a.txt\r\nE 2003-11-24 09:00  C:\\Data\\b.txt\r\n"));
        EXPECT_EQ(std::to_string(run_.FirstErrorCode) + run_.PassErrorLine,
                  diskFull ? "112" + std::string(21, ' ') + "Incomplete backup has been deleted" : "0");
        RunAt(At(2003, 11, 24, 11, 30));
        EXPECT_EQ(
            std::to_string(run_.FirstErrorCode) + Saved("2003-11-24\\a.txt") + Saved("2003-11-24\\b.txt"),
            "0a2b2");
    }
}

// A source that is not there (a typo, a disk not mounted) is an error of its path, not an empty tree:
// one line names it, and the control file, the sets and the path's run state stay as they were. A
// source that names one file is no missing folder.
TEST_F(BackupPassTest, AMissingSourceIsAnErrorOfItsPathThatChangesNothing) {
    Set("Flags", 0);
    Sources({{"a.txt", "a", At(2003, 11, 20, 9, 0)}});
    RunAt(At(2003, 11, 20, 10, 0));
    const std::string control = Control();
    fs::rename(Native("C:\\Data"), Native("C:\\Unmounted"));

    RunAt(At(2003, 11, 24, 10, 0));
    EXPECT_THAT(
        run_.CopyErrorList,
        ElementsAre(::testing::StartsWith("2003-11-24 10:00:00  Source Path C:\\Data not backed up: ")));
    EXPECT_TRUE(run_.ErrorFlag && Control() == control && Saved("2003-11-20\\a.txt") == "a");
    EXPECT_EQ(Get("LastRunTime"), "2003-11-20 10:00:00");

    Set("SourcePath", "C:\\Unmounted\\a.txt");
    Set("DestPath", "C:\\Single");
    RunAt(At(2003, 11, 24, 11, 0));
    EXPECT_TRUE(run_.CopyErrorList.empty() && !run_.ErrorFlag);
    EXPECT_EQ(testing::ReadFile(Native("C:\\Single\\2003-11-20\\a.txt")), "a");
}

// The control file keeps minutes. An edit within the minute of a copy keeps the recorded time, and a
// restored older version has an earlier one: both are saved by the next run, and nothing else is.
TEST_F(BackupPassTest, AnEditWithinTheMinuteOfItsCopyAndAnOlderVersionAreSaved) {
    Set("Flags", 0);
    Sources({{"a.txt", "a", At(2003, 11, 24, 10, 0, 10)},
             {"b.txt", "b", At(2003, 11, 24, 9, 58)},
             {"c.txt", "c", At(2003, 11, 24, 9, 0)}});
    RunAt(At(2003, 11, 24, 10, 0, 20));

    Sources({{"a.txt", "a edited at 10:00:50", At(2003, 11, 24, 10, 0, 50)},
             {"c.txt", "c brought back", At(2003, 11, 1, 8, 0)}});
    run_.RunFilesCopied = 0;
    RunAt(At(2003, 11, 24, 10, 5));
    EXPECT_EQ(Saved("2003-11-24\\a.txt") + ", " + Saved("2003-11-24\\c.txt"),
              "a edited at 10:00:50, c brought back");
    EXPECT_EQ(run_.RunFilesCopied, 2);  // not b.txt, copied long after its minute had ended

    run_.RunFilesCopied = 0;
    RunAt(At(2003, 11, 24, 10, 10));
    EXPECT_TRUE(run_.RunFilesCopied == 0 && !run_.ErrorFlag);
}

// A pass that only looks tells what it would copy and which sets it would delete (that it writes
// nothing at all, the whole program's dry run shows).
TEST_F(BackupPassTest, APassThatOnlyLooksTellsWhatItWouldDo) {
    Set("Flags", 0x04);  // plain copies; a saved file loses its archive attribute
    Set("DelAfterBackups", 2);
    Sources({{"a.txt", "a", At(2003, 11, 20, 9, 0)}});
    RunAt(At(2003, 11, 20, 10, 0));
    Sources({{"b.txt", "bb", At(2003, 11, 21, 9, 0)}});
    RunAt(At(2003, 11, 21, 10, 0));
    Sources({{"a.txt", "a2", At(2003, 11, 24, 9, 0)}, {"c.txt", "ccc", At(2003, 11, 24, 9, 0)}});

    run_.DryRun = true;
    RunAt(At(2003, 11, 24, 18, 0));
    EXPECT_TRUE(Exists("C:\\Backup\\2003-11-20") && !Exists("C:\\Backup\\2003-11-24"));
    ASSERT_EQ(run_.Previews.size(), 1u);
    EXPECT_THAT(
        FormatPassPreview(run_.Previews[0], true),
        ElementsAre("C:\\Data -> C:\\Backup",
                    "  2 files (5 bytes) to copy, incremental backup into the plain set 2003-11-24",
                    "    C:\\Data\\a.txt", "    C:\\Data\\c.txt", "  old sets to delete: 2003-11-20"));

    // What it told is what the run does.
    run_.DryRun = false;
    RunAt(At(2003, 11, 24, 18, 0));
    EXPECT_TRUE(!Exists("C:\\Backup\\2003-11-20") && Saved("2003-11-24\\c.txt") == "ccc");
}

TEST_F(BackupPassTest, ADestinationThatCannotBeCreatedEndsThePassWithoutWritingAnything) {
    Set("DestPath", "Q:\\Backup");
    Sources({{"a.txt", "a", At(2003, 11, 24, 9, 0)}});
    RunAt(At(2003, 11, 24, 10, 0));
    EXPECT_EQ(std::to_string(run_.FirstErrorCode) + ", " + run_.PassErrorMessage + ", " + run_.PassErrorLine +
                  ", " + Get("LastRunTime"),
              "3, Error creating Q:\\Backup, " + std::string(21, ' ') + "Error Creating Q:\\Backup, <none>");
}

}  // namespace
}  // namespace quillon
