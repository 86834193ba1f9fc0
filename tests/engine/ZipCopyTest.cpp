// Compressed sets end to end: whole runs over a source tree with the build's compression library, the
// archives checked with unzip and Python's zipfile.
#include "engine/PassTestTree.h"
#include "ibzip/IbZipHarness.h"
#include "platform/DriveMap.h"
#include "platform/LastError.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using testing::At, testing::Tree;
using Names = std::vector<std::string>;

const std::string kSet = "C:\\Backup\\2003-11-24";
const std::string kArchive0 = kSet + "\\QuillonData_000.Zip";
const std::string kArchive1 = kSet + "\\QuillonData_001.Zip";
constexpr int32_t kCompressed = 0x826;  // the default flags: scheduled full backups, compression
constexpr int32_t kPlain = 0x026;

std::string BuiltLibrary() {
    const char* dir = std::getenv("QUILLON_TEST_BIN_DIR");
    return dir != nullptr ? std::string(dir) + "/libib-zip.so" : "/nonexistent/libib-zip.so";
}

// Whole runs with the build's compression library, which reads the drive map from the environment: it
// gets the test's own.
class ZipCopyTest : public testing::RunTest {
  protected:
    ZipCopyTest() { EXPECT_TRUE(run_.ZipLibrary.Open()) << BuiltLibrary(); }
    ~ZipCopyTest() override { run_.ZipLibrary.Close(); }

    // Each of lines (which may span several) ends a line of the control file.
    void ExpectLines(const std::string& control, const Names& lines) {
        for (const std::string& line : lines) {
            EXPECT_THAT(control, ::testing::HasSubstr(line + "\r\n"));
        }
    }
    Names Folder(const std::string& windowsPath) { return testing::NamesIn(Native(windowsPath)); }
    void ExpectArchive(const std::string& archive, const Tree& entries) {
        testing::ExpectArchive(Native(archive), entries);
    }

    // A compressed pass over C:\Data into today's empty set, its first archive begun, with an entry of
    // one byte for each named source file.
    void StartPass(const Names& names) {
        path_.SourcePath = "C:\\Data";
        pass_ = std::make_unique<BackupPass>(run_, path_);
        entries_.clear();
        for (const std::string& name : names) {
            entries_.emplace_back().Path = "C:\\Data\\" + name;
            entries_.back().Size = 1;
        }
        fs::create_directories(Native(kSet));
        run_.ZipNumber = -1;
        ASSERT_TRUE(pass_->StartZipCopy(path_.SourcePath, kSet));
    }
    bool Stage(size_t i) { return pass_->StageFile(entries_[i].Path, entries_[i], 7, total_, false); }

    SourcePathRecord path_;
    std::unique_ptr<BackupPass> pass_;
    std::vector<FileEntry> entries_;
    int64_t total_ = 0;
    testing::ScopedEnv drivesForLibrary_{"QUILLON_DRIVES", Drives().Folder()};
    testing::ScopedEnv library_{"QUILLON_IBZIP", BuiltLibrary()};
    testing::CaptureMessages messages_;
};

TEST_F(ZipCopyTest, ArchiveZeroTakesTwentyFilesTheNextArchiveTheRestAndArchiveZeroTheControlFile) {
    Tree first, second;
    for (int i = 1; i <= 25; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, i < 25 ? "f%02d.txt" : "sub\\f%02d.txt", i);
        Sources({{name, "file " + std::to_string(i), At(2003, 11, 24, 9, 0)}});
        (i <= 20 ? first : second)[i < 25 ? name : "sub/f25.txt"] = "file " + std::to_string(i);
    }

    RunAt(At(2003, 11, 24, 18, 5, 12));

    const std::string control = Control();
    first["Quillon.txt"] = control;
    ExpectArchive(kArchive0, first);
    ExpectArchive(kArchive1, second);
    EXPECT_EQ(Folder(kSet), (Names{"QuillonData_000.Zip", "QuillonData_001.Zip"}));
    ExpectLines(control,
                {"C:\\Data\r\nZ001  2003-11-24 18:05:12", "X 2003-11-24 09:00  Z000  C:\\Data\\f20.txt",
                 "X 2003-11-24 09:00  Z001  C:\\Data\\f21.txt"});
    EXPECT_TRUE(run_.RunFilesCopied == 25 && !run_.ErrorFlag && run_.CopyErrorList.empty() &&
                messages_.Shown.empty());
}

TEST_F(ZipCopyTest, AFileLargerThanAnArchiveSkipsTheEmptyFirstArchive) {
    Sources({{"big.bin", "", At(2003, 11, 24, 9, 0)}});
    fs::resize_file(Native("C:\\Data\\big.bin"), 40'000'000);  // sparse: only its length is large
    testing::SetModified(Native("C:\\Data\\big.bin"), At(2003, 11, 24, 9, 0).Seconds());

    RunAt(At(2003, 11, 24, 18, 5, 12));

    ExpectArchive(kArchive0, {{"Quillon.txt", Control()}});
    EXPECT_EQ(testing::RunCommand("unzip -Z1 '" + Native(kArchive1) + "'"), "big.bin\n");
    ExpectLines(Control(), {"Z001  2003-11-24 18:05:12", "X 2003-11-24 09:00  Z001  C:\\Data\\big.bin"});
}

// A second pass on the same day continues after the set's archives and keeps the set's files
// recorded, also one that has left the source since. On drive A the control file is added to archive
// 000 through a copy in the staging folder.
TEST_F(ZipCopyTest, ASecondPassOnTheSameDayContinuesTheNumberingAndKeepsTheEarlierFiles) {
    testing::TempDir floppy;
    drives_.Map('A', floppy.Path());
    Set("DestPath", "A:\\Backup");
    Sources({{"b.txt", "b old", At(2003, 11, 24, 9, 0)}, {"gone.txt", "gone", At(2003, 11, 24, 9, 0)}});
    RunAt(At(2003, 11, 24, 18, 0, 0));
    fs::remove(Native("C:\\Data\\gone.txt"));
    Sources({{"b.txt", "b new", At(2003, 11, 24, 19, 0)}});

    RunAt(At(2003, 11, 24, 20, 0, 30));

    const std::string control = Control("A:\\Backup"),
                      archive0 = "A:\\Backup\\2003-11-24\\QuillonData_000.Zip";
    ExpectLines(control, {"Z000  2003-11-24 18:00:00\r\nZ001  2003-11-24 20:00:30",
                          "X 2003-11-24 19:00  Z001  C:\\Data\\b.txt",
                          "X 2003-11-24 09:00  Z000  C:\\Data\\gone.txt"});
    ExpectArchive(archive0, {{"Quillon.txt", control}, {"b.txt", "b old"}, {"gone.txt", "gone"}});
    ExpectArchive("A:\\Backup\\2003-11-24\\QuillonData_001.Zip", {{"b.txt", "b new"}});
    EXPECT_EQ(Folder("A:\\Backup\\2003-11-24"), (Names{"QuillonData_000.Zip", "QuillonData_001.Zip"}));
    EXPECT_FALSE(Exists(run_.TempDirPath + "QuillonData_000.Zip") || run_.ErrorFlag);
}

// A set keeps the form it was begun in, whatever the setting says later that day. A plain set holds
// the user's files under their own names, also one named like archive 000: that file never makes the set
// a compressed one (the next pass would append to the user's archive), whether or not the set's copy of
// the control file is there (a pass killed before writing it).
TEST_F(ZipCopyTest, ASetKeepsTheFormItWasBegunInAndAUserArchiveLeavesAPlainSetPlain) {
    // An empty archive, and one holding a control file of another source (a copy of someone's set).
    const std::string empty = "PK\x05\x06" + std::string(18, '\0');
    testing::WriteFile(
        Native("C:\\Elsewhere\\Quillon.txt"),
        testing::Joined({"Quillon-Run -- Processing Time: 2003-11-24 08:00", "-1 no full backup scheduled",
                         "C:\\Elsewhere", "# ===== Saved Backups:", "# ===== Files:"}));
    const auto foreign = testing::RunCommand("cd '" + Native("C:\\Elsewhere") +
                                             "' && python3 -m zipfile -c f.zip Quillon.txt && cat f.zip");
    ASSERT_TRUE(foreign);
    const Names userSet = {"Quillon.txt", "QuillonData_000.Zip", "a.txt", "b.txt"};
    // The flags of the first and the second pass, the user's archive among the sources, whether the set's
    // copy of the control file is lost in between; the set's folder at the end.
    const std::tuple<int32_t, int32_t, std::string, bool, Names> cases[] = {
        {kCompressed, kPlain, "", false, {"QuillonData_000.Zip", "QuillonData_001.Zip"}},
        {kPlain, kCompressed, "", false, {"Quillon.txt", "a.txt", "b.txt"}},
        {kPlain, kPlain, empty, false, userSet},
        {kPlain, kPlain, empty, true, userSet},
        {kPlain, kPlain, *foreign, true, userSet},
    };
    for (const auto& [first, second, userArchive, setControlLost, set] : cases) {
        SCOPED_TRACE(std::to_string(first) + ", " + std::to_string(userArchive.size()) +
                     " bytes, copy lost " + std::to_string(setControlLost));
        fs::remove_all(Native("C:\\Backup"));
        fs::remove_all(Native("C:\\Data"));
        Set("Flags", first);
        Sources({{"a.txt", "a", At(2003, 11, 24, 9, 0)}});
        if (!userArchive.empty()) {
            Sources({{"QuillonData_000.Zip", userArchive, At(2003, 11, 24, 9, 0)}});
        }
        RunAt(At(2003, 11, 24, 18, 0));
        if (setControlLost) {
            fs::remove(Native(kSet + "\\Quillon.txt"));
        }
        Sources({{"b.txt", "b", At(2003, 11, 24, 19, 0)}});
        Set("Flags", second);

        RunAt(At(2003, 11, 24, 20, 0));

        EXPECT_EQ(Folder(kSet), set);
        if (first == kCompressed) {
            ExpectArchive(kArchive0, {{"Quillon.txt", Control()}, {"a.txt", "a"}});
            ExpectArchive(kArchive1, {{"b.txt", "b"}});
        } else {
            EXPECT_TRUE(Saved("2003-11-24\\b.txt") == "b" && Saved("2003-11-24\\Quillon.txt") == Control());
            EXPECT_EQ(Saved("2003-11-24\\QuillonData_000.Zip"), userArchive.empty() ? "<none>" : userArchive);
        }
        EXPECT_FALSE(run_.ErrorFlag);
    }
}

TEST_F(ZipCopyTest, AnArchiveThatCannotBeWrittenLeavesItsFilesPendingAndStopsTheArchivesOfThePass) {
    for (int i = 1; i <= 25; ++i) {
        Sources({{"f" + std::to_string(100 + i) + ".txt", "x", At(2003, 11, 24, 9, 0)}});
    }
    testing::CaptureTrace trace;
    // Once the pass has made the set's folder, something takes the place where the library builds the
    // archive.
    ScopedFaults faults;
    InjectHook(FileOperation::kCreateDirectory, 2,
               [&] { fs::create_directories(Native(kArchive0 + ".part")); });
    RunAt(At(2003, 11, 24, 18, 5, 12));

    // The set took no file, so it goes as a whole and gets no copy of the control file. (That its files
    // stay pending, the full disks show end to end.)
    EXPECT_FALSE(Exists(kArchive0) || Exists(kArchive1) || Exists(kArchive0 + ".part"));
    EXPECT_EQ(run_.CopyErrorList, Names{"2003-11-24 18:05:12  Error writing file >" + kArchive0 + "<"});
    EXPECT_TRUE(trace.Contains("*** Error writing file >" + kArchive0 + "<\n"));
    EXPECT_TRUE(run_.ErrorFlag && run_.FirstErrorCode != 0 && run_.RunFilesCopied == 0 &&
                messages_.Shown.empty());
}

TEST_F(ZipCopyTest, AControlFileThatCannotBeAddedToArchiveZeroIsReportedAndShown) {
    Sources({{"a.txt", "a", At(2003, 11, 24, 9, 0)}});
    RunAt(At(2003, 11, 24, 18, 0));
    Sources({{"b.txt", "b", At(2003, 11, 24, 19, 0)}});
    fs::create_directories(Native(kArchive0 + ".part"));  // archive 000 can no longer be rebuilt
    testing::CaptureTrace trace;

    RunAt(At(2003, 11, 24, 20, 0, 5));

    ExpectArchive(kArchive1, {{"b.txt", "b"}});
    ExpectLines(Control(), {"X 2003-11-24 19:00  Z001  C:\\Data\\b.txt"});
    EXPECT_EQ(run_.CopyErrorList,
              Names{"2003-11-24 20:00:05  Zipped Controlfile >" + kArchive0 + "< could not be written"});
    EXPECT_TRUE(trace.Contains("*** Zipped Controlfile >" + kArchive0 + "< could not be written\n"));
    EXPECT_EQ(messages_.Texts(), Names{"The file >" + kArchive0 + "<\ncould not be written."});
    EXPECT_TRUE(run_.ErrorFlag && run_.FirstErrorCode == 0);
}

TEST_F(ZipCopyTest, AStagingFolderOutOfSpaceClosesTheArchiveEarlyAndTriesTheFileOnce) {
    for (bool sticky : {false, true}) {
        SCOPED_TRACE(sticky ? "full for good" : "full once");
        fs::remove_all(Native("C:\\Backup"));
        Sources({{"a.txt", "a", At(2003, 11, 24, 9, 0)}, {"b.txt", "b", At(2003, 11, 24, 9, 0)}});
        StartPass({"a.txt", "b.txt"});
        pass_->PackFromSource = false;  // as with a library that packs only a folder
        ASSERT_TRUE(Stage(0));
        InjectFault(FileOperation::kWrite, 1, ENOSPC, sticky);
        const bool staged = Stage(1);
        ClearFaults();
        const FileEntry& b = entries_[1];
        ExpectArchive(kArchive0, {{"a.txt", "a"}});  // closed early
        EXPECT_TRUE(staged != sticky && b.CopyFailed == sticky);
        if (sticky) {
            EXPECT_TRUE(GetLastError() == kErrorTempDirectoryFull && !Exists(run_.TempDirPath + "b.txt"));
        } else {
            EXPECT_EQ(b.ZipNumber, 1);
            ASSERT_TRUE(pass_->CloseArchive(total_));
            ExpectArchive(kArchive1, {{"b.txt", "b"}});
        }
    }
}

TEST_F(ZipCopyTest, AFileGoneBeforeItsArchiveIsPackedIsLeftOutAloneAndNamed) {
    Sources({{"a.txt", "a", At(2003, 11, 24, 9, 0)}, {"b.txt", "b", At(2003, 11, 24, 9, 0)}});
    StartPass({"a.txt", "b.txt", "c.txt"});
    ASSERT_TRUE(pass_->PackFromSource);  // the build's library reads the files where they are
    ASSERT_TRUE(Stage(0) && Stage(1));
    EXPECT_FALSE(fs::exists(Native(run_.TempDirPath + "a.txt"))) << "nothing is copied to the staging folder";
    fs::remove(Native("C:\\Data\\b.txt"));

    EXPECT_TRUE(pass_->CloseArchive(total_));
    ExpectArchive(kArchive0, {{"a.txt", "a"}});
    const FileEntry &a = entries_[0], &b = entries_[1], &c = entries_[2];
    EXPECT_TRUE(a.Stored && a.ZipNumber == 0 && !b.Stored && b.CopyFailed && b.ZipNumber == -1 &&
                run_.ErrorFlag);
    EXPECT_THAT(run_.CopyErrorList,
                ::testing::ElementsAre(::testing::EndsWith("  C:\\Data\\b.txt"),
                                       std::string(21, ' ') + "==> " + run_.TempDirPath + "b.txt",
                                       ::testing::StartsWith(std::string(21, ' ') + "Error   2:   ")));

    // An archive none of whose files could be packed is not written; its number serves the next one.
    ASSERT_TRUE(Stage(2));
    EXPECT_TRUE(pass_->CloseArchive(total_));
    EXPECT_TRUE(!Exists(kArchive1) && run_.ZipNumber == 1 && c.CopyFailed);
}

TEST_F(ZipCopyTest, WithoutTheLibraryTheRunIsToldOnceAndStoresPlainFiles) {
    run_.ZipLibrary.Close();
    testing::ScopedEnv missing("QUILLON_IBZIP", "/nonexistent/libib-zip.so");
    EXPECT_FALSE(run_.ZipLibrary.Open());
    Sources({{"a.txt", "a", At(2003, 11, 24, 9, 0)}});

    RunAt(At(2003, 11, 24, 18, 5, 12));

    EXPECT_EQ(messages_.Texts(), Names{"Die Datei IB-ZIP.DLL konnte nicht initialisiert werden."});
    EXPECT_TRUE(Saved("2003-11-24\\a.txt") == "a" && Saved("2003-11-24\\Quillon.txt") == Control() &&
                !Exists(kArchive0));
    ExpectLines(Control(), {"X 2003-11-24 09:00  C:\\Data\\a.txt"});
    EXPECT_EQ(run_.CopyErrorList,
              (Names{"2003-11-24 18:05:12  ZipCopy not possible (IB-ZIP.DLL not available)",
                     "                     Deactivate compression"}));
}

}  // namespace
}  // namespace quillon
