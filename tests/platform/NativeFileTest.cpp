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

TEST(NativeFileTest, WritesThenReadsWholeFilesThroughTheDriveMap) {
    ScopedDriveMap drives;
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

TEST(NativeFileTest, CreatingTruncatesAnExistingFile) {
    ScopedDriveMap drives;
    WriteFile(drives.DriveC() + "/f.txt", "old contents");
    NativeFile out;
    ASSERT_TRUE(out.CreateWrite("C:\\f.txt"));
    ASSERT_TRUE(out.WriteAll("new", 3));
    ASSERT_TRUE(out.Close());
    EXPECT_EQ(ReadFile(drives.DriveC() + "/f.txt"), "new");
}

TEST(NativeFileTest, FailuresSetTheWindowsError) {
    ScopedDriveMap drives;
    WriteFile(drives.DriveC() + "/plain", "x");
    struct Case {
        const char* path;
        bool write;
        int32_t error;
    } cases[] = {
        {"C:\\missing.txt", false, kErrorFileNotFound},
        {"C:\\no\\such\\dir\\x.txt", false, kErrorPathNotFound},
        {"C:\\no\\such\\dir\\x.txt", true, kErrorPathNotFound},
        {"C:\\plain\\below-a-file.txt", true, kErrorPathNotFound},  // even root cannot pass a file
        {"Q:\\unmapped.txt", false, kErrorPathNotFound},
        {"C:\\", false, kErrorAccessDenied},  // a directory is not a file
    };
    for (const auto& c : cases) {
        NativeFile file;
        SetLastError(0);
        EXPECT_FALSE(c.write ? file.CreateWrite(c.path) : file.OpenRead(c.path)) << c.path;
        EXPECT_EQ(GetLastError(), c.error) << c.path;
        EXPECT_FALSE(file.IsOpen());
    }
}

TEST(NativeFileTest, AFifoIsRefusedInsteadOfBlocking) {
    ScopedDriveMap drives;
    ASSERT_EQ(mkfifo((drives.DriveC() + "/pipe").c_str(), 0600), 0);
    NativeFile file;
    EXPECT_FALSE(file.OpenRead("C:\\pipe"));
    EXPECT_EQ(GetLastError(), kErrorAccessDenied);
    EXPECT_FALSE(file.CreateWrite("C:\\pipe"));
}

TEST(NativeFileTest, AReadOnlyFileIsNeitherTruncatedNorOpenedForWriting) {
    ScopedDriveMap drives;
    std::string native = drives.DriveC() + "/ro.txt";
    WriteFile(native, "keep");
    ::chmod(native.c_str(), 0444);
    NativeFile file;
    SetLastError(0);
    EXPECT_FALSE(file.CreateWrite("C:\\ro.txt"));  // refused even to root, as on Windows
    EXPECT_EQ(GetLastError(), kErrorAccessDenied);
    EXPECT_FALSE(file.OpenWrite("C:\\ro.txt"));
    EXPECT_EQ(ReadFile(native), "keep");
    EXPECT_TRUE(file.OpenRead("C:\\ro.txt"));
}

TEST(NativeFileTest, NextDataFindsDataPastHolesWithoutMovingThePosition) {
    ScopedDriveMap drives;
    std::string native = drives.DriveC() + "/sparse.bin";
    WriteFile(native, "");
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
