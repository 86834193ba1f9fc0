// The control file: its lines as they are read, one at a time, and whole files as a pass writes them,
// old or new but whole whichever step of the writing fails.
#include <map>
#include <optional>

#include "engine/PassTestTree.h"
#include "support/ErrorText.h"

namespace quillon {
namespace {

using testing::At, testing::Joined;
using Lines = std::vector<std::string>;

constexpr const char* kControl = "C:\\Dest\\Quillon.txt";
constexpr const char* kTemp = "C:\\Dest\\Quillon.TMP";
constexpr const char* kSet = "C:\\Dest\\2003-11-24";

std::string Shown(TimeValue t) {
    return t.IsSet() ? t.Format(kTimeSecondPattern) : "0";
}

Lines Control(const Lines& sets, const Lines& files, const std::string& header = "header",
              const std::string& source = "C:\\Data") {
    Lines lines = {header, "1 runs until full backup", source, "# ===== Saved Backups:"};
    lines.insert(lines.end(), sets.begin(), sets.end());
    lines.push_back("# ===== Files:");
    lines.insert(lines.end(), files.begin(), files.end());
    return lines;
}

class ControlFileTest : public testing::PassTest {
  protected:
    // Writes the bytes as the control file and opens it for reading.
    CLineArchiveFile& Open(const std::string& bytes) {
        testing::WriteFile(drives_.Native(kControl), bytes);
        EXPECT_TRUE(archive_.Open(kControl, false));
        return archive_;
    }

    // The file lines read as "<time> Z<archive number> <path>; ...".
    std::string ReadFiles(CLineArchive& archive, int32_t* highest = nullptr, bool daylightSaving = false) {
        PArray<FileEntry> files;
        ReadFileList(archive, files, highest != nullptr, highest, daylightSaving);
        std::string text;
        for (const FileEntry* entry : files) {
            text += Shown(entry->Time) + " Z" + std::to_string(entry->ZipNumber) + " " + entry->Path + "; ";
        }
        DeleteAll(files);
        return text;
    }

    // The saved sets read as "<date> F|I <size>; ...".
    std::string ReadSets(CLineArchive& archive) {
        PArray<SavedBackup> sets;
        ReadSavedBackups(archive, sets);
        std::string text;
        for (const SavedBackup* set : sets) {
            text += Shown(set->Date) + (set->Full ? " F " : " I ") + std::to_string(set->SizeKB) + "; ";
        }
        DeleteAll(sets);
        return text;
    }

    CLineArchiveFile archive_;
};

TEST_F(ControlFileTest, FileLines) {
    // Each line alone in the file list; "" when it is skipped.
    const std::pair<std::string, std::string> cases[] = {
        // An archive mark needs a digit after its 'Z': a path on drive Z has ':' there.
        {"  2003-10-02 09:12  Z:\\Data\\a.txt", "2003-10-02 09:12:00 Z-1 Z:\\Data\\a.txt"},
        {"X 2003-11-24 17:40  Z012  Z:\\Data\\b.txt", "2003-11-24 17:40:00 Z12 Z:\\Data\\b.txt"},
        {"  2003-10-02 09:12        Z:\\c", "2003-10-02 09:12:00 Z-1 Z:\\c"},
        {"  2003-10-02 09:12  Z1234  C:\\d", "2003-10-02 09:12:00 Z1234 C:\\d"},
        // Archive numbers beyond what a set can hold come from a damaged or crafted file: the next
        // archive would be numbered past the 32-bit range. Such a line is refused.
        {"X 2003-11-24 17:40  Z999999  C:\\d", "2003-11-24 17:40:00 Z999999 C:\\d"},
        {"X 2003-11-24 17:40  Z1000000  C:\\d", ""},
        {"X 2003-11-24 17:40  Z99999999999999999999  C:\\d", ""},
        {"X 2003-11-24 17:40  Z001", "2003-11-24 17:40:00 Z1 "},  // mark without a path
        // A name may end in blanks; it reads back as written.
        {"  2003-10-02 09:12  C:\\Data\\name  ", "2003-10-02 09:12:00 Z-1 C:\\Data\\name  "},
        {"  2003-10-02 09:12  C:\\Data\\\xE4.txt", "2003-10-02 09:12:00 Z-1 C:\\Data\\\xE4.txt"},
        // Unreadable dates read as the time value 0, which makes the file count as changed.
        {"  yesterday 10:00     C:\\Data\\e.txt", "0 Z-1 C:\\Data\\e.txt"},
        // Exactly 21 characters is the shortest line that is read; 20 and fewer are skipped.
        {"  2003-10-02 09:12  C", "2003-10-02 09:12:00 Z-1 C"},
        {"  2003-10-02 09:12  ", ""},
        {"", ""},
    };
    for (const auto& [line, expected] : cases) {
        SCOPED_TRACE("line: \"" + line + "\"");
        int32_t highest = -1;
        const std::string read = ReadFiles(Open(Joined(Control({}, {line}))), &highest);
        EXPECT_EQ(read, expected.empty() ? "" : expected + "; ");
        EXPECT_EQ(highest, expected.empty() ? -1 : std::stoi(expected.substr(expected.find(" Z") + 2)));
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
        {"   \t2003-11-17 F       100 kBytes", "2003-11-17 00:00:00 F 100; "},
        // 12 characters or fewer: the date alone.
        {"2003-11-17 F", "2003-11-17 00:00:00 I 0; "},
        {"2003-11-17 F ", "2003-11-17 00:00:00 F 0; "},
        {"not a date at all", "0 I 0; "},
    };
    for (const auto& [line, expected] : cases) {
        EXPECT_EQ(ReadSets(Open(Joined(Control({line}, {"X 2003-11-24 17:40  C:\\Data\\file.txt"})))),
                  expected)
            << line;
    }
    // The sets end at the next marker; blank lines are skipped.
    const Lines sets = {"", "2003-11-17 F         1 kBytes", "   ", "2003-11-18 I         2 kBytes"};
    EXPECT_EQ(ReadSets(Open(Joined(Control(sets, {"2003-11-19 I         3 kBytes"})))),
              "2003-11-17 00:00:00 F 1; 2003-11-18 00:00:00 I 2; ");
}

// The runs until the next full backup, the archive history (the 'Z' lines from line 4 on) and whether
// sets or files follow, as "<runs> | <archive lines> | <sets><files>".
TEST_F(ControlFileTest, RunsAndArchiveHistory) {
    // A source on drive Z: its line 3 begins with 'Z' and is still no archive line. A pass reads through
    // the archive even when the file could not be opened: that is a new path.
    const std::string head = "Quillon-Run -- Processing Time: 2003-11-24 18:05\r\n";
    const std::pair<std::optional<std::string>, std::string> cases[] = {
        {head + "3 runs until full backup\r\nZ:\\Data\r\n", "3 |  | "},
        {head + "3 runs until full backup\r\nZ:\\Data", "3 |  | "},  // without a final line end
        {std::nullopt, "-1 |  | "},                                  // missing
        // A pass adds one to the count it read: the count stays far from the end of the range.
        {head + "999999999 runs\r\nZ:\\Data\r\n", "999999999 |  | "},
        {head + "99999999999 runs\r\nZ:\\Data\r\n", "999999999 |  | "},
        {Joined({"h", "1 runs", "Z:\\Data", "Z000  2003-11-20 10:00:00", "Z003  2003-11-24 18:05:12",
                 "# ===== Saved Backups:", "Z004  not history"}),
         "1 | Z000  2003-11-20 10:00:00\r\nZ003  2003-11-24 18:05:12\r\n | 0 I 0; "},
        // The history may run to the very end of the file.
        {"h\r\n2\r\nC:\\Data\r\nZ000  2003-11-20 10:00:00", "2 | Z000  2003-11-20 10:00:00\r\n | "},
    };
    for (const auto& [bytes, expected] : cases) {
        SCOPED_TRACE(bytes.value_or("missing"));
        CLineArchiveFile missing;
        ASSERT_FALSE(missing.Open("C:\\Dest\\missing.txt", false));
        CLineArchive& archive = bytes ? static_cast<CLineArchive&>(Open(*bytes)) : missing;
        Lines zipLines = {"left over"};
        ReadZipLines(archive, zipLines);
        const std::string read = std::to_string(ReadRunsUntilFull(archive)) + " | " + Joined(zipLines);
        int32_t highest = -1;
        EXPECT_EQ(read + " | " + ReadSets(archive) + ReadFiles(archive, &highest), expected);
        EXPECT_EQ(highest, -1);
    }
}

TEST_F(ControlFileTest, DaylightSavingStateOfTheFileLeavesTimesAlone) {
    // Times recorded here never move with the season, so a file written in summer and read in winter
    // (or the other way round) keeps its times; only a garbled source path line is worth a trace.
    const std::string summer = "Quillon-Run -- Processing Time: (DST)2003-08-01 10:00";
    const std::string winter = "Quillon-Run -- Processing Time: 2003-11-24 18:05";
    // The header, daylight saving while reading, the source path line, whether it traces.
    const std::tuple<std::string, bool, std::string, bool> cases[] = {
        {summer, false, "C:\\Data", false}, {winter, true, "C:\\Data", false},
        {summer, false, "Data", true},      {winter, true, "", true},
        {winter, true, "Z:", false},        {summer, true, "Data", false},  // the same state
    };
    for (const auto& [header, daylightSavingNow, sourcePath, traced] : cases) {
        SCOPED_TRACE(header + " read with daylight saving " + (daylightSavingNow ? "on" : "off"));
        testing::CaptureTrace trace;
        CLineArchive& archive =
            Open(Joined(Control({}, {"  2003-10-02 09:12  C:\\Data\\a.txt"}, header, sourcePath)));
        EXPECT_EQ(ReadFiles(archive, nullptr, daylightSavingNow),
                  "2003-10-02 09:12:00 Z-1 C:\\Data\\a.txt; ");
        EXPECT_EQ(trace.Records(),
                  traced ? Lines{"*** Path error in Is_NTFS_Patition: >" + sourcePath + "<\n"} : Lines{});
    }
}

class ControlFileWriterTest : public ControlFileTest {
  protected:
    ControlFileWriterTest() {
        clock_.Set(At(2003, 11, 24, 18, 7).Seconds());
        std::filesystem::create_directories(drives_.Native(kSet));
        path_.SourcePath = "C:\\Data";
        path_.DestPath = "C:\\Dest";
        path_.FullBackupScheduled = true;
        state_.RunTime = At(2003, 11, 24, 18, 5, 12);
        pass_->RunsUntilFull = 7;
    }

    // The pass's files: 'X' stored, 'E' failed, ' ' unchanged; with their archive number or -1.
    struct Row {
        char mark;
        TimeValue time;
        int32_t zip;
        const char* path;
    };
    void Files(std::initializer_list<Row> rows) {
        for (const Row& row : rows) {
            FileEntry* entry = pass_->CurrentFiles.Append(new FileEntry);
            *entry = {row.path,        0,     row.time, row.mark != ' ', row.mark == 'X',
                      row.mark == 'E', false, false,    row.zip};
            pass_->FilesToCopy += row.mark != ' ';
            pass_->FilesCopied += row.mark == 'X';
        }
    }
    std::string Content(const std::string& path) { return testing::ReadFile(drives_.Native(path)); }
    void Write(const std::string& set = "") { pass_->WriteControlFile(kTemp, kControl, set); }

    ScopedFaults faults_;
    testing::CaptureMessages messages_;
};

TEST_F(ControlFileWriterTest, CompressedSetListIsWrittenByteForByte) {
    pass_->SavedBackups.Append(new SavedBackup{At(2003, 11, 17), true, 8421});
    pass_->SavedBackups.Append(new SavedBackup{At(2003, 11, 24), false, 532});
    Files({{'X', At(2003, 11, 24, 17, 40), 0, "C:\\Data\\offer.doc"},
           {' ', At(2003, 10, 2, 9, 12), -1, "C:\\Data\\old\\notes.txt"},
           {'E', At(2003, 11, 24, 16, 58), -1, "C:\\Data\\mail.pst"}});
    pass_->LatestChange = At(2003, 11, 24, 17, 40);
    state_.ZipNumber = 1;
    Write();
    EXPECT_EQ(
        Content(kControl),
        Joined({"Quillon-Run -- Processing Time: 2003-11-24 18:05   Latest File Change: 2003-11-24 17:40",
                "7 runs until full backup", "C:\\Data", "Z000  2003-11-24 18:05:12",
                "# ===== Saved Backups:", "2003-11-17 F      8421 kBytes", "2003-11-24 I       532 kBytes",
                "# ===== Files:", "X 2003-11-24 17:40  Z000  C:\\Data\\offer.doc",
                "  2003-10-02 09:12        C:\\Data\\old\\notes.txt",
                "E 2003-11-24 16:58        C:\\Data\\mail.pst"}));
    EXPECT_FALSE(std::filesystem::exists(drives_.Native(kTemp)));
    EXPECT_EQ(state_.ActivityCounter.load(), 3);  // one per file line
    EXPECT_TRUE(!state_.ErrorFlag && state_.CopyErrorList.empty());
}

TEST_F(ControlFileWriterTest, HeaderAndArchiveHistory) {
    const std::string winter = "Quillon-Run -- Processing Time: 2003-11-24 18:05";
    const std::string summer = "Quillon-Run -- Processing Time: (DST)2003-11-24 18:05";
    const std::string latest = "   Latest File Change: 2003-11-24 17:40";
    const std::string z000 = "Z000  2003-11-20 10:00:00", z011 = "Z011  2003-11-22 10:00:00";
    // Daylight saving, the files to copy, the archive number, the archive lines read; the header and the
    // archive lines after line 3 written.
    const std::tuple<bool, int32_t, int32_t, Lines, std::string, Lines> cases[] = {
        {true, 3, -1, {}, summer + latest, {}},
        // Archive 0 was begun but nothing was written into it: no new history line.
        {false, 0, 0, {z000}, winter, {z000}},
        {false, 1, 13, {z000, z011}, winter + latest, {z000, z011, "Z012  2003-11-24 18:05:12"}},
        {false, 1, 1001, {}, winter + latest, {"Z1000  2003-11-24 18:05:12"}},
    };
    for (const auto& [daylightSaving, filesToCopy, zipNumber, zipLines, header, history] : cases) {
        SCOPED_TRACE(header + " / ZipNumber " + std::to_string(zipNumber));
        state_.DaylightSaving = daylightSaving;
        state_.ZipNumber = zipNumber;
        pass_->FilesToCopy = filesToCopy;
        pass_->LatestChange = At(2003, 11, 24, 17, 40);
        pass_->ZipLines = zipLines;
        Write();
        EXPECT_EQ(Content(kControl), Joined({header, "7 runs until full backup", "C:\\Data"}) +
                                         Joined(history) +
                                         Joined({"# ===== Saved Backups:", "# ===== Files:"}));
    }
}

// Whichever step fails, the control file beside the sets is the old one or the new one, whole; when it
// is still the old one the run says so, and the set gets no copy of it. Some failures with their exact
// reports: a full disk (the partial temporary file would only take space, so it goes), a failed rename,
// and a failed sync of the folder (the first sync forces the file's data, the second the folder).
TEST_F(ControlFileWriterTest, EveryFailingStepLeavesAWholeControlFile) {
    using enum FileOperation;
    const std::string stamp = "2003-11-24 18:07:00  ", old = "old control file\r\n";
    const std::string diskFull = std::string(21, ' ') + "Error 112:   " + ErrorText(112);
    // Whether the temporary file is left, the error lines and the messages shown.
    const std::map<std::pair<FileOperation, int>, std::tuple<bool, Lines, Lines>> reports = {
        {{kWrite, 1},
         {false,
          {stamp + "Writing the Control File C:\\Dest\\Quillon.TMP failed", diskFull},
          {"*** File C:\\Dest\\Quillon.TMP could not be written."}}},
        {{kRename, 1}, {true, {stamp + "Renaming the Control File C:\\Dest\\Quillon.TMP failed"}, {}}},
        {{kSync, 2}, {false, {stamp + "Saving the Control File C:\\Dest\\Quillon.txt failed", diskFull}, {}}},
    };
    pass_->SavedBackups.Append(new SavedBackup{At(2003, 11, 24), true, 0});
    Files({{'X', At(2003, 11, 24, 9, 30), -1, "C:\\Data\\a.txt"},
           {' ', At(2003, 1, 2, 3, 4), -1, "C:\\Data\\b.txt"}});
    Write(kSet);
    const std::string fresh = Content(kControl), copy = std::string(kSet) + "\\Quillon.txt";
    auto exists = [&](const std::string& path) { return std::filesystem::exists(drives_.Native(path)); };

    for (FileOperation operation : {kOpen, kWrite, kSync, kRename}) {
        ClearFaults();
        Write(kSet);
        const int calls = FaultCallCount(operation);
        ASSERT_GT(calls, 0) << static_cast<int>(operation);
        for (int nth = 1; nth <= calls; ++nth) {
            SCOPED_TRACE("operation " + std::to_string(static_cast<int>(operation)) + ", call " +
                         std::to_string(nth));
            ClearFaults();
            testing::WriteFile(drives_.Native(kControl), old);
            std::filesystem::remove(drives_.Native(kTemp));
            std::filesystem::remove(drives_.Native(copy));
            state_.ErrorFlag = false;
            state_.CopyErrorList.clear();
            messages_.Shown.clear();
            InjectFault(operation, nth, ENOSPC);
            Write(kSet);
            const std::string content = Content(kControl);
            EXPECT_TRUE(content == old || content == fresh) << content;
            if (content == old) {
                EXPECT_TRUE(state_.ErrorFlag && !state_.CopyErrorList.empty() && !exists(copy));
            }
            if (auto it = reports.find({operation, nth}); it != reports.end()) {
                const auto& [tempLeft, errors, messages] = it->second;
                EXPECT_TRUE(state_.ErrorFlag && exists(kTemp) == tempLeft);
                EXPECT_EQ(state_.CopyErrorList, errors);
                EXPECT_EQ(messages_.Texts(), messages);
            }
        }
    }
}

}  // namespace
}  // namespace quillon
