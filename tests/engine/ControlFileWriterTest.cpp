#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "engine/ControlFile.h"
#include "engine/PassTestTree.h"
#include "platform/FaultInjection.h"
#include "support/ErrorText.h"
#include "support/LineArchive.h"
#include "testing/CaptureMessages.h"
#include "testing/Environment.h"
#include "testing/FakeClock.h"
#include "testing/TempDir.h"

namespace quillon {
namespace {

using testing::At;
using testing::FakeClock;
using testing::Joined;
using testing::ReadFile;
using testing::ScopedDriveMap;
using testing::ScopedTimeZone;
using testing::WriteFile;

constexpr const char* kTemp = "C:\\Dest\\Quillon.TMP";
constexpr const char* kControl = "C:\\Dest\\Quillon.txt";
constexpr const char* kSet = "C:\\Dest\\2003-11-24";
constexpr const char* kOldContent = "old control file\r\n";

class ControlFileWriterTest : public ::testing::Test {
  protected:
    ControlFileWriterTest() : pass_(state_, path_) {
        clock_.Set(At(2003, 11, 24, 18, 7).Seconds());
        std::filesystem::create_directories(Native(kSet));
        path_.SourcePath = "C:\\Data";
        path_.DestPath = "C:\\Dest";
        path_.FullBackupScheduled = true;
        path_.FullBackupByDays = false;
        state_.RunTime = At(2003, 11, 24, 18, 5, 12);
        pass_.RunsUntilFull = 7;
    }

    std::string Native(const std::string& windowsPath) const { return drives_.Native(windowsPath); }
    bool Exists(const std::string& windowsPath) const { return std::filesystem::exists(Native(windowsPath)); }
    std::string Content(const std::string& windowsPath) const { return ReadFile(Native(windowsPath)); }

    void Write(const std::string& setDirectory = "") {
        pass_.WriteControlFile(kTemp, kControl, setDirectory);
    }

    FileEntry* AddFile(const std::string& path, TimeValue time) {
        auto* entry = new FileEntry;
        entry->Path = path;
        entry->Time = time;
        return pass_.CurrentFiles.Append(entry);
    }
    void AddSet(TimeValue date, bool full, int32_t sizeKB) {
        pass_.SavedBackups.Append(new SavedBackup{date, full, sizeKB});
    }

    // The pass of the example: a compressed set of 2003-11-24 into which offer.doc went, with
    // mail.pst failing.
    void PrepareCompressedPass() {
        AddSet(At(2003, 11, 17), true, 8421);
        AddSet(At(2003, 11, 24), false, 532);
        FileEntry* offer = AddFile("C:\\Data\\offer.doc", At(2003, 11, 24, 17, 40));
        offer->ToCopy = offer->Stored = true;
        offer->ZipNumber = 0;
        AddFile("C:\\Data\\old\\notes.txt", At(2003, 10, 2, 9, 12));
        FileEntry* mail = AddFile("C:\\Data\\mail.pst", At(2003, 11, 24, 16, 58));
        mail->ToCopy = mail->CopyFailed = true;
        pass_.FilesToCopy = 2;
        pass_.FilesCopied = 1;
        pass_.LatestChange = At(2003, 11, 24, 17, 40);
        state_.ZipNumber = 1;
    }

    // A plain set that received a.txt; b.txt was unchanged.
    void PreparePlainPass() {
        AddSet(At(2003, 11, 24), true, 0);
        FileEntry* a = AddFile("C:\\Data\\a.txt", At(2003, 11, 24, 9, 30));
        a->ToCopy = a->Stored = true;
        AddFile("C:\\Data\\sub\\b.txt", At(2003, 1, 2, 3, 4));
        pass_.FilesToCopy = 1;
        pass_.FilesCopied = 1;
        pass_.LatestChange = At(2003, 11, 24, 9, 30);
    }

    ScopedTimeZone zone_{"Europe/Berlin"};
    ScopedDriveMap drives_;
    FakeClock clock_;
    ScopedFaults faults_;
    testing::CaptureMessages messages_;
    RunState state_;
    SourcePathRecord path_;
    BackupPass pass_;
};

TEST_F(ControlFileWriterTest, CompressedSetListIsWrittenByteForByte) {
    PrepareCompressedPass();
    Write();
    EXPECT_EQ(Content(kControl),
              Joined({
                  "Quillon-Run -- Processing Time: 2003-11-24 18:05   Latest File Change: 2003-11-24 17:40",
                  "7 runs until full backup",
                  "C:\\Data",
                  "Z000  2003-11-24 18:05:12",
                  "# ===== Saved Backups:",
                  "2003-11-17 F      8421 kBytes",
                  "2003-11-24 I       532 kBytes",
                  "# ===== Files:",
                  "X 2003-11-24 17:40  Z000  C:\\Data\\offer.doc",
                  "  2003-10-02 09:12        C:\\Data\\old\\notes.txt",
                  "E 2003-11-24 16:58        C:\\Data\\mail.pst",
              }));
    EXPECT_FALSE(Exists(kTemp));
    EXPECT_EQ(state_.ActivityCounter.load(), 3);  // one per file line
    EXPECT_FALSE(state_.ErrorFlag);
    EXPECT_TRUE(state_.CopyErrorList.empty());
}

TEST_F(ControlFileWriterTest, HeaderAndArchiveHistory) {
    const std::string winter = "Quillon-Run -- Processing Time: 2003-11-24 18:05";
    const std::string summer = "Quillon-Run -- Processing Time: (DST)2003-11-24 18:05";
    const std::string latest = "   Latest File Change: 2003-11-24 17:40";
    const std::string z000 = "Z000  2003-11-20 10:00:00", z011 = "Z011  2003-11-22 10:00:00";
    struct Case {
        bool daylightSaving;
        int32_t filesToCopy;
        int32_t zipNumber;
        std::vector<std::string> zipLines;
        std::string header;
        std::vector<std::string> history;  // the archive lines after line 3
    } cases[] = {
        {false, 0, -1, {}, winter, {}},
        {true, 0, -1, {}, summer, {}},
        {true, 3, -1, {}, summer + latest, {}},
        // Archive 0 was begun but nothing was written into it: no new history line.
        {false, 0, 0, {z000}, winter, {z000}},
        {false, 1, 13, {z000, z011}, winter + latest, {z000, z011, "Z012  2003-11-24 18:05:12"}},
        {false, 1, 1001, {}, winter + latest, {"Z1000  2003-11-24 18:05:12"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.header + " / ZipNumber " + std::to_string(c.zipNumber));
        state_.DaylightSaving = c.daylightSaving;
        state_.ZipNumber = c.zipNumber;
        pass_.FilesToCopy = c.filesToCopy;
        pass_.LatestChange = At(2003, 11, 24, 17, 40);
        pass_.ZipLines = c.zipLines;
        Write();
        std::vector<std::string> expected = {c.header, "7 runs until full backup", "C:\\Data"};
        expected.insert(expected.end(), c.history.begin(), c.history.end());
        expected.insert(expected.end(), {"# ===== Saved Backups:", "# ===== Files:"});
        EXPECT_EQ(Content(kControl), Joined(expected));
    }
}

// Whichever step fails, the control file beside the sets is the old one or the new one, whole; when it
// is still the old one the run says so, and the set gets no copy of it. Some failures with their exact
// reports: a full disk (the partial temporary file would only take space, so it goes), a failed rename,
// and a failed sync of the folder (the first sync forces the file's data, the second the folder).
TEST_F(ControlFileWriterTest, EveryFailingStepLeavesAWholeControlFile) {
    const std::string stamp = "2003-11-24 18:07:00  ", indent(21, ' ');
    struct Report {
        bool tempLeft;
        std::vector<std::string> errors, messages;
    };
    const std::map<std::pair<FileOperation, int>, Report> reports = {
        {{FileOperation::kWrite, 1},
         {false,
          {stamp + "Writing the Control File C:\\Dest\\Quillon.TMP failed",
           indent + "Error 112:   " + ErrorText(112)},
          {"*** File C:\\Dest\\Quillon.TMP could not be written."}}},
        {{FileOperation::kRename, 1},
         {true, {stamp + "Renaming the Control File C:\\Dest\\Quillon.TMP failed"}, {}}},
        {{FileOperation::kSync, 2},
         {false,
          {stamp + "Saving the Control File C:\\Dest\\Quillon.txt failed",
           indent + "Error 112:   " + ErrorText(112)},
          {}}},
    };
    PreparePlainPass();
    Write(kSet);
    const std::string newContent = Content(kControl);
    const std::string copy = std::string(kSet) + "\\Quillon.txt";

    for (FileOperation operation :
         {FileOperation::kOpen, FileOperation::kWrite, FileOperation::kSync, FileOperation::kRename}) {
        ClearFaults();
        WriteFile(Native(kControl), kOldContent);
        Write(kSet);
        const int calls = FaultCallCount(operation);
        ASSERT_GT(calls, 0) << static_cast<int>(operation);
        for (int nth = 1; nth <= calls; ++nth) {
            SCOPED_TRACE("operation " + std::to_string(static_cast<int>(operation)) + ", call " +
                         std::to_string(nth));
            ClearFaults();
            WriteFile(Native(kControl), kOldContent);
            std::filesystem::remove(Native(kTemp));
            std::filesystem::remove(Native(copy));
            state_.ErrorFlag = false;
            state_.CopyErrorList.clear();
            messages_.Shown.clear();
            InjectFault(operation, nth, ENOSPC);
            Write(kSet);
            std::string content = Content(kControl);
            EXPECT_TRUE(content == kOldContent || content == newContent) << content;
            if (content == kOldContent) {
                EXPECT_TRUE(state_.ErrorFlag);
                EXPECT_FALSE(state_.CopyErrorList.empty());
                EXPECT_FALSE(Exists(copy));
            }
            if (auto it = reports.find({operation, nth}); it != reports.end()) {
                EXPECT_TRUE(state_.ErrorFlag);
                EXPECT_EQ(Exists(kTemp), it->second.tempLeft);
                EXPECT_EQ(state_.CopyErrorList, it->second.errors);
                EXPECT_EQ(messages_.Texts(), it->second.messages);
            }
        }
    }
}

}  // namespace
}  // namespace quillon
