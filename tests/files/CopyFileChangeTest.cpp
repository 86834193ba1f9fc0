// Copies of sources that do not hold still, and of names Linux allows but Windows paths read as
// wildcards.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <fstream>
#include <functional>
#include <string>

#include "files/CopyFile.h"
#include "platform/FaultInjection.h"
#include "platform/LastError.h"
#include "testing/Environment.h"
#include "testing/TempDir.h"

namespace quillon {
namespace {

using testing::ReadFile;
using testing::WriteFile;

void Append(const std::string& native, const std::string& bytes) {
    std::ofstream(native, std::ios::binary | std::ios::app) << bytes;
}

// Appends to the file at each of the next `times` reads (a log written while it is backed up).
void GrowAtReads(const std::string& native, int times) {
    if (times > 0) {
        InjectHook(FileOperation::kRead, 1, [native, times] {
            Append(native, "more");
            GrowAtReads(native, times - 1);
        });
    }
}

TEST(CopyFileChangeTest, ASourceWrittenWhileCopiedIsCopiedAgainOrReported) {
    testing::ScopedDriveMap drives;
    ScopedFaults faults;
    const std::string source = drives.DriveC() + "/log.txt";
    char buffer[8];
    struct Case {
        int growths;  // reads at which the file grows
        bool copied;
    } cases[] = {{0, true}, {1, true}, {50, false}};
    for (const Case& c : cases) {
        WriteFile(source, "0123456789abcdef");
        const std::string before = ReadFile(drives.DriveC() + "/copy.txt");  // the earlier case's copy
        ClearFaults();
        GrowAtReads(source, c.growths);
        const bool ok = CopyFileWithBuffer("C:\\log.txt", "C:\\copy.txt", false, buffer, sizeof buffer);
        ClearFaults();
        EXPECT_EQ(ok, c.copied) << c.growths;
        if (c.copied) {
            // The copy is one version of the file, whole: the one that stood still while it was read.
            EXPECT_EQ(ReadFile(drives.DriveC() + "/copy.txt"), ReadFile(source)) << c.growths;
        } else {
            EXPECT_EQ(GetLastError(), kErrorReadFault) << c.growths;  // the caller logs it, goes on
            // No torn mixture of versions takes the name: it keeps the copy that was whole.
            EXPECT_EQ(ReadFile(drives.DriveC() + "/copy.txt"), before);
        }
    }
}

TEST(CopyFileChangeTest, ANameWithWildcardCharactersTakesItsOwnTimes) {
    testing::ScopedDriveMap drives;
    // "a!b.txt" sorts before "a*b.txt" and matches it read as a pattern.
    WriteFile(drives.DriveC() + "/a!b.txt", "other");
    WriteFile(drives.DriveC() + "/a*b.txt", "mine");
    struct utimbuf other {
        1'000'000'000, 1'000'000'000
    };
    struct utimbuf mine {
        1'100'000'000, 1'100'000'000
    };
    ASSERT_EQ(::utime((drives.DriveC() + "/a!b.txt").c_str(), &other), 0);
    ASSERT_EQ(::utime((drives.DriveC() + "/a*b.txt").c_str(), &mine), 0);
    char buffer[64];
    ASSERT_TRUE(CopyFileWithBuffer("C:\\a*b.txt", "C:\\out.txt", false, buffer, sizeof buffer));
    struct stat copy {};
    ASSERT_EQ(::stat((drives.DriveC() + "/out.txt").c_str(), &copy), 0);
    EXPECT_EQ(ReadFile(drives.DriveC() + "/out.txt"), "mine");
    EXPECT_EQ(copy.st_mtime, 1'100'000'000);
}

}  // namespace
}  // namespace quillon
