// End-to-end: the real quillon-run program in console mode, against hives, a drive map and a source
// tree of the test's own.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "config/AppProfile.h"
#include "config/Registrierung.h"
#include "platform/DriveMap.h"
#include "platform/FileSystem.h"
#include "support/TimeValue.h"
#include "testing/Environment.h"
#include "testing/ScopedHives.h"
#include "testing/TempDir.h"

namespace quillon::testing {
namespace {

class MainTest : public ::testing::Test {
  protected:
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
        WriteFile(drives_.Native("C:\\Data\\offer.txt"), "offer");
        WriteFile(drives_.Native("C:\\Data\\Letters\\m\xC3\xA4rz.txt"), "letter");
        // Written two minutes before the run: a file whose copy is made within the minute of its time
        // would be copied once more by the next run.
        for (const char* file : {"C:\\Data\\offer.txt", "C:\\Data\\Letters\\m\xC3\xA4rz.txt"}) {
            EXPECT_TRUE(SetFileTimes(file, written_.Seconds(), written_.Seconds())) << file;
        }
    }

    // Runs the program with a shell-quoted argument text; answers its exit code, keeps its stderr.
    int Run(const std::string& arguments) {
        std::string command = "'" + program_ + "' " + arguments + " </dev/null 2>'" + (dir_ / "err") + "'";
        int status = std::system(command.c_str());
        err_ = ReadFile(dir_ / "err");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    ScopedHives hives_;
    ScopedDriveMap drives_;
    TempDir dir_;
    ScopedEnv drivesEnv_{"QUILLON_DRIVES", Drives().Folder()};
    ScopedEnv ui_{"QUILLON_UI", "console"};
    ScopedEnv trace_{"QUILLON_TRACE", dir_ / "trace"};
    CAppProfile profile_;
    TimeValue written_ = GetNow() - TimeSpan(120);
    std::string program_;
    std::string err_;
};

TEST_F(MainTest, BacksUpTheConfiguredPathThenOnlyTheChangedFile) {
    ASSERT_EQ(Run(""), 0) << err_;
    EXPECT_NE(err_.find("Quillon  Version 2.10\n"), std::string::npos) << err_;
    EXPECT_NE(err_.find("2 files have been saved.\n"), std::string::npos) << err_;
    EXPECT_EQ(profile_.GetProfileInt("DynData", "LastRunStatus", -1), 0);
    EXPECT_TRUE(std::filesystem::exists(drives_.Native("C:\\Backup\\Quillon.txt")));
    std::string set = written_.Format("C:\\Backup\\%Y-%m-%d\\");
    EXPECT_EQ(ReadFile(drives_.Native(set + "Letters\\m\xC3\xA4rz.txt")), "letter");

    // Started as at login (every path, not only those due today), with an empty argument that ends
    // the switches before "/T".
    profile_.WriteProfileInt("Settings", "OnlyOncePerDay", 0);
    TimeValue later = GetNow() + TimeSpan(3600);
    ASSERT_TRUE(SetFileTimes("C:\\Data\\offer.txt", later.Seconds(), later.Seconds()));
    ASSERT_EQ(Run("/W '' /T"), 0) << err_;
    EXPECT_NE(err_.find("1 file has been saved.\n"), std::string::npos) << err_;
    EXPECT_NE(profile_.GetProfileString("DynData", "LastWindowsStartTime", ""), "");
    EXPECT_EQ(profile_.GetProfileInt("DynData", "RunningInstance", 0), -1);
    // The first automatic run of the day stores its count of new files; "/T" would have kept it away.
    EXPECT_EQ(GetRegistryInt(HKEY_LOCAL_MACHINE, "Software\\Norrow\\Quillon\\CountNewFiles", -1), 1);
    EXPECT_EQ(GetRegistryInt(HKEY_LOCAL_MACHINE, "Software\\Norrow\\Quillon\\Semaphore", -1), 0);
}

}  // namespace
}  // namespace quillon::testing
