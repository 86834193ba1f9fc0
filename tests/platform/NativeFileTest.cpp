#include "platform/NativeFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/LastError.h"
#include "testing/Environment.h"
#include "testing/TempDir.h"

namespace quillon {
namespace {

using testing::ReadFile;
using testing::ScopedDriveMap;
using testing::WriteFile;

TEST(NativeFileTest, CreatingTruncatesThenReadsTheWholeFile) {
    ScopedDriveMap drives;
    WriteFile(drives.DriveC() + "/Quillon.TMP", "old contents, longer than the new");
    NativeFile out;
    ASSERT_TRUE(out.CreateWrite("C:\\Quillon.TMP"));
    ASSERT_TRUE(out.WriteAll("x\r\nyz\r\n", 7));
    EXPECT_TRUE(out.Sync());
    EXPECT_TRUE(out.Close());
    EXPECT_EQ(ReadFile(drives.DriveC() + "/Quillon.TMP"), "x\r\nyz\r\n");

    NativeFile in;
    ASSERT_TRUE(in.OpenRead("C:\\Quillon.TMP"));
    EXPECT_EQ(in.Size(), 7);
    char buffer[16];
    EXPECT_EQ(in.Read(buffer, sizeof buffer), 7);
    EXPECT_EQ(in.Read(buffer, sizeof buffer), 0);
}

TEST(NativeFileTest, FailuresSetTheWindowsErrorAndLeaveTheFileAlone) {
    ScopedDriveMap drives;
    WriteFile(drives.DriveC() + "/plain", "x");
    WriteFile(drives.DriveC() + "/ro.txt", "keep");
    ::chmod((drives.DriveC() + "/ro.txt").c_str(), 0444);
    ASSERT_EQ(::mkfifo((drives.DriveC() + "/pipe").c_str(), 0600), 0);
    enum Mode { kRead, kCreate, kWrite };
    // Even root cannot pass a regular file in a path; READONLY refuses writing even to root, as on
    // Windows; a directory is not a file; a FIFO is refused instead of blocking (-1: any error).
    struct Case {
        const char* path;
        Mode mode;
        int32_t error;
    } cases[] = {{"C:\\missing.txt", kRead, kErrorFileNotFound},
                 {"C:\\no\\such\\dir\\x.txt", kRead, kErrorPathNotFound},
                 {"C:\\no\\such\\dir\\x.txt", kCreate, kErrorPathNotFound},
                 {"C:\\plain\\below-a-file.txt", kCreate, kErrorPathNotFound},
                 {"Q:\\unmapped.txt", kRead, kErrorPathNotFound},
                 {"C:\\", kRead, kErrorAccessDenied},
                 {"C:\\ro.txt", kCreate, kErrorAccessDenied},
                 {"C:\\ro.txt", kWrite, kErrorAccessDenied},
                 {"C:\\pipe", kRead, kErrorAccessDenied},
                 {"C:\\pipe", kCreate, -1}};
    for (const auto& c : cases) {
        NativeFile file;
        SetLastError(0);
        bool opened = c.mode == kRead     ? file.OpenRead(c.path)
                      : c.mode == kCreate ? file.CreateWrite(c.path)
                                          : file.OpenWrite(c.path);
        EXPECT_FALSE(opened) << c.path << " mode " << c.mode;
        EXPECT_TRUE(c.error == -1 || GetLastError() == c.error)
            << c.path << " mode " << c.mode << ": " << GetLastError();
        EXPECT_FALSE(file.IsOpen());
    }
    EXPECT_EQ(ReadFile(drives.DriveC() + "/ro.txt"), "keep");
}

TEST(NativeFileTest, NextDataFindsDataPastHolesWithoutMovingThePosition) {
    ScopedDriveMap drives;
    WriteFile(drives.DriveC() + "/sparse.bin", "");
    {
        NativeFile out;
        ASSERT_TRUE(out.OpenWrite("C:\\sparse.bin"));
        ASSERT_TRUE(out.WriteAll("head", 4));
        ASSERT_TRUE(out.Seek(1 << 20));
        ASSERT_TRUE(out.WriteAll("data", 4));
        ASSERT_TRUE(out.SetLength(2 << 20));
    }
    NativeFile in;
    ASSERT_TRUE(in.OpenRead("C:\\sparse.bin"));
    EXPECT_EQ(in.NextData(0), 0);
    int64_t next = in.NextData(64 << 10);
    EXPECT_GE(next, 64 << 10);  // where holes are kept: the block of "data"; elsewhere the offset itself
    EXPECT_LE(next, 1 << 20);
    int64_t after = in.NextData((1 << 20) + 64 * 1024);
    EXPECT_TRUE(after == 2 << 20 || after == (1 << 20) + 64 * 1024) << after;
    EXPECT_EQ(in.NextData(3 << 20), 2 << 20);  // beyond the end: the length
    char buffer[4];
    EXPECT_EQ(in.Read(buffer, 4), 4);  // still reading from the start
    EXPECT_EQ(std::string(buffer, 4), "head");
}

}  // namespace
}  // namespace quillon
