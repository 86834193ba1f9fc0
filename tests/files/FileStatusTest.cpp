#include "files/FileStatus.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

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

namespace fs = std::filesystem;
using testing::CaptureTrace;
using testing::MakeTree;
using testing::ScopedDriveMap;
using testing::WriteFile;

constexpr int64_t kLowestTime = 315525978;    // 1979-12-31 22:06:18 UTC, the lower clamp
constexpr int64_t kHighestTime = 2099421747;  // 2036-07-11 20:42:27 UTC, the upper clamp
constexpr int64_t k2003 = 1069692131;         // 2003-11-24 16:42:11 UTC

TEST(FileStatusTest, ModificationTimesAreClampedOtherTimesReplaced) {
    ScopedDriveMap drives;
    WriteFile(drives.DriveC() + "/f.txt", "12345");
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

TEST(FileStatusTest, StatusCarriesSizeAttributeAndFullName) {
    ScopedDriveMap drives;
    MakeTree(drives.DriveC(), {{"Data/f.txt", "12345"}, {"link", "-> " + drives.DriveC() + "/Data"}});
    ::chmod((drives.DriveC() + "/Data/f.txt").c_str(), 0444);

    FileStatus status;
    ASSERT_TRUE(GetFileStatus("C:\\Data\\.\\sub\\..\\f.txt", status));
    EXPECT_EQ(status.FullName, "C:\\Data\\f.txt");
    EXPECT_EQ(status.Size, 5);
    EXPECT_EQ(status.Attribute, kAttributeReadOnly | kAttributeArchive);
    ASSERT_TRUE(GetFileStatus("C:/link", status));
    EXPECT_EQ(status.FullName, "C:\\link");
    EXPECT_EQ(status.Attribute, kAttributeDirectory | kAttributeArchive);  // 0x400 is masked off
    ASSERT_TRUE(GetFileStatus("C:\\Data\\*.txt", status));                 // the first match
    EXPECT_EQ(status.Size, 5);

    EXPECT_FALSE(GetFileStatus("C:\\Data\\missing.txt", status));
    EXPECT_EQ(status.FullName, "C:\\Data\\missing.txt");
    EXPECT_FALSE(GetFileStatus("", status));
    EXPECT_EQ(status.FullName, "");
    std::string cwd;
    ASSERT_TRUE(CurrentDirectory(cwd));
    GetFileStatus("some\\file.txt", status);  // relative: to the working directory
    EXPECT_EQ(status.FullName, cwd + "\\some\\file.txt");
}

TEST(FileStatusTest, AttributesAreChangedOnlyWhenTheyCanBeRead) {
    ScopedDriveMap drives;
    WriteFile(drives.DriveC() + "/f.txt", "x");
    EXPECT_TRUE(ChangeFileAttributes("C:\\f.txt", kAttributeHidden | kAttributeReadOnly, kAttributeArchive));
    EXPECT_TRUE(GetFileAttribute("C:\\f.txt", kAttributeHidden));
    EXPECT_FALSE(GetFileAttribute("C:\\f.txt", kAttributeArchive));

    EXPECT_FALSE(ChangeFileAttributes("C:\\missing.txt", kAttributeArchive, 0));
    EXPECT_FALSE(fs::exists(drives.DriveC() + "/missing.txt"));
    CaptureTrace trace;
    EXPECT_FALSE(GetFileAttribute("C:\\missing.txt", kAttributeArchive));
    EXPECT_EQ(trace.Records(),
              std::vector<std::string>{"*** GetFileAttribute(C:\\missing.txt): Access Error\n"});
}

TEST(FileStatusTest, LengthsAndTreeSizesAreSixtyFourBitAndNeverFollowLinks) {
    ScopedDriveMap drives;
    testing::TempDir outside;
    WriteFile(outside / "big-outside.bin", std::string(1000, 'o'));
    std::string root = drives.DriveC() + "/Tree";
    MakeTree(root, {{"a.txt", "12345"},
                    {"sub/b.txt", "123"},
                    {"sub/deeper/c.txt", "1"},
                    {"empty/", ""},
                    {"sparse.bin", ""},
                    {"outside-link", "-> " + outside.Path()},  // not followed
                    {"sub/a-link", "-> " + root + "/a.txt"},   // counts as the file
                    {"sub/cycle", "-> " + root},               // not followed either
                    {"pipe", "|"}});
    const int64_t fiveGiB = int64_t{5} << 30;
    fs::resize_file(root + "/sparse.bin", static_cast<uintmax_t>(fiveGiB));

    EXPECT_EQ(GetFileLength("C:\\Tree\\sparse.bin"), fiveGiB);
    EXPECT_EQ(GetFileLength("C:\\Tree\\a.txt"), 5);
    EXPECT_EQ(GetFileLength("C:\\Tree\\missing"), 0);
    EXPECT_EQ(GetFileLength("C:\\Tree\\sub"), 0);
    EXPECT_EQ(GetDirectorySize("C:\\Tree"), fiveGiB + 5 + 3 + 1 + 5);
    EXPECT_EQ(GetDirectorySize("C:\\Tree\\sub\\deeper"), 1);
    EXPECT_EQ(GetDirectorySize("C:\\Missing"), 0);
}

TEST(FileStatusTest, ExistenceAndWritability) {
    ScopedDriveMap drives;
    MakeTree(drives.DriveC(), {{"Set/QuillonData_000.Zip", "z"},
                               {"Set/ro.zip", "z"},
                               {"Set/dangling", "-> " + drives.DriveC() + "/x"}});
    ::chmod((drives.DriveC() + "/Set/ro.zip").c_str(), 0444);
    // "" counts as existing and cannot be opened; neither can a pattern or a directory.
    struct Case {
        const char* path;
        bool exists, writable;
    } cases[] = {{"", true, false},
                 {"C:\\Set\\QuillonData_000.Zip", true, true},
                 {"C:\\Set\\QuillonData_*.Zip", true, false},
                 {"C:\\Set\\*.rar", false, true},
                 {"C:\\Set\\missing.zip", false, true},
                 {"C:\\Set\\ro.zip", true, false},
                 {"C:\\Set", true, false},
                 {"C:\\Set\\dangling", false, true},
                 {"C:\\NoDir\\x.zip", false, true}};
    for (const auto& c : cases) {
        EXPECT_EQ(FileExists(c.path), c.exists) << c.path;
        EXPECT_EQ(IsFileWritable(c.path), c.writable) << c.path;
    }
    // Asking truncates nothing.
    EXPECT_EQ(testing::Listing(drives.DriveC() + "/Set"),
              "QuillonData_000.Zip=z\ndangling -> " + drives.DriveC() + "/x\nro.zip=z\n");
}

}  // namespace
}  // namespace quillon
