// End-to-end: the real quillon-run program in console mode, against hives, a drive map and a source
// tree of the test's own.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "config/AppProfile.h"
#include "config/Registrierung.h"
#include "files/FileTree.h"
#include "platform/DriveMap.h"
#include "platform/FileAttributes.h"
#include "platform/FileSystem.h"
#include "support/TimeValue.h"
#include "testing/Environment.h"
#include "testing/ScopedHives.h"
#include "testing/TempDir.h"

namespace quillon::testing {
namespace {

namespace fs = std::filesystem;

class MainTest : public ::testing::Test {
  protected:
    static TimeValue EditedEarlierToday() {
        TimeValue today = GetNow();
        TruncateToDay(today);
        TimeValue earlier = GetNow() - TimeSpan(120);
        return earlier < today ? today : earlier;
    }
    void SetUp() override {
        const char* bin = std::getenv("QUILLON_TEST_BIN_DIR");
        if (bin == nullptr) {
            GTEST_SKIP() << "QUILLON_TEST_BIN_DIR is not set (ctest sets it)";
        }
        program_ = std::string(bin) + "/quillon-run";
        profile_.BindProfile(0);
        profile_.WriteProfileString("Path000", "SourcePath", "C:\\Data");
        profile_.WriteProfileString("Path000", "DestPath", "C:\\Backup");
        profile_.WriteProfileInt("Path000", "Flags", 0x06);  // plain copies
        profile_.WriteProfileInt("Settings", "OnlyOncePerDay", 0);
        MakeTree(drives_.Native("C:\\Data"), {{"offer.txt", "offer"}, {"Letters/m\xC3\xA4rz.txt", "letter"}});
        // Edited well before the run: a file changed in the minute of its copy is copied again.
        for (const char* file : {"C:\\Data\\offer.txt", "C:\\Data\\Letters\\m\xC3\xA4rz.txt"}) {
            EXPECT_TRUE(SetFileTimes(file, edited_.Seconds(), edited_.Seconds())) << file;
        }
    }

    // Runs the program with a shell-quoted argument text; answers its exit code, keeps its output streams.
    int Run(const std::string& arguments) {
        std::string command = "'" + program_ + "' " + arguments + " </dev/null >'" + (dir_ / "out") +
                              "' 2>'" + (dir_ / "err") + "'";
        int status = std::system(command.c_str());
        out_ = ReadFile(dir_ / "out");
        err_ = ReadFile(dir_ / "err");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    void ExpectOut(const std::vector<const char*>& texts) {
        for (const char* text : texts) {
            EXPECT_NE(out_.find(text), std::string::npos) << text << "\n" << out_;
        }
    }

    // Everything a run could change: each file and folder below drive C: (sources, sets, control
    // files) with its bytes, the DOS attributes of the changed source, and both hives.
    std::string Snapshot() {
        uint32_t attributes = 0;
        EXPECT_TRUE(ReadFileAttributes("C:\\Data\\offer.txt", attributes));
        return Listing(drives_.DriveC()) + std::to_string(attributes) + "\n" +
               ReadFile(hives_.File(HiveRoot::kLocalMachine)) + ReadFile(hives_.File(HiveRoot::kCurrentUser));
    }

    ScopedHives hives_;
    ScopedDriveMap drives_;
    TempDir dir_;
    ScopedEnv drivesEnv_{"QUILLON_DRIVES", Drives().Folder()};
    ScopedEnv ui_{"QUILLON_UI", "console"};
    ScopedEnv trace_{"QUILLON_TRACE", dir_ / "trace"};
    CAppProfile profile_;
    std::string program_;
    // Minutes before the run, but today: a set is named after the day of its newest change.
    TimeValue edited_ = EditedEarlierToday();
    std::string out_, err_;
};

// A run that only looks (--dry-run) tells what a run would copy and changes nothing: no set, no
// control file, no registry value, no archive attribute. What it told is what the next run does.
TEST_F(MainTest, BacksUpTheConfiguredPathThenADryRunAndARunFindOnlyTheChangedFile) {
    // The report goes to standard output, whole and without control codes when that is a file; the
    // progress line only to a terminal. (Which steps show depends on the ticks that see them.)
    ASSERT_EQ(Run(""), 0) << err_;
    ExpectOut({"Quillon  Version 2.10\n", "\n  Data\n", "\n2 files have been saved.\n"});
    EXPECT_EQ(out_.find('\x1b'), std::string::npos) << out_;
    EXPECT_EQ(err_, "");
    std::string set = edited_.Format("C:\\Backup\\%Y-%m-%d\\");
    EXPECT_EQ(ReadFile(drives_.Native(set + "Letters\\m\xC3\xA4rz.txt")), "letter");
    // The control files (there: the backup was made) name the files of private folders too: only their
    // owner may read them.
    for (const std::string& control : {set + "Quillon.txt", std::string("C:\\Backup\\Quillon.txt")}) {
        EXPECT_EQ(fs::status(drives_.Native(control)).permissions() & fs::perms(077), fs::perms::none)
            << control;
    }

    ASSERT_TRUE(SetFileTimes("C:\\Data\\offer.txt", GetNow().Seconds() + 3600, GetNow().Seconds() + 3600));
    ASSERT_TRUE(WriteFileAttributes("C:\\Data\\offer.txt", kAttributeArchive));  // cleared by a real run
    const std::string before = Snapshot();
    ASSERT_EQ(Run("--dry-run --verbose"), 0) << err_;
    EXPECT_EQ(Snapshot(), before);
    ExpectOut({"C:\\Data -> C:\\Backup\n",
               "  1 file (5 bytes) to copy, incremental backup into the plain set ",
               "\n    C:\\Data\\offer.txt\n", "\nNothing was changed (--dry-run).\n"});
    EXPECT_EQ(out_.find("m\xC3\xA4rz.txt"), std::string::npos) << out_;

    // Started as at login (every path, not only those due today), with an empty argument that ends
    // the switches before "/T".
    ASSERT_EQ(Run("/W '' /T"), 0) << err_;
    ExpectOut({"1 file has been saved.\n"});
    // The first automatic run of the day stores its count of new files; a run by hand or "/T" would not.
    EXPECT_EQ(GetRegistryInt(HKEY_LOCAL_MACHINE, "Software\\Norrow\\Quillon\\CountNewFiles", -1), 1);
}

// Options answer and end without a run; an unknown one is a usage error (2).
TEST_F(MainTest, OptionsEndWithoutARun) {
    const struct {
        const char* arguments;
        std::vector<const char*> out;  // texts of the report; none: the report is empty
        const char* unknown;           // the option named as unknown (exit status 2)
    } cases[] = {
        {"--help",
         {"Usage: quillon-run [OPTION] [SWITCH]...\n", "\n  --dry-run ", "\n  QUILLON_DRIVES\n"},
         nullptr},
        {"/W --help", {"Usage: quillon-run"}, nullptr},
        {"--version", {"quillon-run 2.10\n", "\n  SQLite 3.", "\n  glibc 2.", "\n  Qt "}, nullptr},
        {"--versoin", {}, "--versoin"},
        {"--help --bogus", {}, "--bogus"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        EXPECT_EQ(Run(c.arguments), c.unknown ? 2 : 0);
        EXPECT_EQ(err_, c.unknown ? "quillon-run: unknown option '" + std::string(c.unknown) +
                                        "'\nTry 'quillon-run --help' for more information.\n"
                                  : "");
        ExpectOut(c.out);
        EXPECT_EQ(out_.empty(), c.out.empty()) << out_;
        EXPECT_FALSE(fs::exists(drives_.Native("C:\\Backup\\Quillon.txt")));
    }
}

// Links planted in the destination through the real program. (A set's folder that is a link, the copy
// tests refuse on their own.)
TEST_F(MainTest, LinksPlantedInTheDestinationChangeNothingOutsideIt) {
    // What lies outside the backup: a read-only file whose content, mode and folder must never change.
    TempDir outside;
    const std::string target = outside / "target";
    WriteFile(target, "outside");
    fs::permissions(target, fs::perms(0444));
    auto expectUntouched = [&] {
        EXPECT_EQ(Listing(outside.Path()), "target=outside\n");
        EXPECT_EQ(fs::status(target).permissions(), fs::perms(0444));
    };
    ASSERT_EQ(Run(""), 0) << err_;
    const std::string set = drives_.Native(edited_.Format("C:\\Backup\\%Y-%m-%d"));
    const std::string dest = drives_.Native("C:\\Backup");

    // A copy's name and the set's control file replaced by links: each is replaced in turn, never
    // written through.
    for (const char* name : {"/offer.txt", "/Quillon.txt"}) {
        fs::remove(set + name);
        fs::create_symlink(target, set + name);
    }
    // Each change a minute after the last, still today, so that every run adds to today's set.
    WriteFile(drives_.Native("C:\\Data\\offer.txt"), "offer 1");
    ASSERT_TRUE(SetFileTimes("C:\\Data\\offer.txt", edited_.Seconds() + 60, edited_.Seconds() + 60));
    ASSERT_EQ(Run(""), 0) << err_;
    EXPECT_EQ(ReadFile(set + "/offer.txt"), "offer 1");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(set + "/Quillon.txt")));
    expectUntouched();

    // The temporary control file as a link: reported, left alone, and the control file stays whole.
    fs::create_symlink(target, dest + "/Quillon.TMP");
    const std::string control = ReadFile(dest + "/Quillon.txt");
    WriteFile(drives_.Native("C:\\Data\\offer.txt"), "offer 2");
    ASSERT_TRUE(SetFileTimes("C:\\Data\\offer.txt", edited_.Seconds() + 120, edited_.Seconds() + 120));
    EXPECT_NE(Run(""), 0);
    EXPECT_TRUE(fs::is_symlink(dest + "/Quillon.TMP"));
    EXPECT_EQ(ReadFile(dest + "/Quillon.txt"), control);
    expectUntouched();
}

}  // namespace
}  // namespace quillon::testing
