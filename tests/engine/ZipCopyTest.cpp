// Compressed sets end to end: whole runs over a source tree with the build's compression library, the
// archives checked with unzip.
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "engine/PassTestTree.h"
#include "platform/DriveMap.h"
#include "platform/FaultInjection.h"
#include "platform/LastError.h"
#include "testing/CaptureMessages.h"
#include "testing/CaptureTrace.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using testing::At;
using testing::ReadFile;
using testing::WriteFile;

constexpr int32_t kCompressed = 0x826;  // the default flags: scheduled full backups, compression
constexpr int32_t kPlain = 0x026;

std::string Shell(const std::string& command, int* status = nullptr) {
    std::string output;
    FILE* pipe = ::popen(command.c_str(), "r");
    char buffer[4096];
    for (size_t n; pipe != nullptr && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        output.append(buffer, n);
    }
    int result = pipe != nullptr ? ::pclose(pipe) : -1;
    if (status != nullptr) {
        *status = WIFEXITED(result) ? WEXITSTATUS(result) : -1;
    }
    return output;
}

std::string BuiltLibrary() {
    const char* dir = std::getenv("QUILLON_TEST_BIN_DIR");
    return dir != nullptr ? std::string(dir) + "/libib-zip.so" : "/nonexistent/libib-zip.so";
}

// Whole runs with the build's compression library, which reads the drive map from the environment: it
// gets the test's own. The archives are checked with unzip.
class ZipCopyTest : public testing::RunTest {
  protected:
    ZipCopyTest() { EXPECT_TRUE(run_.ZipLibrary.Open()) << BuiltLibrary(); }
    ~ZipCopyTest() override { run_.ZipLibrary.Close(); }

    bool HasLine(const std::string& text, const std::string& line) {
        return text.find(line + "\r\n") != std::string::npos;
    }

    // The names in an archive, sorted, once `unzip -t` has found every entry intact.
    std::vector<std::string> Entries(const std::string& archive) {
        int status = -1;
        const std::string native = Native(archive);
        std::string test = Shell("unzip -tq '" + native + "' 2>&1", &status);
        EXPECT_EQ(status, 0) << archive << ": " << test;
        std::vector<std::string> names;
        std::string listing = Shell("unzip -Z1 '" + native + "' 2>/dev/null");
        for (size_t start = 0, end; (end = listing.find('\n', start)) != std::string::npos; start = end + 1) {
            names.push_back(listing.substr(start, end - start));
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string Entry(const std::string& archive, const std::string& name) {
        return Shell("unzip -p '" + Native(archive) + "' '" + name + "'");
    }

    testing::ScopedEnv drivesForLibrary_{"QUILLON_DRIVES", Drives().Folder()};
    testing::ScopedEnv library_{"QUILLON_IBZIP", BuiltLibrary()};
    testing::CaptureMessages messages_;
};

const std::string kSet = "C:\\Backup\\2003-11-24";
const std::string kArchive0 = kSet + "\\QuillonData_000.Zip";
const std::string kArchive1 = kSet + "\\QuillonData_001.Zip";

TEST_F(ZipCopyTest, ArchiveZeroTakesTwentyFilesTheNextArchiveTheRestAndArchiveZeroTheControlFile) {
    std::vector<std::string> first{"Quillon.txt"}, second;
    for (int i = 1; i <= 25; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, i < 25 ? "f%02d.txt" : "sub\\f%02d.txt", i);
        Source(name, "file " + std::to_string(i), At(2003, 11, 24, 9, 0));
        std::string stored = name;
        std::replace(stored.begin(), stored.end(), '\\', '/');
        (i <= 20 ? first : second).push_back(stored);
    }
    std::sort(first.begin(), first.end());

    RunAt(At(2003, 11, 24, 18, 5, 12));

    EXPECT_EQ(Entries(kArchive0), first);
    EXPECT_EQ(Entries(kArchive1), second);
    EXPECT_FALSE(Exists(kSet + "\\QuillonData_002.Zip"));
    EXPECT_EQ(Entry(kArchive1, "sub/f25.txt"), "file 25");
    const std::string control = Control();
    EXPECT_TRUE(HasLine(control, "C:\\Data\r\nZ001  2003-11-24 18:05:12")) << control;
    EXPECT_TRUE(HasLine(control, "X 2003-11-24 09:00  Z000  C:\\Data\\f20.txt")) << control;
    EXPECT_TRUE(HasLine(control, "X 2003-11-24 09:00  Z001  C:\\Data\\f21.txt")) << control;
    EXPECT_EQ(Entry(kArchive0, "Quillon.txt"), control);
    EXPECT_FALSE(Exists(kSet + "\\Quillon.txt"));
    EXPECT_EQ(run_.RunFilesCopied, 25);
    EXPECT_TRUE(!run_.ErrorFlag && run_.CopyErrorList.empty() && messages_.Shown.empty());
}

TEST_F(ZipCopyTest, AFileLargerThanAnArchiveSkipsTheEmptyFirstArchive) {
    const std::string big = Native("C:\\Data\\big.bin");
    WriteFile(big, "");
    fs::resize_file(big, 40'000'000);  // sparse: only its length is large
    ASSERT_TRUE(SetFileTimes("C:\\Data\\big.bin", At(2003, 11, 24, 9, 0).Seconds(),
                             At(2003, 11, 24, 9, 0).Seconds()));

    RunAt(At(2003, 11, 24, 18, 5, 12));

    EXPECT_EQ(Entries(kArchive0), std::vector<std::string>{"Quillon.txt"});
    EXPECT_EQ(Entries(kArchive1), std::vector<std::string>{"big.bin"});
    EXPECT_TRUE(HasLine(Control(), "X 2003-11-24 09:00  Z001  C:\\Data\\big.bin")) << Control();
    EXPECT_TRUE(HasLine(Control(), "Z001  2003-11-24 18:05:12"));
}

// A second pass on the same day continues after the set's archives and keeps the set's files
// recorded, also one that has left the source since.
TEST_F(ZipCopyTest, ASecondPassOnTheSameDayContinuesTheNumberingAndKeepsTheEarlierFiles) {
    Source("b.txt", "b old", At(2003, 11, 24, 9, 0));
    Source("gone.txt", "gone", At(2003, 11, 24, 9, 0));
    RunAt(At(2003, 11, 24, 18, 0, 0));
    fs::remove(Native("C:\\Data\\gone.txt"));
    Source("b.txt", "b new", At(2003, 11, 24, 19, 0));

    RunAt(At(2003, 11, 24, 20, 0, 30));

    const std::string control = Control();
    EXPECT_TRUE(HasLine(control, "Z000  2003-11-24 18:00:00\r\nZ001  2003-11-24 20:00:30")) << control;
    EXPECT_TRUE(HasLine(control, "X 2003-11-24 19:00  Z001  C:\\Data\\b.txt")) << control;
    EXPECT_TRUE(HasLine(control, "X 2003-11-24 09:00  Z000  C:\\Data\\gone.txt")) << control;
    EXPECT_EQ(Entries(kArchive0), (std::vector<std::string>{"Quillon.txt", "b.txt", "gone.txt"}));
    EXPECT_EQ(Entry(kArchive0, "b.txt"), "b old");
    EXPECT_EQ(Entries(kArchive1), std::vector<std::string>{"b.txt"});
}

TEST_F(ZipCopyTest, ASetKeepsTheFormItWasBegunInWhenTheSettingChangesTheSameDay) {
    struct Case {
        int32_t first, second;
        bool compressed;
    };
    for (Case c : {Case{kPlain, kCompressed, false}, Case{kCompressed, kPlain, true}}) {
        SCOPED_TRACE(c.compressed ? "begun compressed" : "begun plain");
        fs::remove_all(Native("C:\\Backup"));
        Source("a.txt", "a", At(2003, 11, 24, 9, 0));
        Set("Flags", c.first);
        RunAt(At(2003, 11, 24, 18, 0));
        Source("b.txt", "b", At(2003, 11, 24, 19, 0));
        Set("Flags", c.second);

        RunAt(At(2003, 11, 24, 20, 0));

        EXPECT_EQ(Exists(kSet + "\\b.txt"), !c.compressed);
        EXPECT_EQ(Exists(kSet + "\\Quillon.txt"), !c.compressed);
        EXPECT_EQ(Exists(kArchive0), c.compressed);
        if (c.compressed) {
            EXPECT_EQ(Entries(kArchive1), std::vector<std::string>{"b.txt"});
            EXPECT_EQ(Entry(kArchive0, "Quillon.txt"), Control());
        }
        EXPECT_FALSE(run_.ErrorFlag);
        fs::remove(Native("C:\\Data\\b.txt"));
    }
}

// A plain set holds the user's files under their own names, also one named like archive 000. That file
// never makes the set a compressed one (the next pass would append to the user's archive), whether or
// not the set's copy of the control file is there (a pass killed before writing it).
TEST_F(ZipCopyTest, AUserFileNamedLikeArchiveZeroLeavesAPlainSetPlain) {
    // An empty archive, and one holding a control file of another source (a copy of someone's set).
    const std::string empty = "PK\x05\x06" + std::string(18, '\0');
    const std::string foreign = Native("C:\\foreign.zip");
    Shell("python3 -c \"import zipfile; z = zipfile.ZipFile('" + foreign +
          "', 'w'); z.writestr('Quillon.txt', 'Quillon-Run -- Processing Time: 2003-11-24 08:00\\r\\n-1 no "
          "full backup scheduled\\r\\nC:\\\\\\\\Elsewhere\\r\\n# ===== Saved Backups:\\r\\n# ===== "
          "Files:\\r\\n'); z.close()\"");
    ASSERT_TRUE(Exists("C:\\foreign.zip"));
    struct Case {
        const char* label;
        std::string userArchive;
        bool setControlLost;  // a pass killed before it wrote the set's copy of the control file
    } cases[] = {{"a complete set", empty, false},
                 {"the set's control file copy lost", empty, true},
                 {"an archive with a control file of another source", ReadFile(foreign), true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        fs::remove_all(Native("C:\\Backup"));
        fs::remove(Native("C:\\Data\\b.txt"));
        Set("Flags", kPlain);
        Source("QuillonData_000.Zip", c.userArchive, At(2003, 11, 24, 9, 0));
        Source("a.txt", "a", At(2003, 11, 24, 9, 0));
        RunAt(At(2003, 11, 24, 18, 0));
        ASSERT_EQ(ReadFile(Native(kArchive0)), c.userArchive);
        if (c.setControlLost) {
            fs::remove(Native(kSet + "\\Quillon.txt"));
        }
        Source("b.txt", "b", At(2003, 11, 24, 19, 0));

        RunAt(At(2003, 11, 24, 20, 0));

        EXPECT_EQ(ReadFile(Native(kArchive0)), c.userArchive);
        EXPECT_EQ(ReadFile(Native(kSet + "\\b.txt")), "b");
        EXPECT_EQ(ReadFile(Native(kSet + "\\Quillon.txt")), Control());
        EXPECT_FALSE(Exists(kArchive1));
        EXPECT_FALSE(run_.ErrorFlag);
    }
}

TEST_F(ZipCopyTest, AnArchiveThatCannotBeWrittenLeavesItsFilesPendingAndStopsTheArchivesOfThePass) {
    for (int i = 1; i <= 25; ++i) {
        Source("f" + std::to_string(100 + i) + ".txt", "x", At(2003, 11, 24, 9, 0));
    }
    testing::CaptureTrace trace;
    {
        // Once the pass has made the set's folder, something takes the place where the library builds
        // the archive.
        ScopedFaults faults;
        InjectHook(FileOperation::kCreateDirectory, 2,
                   [&] { fs::create_directories(Native(kArchive0 + ".part")); });
        RunAt(At(2003, 11, 24, 18, 5, 12));
    }

    EXPECT_FALSE(Exists(kArchive0));
    EXPECT_FALSE(Exists(kArchive1));
    const std::string control = Control();
    EXPECT_TRUE(HasLine(control, "E 2003-11-24 09:00  C:\\Data\\f101.txt")) << control;
    EXPECT_TRUE(HasLine(control, "E 2003-11-24 09:00  C:\\Data\\f125.txt")) << control;
    EXPECT_EQ(control.find("X "), std::string::npos) << control;
    // The set took no file, so it goes as a whole and gets no copy of the control file.
    EXPECT_FALSE(Exists(kArchive0 + ".part"));
    ASSERT_EQ(run_.CopyErrorList.size(), 1u);
    EXPECT_EQ(run_.CopyErrorList[0], "2003-11-24 18:05:12  Error writing file >" + kArchive0 + "<");
    EXPECT_TRUE(trace.Contains("*** Error writing file >" + kArchive0 + "<\n"));
    EXPECT_TRUE(messages_.Shown.empty());
    EXPECT_TRUE(run_.ErrorFlag);
    EXPECT_NE(run_.FirstErrorCode, 0);
    EXPECT_EQ(run_.RunFilesCopied, 0);
}

TEST_F(ZipCopyTest, AControlFileThatCannotBeAddedToArchiveZeroIsReportedAndShown) {
    Source("a.txt", "a", At(2003, 11, 24, 9, 0));
    RunAt(At(2003, 11, 24, 18, 0));
    Source("b.txt", "b", At(2003, 11, 24, 19, 0));
    fs::create_directories(Native(kArchive0 + ".part"));  // archive 000 can no longer be rebuilt
    testing::CaptureTrace trace;

    RunAt(At(2003, 11, 24, 20, 0, 5));

    EXPECT_EQ(Entries(kArchive1), std::vector<std::string>{"b.txt"});
    EXPECT_TRUE(HasLine(Control(), "X 2003-11-24 19:00  Z001  C:\\Data\\b.txt")) << Control();
    EXPECT_EQ(run_.CopyErrorList, std::vector<std::string>{"2003-11-24 20:00:05  Zipped Controlfile >" +
                                                           kArchive0 + "< could not be written"});
    EXPECT_TRUE(trace.Contains("*** Zipped Controlfile >" + kArchive0 + "< could not be written\n"));
    EXPECT_EQ(messages_.Texts(),
              std::vector<std::string>{"The file >" + kArchive0 + "<\ncould not be written."});
    EXPECT_TRUE(run_.ErrorFlag);
    EXPECT_EQ(run_.FirstErrorCode, 0);
}

TEST_F(ZipCopyTest, AStagingFolderOutOfSpaceClosesTheArchiveEarlyAndTriesTheFileOnce) {
    struct Case {
        const char* name;
        bool sticky;
    };
    for (Case c : {Case{"full once", false}, Case{"full for good", true}}) {
        SCOPED_TRACE(c.name);
        fs::remove_all(Native("C:\\Backup"));
        Source("a.txt", "a", At(2003, 11, 24, 9, 0));
        Source("b.txt", "b", At(2003, 11, 24, 9, 0));
        SourcePathRecord path;
        path.SourcePath = "C:\\Data";
        BackupPass pass(run_, path);
        FileEntry a, b;
        a.Path = "C:\\Data\\a.txt";
        b.Path = "C:\\Data\\b.txt";
        a.Size = b.Size = 1;
        fs::create_directories(Native(kSet));
        run_.ZipNumber = -1;
        ASSERT_TRUE(pass.StartZipCopy(path.SourcePath, kSet));
        pass.PackFromSource = false;  // as with a library that packs only a folder
        int64_t total = 0;
        ASSERT_TRUE(pass.StageFile(a.Path, a, 7, total, false));

        bool staged;
        {
            ScopedFaults faults;
            InjectFault(FileOperation::kWrite, 1, ENOSPC, c.sticky);
            staged = pass.StageFile(b.Path, b, 7, total, false);
        }

        EXPECT_EQ(Entries(kArchive0), std::vector<std::string>{"a.txt"});  // closed early
        EXPECT_EQ(staged, !c.sticky);
        EXPECT_EQ(b.CopyFailed, c.sticky);
        if (c.sticky) {
            EXPECT_EQ(GetLastError(), kErrorTempDirectoryFull);
            EXPECT_FALSE(fs::exists(Native(run_.TempDirPath + "b.txt")));
        } else {
            EXPECT_EQ(b.ZipNumber, 1);
            ASSERT_TRUE(pass.CloseArchive(total));
            EXPECT_EQ(Entries(kArchive1), std::vector<std::string>{"b.txt"});
        }
    }
}

TEST_F(ZipCopyTest, AFileGoneBeforeItsArchiveIsPackedIsLeftOutAloneAndNamed) {
    Source("a.txt", "a", At(2003, 11, 24, 9, 0));
    Source("b.txt", "b", At(2003, 11, 24, 9, 0));
    SourcePathRecord path;
    path.SourcePath = "C:\\Data";
    BackupPass pass(run_, path);
    FileEntry a, b, c;
    a.Path = "C:\\Data\\a.txt";
    b.Path = "C:\\Data\\b.txt";
    c.Path = "C:\\Data\\c.txt";
    a.Size = b.Size = c.Size = 1;
    fs::create_directories(Native(kSet));
    run_.ZipNumber = -1;
    ASSERT_TRUE(pass.StartZipCopy(path.SourcePath, kSet));
    ASSERT_TRUE(pass.PackFromSource);  // the build's library reads the files where they are
    int64_t total = 0;
    ASSERT_TRUE(pass.StageFile(a.Path, a, 7, total, false));
    ASSERT_TRUE(pass.StageFile(b.Path, b, 7, total, false));
    EXPECT_FALSE(fs::exists(Native(run_.TempDirPath + "a.txt"))) << "nothing is copied to the staging folder";
    fs::remove(Native(b.Path));

    EXPECT_TRUE(pass.CloseArchive(total));
    EXPECT_EQ(Entries(kArchive0), std::vector<std::string>{"a.txt"});
    EXPECT_TRUE(a.Stored);
    EXPECT_EQ(a.ZipNumber, 0);
    EXPECT_FALSE(b.Stored);
    EXPECT_TRUE(b.CopyFailed);
    EXPECT_EQ(b.ZipNumber, -1);
    ASSERT_EQ(run_.CopyErrorList.size(), 3u);
    EXPECT_TRUE(run_.CopyErrorList[0].ends_with("  C:\\Data\\b.txt")) << run_.CopyErrorList[0];
    EXPECT_EQ(run_.CopyErrorList[1], "                     ==> " + run_.TempDirPath + "b.txt");
    EXPECT_EQ(run_.CopyErrorList[2].substr(0, 34), "                     Error   2:   ");
    EXPECT_TRUE(run_.ErrorFlag);

    // An archive none of whose files could be packed is not written; its number serves the next one.
    ASSERT_TRUE(pass.StageFile(c.Path, c, 7, total, false));
    EXPECT_TRUE(pass.CloseArchive(total));
    EXPECT_FALSE(Exists(kArchive1));
    EXPECT_EQ(run_.ZipNumber, 1);
    EXPECT_TRUE(c.CopyFailed);
}

TEST_F(ZipCopyTest, WithoutTheLibraryTheRunIsToldOnceAndStoresPlainFiles) {
    run_.ZipLibrary.Close();
    testing::ScopedEnv missing("QUILLON_IBZIP", "/nonexistent/libib-zip.so");
    EXPECT_FALSE(run_.ZipLibrary.Open());
    Source("a.txt", "a", At(2003, 11, 24, 9, 0));

    RunAt(At(2003, 11, 24, 18, 5, 12));

    EXPECT_EQ(messages_.Texts(),
              std::vector<std::string>{"Die Datei IB-ZIP.DLL konnte nicht initialisiert werden."});
    EXPECT_EQ(ReadFile(Native(kSet + "\\a.txt")), "a");
    EXPECT_EQ(ReadFile(Native(kSet + "\\Quillon.txt")), Control());
    EXPECT_FALSE(Exists(kArchive0));
    EXPECT_TRUE(HasLine(Control(), "X 2003-11-24 09:00  C:\\Data\\a.txt"));
    EXPECT_EQ(run_.CopyErrorList, (std::vector<std::string>{
                                      "2003-11-24 18:05:12  ZipCopy not possible (IB-ZIP.DLL not available)",
                                      "                     Deactivate compression"}));
}

TEST_F(ZipCopyTest, OnDriveATheControlFileIsAddedThroughACopyInTheStagingFolder) {
    testing::TempDir floppy;
    drives_.Map('A', floppy.Path());
    Set("DestPath", "A:\\Backup");
    Source("a.txt", "a", At(2003, 11, 24, 9, 0));
    RunAt(At(2003, 11, 24, 18, 0));
    Source("b.txt", "b", At(2003, 11, 24, 19, 0));

    RunAt(At(2003, 11, 24, 20, 0));

    const std::string archive = "A:\\Backup\\2003-11-24\\QuillonData_000.Zip";
    EXPECT_EQ(Entries(archive), (std::vector<std::string>{"Quillon.txt", "a.txt"}));
    EXPECT_EQ(Entry(archive, "Quillon.txt"), Control("A:\\Backup"));
    EXPECT_EQ(Entries("A:\\Backup\\2003-11-24\\QuillonData_001.Zip"), std::vector<std::string>{"b.txt"});
    EXPECT_FALSE(Exists("A:\\Backup\\2003-11-24\\QuillonData_000.TMP"));
    EXPECT_FALSE(Exists(run_.TempDirPath + "QuillonData_000.Zip"));
    EXPECT_FALSE(run_.ErrorFlag);
}

}  // namespace
}  // namespace quillon
