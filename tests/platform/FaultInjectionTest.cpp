#include "platform/FaultInjection.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "platform/FileSystem.h"
#include "platform/LastError.h"
#include "platform/NativeFile.h"
#include "testing/Environment.h"
#include "testing/TempDir.h"

namespace quillon {
namespace {

using testing::ReadFile;
using testing::ScopedDriveMap;
using testing::WriteFile;

TEST(FaultInjectionTest, TheNthCallFailsOnceOrForGood) {
    ScopedDriveMap drives;
    ScopedFaults faults;
    WriteFile(drives.DriveC() + "/a.txt", "abc");

    InjectFault(FileOperation::kOpen, 2, EACCES);
    NativeFile first;
    NativeFile second;
    NativeFile third;
    EXPECT_TRUE(first.OpenRead("C:\\a.txt"));
    EXPECT_FALSE(second.OpenRead("C:\\a.txt"));
    EXPECT_EQ(GetLastError(), kErrorAccessDenied);
    EXPECT_TRUE(third.OpenRead("C:\\a.txt"));
    EXPECT_EQ(FaultCallCount(FileOperation::kOpen), 3);

    NativeFile out;
    ASSERT_TRUE(out.CreateWrite("C:\\b.txt"));
    InjectFault(FileOperation::kWrite, 2, ENOSPC, /*sticky=*/true);
    EXPECT_TRUE(out.WriteAll("1", 1));
    EXPECT_FALSE(out.WriteAll("2", 1));
    EXPECT_EQ(GetLastError(), kErrorDiskFull);
    EXPECT_FALSE(out.WriteAll("3", 1));
    out.Close();
    EXPECT_EQ(ReadFile(drives.DriveC() + "/b.txt"), "1");

    ClearFaults();
    EXPECT_EQ(FaultCallCount(FileOperation::kOpen), 0);
    EXPECT_TRUE(second.OpenRead("C:\\a.txt"));
}

TEST(FaultInjectionTest, FileSystemCallsPassTheSeam) {
    ScopedDriveMap drives;
    ScopedFaults faults;
    WriteFile(drives.DriveC() + "/a.txt", "abc");
    InjectFault(FileOperation::kRename, 1, EBUSY);
    EXPECT_FALSE(RenameFile("C:\\a.txt", "C:\\b.txt"));
    EXPECT_EQ(GetLastError(), kErrorSharingViolation);
    InjectFault(FileOperation::kDelete, 1, EPERM);
    EXPECT_FALSE(DeleteFile("C:\\a.txt"));
    EXPECT_TRUE(std::filesystem::exists(drives.DriveC() + "/a.txt"));
    InjectFault(FileOperation::kCreateDirectory, 1, ENOSPC);
    EXPECT_FALSE(CreateDirectory("C:\\d"));
    EXPECT_EQ(GetLastError(), kErrorDiskFull);
    EXPECT_TRUE(CreateDirectory("C:\\d"));
    InjectFault(FileOperation::kRemoveDirectory, 1, EBUSY);
    EXPECT_FALSE(RemoveDirectory("C:\\d"));
    EXPECT_TRUE(RemoveDirectory("C:\\d"));
}

TEST(FaultInjectionTest, AHookRunsJustBeforeTheNthCall) {
    ScopedDriveMap drives;
    ScopedFaults faults;
    std::string native = drives.DriveC() + "/shrinks.bin";
    WriteFile(native, "0123456789");
    NativeFile in;
    ASSERT_TRUE(in.OpenRead("C:\\shrinks.bin"));
    InjectHook(FileOperation::kRead, 2, [&] { std::filesystem::resize_file(native, 6); });
    char buffer[4];
    EXPECT_EQ(in.Read(buffer, 4), 4);
    EXPECT_EQ(in.Read(buffer, 4), 2);  // the file lost its tail before this read
    EXPECT_EQ(in.Read(buffer, 4), 0);
}

}  // namespace
}  // namespace quillon
