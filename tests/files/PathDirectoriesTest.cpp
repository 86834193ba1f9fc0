#include "files/PathDirectories.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "testing/Environment.h"
#include "testing/TempDir.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;

TEST(PathDirectoriesTest, CreatesEveryDirectoryUpToTheLastBackslash) {
    testing::ScopedDriveMap drives;
    testing::WriteFile(drives.DriveC() + "/file.txt", "x");
    fs::create_directories(drives.DriveC() + "/Root");
    // The result is the length of the path, also when everything exists. Everything before the start
    // is taken as existing and left alone. A file in the way counts as existing at first; the directory
    // below it cannot be made.
    struct Case {
        const char* path;
        int32_t start;
        int32_t result;
        std::vector<const char*> created;  // native, below drive C:
        std::vector<const char*> absent;
    } cases[] = {
        {"C:\\Temp\\QuilRun\\", 0, 16, {"Temp", "Temp/QuilRun"}, {}},
        {"C:\\Temp\\QuilRun\\", 0, 16, {"Temp/QuilRun"}, {}},
        {"C:\\Data\\file.txt", 0, 16, {"Data"}, {"Data/file.txt"}},
        {"C:\\Two\\\\Slashes\\", 0, 16, {"Two", "Two/Slashes"}, {}},
        {"C:\\", 0, 3, {}, {}},
        {"C:", 0, 2, {}, {}},
        {"", 0, 0, {}, {}},
        {"C:\\Root\\a\\b\\", 7, 12, {"Root/a", "Root/a/b"}, {}},
        {"C:\\Missing\\a\\", 10, -1, {}, {"Missing"}},
        {"C:\\file.txt\\sub\\", 0, -1, {}, {"file.txt/sub"}},
        {"Q:\\unmapped\\", 0, -1, {}, {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CreatePathDirectories(c.path, c.start), c.result) << c.path;
        for (const char* dir : c.created) {
            EXPECT_TRUE(fs::is_directory(drives.DriveC() + "/" + dir)) << c.path << ": " << dir;
        }
        for (const char* dir : c.absent) {
            EXPECT_FALSE(fs::is_directory(drives.DriveC() + "/" + dir)) << c.path << ": " << dir;
        }
    }
}

}  // namespace
}  // namespace quillon
