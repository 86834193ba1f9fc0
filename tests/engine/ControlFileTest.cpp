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

// A time in second form, or "0" for the time value 0.
std::string Shown(TimeValue t) {
    return t.IsSet() ? t.Format(kTimeSecondPattern) : "0";
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
    };

    // The saved sets of the control file as "<date> F|I <size>; ...".
    std::string ReadSets(const std::vector<std::string>& lines) {
        SetList saved;
        ReadSavedBackups(Open(lines), saved.sets);
        std::string text;
        for (const SavedBackup* set : saved.sets) {
            text += Shown(set->Date) + (set->Full ? " F " : " I ") + std::to_string(set->SizeKB) + "; ";
        }
        return text;
    }

    ScopedTimeZone zone_{"Europe/Berlin"};
    ScopedDriveMap drives_;
    CLineArchiveFile archive_;
};

TEST_F(ControlFileTest, FileLines) {
    // Each line alone in the file list, read as "<time> Z<archive number> <path>"; "-" when skipped.
    const std::pair<std::string, std::string> cases[] = {
        // An archive mark needs a digit after its 'Z': a path on drive Z has ':' there.
        {"  2003-10-02 09:12  Z:\\Data\\a.txt", "2003-10-02 09:12:00 Z-1 Z:\\Data\\a.txt"},
        {"X 2003-11-24 17:40  Z012  Z:\\Data\\b.txt", "2003-11-24 17:40:00 Z12 Z:\\Data\\b.txt"},
        {"  2003-10-02 09:12        Z:\\c", "2003-10-02 09:12:00 Z-1 Z:\\c"},
        {"  2003-10-02 09:12  Z1234  C:\\d", "2003-10-02 09:12:00 Z1234 C:\\d"},
        // Archive numbers beyond what a set can hold come from a damaged or crafted file: the next
        // archive would be numbered past the 32-bit range. Such a line is refused.
        {"X 2003-11-24 17:40  Z999999  C:\\d", "2003-11-24 17:40:00 Z999999 C:\\d"},
        {"X 2003-11-24 17:40  Z1000000  C:\\d", "-"},
        {"X 2003-11-24 17:40  Z2147483647  C:\\d", "-"},
        {"X 2003-11-24 17:40  Z99999999999999999999  C:\\d", "-"},
        {"X 2003-11-24 17:40  Z001", "2003-11-24 17:40:00 Z1 "},  // mark without a path
        // A name may end in blanks; it reads back as written.
        {"  2003-10-02 09:12  C:\\Data\\name  ", "2003-10-02 09:12:00 Z-1 C:\\Data\\name  "},
        {"  2003-10-02 09:12  C:\\Data\\\xE4.txt", "2003-10-02 09:12:00 Z-1 C:\\Data\\\xE4.txt"},
        // Unreadable dates read as the time value 0, which makes the file count as changed.
        {"  yesterday 10:00     C:\\Data\\e.txt", "0 Z-1 C:\\Data\\e.txt"},
        {"  2003/10/02 09:12  C:\\Data\\f.txt", "0 Z-1 C:\\Data\\f.txt"},
        // Exactly 21 characters is the shortest line that is read; 20 and fewer are skipped.
        {"  2003-10-02 09:12  C", "2003-10-02 09:12:00 Z-1 C"},
        {"  2003-10-02 09:12  ", "-"},
        {"X", "-"},
        {"", "-"},
    };
    for (const auto& [line, expected] : cases) {
        SCOPED_TRACE("line: \"" + line + "\"");
        CLineArchive& archive = Open({"header", "1 runs until full backup", "C:\\Data",
                                      "# ===== Saved Backups:", "# ===== Files:", line});
        FileList list;
        int32_t highest = -1;
        ReadFileList(archive, list.files, true, &highest, false);
        std::string read = "-";
        for (const FileEntry* entry : list.files) {
            read = Shown(entry->Time) + " Z" + std::to_string(entry->ZipNumber) + " " + entry->Path;
        }
        EXPECT_EQ(read, expected);
        EXPECT_EQ(highest, list.files.Count() == 1 ? list[0].ZipNumber : -1);
    }
}

TEST_F(ControlFileTest, SavedSetLines) {
    const std::pair<std::string, std::string> cases[] = {
        {"2003-11-17 F      8421 kBytes", "2003-11-17 00:00:00 F 8421; "},
        {"2003-11-24 I       532 kBytes", "2003-11-24 00:00:00 I 532; "},
        {"2003-11-24 I 1234567890 kBytes", "2003-11-24 00:00:00 I 1234567890; "},
        // Older files kept the size in bytes, rounded to the nearest kilobyte on reading.
        {"2003-11-17 F 1536", "2003-11-17 00:00:00 F 2; "},
        {"2003-11-17 F 1535", "2003-11-17 00:00:00 F 1; "},
        {"2003-11-17 F 511", "2003-11-17 00:00:00 F 0; "},
        {"   \t2003-11-17 F       100 kBytes", "2003-11-17 00:00:00 F 100; "},
        // 12 characters or fewer: the date alone.
        {"2003-11-17 F", "2003-11-17 00:00:00 I 0; "},
        {"2003-11-17", "2003-11-17 00:00:00 I 0; "},
        {"2003-11-17 F ", "2003-11-17 00:00:00 F 0; "},
        {"not a date at all", "0 I 0; "},
    };
    for (const auto& [line, expected] : cases) {
        EXPECT_EQ(ReadSets({"header", "1 runs until full backup", "C:\\Data", "# ===== Saved Backups:", line,
                            "# ===== Files:", "X 2003-11-24 17:40  C:\\Data\\file.txt"}),
                  expected)
            << line;
    }
    // The sets end at the next marker; blank lines are skipped.
    EXPECT_EQ(ReadSets({"header", "1 runs until full backup", "C:\\Data", "# ===== Saved Backups:", "",
                        "2003-11-17 F         1 kBytes", "   ", "2003-11-18 I         2 kBytes",
                        "# ===== Files:", "2003-11-19 I         3 kBytes"}),
              "2003-11-17 00:00:00 F 1; 2003-11-18 00:00:00 I 2; ");
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
