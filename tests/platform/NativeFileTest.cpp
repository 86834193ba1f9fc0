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

}  // namespace
}  // namespace quillon
