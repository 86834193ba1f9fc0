#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "engine/PassTestTree.h"

namespace quillon {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::PassTest;
using ::testing::UnorderedElementsAre;

using ScanDirectoryTest = PassTest;

TEST_F(ScanDirectoryTest, ChangesCountByTheMinuteFrom2000AndByTheDayBefore) {
    struct Case {
        const char* name;
        TimeValue now;       // the file's modification time
        bool recorded;       // listed in the control file at all
        TimeValue previous;  // its recorded time
        bool pending;        // recorded with the mark 'E'
        bool copy;
    } cases[] = {
        {"new.doc", MakeTime(2003, 11, 20, 10, 15, 0), false, {}, false, true},
        {"sameminute.doc", MakeTime(2003, 11, 20, 10, 15, 40), true, MakeTime(2003, 11, 20, 10, 15, 0), false,
         false},
        {"nextminute.doc", MakeTime(2003, 11, 20, 10, 16, 0), true, MakeTime(2003, 11, 20, 10, 15, 0), false,
         true},
        {"restored.doc", MakeTime(2003, 11, 20, 10, 14, 0), true, MakeTime(2003, 11, 20, 10, 15, 0), false,
         false},
        {"pending.doc", MakeTime(2003, 11, 20, 10, 15, 0), true, MakeTime(2003, 11, 20, 10, 15, 0), true,
         true},
        {"1995sameday.doc", MakeTime(1995, 6, 1, 17, 30, 0), true, MakeTime(1995, 6, 1, 8, 0, 0), false,
         false},
        {"1995nextday.doc", MakeTime(1995, 6, 2, 0, 10, 0), true, MakeTime(1995, 6, 1, 8, 0, 0), false, true},
        {"1999lastday.doc", MakeTime(1999, 12, 31, 23, 59, 0), true, MakeTime(1999, 12, 31, 10, 0, 0), false,
         false},
        {"2000firstday.doc", MakeTime(2000, 1, 1, 10, 30, 0), true, MakeTime(2000, 1, 1, 10, 0, 0), false,
         true},
        // Raised to the earliest time the control file can hold, which it recorded last time.
        {"1975.doc", MakeTime(1975, 3, 1, 12, 0, 0), true, TimeValue(315'530'178), false, false},
    };
    for (const Case& c : cases) {
        File("C:\\Src\\" + std::string(c.name), "x", c.now);
        if (c.recorded) {
            Recorded("C:\\Src\\" + std::string(c.name), c.previous, c.pending);
        }
    }
    const TimeValue start = MakeTime(1980, 1, 1, 0, 0, 0);
    pass_->LatestChange = pass_->LatestFileTime = start;
    Scan();

    int32_t toCopy = 0;
    TimeValue latestChange = start;
    TimeValue latestFile = start;
    for (const Case& c : cases) {
        const FileEntry* entry = Current("C:\\Src\\" + std::string(c.name));
        ASSERT_NE(entry, nullptr) << c.name;
        EXPECT_EQ(entry->ToCopy, c.copy) << c.name;
        TimeValue time = std::max(c.now, TimeValue(315'530'178));
        EXPECT_EQ(entry->Time, time) << c.name;
        toCopy += c.copy ? 1 : 0;
        latestChange = c.copy ? std::max(latestChange, time) : latestChange;
        latestFile = std::max(latestFile, time);
    }
    EXPECT_EQ(pass_->FilesToCopy, toCopy);
    EXPECT_EQ(pass_->LatestChange, latestChange);
    EXPECT_EQ(pass_->LatestFileTime, latestFile);
    EXPECT_GE(state_.ActivityCounter.load(), static_cast<int32_t>(std::size(cases)));
}

TEST_F(ScanDirectoryTest, ForcePatternsBringBackOnlyWhatTheyName) {
    for (const char* name : {"a.bak", "IMPORTANT.BAK", "NOTIMPORTANT.BAK", "keep.doc", "sub\\important.bak",
                             "sub\\x.doc", "sub\\old.Bak"}) {
        File("C:\\Src\\" + std::string(name), "x");
    }
    AddPattern(path_.ExcludeList, "*.bak");
    AddPattern(path_.ForceList, "*\\important.bak");
    Scan();
    EXPECT_THAT(ListedPaths(), UnorderedElementsAre("C:\\Src\\IMPORTANT.BAK", "C:\\Src\\keep.doc",
                                                    "C:\\Src\\sub\\important.bak", "C:\\Src\\sub\\x.doc"));
    EXPECT_EQ(pass_->FilesToCopy, 4);
}

TEST_F(ScanDirectoryTest, AnExcludedDirectoryIsWalkedOnlyForForcedFiles) {
    for (bool withForce : {false, true}) {
        SCOPED_TRACE(withForce ? "with a force pattern" : "without force patterns");
        pass_ = std::make_unique<BackupPass>(state_, path_);
        DeleteAll(path_.ExcludeList);
        DeleteAll(path_.ForceList);
        File("C:\\Src\\b.doc", "x");
        File("C:\\Src\\Cache\\a.doc", "x");
        File("C:\\Src\\Cache\\deep\\IMPORTANT.BAK", "x");
        AddPattern(path_.ExcludeList, "c:\\src\\cache");
        if (withForce) {
            AddPattern(path_.ForceList, "*\\IMPORTANT.BAK");
        }
        Scan();
        if (withForce) {
            EXPECT_THAT(ListedPaths(),
                        UnorderedElementsAre("C:\\Src\\b.doc", "C:\\Src\\Cache\\deep\\IMPORTANT.BAK"));
            // Entering the directory made its pattern cover everything below it.
            EXPECT_EQ(path_.ExcludeList.Get(0)->PatternUpper, "C:\\SRC\\CACHE\\*");
            EXPECT_EQ(path_.ExcludeList.Get(0)->Pattern, "c:\\src\\cache\\*");
        } else {
            EXPECT_THAT(ListedPaths(), ElementsAre("C:\\Src\\b.doc"));
            EXPECT_EQ(path_.ExcludeList.Get(0)->PatternUpper, "C:\\SRC\\CACHE");  // never entered
        }
    }
}

TEST_F(ScanDirectoryTest, WithoutSubdirectoriesOnlyTheTopFilesAreListed) {
    File("C:\\Src\\top.doc", "x");
    File("C:\\Src\\sub\\below.doc", "x");
    path_.IncludeSubdirs = false;
    Scan();
    EXPECT_THAT(ListedPaths(), ElementsAre("C:\\Src\\top.doc"));
}

TEST_F(ScanDirectoryTest, ASourcePathNamingOneFileListsExactlyThatFile) {
    File("C:\\Src\\report.doc", "report", MakeTime(2003, 11, 21, 8, 0, 0));
    File("C:\\Src\\other.doc", "x");
    File("C:\\Src\\sub\\x.doc", "x");
    path_.SourcePath = "C:\\Src\\report.doc";
    path_.SourcePathUpper = "C:\\SRC\\REPORT.DOC";
    Scan();
    ASSERT_THAT(ListedPaths(), ElementsAre("C:\\Src\\report.doc"));
    EXPECT_TRUE(pass_->SingleFileSource);
    const FileEntry& entry = *pass_->CurrentFiles.Get(0);
    EXPECT_EQ(entry.PathUpper, "C:\\SRC\\REPORT.DOC");
    EXPECT_EQ(entry.Size, 6);
    EXPECT_EQ(entry.Time, MakeTime(2003, 11, 21, 8, 0, 0));
    EXPECT_TRUE(entry.ToCopy);
}

TEST_F(ScanDirectoryTest, AMissingSourceOrAnUnlistableSubdirectoryYieldsNothing) {
    path_.SourcePath = "C:\\Nowhere";
    path_.SourcePathUpper = "C:\\NOWHERE";
    Scan();
    EXPECT_THAT(ListedPaths(), IsEmpty());
    EXPECT_FALSE(pass_->SingleFileSource);
    EXPECT_THAT(state_.CopyErrorList, IsEmpty());

    // Only the source path itself may name a single file: a subdirectory that turned into a file after
    // its parent was listed holds nothing, rather than turning the whole pass into a single-file one.
    pass_ = std::make_unique<BackupPass>(state_, path_);
    path_.SourcePath = "C:\\Src";
    File("C:\\Src\\a.doc", "x");
    pass_->ScanDirectory("C:\\Src\\a.doc", "C:\\SRC\\A.DOC");
    EXPECT_THAT(ListedPaths(), IsEmpty());
    EXPECT_FALSE(pass_->SingleFileSource);
}

TEST_F(ScanDirectoryTest, TheControlFileNameIsRenamedWhereItWouldLandInTheSetItself) {
    File("C:\\Src\\Quillon.txt", "root");
    File("C:\\Src\\quillon.txt", "other case");
    File("C:\\Src\\sub\\Quillon.txt", "below");
    Scan();
    EXPECT_THAT(ListedPaths(), UnorderedElementsAre("C:\\Src\\Kopie von Quillon.txt", "C:\\Src\\quillon.txt",
                                                    "C:\\Src\\sub\\Quillon.txt"));
    EXPECT_TRUE(Current("C:\\Src\\Kopie von Quillon.txt")->StoredAsCopyName);
    EXPECT_EQ(Current("C:\\Src\\Kopie von Quillon.txt")->PathUpper, "C:\\SRC\\KOPIE VON QUILLON.TXT");
    EXPECT_FALSE(Current("C:\\Src\\quillon.txt")->StoredAsCopyName);
    EXPECT_FALSE(Current("C:\\Src\\sub\\Quillon.txt")->StoredAsCopyName);

    // A single source file of that name lands directly in the set too.
    pass_ = std::make_unique<BackupPass>(state_, path_);
    path_.SourcePath = "C:\\Src\\Quillon.txt";
    path_.SourcePathUpper = "C:\\SRC\\QUILLON.TXT";
    Scan();
    ASSERT_THAT(ListedPaths(), ElementsAre("C:\\Src\\Kopie von Quillon.txt"));
    EXPECT_TRUE(pass_->CurrentFiles.Get(0)->StoredAsCopyName);
}

TEST_F(ScanDirectoryTest, NamesDifferingOnlyInCaseAreTwoFiles) {
    const TimeValue time = MakeTime(2003, 11, 20, 9, 30, 0);
    File("C:\\Src\\Report.doc", "one", time);
    File("C:\\Src\\REPORT.doc", "two", time);
    Recorded("C:\\Src\\Report.doc", time);
    Scan();
    ASSERT_THAT(ListedPaths(), UnorderedElementsAre("C:\\Src\\REPORT.doc", "C:\\Src\\Report.doc"));
    EXPECT_FALSE(Current("C:\\Src\\Report.doc")->ToCopy);
    EXPECT_TRUE(Current("C:\\Src\\REPORT.doc")->ToCopy);  // new: the other file's line is not its own
    EXPECT_EQ(pass_->FilesToCopy, 1);
}

TEST_F(ScanDirectoryTest, NamesThatCannotBeRecordedAreReportedOnceAndSkipped) {
    const std::string src = drives_.DriveC() + "/Src/";
    testing::WriteFile(src + "a\nb.txt", "x");
    testing::WriteFile(src + "c\\d.txt", "x");
    testing::WriteFile(src + "e\rf.txt", "x");
    testing::WriteFile(src + "g\nh/inside.txt", "x");
    testing::WriteFile(src + "skip\n.tmp", "x");  // excluded anyway: nothing to report
    testing::WriteFile(src + "ok.txt", "x");
    AddPattern(path_.ExcludeList, "*.TMP");
    Scan();
    EXPECT_THAT(ListedPaths(), ElementsAre("C:\\Src\\ok.txt"));
    EXPECT_THAT(
        state_.CopyErrorList,
        ElementsAre("2003-11-24 18:02:11  File >a<LF>b.txt< in C:\\Src not backed up: its name holds a "
                    "line break",
                    "2003-11-24 18:02:11  File >c\\d.txt< in C:\\Src not backed up: its name holds a "
                    "backslash",
                    "2003-11-24 18:02:11  File >e<CR>f.txt< in C:\\Src not backed up: its name holds a "
                    "line break",
                    "2003-11-24 18:02:11  Folder >g<LF>h< in C:\\Src not backed up: its name holds a "
                    "line break"));
    EXPECT_FALSE(state_.ErrorFlag);
    EXPECT_EQ(pass_->FilesToCopy, 1);
}

TEST_F(ScanDirectoryTest, LinksToDirectoriesAreNeverEnteredAndSpecialFilesNeverListed) {
    namespace fs = std::filesystem;
    const std::string src = drives_.DriveC() + "/Src";
    File("C:\\Src\\real\\x.doc", "x");
    File("C:\\Outside\\secret.doc", "x");
    fs::create_directory_symlink(src + "/real", src + "/again");                // a second way into the tree
    fs::create_directory_symlink(src, src + "/real/loop");                      // a cycle
    fs::create_directory_symlink(drives_.DriveC() + "/Outside", src + "/out");  // out of the tree
    fs::create_symlink(src + "/real/x.doc", src + "/alias.doc");  // a link to a file is that file
    ASSERT_EQ(::mkfifo((src + "/pipe").c_str(), 0600), 0);
    Scan();
    EXPECT_THAT(ListedPaths(), UnorderedElementsAre("C:\\Src\\alias.doc", "C:\\Src\\real\\x.doc"));
}

TEST_F(ScanDirectoryTest, NamesKeepTheirBlanks) {
    File("C:\\Src\\a.txt", "plain");
    File("C:\\Src\\a.txt ", "trailing blank");
    File("C:\\Src\\ lead.txt", "leading blank");
    Scan();
    EXPECT_THAT(ListedPaths(),
                UnorderedElementsAre("C:\\Src\\ lead.txt", "C:\\Src\\a.txt", "C:\\Src\\a.txt "));
    EXPECT_EQ(Current("C:\\Src\\a.txt ")->Size, 14);
}

TEST_F(ScanDirectoryTest, TheStagingFolderIsLeftOutOnlyByCompressedPasses) {
    path_.SourcePath = "C:\\Temp";
    path_.SourcePathUpper = "C:\\TEMP";
    File("C:\\Temp\\QuilRun\\staged.doc", "x");
    File("C:\\Temp\\other.doc", "x");
    for (bool compress : {false, true}) {
        pass_ = std::make_unique<BackupPass>(state_, path_);
        pass_->Compress = compress;
        Scan();
        if (compress) {
            EXPECT_THAT(ListedPaths(), ElementsAre("C:\\Temp\\other.doc"));
        } else {
            EXPECT_THAT(ListedPaths(),
                        UnorderedElementsAre("C:\\Temp\\QuilRun\\staged.doc", "C:\\Temp\\other.doc"));
        }
    }
}

}  // namespace
}  // namespace quillon
