#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>

#include "engine/CopyJournal.h"
#include "engine/PassTestTree.h"
#include "files/CopyFile.h"
#include "platform/FaultInjection.h"
#include "platform/FileAttributes.h"
#include "support/ErrorText.h"

namespace quillon {
namespace {

using ::testing::ElementsAre;

const std::string kSet = "C:\\Backup\\2003-11-24";
const std::string kIndent(21, ' ');

class CopyMarkedFilesTest : public testing::PassTest {
  protected:
    CopyMarkedFilesTest() {
        state_.CopyBuffer.resize(kCopyBufferSize);
        state_.LastAutoRunTime = MakeTime(2003, 11, 22, 0, 0, 0);
        NewPass();
    }

    // A fresh pass over path_ and an empty set directory, as the pass creates it before copying.
    void NewPass() {
        pass_ = std::make_unique<BackupPass>(state_, path_);
        pass_->StartPosition = static_cast<int32_t>(path_.DestPath.size());
        std::filesystem::remove_all(drives_.Native(kSet));
        std::filesystem::create_directories(drives_.Native(kSet));
        state_.ErrorFlag = false;
        state_.PassErrorLine.clear();
        state_.CopyErrorList.clear();
        state_.UncopiedFiles.clear();
    }

    // Scans, then copies with operation failing with err at its call number offset for the second
    // marked file (no fault when err is -1; the flush is the first kSync call); with sticky, every later
    // call fails too.
    void ScanAndCopy(FileOperation operation = FileOperation::kOpen, int err = -1, int offset = 1,
                     bool sticky = false) {
        int nth = operation == FileOperation::kSync || err < 0 ? 1 : CallsForOneFile(operation) + offset;
        Scan();
        ClearFaults();
        if (err >= 0) {
            InjectFault(operation, nth, err, sticky);
        }
        errorCode_ = 0;
        pass_->CopyMarkedFiles(kSet, sizeKB_, errorCode_);
        ClearFaults();
    }

    int CallsForOneFile(FileOperation operation) {
        File("C:\\Probe\\p.doc", "probe");
        RunState state;
        SourcePathRecord record;
        record.SourcePath = "C:\\Probe";
        record.DestPath = path_.DestPath;  // its copy journal counts as the pass's does
        BackupPass probe(state, record);
        probe.ScanDirectory("C:\\Probe", "C:\\PROBE");
        std::filesystem::create_directories(drives_.Native("C:\\ProbeSet"));
        int32_t sizeKB = 0;
        int32_t code = 0;
        ClearFaults();
        probe.CopyMarkedFiles("C:\\ProbeSet", sizeKB, code);
        return FaultCallCount(operation);
    }

    // A file of the set by its path below the set directory; "<none>" when missing.
    std::string InSet(const std::string& below) const {
        std::string native = drives_.Native(kSet + below);
        return std::filesystem::exists(native) ? testing::ReadFile(native) : "<none>";
    }

    void ThreeNewFiles() {
        File("C:\\Src\\a.doc", "alpha");
        File("C:\\Src\\b.doc", "beta");
        File("C:\\Src\\c.doc", "gamma");
    }

    int32_t sizeKB_ = -7;
    int32_t errorCode_ = 0;
    ScopedFaults faults_;
};

TEST_F(CopyMarkedFilesTest, CopiesTheMarkedFilesBelowTheSetAndCountsThem) {
    File("C:\\Src\\a.doc", std::string(1000, 'a'), MakeTime(2003, 11, 23, 8, 0, 0));
    File("C:\\Src\\sub\\b.doc", std::string(530, 'b'), MakeTime(2003, 11, 20, 8, 0, 0));
    File("C:\\Src\\Quillon.txt", "root!");
    File("C:\\Src\\same.doc", "unchanged", MakeTime(2003, 11, 20, 8, 0, 0));
    Recorded("C:\\Src\\same.doc", MakeTime(2003, 11, 20, 8, 0, 0));
    state_.RunFilesCopied = 5;  // from an earlier path of the run
    ScanAndCopy();

    EXPECT_EQ(InSet("\\a.doc") + InSet("\\sub\\b.doc"), std::string(1000, 'a') + std::string(530, 'b'));
    EXPECT_EQ(InSet("\\Kopie von Quillon.txt") + InSet("\\same.doc"),
              "root!<none>");  // read under its own name
    EXPECT_TRUE(Current("C:\\Src\\a.doc")->Stored && !Current("C:\\Src\\same.doc")->Stored);
    EXPECT_TRUE(errorCode_ == 0 && !state_.ErrorFlag);
    EXPECT_EQ(state_.RunFilesCopied, 8);
    EXPECT_EQ(state_.CountNewFiles, 1);  // only a.doc changed after the last automatic run
    EXPECT_EQ(sizeKB_, 1);               // 1535 bytes are just below 1.5 kilobytes
}

TEST_F(CopyMarkedFilesTest, ASingleSourceFileLiesDirectlyInTheSet) {
    File("C:\\Src\\sub\\other.doc", "not part of the source");
    for (const char* name : {"report.doc", "Quillon.txt"}) {
        SCOPED_TRACE(name);
        path_.SourcePath = "C:\\Src\\" + std::string(name);
        path_.SourcePathUpper = ToUpperPath(path_.SourcePath);
        File(path_.SourcePath, name);
        NewPass();
        ScanAndCopy();
        EXPECT_EQ(errorCode_, 0);
        // The set's control file copy goes to Quillon.txt, so the source's own file is stored as a copy.
        EXPECT_EQ(InSet(name == std::string("report.doc") ? "\\report.doc" : "\\Kopie von Quillon.txt") +
                      InSet("\\Quillon.txt"),
                  name + std::string("<none>"));
        EXPECT_EQ(pass_->FilesCopied, 1);  // the file alone, none beside or below it
    }
}

// A file gone since the scan, or sources the user may not read (mode 000, another user's file), concern
// those files alone: each is logged and written as 'E' (tried again next run), and every other file is
// still copied.
TEST_F(CopyMarkedFilesTest, FilesThatCannotBeReadAreLoggedAndTheRestStillCopied) {
    for (bool gone : {true, false}) {
        SCOPED_TRACE(gone ? "b.doc gone since the scan" : "no source readable from b.doc on");
        NewPass();
        ThreeNewFiles();
        File("C:\\Src\\d.doc", "delta");
        if (gone) {
            Scan();
            std::filesystem::remove(drives_.Native("C:\\Src\\b.doc"));
            pass_->CopyMarkedFiles(kSet, sizeKB_, errorCode_);
        } else {
            ScanAndCopy(FileOperation::kOpen, EACCES, 1, true);
        }
        const std::vector<std::string> failed =
            gone ? std::vector<std::string>{"C:\\Src\\b.doc"}
                 : std::vector<std::string>{"C:\\Src\\b.doc", "C:\\Src\\c.doc", "C:\\Src\\d.doc"};
        EXPECT_EQ(state_.UncopiedFiles, failed);
        ASSERT_EQ(state_.CopyErrorList.size(), 3 * failed.size());
        EXPECT_THAT(
            std::vector<std::string>(state_.CopyErrorList.begin(), state_.CopyErrorList.begin() + 3),
            ElementsAre("2003-11-24 18:02:11  C:\\Src\\b.doc", kIndent + "==> C:\\Backup\\2003-11-24\\b.doc",
                        kIndent + (gone ? "Error   2:   " + ErrorText(2) : "Error   5:   " + ErrorText(5))));
        for (const char* name : {"C:\\Src\\a.doc", "C:\\Src\\b.doc", "C:\\Src\\c.doc", "C:\\Src\\d.doc"}) {
            const bool fails = std::find(failed.begin(), failed.end(), name) != failed.end();
            EXPECT_EQ(Current(name)->CopyFailed, fails) << name;
            EXPECT_EQ(InSet(std::string(name).substr(6)) != "<none>", !fails) << name;
        }
        // One file's trouble does not fail the pass.
        EXPECT_TRUE(errorCode_ == 0 && state_.ErrorFlag && state_.PassErrorLine.empty());
    }
}

TEST_F(CopyMarkedFilesTest, AnAbortingErrorStopsThePathAndLeavesTheRestPending) {
    struct Case {
        const char* label;
        FileOperation operation;
        int err;
        int offset;  // of the failing call among those for b.doc (the source is opened first)
        int32_t code;
        std::string earlierMessage;
    } cases[] = {
        {"no access to the set's folder", FileOperation::kOpen, EACCES, 2, 5, ""},
        {"a full disk", FileOperation::kWrite, ENOSPC, 1, 112, ""},
        {"a second failure of the run", FileOperation::kOpen, EACCES, 2, 5, "Error creating D:\\X"},
        {"a failure without an error number", FileOperation::kWrite, 0, 1, 40, ""},
    };
    const std::string line = kIndent + "Copying File: C:\\Src\\b.doc\r\n" + kIndent +
                             "          to: C:\\Backup\\2003-11-24\\b.doc";
    const std::string message = "Error copying C:\\Src\\b.doc\r\nto C:\\Backup\\2003-11-24\\b.doc";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        NewPass();
        state_.PassErrorMessage = c.earlierMessage;
        ThreeNewFiles();
        ScanAndCopy(c.operation, c.err, c.offset);

        EXPECT_EQ(errorCode_, c.code);
        EXPECT_TRUE(state_.ErrorFlag);
        EXPECT_TRUE(Current("C:\\Src\\a.doc")->Stored && Current("C:\\Src\\b.doc")->CopyFailed);
        const FileEntry& rest = *Current("C:\\Src\\c.doc");
        EXPECT_TRUE(rest.ToCopy && !rest.Stored && !rest.CopyFailed);  // written as pending
        EXPECT_TRUE(sizeKB_ == 0 && state_.CopyErrorList.empty());
        EXPECT_EQ(state_.PassErrorLine, c.code == 40 ? "" : line);
        EXPECT_EQ(state_.PassErrorMessage, c.code == 40 ? "" : c.earlierMessage.empty() ? message : " ");
    }
}

TEST_F(CopyMarkedFilesTest, TheArchiveBitIsClearedOnlyForCopiesThatReachedTheDisk) {
    struct Case {
        const char* label;
        bool resetArchiveBit;
        FileOperation operation;
        int err;
        bool aCleared;
    } cases[] = {
        {"b.doc unreadable", true, FileOperation::kRead, EIO, true},
        {"setting off", false, FileOperation::kRead, EIO, false},
        {"no access to b.doc", true, FileOperation::kOpen, EACCES, true},
        {"disk full at b.doc: the pass gives the set up", true, FileOperation::kWrite, ENOSPC, false},
        {"the flush fails", true, FileOperation::kSync, EIO, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        path_.ResetArchiveBit = c.resetArchiveBit;
        NewPass();
        ThreeNewFiles();
        ASSERT_TRUE(WriteFileAttributes("C:\\Src\\a.doc", kAttributeArchive));
        ASSERT_TRUE(WriteFileAttributes("C:\\Src\\b.doc", kAttributeArchive));
        ScanAndCopy(c.operation, c.err);
        uint32_t a = 0, b = 0;
        ASSERT_TRUE(ReadFileAttributes("C:\\Src\\a.doc", a) && ReadFileAttributes("C:\\Src\\b.doc", b));
        EXPECT_EQ((a & kAttributeArchive) == 0, c.aCleared);
        EXPECT_NE(b & kAttributeArchive, 0u);
    }
}

TEST_F(CopyMarkedFilesTest, CopiesThatFailToReachTheDiskAreNotRecordedAsStored) {
    ThreeNewFiles();
    File("C:\\Src\\old.doc", "old", MakeTime(2003, 11, 20, 8, 0, 0));
    Recorded("C:\\Src\\old.doc", MakeTime(2003, 11, 20, 8, 0, 0));
    state_.RunFilesCopied = 4;
    state_.CountNewFiles = 2;
    state_.LastAutoRunTime = MakeTime(2003, 11, 1, 0, 0, 0);
    ScanAndCopy(FileOperation::kSync, EIO);

    EXPECT_EQ(errorCode_, 30);
    for (const char* name : {"C:\\Src\\a.doc", "C:\\Src\\b.doc", "C:\\Src\\c.doc"}) {
        EXPECT_TRUE(!Current(name)->Stored && Current(name)->CopyFailed) << name;  // pending again
    }
    EXPECT_FALSE(Current("C:\\Src\\old.doc")->CopyFailed);
    EXPECT_TRUE(state_.RunFilesCopied == 4 && state_.CountNewFiles == 2 && sizeKB_ == 0);
    EXPECT_THAT(
        state_.CopyErrorList,
        ElementsAre("2003-11-24 18:02:11  Writing the copies to the disk failed: C:\\Backup\\2003-11-24",
                    kIndent + "Error  30:   " + ErrorText(30)));
    EXPECT_EQ(state_.PassErrorLine, kIndent + "Writing to the disk failed: C:\\Backup\\2003-11-24");
    EXPECT_EQ(state_.PassErrorMessage, "Error copying C:\\Src\r\nto C:\\Backup\\2003-11-24");
}

// The names in a folder of the set, temporaries shown as such.
std::vector<std::string> NamesIn(const std::string& native) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(native)) {
        const std::string name = entry.path().filename().string();
        names.push_back(IsTemporaryCopyName(name) ? "<temporary>" : name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(CopyMarkedFilesTest, AFailedRecopyKeepsTheEarlierCopyOfTheDay) {
    // This morning's pass stored a.doc and b.doc in today's set; both changed since.
    struct Case {
        const char* label;
        FileOperation operation;
        int err;
    } cases[] = {
        {"a full disk while b.doc is written", FileOperation::kWrite, ENOSPC},
        {"b.doc unreadable", FileOperation::kRead, EIO},
        {"the flush fails", FileOperation::kSync, EIO},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        NewPass();
        testing::WriteFile(drives_.Native(kSet + "\\a.doc"), "alpha of the morning");
        testing::WriteFile(drives_.Native(kSet + "\\b.doc"), "beta of the morning");
        ThreeNewFiles();
        ScanAndCopy(c.operation, c.err);
        EXPECT_EQ(InSet("\\b.doc"), "beta of the morning");
        EXPECT_TRUE(Current("C:\\Src\\b.doc")->CopyFailed && !Current("C:\\Src\\b.doc")->Stored);
        // Only a copy that reached the disk replaced the morning's.
        EXPECT_EQ(InSet("\\a.doc"), Current("C:\\Src\\a.doc")->Stored ? "alpha" : "alpha of the morning");
        std::vector<std::string> names = NamesIn(drives_.Native(kSet));
        EXPECT_EQ(std::count(names.begin(), names.end(), "<temporary>"), 0);
        EXPECT_FALSE(std::filesystem::exists(drives_.Native("C:\\Backup\\" + std::string(kCopyJournalName))));
    }
}

TEST_F(CopyMarkedFilesTest, TheNextPassRemovesWhatAKilledPassLeftWhereTheJournalPoints) {
    // A killed pass: temporaries of copies and of an archive, and its journal.
    const std::string temporary = ".quillon-99-1.part\n";
    ASSERT_TRUE(IsTemporaryCopyName(temporary));
    for (const std::string& name :
         std::vector<std::string>{"\\" + temporary, "\\sub\\" + temporary, "\\QuillonData_003.Zip.part",
                                  "\\QuillonData_004.Zip.part.Ab12Cd", "\\kept.doc", "\\sub\\kept.doc"}) {
        testing::WriteFile(drives_.Native(kSet + name), "left");
    }
    ::chmod(drives_.Native(kSet + "\\sub\\" + temporary).c_str(), 0444);
    // A link at a temporary's name goes as a link; what it points to stays.
    testing::WriteFile(drives_.Native("C:\\Outside\\target"), "outside");
    std::filesystem::create_symlink(drives_.Native("C:\\Outside\\target"),
                                    drives_.Native(kSet + "\\.quillon-99-2.part\n"));
    ASSERT_TRUE(BeginCopyJournal("C:\\Backup", kSet));
    EXPECT_EQ(RemoveInterruptedCopies("C:\\Backup"), 5);
    EXPECT_EQ(NamesIn(drives_.Native(kSet)), (std::vector<std::string>{"kept.doc", "sub"}));
    EXPECT_EQ(NamesIn(drives_.Native(kSet + "\\sub")), std::vector<std::string>{"kept.doc"});
    EXPECT_EQ(testing::ReadFile(drives_.Native("C:\\Outside\\target")), "outside");
    EXPECT_EQ(RemoveInterruptedCopies("C:\\Backup"), 0);  // the journal went with them

    // A journal that names anything but a folder directly below the destination removes nothing.
    testing::WriteFile(drives_.Native("C:\\Outside\\" + temporary), "not ours");
    for (const char* text : {"..\\Outside", "../Outside", "..", ""}) {
        SCOPED_TRACE(text);
        testing::WriteFile(drives_.Native("C:\\Backup\\" + std::string(kCopyJournalName)), text);
        EXPECT_EQ(RemoveInterruptedCopies("C:\\Backup"), 0);
        EXPECT_TRUE(std::filesystem::exists(drives_.Native("C:\\Outside\\" + temporary)));
    }
}

}  // namespace
}  // namespace quillon
