#include "log/ErrorLog.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "config/AppProfile.h"
#include "platform/FaultInjection.h"
#include "testing/Environment.h"
#include "testing/ScopedHives.h"
#include "testing/TempDir.h"

namespace quillon::testing {
namespace {

const std::string kSeparator(67, '=');

class ErrorLogTest : public ::testing::Test {
  protected:
    ErrorLogTest() { profile_.BindProfile(0); }
    void Setting(const std::string& entry, const std::string& text) {
        ASSERT_TRUE(profile_.WriteProfileString("Settings", entry, text));
    }
    void Setting(const std::string& entry, int32_t value) {
        ASSERT_TRUE(profile_.WriteProfileInt("Settings", entry, value));
    }
    std::string Stored() { return profile_.GetProfileString("Settings", "ErrorLogPath", "<none>"); }
    std::string Log(const std::string& path = "C:\\QuillonRun.Log") { return ReadFile(drives_.Native(path)); }
    void Write(std::vector<std::string> lines) {
        lines_ = std::move(lines);
        WriteErrorLog(profile_, lines_, buffer_);
    }

    ScopedDriveMap drives_;
    ScopedHives hives_;
    CAppProfile profile_;
    std::vector<std::string> lines_;
    std::vector<char> buffer_;
};

// A native LogPath names the same folder through the drive map; the remembered path is Windows form.
// (Without a LogPath the log lies beside the program, as the unreadable-hive test of a run shows.)
TEST_F(ErrorLogTest, TheLogLiesBesideLogPathAndIsRemembered) {
    for (const std::string& logPath :
         {std::string("C:\\Logs\\run.txt"), drives_.Native("C:\\Logs") + "/run.txt"}) {
        Setting("ErrorLogPath", "");
        Setting("LogPath", logPath);
        EXPECT_EQ(ResolveErrorLogPath(profile_), "C:\\Logs\\QuillonRun.Log") << logPath;
        EXPECT_EQ(Stored(), "C:\\Logs\\QuillonRun.Log") << logPath;
    }
}

TEST_F(ErrorLogTest, EachRunWithErrorsAppendsOneBlockInAFolderMadeForIt) {
    Setting("ErrorLogPath", "C:\\New\\Folder\\QuillonRun.Log");
    Write({});
    EXPECT_FALSE(std::filesystem::exists(drives_.Native("C:\\New")));  // nothing to log: untouched

    Write({"2003-11-24 18:02:11  C:\\Data\\mail.pst", std::string(21, ' ') + "==> E:\\x"});
    EXPECT_TRUE(lines_.empty());
    Write({"2003-11-25 09:00:00  second"});
    EXPECT_EQ(Log("C:\\New\\Folder\\QuillonRun.Log"),
              kSeparator + "\r\n2003-11-24 18:02:11  C:\\Data\\mail.pst\r\n" + std::string(21, ' ') +
                  "==> E:\\x\r\n\r\n" + kSeparator + "\r\n2003-11-25 09:00:00  second\r\n\r\n");
}

TEST_F(ErrorLogTest, WithLoggingOffOrAnUnopenableLogTheLinesStay) {
    Setting("ErrorLogPath", "C:\\QuillonRun.Log");
    Setting("DoErrorLogging", 0);
    Write({"kept"});
    EXPECT_EQ(lines_, std::vector<std::string>{"kept"});
    EXPECT_FALSE(std::filesystem::exists(drives_.Native("C:\\QuillonRun.Log")));

    Setting("DoErrorLogging", 1);
    WriteFile(drives_.DriveC() + "/file", "x");
    Setting("ErrorLogPath", "C:\\file\\QuillonRun.Log");  // below a regular file: no one can create it
    Write({"kept"});
    EXPECT_EQ(lines_, std::vector<std::string>{"kept"});
}

TEST_F(ErrorLogTest, ALogTheProgramFolderCannotHoldGoesToTheStateFolder) {
    TempDir state;
    ScopedEnv env("XDG_STATE_HOME", state.Path());
    drives_.Map('S', state.Path());
    ScopedFaults faults;
    InjectFault(FileOperation::kOpen, 1, EACCES);  // the program's folder refuses the log
    Write({"line"});
    EXPECT_EQ(Stored(), "S:\\quillon\\QuillonRun.Log");
    EXPECT_EQ(ReadFile(state / "quillon/QuillonRun.Log"), kSeparator + "\r\nline\r\n\r\n");
}

TEST_F(ErrorLogTest, ADiskThatFillsWhileTheBlockIsWrittenKeepsTheOldLogAndTheLines) {
    Setting("ErrorLogPath", "C:\\QuillonRun.Log");
    Write({"first run"});
    const std::string before = Log();
    {
        ScopedFaults faults;
        InjectFault(FileOperation::kWrite, 1, ENOSPC, true);
        Write({"second run", "more"});
    }
    EXPECT_EQ(lines_, (std::vector<std::string>{"second run", "more"}));
    EXPECT_EQ(Log(), before);
    WriteErrorLog(profile_, lines_, buffer_);  // the next run with space writes them
    EXPECT_EQ(Log(), before + kSeparator + "\r\nsecond run\r\nmore\r\n\r\n");
}

TEST_F(ErrorLogTest, ALogPastItsLimitKeepsItsNewestWholeLines) {
    Setting("ErrorLogPath", "C:\\QuillonRun.Log");
    std::string old;
    for (int i = 0; old.size() < 3000; ++i) {
        old += "2003-11-24 18:02:11  line number " + std::to_string(i) + "\r\n";
    }
    WriteFile(drives_.DriveC() + "/QuillonRun.Log", old);
    Setting("ErrorLogSize", 1);
    Write({"newest"});
    std::string all = old + kSeparator + "\r\nnewest\r\n\r\n";
    std::string tail = all.substr(all.size() - 1024);
    EXPECT_EQ(Log(), tail.substr(tail.find('\n') + 1));
    EXPECT_FALSE(std::filesystem::exists(drives_.Native("C:\\QuillonRun.Log.TMP")));

    Setting("ErrorLogSize", 0);
    Write({"gone at once"});
    EXPECT_EQ(Log(), "");
}

}  // namespace
}  // namespace quillon::testing
