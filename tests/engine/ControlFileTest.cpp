#include "engine/ControlFile.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "engine/PassTestTree.h"
#include "support/LineArchive.h"
#include "support/TimeText.h"
#include "testing/CaptureTrace.h"

namespace quillon {
namespace {

using testing::CaptureTrace;
using testing::Joined;
using testing::ScopedDriveMap;
using testing::ScopedTimeZone;
using testing::WriteFile;

constexpr const char* kControlPath = "C:\\Dest\\Quillon.txt";

std::string Shown(TimeValue t) {
    return t.Format(kTimeSecondPattern);
}

class ControlFileTest : public ::testing::Test {
  protected:
    // Writes the lines as the control file and opens it for reading.
    CLineArchiveFile& Open(const std::vector<std::string>& lines) { return OpenBytes(Joined(lines)); }
    CLineArchiveFile& OpenBytes(const std::string& bytes) {
        WriteFile(drives_.Native(kControlPath), bytes);
        EXPECT_TRUE(archive_.Open(kControlPath, false));
        return archive_;
    }

    struct FileList {
        PArray<FileEntry> files;
        ~FileList() { DeleteAll(files); }
        const FileEntry& operator[](int32_t i) const { return *files.Get(i); }
    };
    struct SetList {
        PArray<SavedBackup> sets;
        ~SetList() { DeleteAll(sets); }
        const SavedBackup& operator[](int32_t i) const { return *sets.Get(i); }
    };

    ScopedTimeZone zone_{"Europe/Berlin"};
    ScopedDriveMap drives_;
    CLineArchiveFile archive_;
};

TEST_F(ControlFileTest, FileLines) {
    struct Case {
        std::string line;
        bool read;  // false: the line is skipped
        std::string path;
        int32_t zipNumber;
        std::string time;  // second form; "0" for the time value 0
    } cases[] = {
        // An archive mark needs a digit after its 'Z': a path on drive Z has ':' there.
        {"  2003-10-02 09:12  Z:\\Data\\a.txt", true, "Z:\\Data\\a.txt", -1, "2003-10-02 09:12:00"},
        {"X 2003-11-24 17:40  Z012  Z:\\Data\\b.txt", true, "Z:\\Data\\b.txt", 12, "2003-11-24 17:40:00"},
        {"  2003-10-02 09:12        Z:\\c", true, "Z:\\c", -1, "2003-10-02 09:12:00"},
        {"  2003-10-02 09:12  Z1234  C:\\d", true, "C:\\d", 1234, "2003-10-02 09:12:00"},
        // Archive numbers beyond what a set can hold come from a damaged or crafted file: the next
        // archive would be numbered past the 32-bit range. Such a line is refused.
        {"X 2003-11-24 17:40  Z999999  C:\\d", true, "C:\\d", 999999, "2003-11-24 17:40:00"},
        {"X 2003-11-24 17:40  Z1000000  C:\\d", false, "", -1, ""},
        {"X 2003-11-24 17:40  Z2147483647  C:\\d", false, "", -1, ""},
        {"X 2003-11-24 17:40  Z99999999999999999999  C:\\d", false, "", -1, ""},
        {"X 2003-11-24 17:40  Z001", true, "", 1, "2003-11-24 17:40:00"},  // mark without a path
        // A name may end in blanks; it reads back as written.
        {"  2003-10-02 09:12  C:\\Data\\name  ", true, "C:\\Data\\name  ", -1, "2003-10-02 09:12:00"},
        {"  2003-10-02 09:12  C:\\Data\\\xE4.txt", true, "C:\\Data\\\xE4.txt", -1, "2003-10-02 09:12:00"},
        // Unreadable dates read as the time value 0, which makes the file count as changed.
        {"  yesterday 10:00     C:\\Data\\e.txt", true, "C:\\Data\\e.txt", -1, "0"},
        {"  2003/10/02 09:12  C:\\Data\\f.txt", true, "C:\\Data\\f.txt", -1, "0"},
        // Exactly 21 characters is the shortest line that is read; 20 and fewer are skipped.
        {"  2003-10-02 09:12  C", true, "C", -1, "2003-10-02 09:12:00"},
        {"  2003-10-02 09:12  ", false, "", -1, ""},
        {"X", false, "", -1, ""},
        {"", false, "", -1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("line: \"" + c.line + "\"");
        CLineArchive& archive = Open({"header", "1 runs until full backup", "C:\\Data",
                                      "# ===== Saved Backups:", "# ===== Files:", c.line});
        FileList list;
        int32_t highest = -1;
        ReadFileList(archive, list.files, true, &highest, false);
        if (!c.read) {
            EXPECT_EQ(list.files.Count(), 0);
            EXPECT_EQ(highest, -1);
            continue;
        }
        ASSERT_EQ(list.files.Count(), 1);
        EXPECT_EQ(list[0].Path, c.path);
        EXPECT_EQ(list[0].ZipNumber, c.zipNumber);
        EXPECT_EQ(highest, c.zipNumber);
        EXPECT_EQ(c.time == "0" ? "0" : Shown(list[0].Time), c.time);
        if (c.time == "0") {
            EXPECT_EQ(list[0].Time, TimeValue());
        }
    }
}

TEST_F(ControlFileTest, SavedSetLines) {
    struct Case {
        std::string line;
        std::string date;  // second form; "0" for the time value 0
        bool full;
        int32_t sizeKB;
    } cases[] = {
        {"2003-11-17 F      8421 kBytes", "2003-11-17 00:00:00", true, 8421},
        {"2003-11-24 I       532 kBytes", "2003-11-24 00:00:00", false, 532},
        {"2003-11-24 I 1234567890 kBytes", "2003-11-24 00:00:00", false, 1234567890},
        // Older files kept the size in bytes, rounded to the nearest kilobyte on reading.
        {"2003-11-17 F 1536", "2003-11-17 00:00:00", true, 2},
        {"2003-11-17 F 1535", "2003-11-17 00:00:00", true, 1},
        {"2003-11-17 F 511", "2003-11-17 00:00:00", true, 0},
        {"   \t2003-11-17 F       100 kBytes", "2003-11-17 00:00:00", true, 100},
        // 12 characters or fewer: the date alone.
        {"2003-11-17 F", "2003-11-17 00:00:00", false, 0},
        {"2003-11-17", "2003-11-17 00:00:00", false, 0},
        {"2003-11-17 F ", "2003-11-17 00:00:00", true, 0},
        {"not a date at all", "0", false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("line: \"" + c.line + "\"");
        CLineArchive& archive =
            Open({"header", "1 runs until full backup", "C:\\Data", "# ===== Saved Backups:", c.line,
                  "# ===== Files:", "X 2003-11-24 17:40  C:\\Data\\file.txt"});
        SetList saved;
        ReadSavedBackups(archive, saved.sets);
        ASSERT_EQ(saved.sets.Count(), 1);
        EXPECT_EQ(c.date == "0" ? (saved[0].Date.IsSet() ? "set" : "0") : Shown(saved[0].Date), c.date);
        EXPECT_EQ(saved[0].Full, c.full);
        EXPECT_EQ(saved[0].SizeKB, c.sizeKB);
    }
}

TEST_F(ControlFileTest, SavedSetsEndAtTheNextMarkerAndSkipBlankLines) {
    CLineArchive& archive =
        Open({"header", "1 runs until full backup", "C:\\Data", "# ===== Saved Backups:", "",
              "2003-11-17 F         1 kBytes", "   ", "2003-11-18 I         2 kBytes",
              "# ===== Files:", "2003-11-19 I         3 kBytes"});
    SetList saved;
    ReadSavedBackups(archive, saved.sets);
    ASSERT_EQ(saved.sets.Count(), 2);
    EXPECT_EQ(saved[1].SizeKB, 2);
}

TEST_F(ControlFileTest, AFileWithoutSetsOrFilesReadsAsEmpty) {
    // A source on drive Z: its line 3 begins with 'Z' and is still no archive line. A pass reads through
    // the archive even when the file could not be opened: that is a new path.
    const std::string threeLines =
        "Quillon-Run -- Processing Time: 2003-11-24 18:05\r\n3 runs until full backup\r\nZ:\\Data";
    struct Case {
        const char* label;
        std::optional<std::string> bytes;  // none: the file is missing
        int32_t runs;
    } cases[] = {
        {"three lines", threeLines + "\r\n", 3},
        {"three lines without a final line end", threeLines, 3},
        {"missing", std::nullopt, -1},
        // A pass adds one to the count it read: the count stays far from the end of the range.
        {"the largest count", threeLines.substr(0, 50) + "999999999 runs\r\nZ:\\Data\r\n", 999'999'999},
        {"a count at the end of the range", threeLines.substr(0, 50) + "2147483647 runs\r\nZ:\\Data\r\n",
         999'999'999},
        {"a count past the range", threeLines.substr(0, 50) + "99999999999 runs\r\nZ:\\Data\r\n",
         999'999'999},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        CLineArchiveFile missing;
        CLineArchive& archive = c.bytes ? static_cast<CLineArchive&>(OpenBytes(*c.bytes)) : missing;
        if (!c.bytes) {
            ASSERT_FALSE(missing.Open("C:\\Dest\\missing.txt", false));
        }
        SetList saved;
        ReadSavedBackups(archive, saved.sets);
        FileList list;
        int32_t highest = -1;
        ReadFileList(archive, list.files, true, &highest, false);
        std::vector<std::string> zipLines = {"left over"};
        ReadZipLines(archive, zipLines);
        EXPECT_EQ(saved.sets.Count(), 0);
        EXPECT_EQ(list.files.Count(), 0);
        EXPECT_EQ(highest, -1);
        EXPECT_TRUE(zipLines.empty());
        EXPECT_EQ(ReadRunsUntilFull(archive), c.runs);
    }
}

TEST_F(ControlFileTest, ArchiveLinesAreTheZLinesFromLineFourOn) {
    CLineArchive& archive =
        Open({"header", "1 runs until full backup", "Z:\\Data", "Z000  2003-11-20 10:00:00",
              "Z003  2003-11-24 18:05:12", "# ===== Saved Backups:", "Z004  not history"});
    std::vector<std::string> zipLines;
    ReadZipLines(archive, zipLines);
    EXPECT_EQ(zipLines, (std::vector<std::string>{"Z000  2003-11-20 10:00:00", "Z003  2003-11-24 18:05:12"}));

    // The history may run to the very end of the file.
    CLineArchive& atEnd = OpenBytes("h\r\n2\r\nC:\\Data\r\nZ000  2003-11-20 10:00:00");
    ReadZipLines(atEnd, zipLines);
    EXPECT_EQ(zipLines, std::vector<std::string>{"Z000  2003-11-20 10:00:00"});
}

TEST_F(ControlFileTest, DaylightSavingStateOfTheFileLeavesTimesAlone) {
    // Times recorded here never move with the season, so a file written in summer and read in winter
    // (or the other way round) keeps its times; only a garbled source path line is worth a trace.
    struct Case {
        const char* header;
        bool daylightSavingNow;
        const char* sourcePath;
        bool traced;
    } cases[] = {
        {"Quillon-Run -- Processing Time: (DST)2003-08-01 10:00", false, "C:\\Data", false},
        {"Quillon-Run -- Processing Time: 2003-11-24 18:05", true, "C:\\Data", false},
        {"Quillon-Run -- Processing Time: (DST)2003-08-01 10:00", false, "Data", true},
        {"Quillon-Run -- Processing Time: 2003-11-24 18:05", true, "", true},
        {"Quillon-Run -- Processing Time: 2003-11-24 18:05", true, "\\\\server\\share", true},
        {"Quillon-Run -- Processing Time: 2003-11-24 18:05", true, "Z:", false},
        {"Quillon-Run -- Processing Time: (DST)2003-08-01 10:00", true, "Data", false},  // same state
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.header) + " read with daylight saving " +
                     (c.daylightSavingNow ? "on" : "off"));
        CaptureTrace trace;
        CLineArchive& archive =
            Open({c.header, "1 runs until full backup", c.sourcePath,
                  "# ===== Saved Backups:", "# ===== Files:", "  2003-10-02 09:12  C:\\Data\\a.txt"});
        FileList list;
        ReadFileList(archive, list.files, false, nullptr, c.daylightSavingNow);
        ASSERT_EQ(list.files.Count(), 1);
        EXPECT_EQ(Shown(list[0].Time), "2003-10-02 09:12:00");
        std::vector<std::string> expected;
        if (c.traced) {
            expected.push_back(std::string("*** Path error in Is_NTFS_Patition: >") + c.sourcePath + "<\n");
        }
        EXPECT_EQ(trace.Records(), expected);
    }
}

}  // namespace
}  // namespace quillon
