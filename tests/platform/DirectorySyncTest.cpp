#include "platform/DirectorySync.h"

#include <gtest/gtest.h>

#include "platform/LastError.h"
#include "testing/Environment.h"
#include "testing/TempDir.h"

namespace quillon {
namespace {

using testing::ScopedDriveMap;
using testing::WriteFile;

// A failing flush is reported through the control file writer's tests.
TEST(DirectorySyncTest, FlushesFoldersAndReportsWhatCannotBeFlushed) {
    ScopedDriveMap drives;
    WriteFile(drives.Native("C:\\Dest\\Quillon.txt"), "x");

    EXPECT_TRUE(SyncDirectory("C:\\Dest"));
    EXPECT_TRUE(SyncDirectory("C:\\"));

    struct Case {
        const char* path;
        int32_t error;
    } cases[] = {
        {"C:\\missing", kErrorFileNotFound},
        {"C:\\missing\\deeper", kErrorPathNotFound},
        {"C:\\Dest\\Quillon.txt", kErrorPathNotFound},  // a file is no folder
    };
    for (const Case& c : cases) {
        SetLastError(0);
        EXPECT_FALSE(SyncDirectory(c.path)) << c.path;
        EXPECT_EQ(GetLastError(), c.error) << c.path;
    }
}

}  // namespace
}  // namespace quillon
