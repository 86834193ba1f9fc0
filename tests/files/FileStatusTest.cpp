#include "files/FileStatus.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>

#include "files/FileTree.h"
#include "platform/FileAttributes.h"
#include "platform/FileSystem.h"
#include "platform/LastError.h"
#include "testing/CaptureTrace.h"
#include "testing/Environment.h"
#include "testing/TempDir.h"

namespace quillon {
namespace {

using testing::ScopedDriveMap;

constexpr int64_t kLowestTime = 315525978;    // 1979-12-31 22:06:18 UTC, the lower clamp
constexpr int64_t kHighestTime = 2099421747;  // 2036-07-11 20:42:27 UTC, the upper clamp
constexpr int64_t k2003 = 1069692131;         // 2003-11-24 16:42:11 UTC

TEST(FileStatusTest, ModificationTimesAreClampedOtherTimesReplaced) {
    ScopedDriveMap drives;
    testing::WriteFile(drives.DriveC() + "/f.txt", "12345");
    // 1975 and times before 1970 are raised to the end of 1979, 2041 lowered to 2036. The bounds apply
    // to the upper 32 bits of the 100 ns count: up to 7 minutes past the upper instant still pass, later
    // times fall back to it. An access time out of range becomes the modification time.
    const int64_t cases[][4] = {{k2003, k2003 + 60, k2003, k2003 + 60},
                                {157766400, k2003, kLowestTime, k2003},
                                {kLowestTime - 1, k2003, kLowestTime, k2003},
                                {kLowestTime + 1, k2003, kLowestTime + 1, k2003},
                                {-86400, k2003, kLowestTime, k2003},
                                {2240524800, k2003, kHighestTime, k2003},
                                {2099422176, k2003, 2099422176, k2003},
                                {2099422177, k2003, kHighestTime, k2003},
                                {k2003, 2099422177, k2003, k2003},
                                {k2003, 157766400, k2003, k2003},
                                {k2003, 4102444800, k2003, k2003},
                                {157766400, 157766400, kLowestTime, kLowestTime}};
    for (const auto& [modification, access, expectedModification, expectedAccess] : cases) {
        ASSERT_TRUE(SetFileTimes("C:\\f.txt", modification, access));
        FileStatus status;
        ASSERT_TRUE(GetFileStatus("C:\\f.txt", status)) << modification;
        EXPECT_EQ(status.ModificationTime.Seconds(), expectedModification) << modification;
        EXPECT_EQ(status.AccessTime.Seconds(), expectedAccess) << modification << " " << access;
        // The file was made just now: its creation time is in range, or the modification time where the
        // file system keeps none.
        EXPECT_GT(status.CreationTime.Seconds(), kLowestTime);
    }
}

TEST(FileStatusTest, AttributesAreChangedOnlyWhenTheyCanBeRead) {
    ScopedDriveMap drives;
    testing::WriteFile(drives.DriveC() + "/f.txt", "x");
    EXPECT_TRUE(ChangeFileAttributes("C:\\f.txt", kAttributeHidden | kAttributeReadOnly, kAttributeArchive));
    EXPECT_TRUE(GetFileAttribute("C:\\f.txt", kAttributeHidden));
    EXPECT_FALSE(GetFileAttribute("C:\\f.txt", kAttributeArchive));

    EXPECT_FALSE(ChangeFileAttributes("C:\\missing.txt", kAttributeArchive, 0));
    EXPECT_FALSE(std::filesystem::exists(drives.DriveC() + "/missing.txt"));
    testing::CaptureTrace trace;
    EXPECT_FALSE(GetFileAttribute("C:\\missing.txt", kAttributeArchive));
    EXPECT_EQ(trace.Records(),
              std::vector<std::string>{"*** GetFileAttribute(C:\\missing.txt): Access Error\n"});
}

TEST(FileStatusTest, LengthsAndTreeSizesAreSixtyFourBitAndNeverFollowLinks) {
    ScopedDriveMap drives;
    testing::TempDir outside;
    testing::WriteFile(outside / "big-outside.bin", std::string(1000, 'o'));
    std::string root = drives.DriveC() + "/Tree";
    testing::MakeTree(root, {{"a.txt", "12345"},
                             {"sub/b.txt", "123"},
                             {"sub/deeper/c.txt", "1"},
                             {"empty/", ""},
                             {"sparse.bin", ""},
                             {"outside-link", "-> " + outside.Path()},  // not followed
                             {"sub/a-link", "-> " + root + "/a.txt"},   // counts as the file
                             {"sub/cycle", "-> " + root},               // not followed either
                             {"pipe", "|"}});
    const int64_t fiveGiB = int64_t{5} << 30;
    std::filesystem::resize_file(root + "/sparse.bin", static_cast<uintmax_t>(fiveGiB));

    EXPECT_EQ(GetFileLength("C:\\Tree\\missing"), 0);
    EXPECT_EQ(GetFileLength("C:\\Tree\\sub"), 0);
    EXPECT_EQ(GetDirectorySize("C:\\Tree"), fiveGiB + 5 + 3 + 1 + 5);
    EXPECT_EQ(GetDirectorySize("C:\\Tree\\sub\\deeper"), 1);
    EXPECT_EQ(GetDirectorySize("C:\\Missing"), 0);
}

// What the file layer sees at each path: whether it exists ("" does; a pattern when something matches),
// whether it can be opened for writing (neither a pattern nor a folder can), and the status with its
// full name, size and attribute bits (0x400 masked off), or the full name alone where there is none.
TEST(FileStatusTest, ExistenceWritabilityAndStatusOfEachPath) {
    ScopedDriveMap drives;
    testing::MakeTree(drives.DriveC(), {{"Data/f.txt", "12345"},
                                        {"link", "-> " + drives.DriveC() + "/Data"},
                                        {"Set/QuillonData_000.Zip", "z"},
                                        {"Set/dangling", "-> " + drives.DriveC() + "/x"}});
    ::chmod((drives.DriveC() + "/Data/f.txt").c_str(), 0444);
    const std::pair<const char*, const char*> cases[] = {
        {"", "exists, no status "},
        {"C:\\Data\\f.txt", "exists, C:\\Data\\f.txt 5 0x21"},
        {"C:/link", "exists, C:\\link 0 0x30"},
        {"C:\\Data\\*.txt", "exists, C:\\Data\\*.txt 5 0x21"},  // the first match
        {"C:\\Data\\missing.txt", "missing writable, no status C:\\Data\\missing.txt"},
        {"C:\\Set\\QuillonData_000.Zip", "exists writable, C:\\Set\\QuillonData_000.Zip 1 0x20"},
        {"C:\\Set\\QuillonData_*.Zip", "exists, C:\\Set\\QuillonData_*.Zip 1 0x20"},
        {"C:\\Set\\*.rar", "missing writable, no status C:\\Set\\*.rar"},
        {"C:\\Set", "exists, C:\\Set 0 0x30"},
        {"C:\\Set\\dangling", "missing writable, no status C:\\Set\\dangling"},
        {"C:\\NoDir\\x.zip", "missing writable, no status C:\\NoDir\\x.zip"},
    };
    for (auto [path, seen] : cases) {
        FileStatus status;
        bool found = GetFileStatus(path, status);
        char bits[8];
        std::snprintf(bits, sizeof bits, "0x%X", status.Attribute);
        std::string shown =
            std::string(FileExists(path) ? "exists" : "missing") + (IsFileWritable(path) ? " writable" : "");
        shown += found ? ", " + status.FullName + " " + std::to_string(status.Size) + " " + bits
                       : ", no status " + status.FullName;
        EXPECT_EQ(shown, seen) << path;
    }
    // Asking truncates nothing. A path is made whole by its words alone, a relative one from the working
    // directory.
    EXPECT_EQ(testing::ReadFile(drives.DriveC() + "/Set/QuillonData_000.Zip"), "z");
    std::string cwd;
    FileStatus status;
    ASSERT_TRUE(CurrentDirectory(cwd));
    GetFileStatus("some\\file.txt", status);
    EXPECT_EQ(status.FullName, cwd + "\\some\\file.txt");
    ASSERT_TRUE(GetFileStatus("C:\\Data\\.\\sub\\..\\f.txt", status));
    EXPECT_EQ(status.FullName, "C:\\Data\\f.txt");
}

}  // namespace
}  // namespace quillon
