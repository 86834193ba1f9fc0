#include <sys/stat.h>

#include "engine/PassTestTree.h"
#include "ibzip/IbZipHarness.h"

namespace quillon {
namespace {

using ::testing::ElementsAre, ::testing::EndsWith, ::testing::HasSubstr, ::testing::UnorderedElementsAreArray;
using ScanDirectoryTest = testing::PassTest;
using testing::SetPatterns, testing::Split;

// Any other time is a change, an earlier one too (an older version brought back by mv, tar or cp -p),
// or a time after a recorded one in the future (a camera or share with a wrong clock). The control file
// keeps minutes: a file copied within its recorded minute may have been edited later in that minute and
// still show the recorded time. Such files, and only those, are copied again.
TEST_F(ScanDirectoryTest, ChangesCountByTheMinuteFrom2000AndByTheDayBefore) {
    const TimeValue never;  // not recorded at all
    const TimeValue future = MakeTime(2030, 1, 1, 12, 0, 0);
    struct Case {
        const char* name;
        TimeValue now, previous;  // the file's time, its recorded time
        bool pending, copy;
    } cases[] = {
        {"new", MakeTime(2003, 11, 20, 10, 15, 0), never, false, true},
        {"sameminute", MakeTime(2003, 11, 20, 10, 15, 40), MakeTime(2003, 11, 20, 10, 15, 0), false, false},
        {"nextminute", MakeTime(2003, 11, 20, 10, 16, 0), MakeTime(2003, 11, 20, 10, 15, 0), false, true},
        {"restored", MakeTime(2003, 11, 20, 10, 14, 0), MakeTime(2003, 11, 20, 10, 15, 0), false, true},
        {"pending", MakeTime(2003, 11, 20, 10, 15, 0), MakeTime(2003, 11, 20, 10, 15, 0), true, true},
        {"1995sameday", MakeTime(1995, 6, 1, 17, 30, 0), MakeTime(1995, 6, 1, 8, 0, 0), false, false},
        {"1995nextday", MakeTime(1995, 6, 2, 0, 10, 0), MakeTime(1995, 6, 1, 8, 0, 0), false, true},
        {"1995daybefore", MakeTime(1995, 5, 31, 23, 50, 0), MakeTime(1995, 6, 1, 8, 0, 0), false, true},
        {"1999lastday", MakeTime(1999, 12, 31, 23, 59, 0), MakeTime(1999, 12, 31, 10, 0, 0), false, false},
        {"2000firstday", MakeTime(2000, 1, 1, 10, 30, 0), MakeTime(2000, 1, 1, 10, 0, 0), false, true},
        // Raised to the earliest time the control file holds, which it recorded last time.
        {"1975", MakeTime(1975, 3, 1, 12, 0, 0), TimeValue(315'530'178), false, false},
        {"futureedited", MakeTime(2003, 11, 24, 9, 0, 0), future, false, true},
        {"futureunchanged", future, future, false, false},
        // The previous pass began at 10:00:20 (see PreviousProcessingTime below).
        {"inpassminute", MakeTime(2003, 11, 24, 10, 0, 50), MakeTime(2003, 11, 24, 10, 0, 0), false, true},
        {"editedinpass", MakeTime(2003, 11, 24, 10, 7, 0), MakeTime(2003, 11, 24, 10, 7, 0), false, true},
        {"minutebefore", MakeTime(2003, 11, 24, 9, 59, 59), MakeTime(2003, 11, 24, 9, 59, 0), false, false},
    };
    for (const Case& c : cases) {
        File("C:\\Src\\" + std::string(c.name), "x", c.now);
        if (c.previous.IsSet()) {
            Recorded("C:\\Src\\" + std::string(c.name), c.previous, c.pending);
        }
    }
    pass_->LatestChange = pass_->LatestFileTime = MakeTime(1980, 1, 1, 0, 0, 0);
    pass_->PreviousProcessingTime = MakeTime(2003, 11, 24, 10, 0, 20);
    Scan();

    for (const Case& c : cases) {
        const FileEntry* entry = Current("C:\\Src\\" + std::string(c.name));
        ASSERT_NE(entry, nullptr) << c.name;
        EXPECT_EQ(entry->ToCopy, c.copy) << c.name;
        EXPECT_EQ(entry->Time, std::max(c.now, TimeValue(315'530'178))) << c.name;
    }
    // The newest copy is "editedinpass"; the newest file of all the one from the future.
    EXPECT_TRUE(pass_->FilesToCopy == 10 && pass_->LatestChange == MakeTime(2003, 11, 24, 10, 7, 0) &&
                pass_->LatestFileTime == future);

    // Without a recorded processing time no copy counts as made within its minute.
    DeleteAll(pass_->CurrentFiles);
    pass_->PreviousProcessingTime = TimeValue();
    Scan();
    EXPECT_FALSE(Current("C:\\Src\\inpassminute")->ToCopy);
}

TEST_F(ScanDirectoryTest, WhatIsListed) {
    struct Case {
        const char* label;
        const char* source;
        // Lists split at '|'. Files and listed ones are below C:\Src unless they begin with "C:".
        const char *excludes, *forces, *files, *listed;
        bool subdirs = true, compress = false;
        const char* excludeAfter = nullptr;  // the first exclude pattern after the scan
        const char* dest = "C:\\Backup";     // D: is C:\Src
    } cases[] = {
        {"force patterns bring back only what they name", "C:\\Src", "*.bak", "*\\important.bak",
         "a.bak|IMPORTANT.BAK|NOTIMPORTANT.BAK|keep.doc|sub\\important.bak|sub\\old.Bak",
         "IMPORTANT.BAK|keep.doc|sub\\important.bak"},
        {"an excluded folder is not walked", "C:\\Src", "c:\\src\\cache", "",
         "b.doc|Cache\\a.doc|Cache\\deep\\IMPORTANT.BAK", "b.doc", true, false, "C:\\SRC\\CACHE"},
        {"with force patterns it is walked for forced files only", "C:\\Src", "c:\\src\\cache",
         "*\\IMPORTANT.BAK", "b.doc|Cache\\a.doc|Cache\\deep\\IMPORTANT.BAK",
         "b.doc|Cache\\deep\\IMPORTANT.BAK", true, false, "C:\\SRC\\CACHE\\*"},
        {"without subfolders", "C:\\Src", "", "", "top.doc|sub\\below.doc", "top.doc", false},
        {"a missing source", "C:\\Nowhere", "", "", "a.doc", ""},
        {"the control file's name in the root", "C:\\Src", "", "", "Quillon.txt|quillon.txt|sub\\Quillon.txt",
         "Kopie von Quillon.txt|quillon.txt|sub\\Quillon.txt"},
        {"names differing only in case", "C:\\Src", "", "", "Report.doc|REPORT.doc", "Report.doc|REPORT.doc"},
        {"the staging folder in a plain pass", "C:\\Temp", "", "", "C:\\Temp\\QuilRun\\s.doc",
         "C:\\Temp\\QuilRun\\s.doc"},
        {"the staging folder in a compressed pass", "C:\\Temp", "", "", "C:\\Temp\\QuilRun\\s.doc", "", true,
         true},
        // However the destination is spelled, by its own path or through another drive.
        {"the destination inside the source", "C:\\Src", "", "",
         "doc.txt|Backup\\2003-11-20\\doc.txt|Backup\\Quillon.txt|Backup2\\keep.txt",
         "doc.txt|Backup2\\keep.txt", true, false, nullptr, "C:\\Src\\Backup"},
        {"... through another drive", "C:\\Src", "", "",
         "doc.txt|Backup\\2003-11-20\\doc.txt|Backup\\Quillon.txt", "doc.txt", true, false, nullptr,
         "D:\\Backup"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        std::filesystem::remove_all(drives_.DriveC());
        std::filesystem::create_directories(drives_.DriveC() + "/Src");
        drives_.Map('d', drives_.DriveC() + "/Src");
        for (const std::string& file : Split(c.files, "C:\\Src\\")) {
            File(file, "x");
        }
        SetPatterns(path_.ExcludeList, c.excludes);
        SetPatterns(path_.ForceList, c.forces);
        path_.SourcePath = c.source;
        path_.SourcePathUpper = ToUpperPath(c.source);
        path_.IncludeSubdirs = c.subdirs;
        path_.DestPath = c.dest;
        pass_ = std::make_unique<BackupPass>(state_, path_);
        pass_->Compress = c.compress;
        Scan();
        const std::vector<std::string> expected = Split(c.listed, "C:\\Src\\");
        EXPECT_THAT(ListedPaths(), UnorderedElementsAreArray(expected));
        EXPECT_EQ(pass_->FilesToCopy, static_cast<int32_t>(expected.size()));
        if (c.excludeAfter != nullptr) {
            EXPECT_EQ(path_.ExcludeList.Get(0)->PatternUpper, c.excludeAfter);  // grows once entered
        }
        for (const FileEntry* entry : pass_->CurrentFiles) {
            EXPECT_EQ(entry->StoredAsCopyName, entry->Path.ends_with("\\Kopie von Quillon.txt"))
                << entry->Path;
        }
    }
}

// (Carriage returns, folders of such names and the run's status: the hostile tree runs them end to end.)
TEST_F(ScanDirectoryTest, NamesThatCannotBeRecordedAreReportedOnceAndSkipped) {
    for (const char* name : {"a\nb.txt", "c\\d.txt", "skip\n.tmp", "ok.txt"}) {
        testing::WriteFile(drives_.DriveC() + "/Src/" + name, "x");
    }
    SetPatterns(path_.ExcludeList, "*.TMP");  // an excluded name needs no report
    Scan();
    EXPECT_THAT(ListedPaths(), ElementsAre("C:\\Src\\ok.txt"));
    EXPECT_THAT(
        state_.CopyErrorList,
        ElementsAre(
            "2003-11-24 18:02:11  File >a<LF>b.txt< in C:\\Src not backed up: its name holds a line break",
            "2003-11-24 18:02:11  File >c\\d.txt< in C:\\Src not backed up: its name holds a backslash"));
}

// A symbolic link is never followed, whatever it points to: it is an entry of its own, with the
// link's own time (so that a link that changes is saved again) and the length of its target text.
// A FIFO is never listed (nor opened), but the error list says it was left out. (Links out of the tree
// and in circles, sockets: the hostile tree runs them end to end.)
TEST_F(ScanDirectoryTest, LinksAreEntriesOfTheirOwnAndSpecialFilesReportedNeverListed) {
    const std::string src = drives_.DriveC() + "/Src";
    File("C:\\Src\\real\\x.doc", "x");
    std::filesystem::create_directory_symlink(src + "/real", src + "/again");
    std::filesystem::create_symlink(src + "/real/x.doc", src + "/alias.doc");
    const TimeValue linked = MakeTime(2003, 11, 22, 8, 15, 0);
    testing::SetModified(src + "/alias.doc", linked.Seconds());  // the link's own time
    ASSERT_EQ(::mkfifo((src + "/pipe").c_str(), 0600), 0);
    Scan();
    EXPECT_THAT(ListedPaths(),
                UnorderedElementsAreArray({"C:\\Src\\again", "C:\\Src\\alias.doc", "C:\\Src\\real\\x.doc"}));
    const FileEntry* alias = Current("C:\\Src\\alias.doc");
    EXPECT_TRUE(alias->Time == linked && alias->Size == static_cast<int64_t>((src + "/real/x.doc").size()));
    EXPECT_THAT(
        state_.CopyErrorList,
        ElementsAre(EndsWith("  File >pipe< in C:\\Src not backed up: it is a FIFO, socket or device, "
                             "not a file")));
    EXPECT_EQ(state_.UncopiedFiles, std::vector<std::string>{"C:\\Src\\pipe"});
    EXPECT_TRUE(state_.ErrorFlag);  // a file left out is an error of the run
}

// A folder swapped for a link to a folder outside the source while the scan runs: before the scan
// opens it, or while the scan is inside it (the folder above the one being opened). The walk never
// follows the link: the first is reported and left out, the second goes on in the real folder.
TEST_F(ScanDirectoryTest, AFolderSwappedForALinkDuringTheWalkIsNeverFollowed) {
    namespace fs = std::filesystem;
    const std::string src = drives_.DriveC() + "/Src";
    // The swap happens just before the walk opens its nth subfolder: the folder itself (reported), or
    // the folder the walk is in. What is listed.
    const std::tuple<int, std::vector<std::string>, bool> cases[] = {
        {1, {"C:\\Src\\z.doc"}, true},
        {2, {"C:\\Src\\a\\b\\real.doc", "C:\\Src\\a\\c.doc", "C:\\Src\\z.doc"}, false},
    };
    for (const auto& [openingFolder, listed, reported] : cases) {
        SCOPED_TRACE(openingFolder);
        fs::remove_all(src);
        fs::remove_all(drives_.DriveC() + "/Moved");
        NewPass();
        File("C:\\Src\\a\\b\\real.doc", "real");
        File("C:\\Src\\a\\c.doc", "c");
        File("C:\\Src\\z.doc", "z");
        File("C:\\Outside\\b\\secret.doc", "secret");
        File("C:\\Outside\\private.doc", "private");
        ScopedFaults faults;
        InjectHook(FileOperation::kOpenFolder, openingFolder, [&] {
            fs::rename(src + "/a", drives_.DriveC() + "/Moved");
            fs::create_directory_symlink(drives_.DriveC() + "/Outside", src + "/a");
        });
        Scan();
        EXPECT_THAT(ListedPaths(), UnorderedElementsAreArray(listed));
        EXPECT_EQ(state_.ErrorFlag, reported);
        EXPECT_THAT(state_.CopyErrorList, ::testing::Each(HasSubstr("Folder C:\\Src\\a not backed up")));
        EXPECT_EQ(state_.CopyErrorList.size(), reported ? 1u : 0u);
    }
}

}  // namespace
}  // namespace quillon
