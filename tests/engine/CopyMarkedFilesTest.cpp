#include <regex>

#include "engine/CopyJournal.h"
#include "engine/PassTestTree.h"
#include "support/ErrorText.h"

namespace quillon {
namespace {

const std::string kSet = "C:\\Backup\\2003-11-24";

class CopyMarkedFilesTest : public testing::PassTest {
  protected:
    CopyMarkedFilesTest() {
        state_.CopyBuffer.resize(kCopyBufferSize);
        state_.LastAutoRunTime = MakeTime(2003, 11, 22, 0, 0, 0);
        NewSetPass();
    }

    // A fresh pass over path_ and an empty set directory, as the pass creates it before copying.
    void NewSetPass() {
        NewPass();
        pass_->StartPosition = static_cast<int32_t>(path_.DestPath.size());
        std::filesystem::remove_all(drives_.Native(kSet));
        std::filesystem::create_directories(drives_.Native(kSet));
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
        int32_t sizeKB = 0, code = 0;
        ClearFaults();
        probe.CopyMarkedFiles("C:\\ProbeSet", sizeKB, code);
        return FaultCallCount(operation);
    }

    // A file of the set by its path below the set directory; "<none>" when missing.
    std::string InSet(const std::string& below) const {
        std::string native = drives_.Native(kSet + below);
        return std::filesystem::exists(native) ? testing::ReadFile(native) : "<none>";
    }

    // What the copy left, as text: the result, the counts and the set's folder (temporaries shown as
    // such); each file with its state (X stored, E failed, P still to copy, - unchanged), what the set
    // holds of it and 'A' when its source keeps the archive bit; then the error lines and the pass's
    // error line and message, an indent shown as "> " and a line end as " | ".
    std::string Outcome() {
        std::string text = "code " + std::to_string(errorCode_) + ", " + std::to_string(sizeKB_) + " kB, " +
                           std::to_string(state_.RunFilesCopied) + " copied, " +
                           std::to_string(state_.CountNewFiles) + " new; set:";
        for (const std::string& name : testing::NamesIn(drives_.Native(kSet))) {
            text += " " + name;
        }
        if (std::filesystem::exists(drives_.Native("C:\\Backup\\" + std::string(kCopyJournalName)))) {
            text += ", journal left";
        }
        for (const FileEntry* entry : pass_->CurrentFiles) {
            const std::string name = entry->Path.substr(7);
            uint32_t attributes = 0;
            ReadFileAttributes(entry->Path, attributes);
            const char state = entry->Stored ? 'X' : entry->CopyFailed ? 'E' : entry->ToCopy ? 'P' : '-';
            text += (entry == pass_->CurrentFiles.Get(0) ? "\n" : " | ") + name.substr(0, name.size() - 4) +
                    " " + state + " " + InSet("\\" + name) + (attributes & kAttributeArchive ? " A" : "");
        }
        text += "\n";
        auto plain = [](const std::string& line) {
            return std::regex_replace(std::regex_replace(line, std::regex(" {21}"), "> "), std::regex("\r\n"),
                                      " | ");
        };
        for (const std::string& line : state_.CopyErrorList) {
            text += plain(line) + "\n";
        }
        text += "pass: " + plain(state_.PassErrorLine) + " / " + plain(state_.PassErrorMessage);
        return text;
    }

    int32_t sizeKB_ = -7, errorCode_ = 0;
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

    // 1535 bytes are just below 1.5 kilobytes; only a.doc changed after the last automatic run.
    EXPECT_THAT(Outcome(), ::testing::StartsWith(
                               "code 0, 1 kB, 8 copied, 1 new; set: Kopie von Quillon.txt a.doc sub\n"));
    EXPECT_EQ(InSet("\\a.doc") + InSet("\\sub\\b.doc") + InSet("\\Kopie von Quillon.txt"),
              std::string(1000, 'a') + std::string(530, 'b') + "root!");  // read under its own name
    EXPECT_TRUE(Current("C:\\Src\\a.doc")->Stored && !Current("C:\\Src\\same.doc")->Stored &&
                !state_.ErrorFlag);
}

TEST_F(CopyMarkedFilesTest, ASingleSourceFileLiesDirectlyInTheSet) {
    File("C:\\Src\\sub\\other.doc", "not part of the source");
    for (const char* name : {"report.doc", "Quillon.txt"}) {
        SCOPED_TRACE(name);
        path_.SourcePath = "C:\\Src\\" + std::string(name);
        path_.SourcePathUpper = ToUpperPath(path_.SourcePath);
        File(path_.SourcePath, name);
        NewSetPass();
        ScanAndCopy();
        // The set's control file copy goes to Quillon.txt, so the source's own file is stored as a copy.
        EXPECT_EQ(InSet(name == std::string("report.doc") ? "\\report.doc" : "\\Kopie von Quillon.txt") +
                      InSet("\\Quillon.txt"),
                  name + std::string("<none>"));
        EXPECT_TRUE(errorCode_ == 0 && pass_->FilesCopied == 1);  // the file alone, none beside or below it
    }
}

// A file that cannot be copied concerns that file alone: it is logged and written as 'E' (tried again
// next run), and every other file is still copied; the pass goes on. A failure that would meet every
// file (no access to the set's folder, a full disk) stops the path: what is left stays pending. Only a
// copy that reached the disk counts, clears the source's archive bit (when the path says so) and takes
// the place of an earlier copy of the day; when the flush of the set fails, none did.
TEST_F(CopyMarkedFilesTest, AFailedCopyConcernsItsFileOrStopsThePath) {
    using enum FileOperation;
    auto failed = [](const std::string& name, const std::string& code, int error) {
        return "2003-11-24 18:02:11  C:\\Src\\" + name + "\n> ==> C:\\Backup\\2003-11-24\\" + name +
               "\n> Error " + code + ":   " + ErrorText(error) + "\n";
    };
    const std::string stopped =
        "pass: > Copying File: C:\\Src\\b.doc | >           to: C:\\Backup\\2003-11-24\\b.doc / ";
    const std::string message = "Error copying C:\\Src\\b.doc | to C:\\Backup\\2003-11-24\\b.doc";
    const std::string aStopped =
        "code 5, 0 kB, 5 copied, 3 new; set: a.doc\n"
        "a X alpha | b E <none> A | c P <none> A | d P <none> A | old - <none> A\n" +
        stopped;
    struct Case {
        const char* label;
        FileOperation operation;
        int err, offset;  // of the failing call among those for b.doc (-1: b.doc is gone since the scan)
        bool sticky, resetArchiveBit, morning;  // morning: the set holds copies of a.doc and b.doc already
        std::string earlierMessage, outcome;
    } cases[] = {
        {"b.doc gone since the scan", kOpen, -1, 0, false, true, false, "",
         "code 0, 0 kB, 7 copied, 5 new; set: a.doc c.doc d.doc\n"
         "a X alpha | b E <none> | c X gamma | d X delta | old - <none> A\n" +
             failed("b.doc", "  2", 2) + "pass:  / "},
        {"b.doc unreadable", kRead, EIO, 1, false, true, true, "",
         "code 0, 0 kB, 7 copied, 5 new; set: a.doc b.doc c.doc d.doc\n"
         "a X alpha | b E morning A | c X gamma | d X delta | old - <none> A\n" +
             failed("b.doc", " 30", 30) + "pass:  / "},
        {"... with the archive bits kept", kRead, EIO, 1, false, false, false, "",
         "code 0, 0 kB, 7 copied, 5 new; set: a.doc c.doc d.doc\n"
         "a X alpha A | b E <none> A | c X gamma A | d X delta A | old - <none> A\n" +
             failed("b.doc", " 30", 30) + "pass:  / "},
        {"no access to b.doc", kOpen, EACCES, 1, false, true, false, "", aStopped + message},
        {"no source readable from b.doc on", kOpen, EACCES, 1, true, true, false, "",
         "code 0, 0 kB, 5 copied, 3 new; set: a.doc\n"
         "a X alpha | b E <none> A | c E <none> A | d E <none> A | old - <none> A\n" +
             failed("b.doc", "  5", 5) + failed("c.doc", "  5", 5) + failed("d.doc", "  5", 5) + "pass:  / "},
        {"no access to the set's folder", kOpen, EACCES, 2, false, true, false, "", aStopped + message},
        {"... as the second failure of the run", kOpen, EACCES, 2, false, true, false, "Error creating D:\\X",
         aStopped + " "},
        {"a full disk: the pass gives the set up", kWrite, ENOSPC, 1, false, true, true, "",
         "code 112, 0 kB, 5 copied, 3 new; set: a.doc b.doc\n"
         "a X alpha A | b E morning A | c P <none> A | d P <none> A | old - <none> A\n" +
             stopped + message},
        {"a failure without an error number", kWrite, 0, 1, false, true, false, "",
         "code 40, 0 kB, 5 copied, 3 new; set: a.doc\n"
         "a X alpha | b E <none> A | c P <none> A | d P <none> A | old - <none> A\npass:  / "},
        {"the flush fails", kSync, EIO, 1, false, true, true, "",
         "code 30, 0 kB, 4 copied, 2 new; set: a.doc b.doc\n"
         "a E morning A | b E morning A | c E <none> A | d E <none> A | old - <none> A\n"
         "2003-11-24 18:02:11  Writing the copies to the disk failed: C:\\Backup\\2003-11-24\n"
         "> Error  30:   " +
             ErrorText(30) +
             "\npass: > Writing to the disk failed: C:\\Backup\\2003-11-24 / Error copying C:\\Src | to "
             "C:\\Backup\\2003-11-24"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        path_.ResetArchiveBit = c.resetArchiveBit;
        NewSetPass();
        state_.PassErrorMessage = c.earlierMessage;
        state_.RunFilesCopied = 4;
        state_.CountNewFiles = 2;
        state_.LastAutoRunTime = MakeTime(2003, 11, 1, 0, 0, 0);
        if (c.morning) {
            testing::WriteFile(drives_.Native(kSet + "\\a.doc"), "morning");
            testing::WriteFile(drives_.Native(kSet + "\\b.doc"), "morning");
        }
        for (const auto& [name, contents] :
             {std::pair{"a.doc", "alpha"}, {"b.doc", "beta"}, {"c.doc", "gamma"}, {"d.doc", "delta"}}) {
            File("C:\\Src\\" + std::string(name), contents);
            ASSERT_TRUE(WriteFileAttributes("C:\\Src\\" + std::string(name), kAttributeArchive));
        }
        File("C:\\Src\\old.doc", "old", MakeTime(2003, 11, 20, 8, 0, 0));
        Recorded("C:\\Src\\old.doc", MakeTime(2003, 11, 20, 8, 0, 0));
        if (c.err < 0) {
            Scan();
            std::filesystem::remove(drives_.Native("C:\\Src\\b.doc"));
            pass_->CopyMarkedFiles(kSet, sizeKB_, errorCode_);
        } else {
            ScanAndCopy(c.operation, c.err, c.offset, c.sticky);
        }
        EXPECT_EQ(Outcome(), c.outcome);
        EXPECT_TRUE(state_.ErrorFlag);
    }
}

TEST_F(CopyMarkedFilesTest, TheNextPassRemovesWhatAKilledPassLeftWhereTheJournalPoints) {
    // A killed pass: temporaries of copies and of an archive, and its journal. (That a run after a kill
    // finds none, the kills show end to end.)
    const std::string temporary = ".quillon-99-1.part\n";
    for (const std::string& name :
         std::vector<std::string>{"\\" + temporary, "\\sub\\" + temporary, "\\QuillonData_003.Zip.part",
                                  "\\QuillonData_004.Zip.part.Ab12Cd", "\\sub\\kept.doc"}) {
        testing::WriteFile(drives_.Native(kSet + name), "left");
    }
    // A link at a temporary's name goes as a link; what it points to stays.
    testing::WriteFile(drives_.Native("C:\\Outside\\target"), "outside");
    std::filesystem::create_symlink(drives_.Native("C:\\Outside\\target"),
                                    drives_.Native(kSet + "\\.quillon-99-2.part\n"));
    ASSERT_TRUE(BeginCopyJournal("C:\\Backup", kSet));
    EXPECT_EQ(RemoveInterruptedCopies("C:\\Backup"), 5);
    EXPECT_EQ(testing::NamesIn(drives_.Native(kSet)), std::vector<std::string>{"sub"});
    EXPECT_EQ(testing::NamesIn(drives_.Native(kSet + "\\sub")), std::vector<std::string>{"kept.doc"});
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
