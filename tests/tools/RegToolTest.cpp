// End-to-end tests of the quillon-reg program, run as a separate process on temporary hives.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>

#include "testing/ScopedHives.h"
#include "testing/TempDir.h"

namespace quillon {
namespace {

using testing::ReadFile;
using testing::ScopedHives;
using testing::TempDir;

std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

class RegToolTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* bin = std::getenv("QUILLON_TEST_BIN_DIR");
        if (bin == nullptr) {
            GTEST_SKIP() << "QUILLON_TEST_BIN_DIR is not set (ctest sets it)";
        }
        tool_ = std::string(bin) + "/quillon-reg";
    }

    // Runs a shell command in which "@REG" stands for the program; answers its exit code.
    int Shell(std::string command) {
        for (size_t at = command.find("@REG"); at != std::string::npos; at = command.find("@REG", at)) {
            command.replace(at, 4, Quote(tool_));
        }
        int status =
            std::system((command + " >" + Quote(dir_ / "out") + " 2>" + Quote(dir_ / "err")).c_str());
        out_ = ReadFile(dir_ / "out");
        err_ = ReadFile(dir_ / "err");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    ScopedHives hives_;
    TempDir dir_;
    std::string tool_;
    std::string out_;
    std::string err_;
};

TEST_F(RegToolTest, ExitCodesAndMessages) {
    EXPECT_EQ(Shell("@REG add HKCU\\\\Software\\\\X /v n /t REG_DWORD /d 5"), 0);
    EXPECT_EQ(Shell("@REG query HKCU\\\\Software\\\\X /v N"), 0);
    EXPECT_EQ(out_, "\nHKEY_CURRENT_USER\\Software\\X\n    n    REG_DWORD    0x5\n");
    EXPECT_EQ(Shell("@REG query HKCU\\\\Software\\\\Missing"), 1);
    EXPECT_EQ(err_, "ERROR: The system was unable to find the specified registry key or value.\n");
    EXPECT_EQ(out_, "");
    EXPECT_EQ(Shell("@REG"), 1);
    EXPECT_EQ(Shell("@REG '/?'"), 0);
    EXPECT_NE(out_.find("import FILE"), std::string::npos);
    // A native path that begins with '/' is an argument, not a switch.
    EXPECT_EQ(Shell("@REG export HKCU\\\\Software " + Quote(dir_ / "x.reg")), 0) << err_;
    EXPECT_EQ(Shell("@REG delete HKCU\\\\Software /f && @REG import " + Quote(dir_ / "x.reg")), 0) << err_;
    EXPECT_EQ(Shell("@REG query HKCU\\\\Software\\\\X /v n"), 0);
}

}  // namespace
}  // namespace quillon
