#include <cerrno>
#include <filesystem>

#include "engine/PassTestTree.h"
#include "platform/FaultInjection.h"
#include "platform/FileAttributes.h"
#include "support/ErrorText.h"

namespace quillon {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const std::string kSet = "C:\\Backup\\2003-11-24";
const std::string kIndent(21, ' ');

class CopyMarkedFilesTest : public testing::PassTest {
  protected:
    CopyMarkedFilesTest() {
        state_.CopyBuffer.resize(kCopyBufferSize);
        state_.LastAutoRunTime = MakeTime(2003, 11, 22, 0, 0, 0);
        pass_->StartPosition = static_cast<int32_t>(path_.DestPath.size());
        std::filesystem::create_directories(drives_.Native(kSet));
    }

    // Scans the source and copies what it marked into kSet.
    void ScanAndCopy() {
        Scan();
        Copy();
    }
    void Copy() {
        errorCode_ = 0;
        pass_->CopyMarkedFiles(kSet, sizeKB_, errorCode_);
    }

    void ForgetEarlierErrors() {
        state_.ErrorFlag = false;
        state_.PassErrorLine.clear();
        state_.PassErrorMessage.clear();
        state_.CopyErrorList.clear();
        state_.UncopiedFiles.clear();
    }

    // The content of a file of the set, by its path below the set directory; "<none>" when missing.
    std::string InSet(const std::string& below) const {
        std::string native = drives_.Native(kSet + below);
        return std::filesystem::exists(native) ? testing::ReadFile(native) : "<none>";
    }

    bool HasArchiveBit(const std::string& windowsPath) const {
        uint32_t attributes = 0;
        EXPECT_TRUE(ReadFileAttributes(windowsPath, attributes)) << windowsPath;
        return (attributes & kAttributeArchive) != 0;
    }

    // How many calls of operation the copy step makes for one small file, so that a fault can be aimed
    // at the first call of the second file.
    int CallsForOneFile(FileOperation operation) {
        File("C:\\Probe\\p.doc", "probe");
        std::filesystem::create_directories(drives_.Native("C:\\ProbeSet"));
        RunState state;
        SourcePathRecord record;
        record.SourcePath = "C:\\Probe";
        record.SourcePathUpper = "C:\\PROBE";
        BackupPass probe(state, record);
        probe.ScanDirectory(record.SourcePath, record.SourcePathUpper);
        int32_t sizeKB = 0;
        int32_t code = 0;
        ClearFaults();
        probe.CopyMarkedFiles("C:\\ProbeSet", sizeKB, code);
        EXPECT_EQ(code, 0);
        int calls = FaultCallCount(operation);
        ClearFaults();
        return calls;
    }

    // a.doc, b.doc and c.doc in the source root, all new.
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
    File("C:\\Src\\sub\\b.doc", std::string(536, 'b'), MakeTime(2003, 11, 20, 8, 0, 0));
    File("C:\\Src\\same.doc", "unchanged", MakeTime(2003, 11, 20, 8, 0, 0));
    Recorded("C:\\Src\\same.doc", MakeTime(2003, 11, 20, 8, 0, 0));
    state_.RunFilesCopied = 5;  // from an earlier path of the run
    ScanAndCopy();

    EXPECT_EQ(InSet("\\a.doc"), std::string(1000, 'a'));
    EXPECT_EQ(InSet("\\sub\\b.doc"), std::string(536, 'b'));
    EXPECT_EQ(InSet("\\same.doc"), "<none>");
    EXPECT_TRUE(Current("C:\\Src\\a.doc")->Stored);
    EXPECT_TRUE(Current("C:\\Src\\sub\\b.doc")->Stored);
    EXPECT_FALSE(Current("C:\\Src\\same.doc")->Stored);
    EXPECT_EQ(errorCode_, 0);
    EXPECT_FALSE(state_.ErrorFlag);
    EXPECT_EQ(pass_->FilesCopied, 2);
    EXPECT_EQ(state_.FilesStored.load(), 2);
    EXPECT_EQ(state_.RunFilesCopied, 7);
    EXPECT_EQ(state_.CountNewFiles, 1);  // only a.doc changed after the last automatic run
    EXPECT_EQ(state_.BytesToCopy.load(), 1536);
    EXPECT_EQ(state_.BytesCopied.load(), -1);
    EXPECT_EQ(sizeKB_, 2);  // 1536 bytes are 1.5 kilobytes, rounded half up
}

TEST_F(CopyMarkedFilesTest, SetsPlaceEachFileWhereItsSourceSays) {
    struct Case {
        const char* label;
        std::string sourcePath;
        std::vector<std::pair<std::string, std::string>> files;   // source path, content
        std::vector<std::pair<std::string, std::string>> stored;  // path below the set, content
    } cases[] = {
        {"a single source file",
         "C:\\Src\\report.doc",
         {{"C:\\Src\\report.doc", "report"}},
         {{"\\report.doc", "report"}}},
        {"a control file name in the root and below it",
         "C:\\Src",
         {{"C:\\Src\\Quillon.txt", "root"}, {"C:\\Src\\sub\\Quillon.txt", "below"}},
         {{"\\Kopie von Quillon.txt", "root"}, {"\\sub\\Quillon.txt", "below"}, {"\\Quillon.txt", "<none>"}}},
        {"a single source file with the control file name",
         "C:\\Src\\Quillon.txt",
         {{"C:\\Src\\Quillon.txt", "single"}},
         {{"\\Kopie von Quillon.txt", "single"}, {"\\Quillon.txt", "<none>"}}},
        {"names differing only in case",
         "C:\\Src",
         {{"C:\\Src\\Report.doc", "one"}, {"C:\\Src\\REPORT.doc", "two"}},
         {{"\\Report.doc", "one"}, {"\\REPORT.doc", "two"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        std::filesystem::remove_all(drives_.Native("C:\\Src"));
        std::filesystem::remove_all(drives_.Native(kSet));
        std::filesystem::create_directories(drives_.Native(kSet));
        for (const auto& [source, content] : c.files) {
            File(source, content);
        }
        path_.SourcePath = c.sourcePath;
        path_.SourcePathUpper = ToUpperPath(c.sourcePath);
        pass_ = std::make_unique<BackupPass>(state_, path_);
        pass_->StartPosition = static_cast<int32_t>(path_.DestPath.size());
        ScanAndCopy();
        EXPECT_EQ(errorCode_, 0);
        EXPECT_THAT(state_.CopyErrorList, IsEmpty());
        for (const auto& [below, content] : c.stored) {
            EXPECT_EQ(InSet(below), content) << below;
        }
    }
}

TEST_F(CopyMarkedFilesTest, AFileGoneSinceTheScanIsLoggedAndTheNextOneStillCopied) {
    ThreeNewFiles();
    Scan();
    std::filesystem::remove(drives_.Native("C:\\Src\\b.doc"));
    Copy();

    EXPECT_THAT(state_.CopyErrorList, ElementsAre("2003-11-24 18:02:11  C:\\Src\\b.doc",
                                                  kIndent + "==> C:\\Backup\\2003-11-24\\b.doc",
                                                  kIndent + "Error   2:   " + ErrorText(2)));
    EXPECT_THAT(state_.UncopiedFiles, ElementsAre("C:\\Src\\b.doc"));
    EXPECT_EQ(errorCode_, 0);  // one file's trouble does not fail the pass
    EXPECT_TRUE(state_.ErrorFlag);
    EXPECT_TRUE(Current("C:\\Src\\b.doc")->CopyFailed);
    EXPECT_FALSE(Current("C:\\Src\\b.doc")->Stored);
    EXPECT_EQ(InSet("\\c.doc"), "gamma");
    EXPECT_TRUE(Current("C:\\Src\\c.doc")->Stored);
    EXPECT_EQ(pass_->FilesCopied, 2);
    EXPECT_EQ(state_.BytesCopied.load(), -1);
    EXPECT_EQ(sizeKB_, 0);  // 10 bytes
    EXPECT_THAT(state_.PassErrorLine, IsEmpty());
}

TEST_F(CopyMarkedFilesTest, AnAbortingErrorStopsThePathAndLeavesTheRestPending) {
    struct Case {
        const char* label;
        FileOperation operation;
        int err;
        int32_t code;
        const char* earlierMessage;
        bool messages;  // PassErrorLine and PassErrorMessage are set
    } cases[] = {
        {"no access to the source", FileOperation::kOpen, EACCES, 5, "", true},
        {"a full disk", FileOperation::kWrite, ENOSPC, 112, "", true},
        {"a second failure of the run", FileOperation::kOpen, EACCES, 5, "Error creating D:\\X", true},
        {"a failure without an error number", FileOperation::kWrite, 0, 40, "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const int callsForOne = CallsForOneFile(c.operation);
        ForgetEarlierErrors();
        state_.PassErrorMessage = c.earlierMessage;
        pass_ = std::make_unique<BackupPass>(state_, path_);
        pass_->StartPosition = static_cast<int32_t>(path_.DestPath.size());
        std::filesystem::remove_all(drives_.Native(kSet));
        std::filesystem::create_directories(drives_.Native(kSet));
        ThreeNewFiles();
        Scan();
        ClearFaults();
        InjectFault(c.operation, callsForOne + 1, c.err);  // the first such call for b.doc
        Copy();
        ClearFaults();

        EXPECT_EQ(errorCode_, c.code);
        EXPECT_TRUE(state_.ErrorFlag);
        EXPECT_TRUE(Current("C:\\Src\\a.doc")->Stored);
        EXPECT_TRUE(Current("C:\\Src\\b.doc")->CopyFailed);
        const FileEntry& rest = *Current("C:\\Src\\c.doc");
        EXPECT_TRUE(rest.ToCopy && !rest.Stored && !rest.CopyFailed);  // written as pending
        EXPECT_EQ(InSet("\\c.doc"), "<none>");
        EXPECT_EQ(pass_->FilesCopied, 1);
        EXPECT_EQ(sizeKB_, 0);
        EXPECT_NE(state_.BytesCopied.load(), -1);
        EXPECT_THAT(state_.CopyErrorList, IsEmpty());
        EXPECT_THAT(state_.UncopiedFiles, IsEmpty());
        if (c.messages) {
            EXPECT_EQ(state_.PassErrorLine, kIndent + "Copying File: C:\\Src\\b.doc\r\n" + kIndent +
                                                "          to: C:\\Backup\\2003-11-24\\b.doc");
            EXPECT_EQ(
                state_.PassErrorMessage,
                *c.earlierMessage ? " " : "Error copying C:\\Src\\b.doc\r\nto C:\\Backup\\2003-11-24\\b.doc");
        } else {
            EXPECT_THAT(state_.PassErrorLine, IsEmpty());
            EXPECT_THAT(state_.PassErrorMessage, IsEmpty());
        }
    }
}

TEST_F(CopyMarkedFilesTest, TheArchiveBitIsClearedOnlyForCopiesThatReachedTheDisk) {
    struct Case {
        const char* label;
        bool resetArchiveBit;
        FileOperation operation;
        int err;
        bool sync;  // the fault hits the flush instead of b.doc
        bool aCleared;
        bool bCleared;
    } cases[] = {
        {"b.doc unreadable", true, FileOperation::kRead, EIO, false, true, false},
        {"setting off", false, FileOperation::kRead, EIO, false, false, false},
        {"disk full at b.doc: the set is given up", true, FileOperation::kWrite, ENOSPC, false, false, false},
        {"no access to b.doc", true, FileOperation::kOpen, EACCES, false, true, false},
        {"the flush fails", true, FileOperation::kSync, EIO, true, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const int callsForOne = c.sync ? 0 : CallsForOneFile(c.operation);
        pass_ = std::make_unique<BackupPass>(state_, path_);
        pass_->StartPosition = static_cast<int32_t>(path_.DestPath.size());
        path_.ResetArchiveBit = c.resetArchiveBit;
        ThreeNewFiles();
        for (const char* name : {"C:\\Src\\a.doc", "C:\\Src\\b.doc"}) {
            ASSERT_TRUE(WriteFileAttributes(name, kAttributeArchive));
        }
        Scan();
        ClearFaults();
        InjectFault(c.operation, callsForOne + 1, c.err);
        Copy();
        ClearFaults();
        EXPECT_EQ(HasArchiveBit("C:\\Src\\a.doc"), !c.aCleared);
        EXPECT_EQ(HasArchiveBit("C:\\Src\\b.doc"), !c.bCleared);
    }
}

TEST_F(CopyMarkedFilesTest, CopiesThatFailToReachTheDiskAreNotRecordedAsStored) {
    ThreeNewFiles();
    File("C:\\Src\\old.doc", "old", MakeTime(2003, 11, 20, 8, 0, 0));
    Recorded("C:\\Src\\old.doc", MakeTime(2003, 11, 20, 8, 0, 0));
    state_.RunFilesCopied = 4;
    state_.CountNewFiles = 2;
    state_.LastAutoRunTime = MakeTime(2003, 11, 1, 0, 0, 0);
    Scan();
    InjectFault(FileOperation::kSync, 1, EIO);
    Copy();

    EXPECT_EQ(errorCode_, 30);
    EXPECT_TRUE(state_.ErrorFlag);
    for (const char* name : {"C:\\Src\\a.doc", "C:\\Src\\b.doc", "C:\\Src\\c.doc"}) {
        const FileEntry& entry = *Current(name);
        EXPECT_FALSE(entry.Stored) << name;
        EXPECT_TRUE(entry.CopyFailed) << name;  // pending again for the next pass
    }
    EXPECT_FALSE(Current("C:\\Src\\old.doc")->CopyFailed);
    EXPECT_EQ(pass_->FilesCopied, 0);
    EXPECT_EQ(state_.FilesStored.load(), 0);
    EXPECT_EQ(state_.RunFilesCopied, 4);
    EXPECT_EQ(state_.CountNewFiles, 2);
    EXPECT_EQ(sizeKB_, 0);
    EXPECT_NE(state_.BytesCopied.load(), -1);
    EXPECT_THAT(
        state_.CopyErrorList,
        ElementsAre("2003-11-24 18:02:11  Writing the copies to the disk failed: C:\\Backup\\2003-11-24",
                    kIndent + "Error  30:   " + ErrorText(30)));
    EXPECT_EQ(state_.PassErrorLine, kIndent + "Writing to the disk failed: C:\\Backup\\2003-11-24");
    EXPECT_EQ(state_.PassErrorMessage, "Error copying C:\\Src\r\nto C:\\Backup\\2003-11-24");
}

TEST_F(CopyMarkedFilesTest, NothingMarkedCopiesNothingAndEndsTheLoop) {
    File("C:\\Src\\same.doc", "unchanged", MakeTime(2003, 11, 20, 8, 0, 0));
    Recorded("C:\\Src\\same.doc", MakeTime(2003, 11, 20, 8, 0, 0));
    InjectFault(FileOperation::kSync, 1, EIO);  // no copy, so no flush to fail
    ScanAndCopy();
    EXPECT_EQ(errorCode_, 0);
    EXPECT_EQ(sizeKB_, 0);
    EXPECT_EQ(state_.BytesToCopy.load(), 0);
    EXPECT_EQ(state_.BytesCopied.load(), -1);
    EXPECT_FALSE(state_.ErrorFlag);
}

}  // namespace
}  // namespace quillon
