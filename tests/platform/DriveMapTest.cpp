#include "platform/DriveMap.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/LastError.h"
#include "testing/Environment.h"
#include "testing/TempDir.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using testing::ScopedEnv;

class DriveMapTest : public ::testing::Test {
  protected:
    DriveMapTest() {
        fs::create_directories(dir / "devices");
        fs::create_directories(dir / "data/docs");
        fs::create_directory_symlink(dir / "data", dir / "devices/d:");
        fs::create_directory_symlink("/", dir / "devices/z:");
        // A relative link resolves against the folder, as the file system resolves it.
        fs::create_directory_symlink("../data/docs", dir / "devices/e:");
        map = DriveMap::Load(dir / "devices");
    }
    testing::TempDir dir;
    DriveMap map;
};

TEST_F(DriveMapTest, WindowsPathsBecomeNativePaths) {
    const std::pair<const char*, std::string> cases[] = {
        {"D:\\a\\b.txt", dir / "data/a/b.txt"},
        {"d:\\a\\b.txt", dir / "data/a/b.txt"},
        {"D:/a/b.txt", dir / "data/a/b.txt"},
        {"D:\\", dir / "data/"},
        {"D:", dir / "data"},
        {"E:\\x", dir / "data/docs/x"},
        {"Z:\\home\\u\\x", "/home/u/x"},
        {"D:\\Ordner mit Leerzeichen\\\xE4\xF6\xFC.doc",
         dir / "data/Ordner mit Leerzeichen/\xE4\xF6\xFC.doc"}};
    for (const auto& [windows, expected] : cases) {
        std::string native;
        EXPECT_TRUE(map.ToNative(windows, native)) << windows;
        EXPECT_EQ(native, expected) << windows;
    }
    for (const char* path : {"C:\\x", "x\\y", "\\\\server\\share\\x", "\\x", "", "D:relative", "1:\\x"}) {
        std::string native;
        EXPECT_FALSE(map.ToNative(path, native)) << path;
    }
}

TEST_F(DriveMapTest, NativePathsBecomeWindowsPathsOfTheLongestPrefix) {
    // e: is longer than d:; a sibling that merely starts with the same letters is not below d:.
    const std::pair<std::string, std::string> cases[] = {{dir / "data/a/b.txt", "D:\\a\\b.txt"},
                                                         {dir / "data", "D:\\"},
                                                         {dir / "data/docs/x", "E:\\x"},
                                                         {"/home/u/x", "Z:\\home\\u\\x"},
                                                         {"/", "Z:\\"}};
    for (const auto& [native, expected] : cases) {
        std::string windows;
        ASSERT_TRUE(map.ToWindows(native, windows)) << native;
        EXPECT_EQ(windows, expected) << native;
    }
    std::string windows;
    ASSERT_TRUE(map.ToWindows(dir / "database", windows));
    EXPECT_EQ(windows.substr(0, 3), "Z:\\");
    // Names that no Windows path can hold.
    EXPECT_FALSE(map.ToWindows(dir / "data/back\\slash", windows));
    EXPECT_FALSE(map.ToWindows("relative/path", windows));
    EXPECT_FALSE(DriveMap().ToWindows("/x", windows));
    // Through the process-wide map a failure sets the last error.
    auto previous = SetDrives(std::make_shared<const DriveMap>(map));
    EXPECT_EQ(ToWindowsPath("/a\\b", windows) ? 0 : GetLastError(), kErrorInvalidName);
    EXPECT_EQ(ToNativePath("Q:\\x", windows) ? 0 : GetLastError(), kErrorPathNotFound);
    SetDrives(previous);
}

TEST(DriveMapDefaults, TheFolderComesFromTheEnvironmentAndIsCreatedWithDrivesCAndZ) {
    testing::TempDir home;
    ScopedEnv drives("QUILLON_DRIVES", std::nullopt);
    ScopedEnv data("XDG_DATA_HOME", home / "share");
    DriveMap map = DriveMap::FromEnvironment();
    EXPECT_EQ(map.Folder(), home / "share/quillon/dosdevices");
    EXPECT_EQ(map.Target('c'), home / "share/quillon/drive_c");
    EXPECT_TRUE(fs::is_directory(map.Target('c')));
    EXPECT_EQ(map.Target('Z'), "/");
    EXPECT_EQ(map.Target('d'), "");
    // An existing folder is read as it is, never extended.
    fs::remove(home / "share/quillon/dosdevices/z:");
    EXPECT_EQ(DriveMap::FromEnvironment().Target('z'), "");

    fs::create_directories(home / "map");
    fs::create_directory_symlink("/tmp", home / "map/t:");
    ScopedEnv named("QUILLON_DRIVES", home / "map");
    EXPECT_EQ(DriveMap::FromEnvironment().Target('t'), "/tmp");
}

}  // namespace
}  // namespace quillon
