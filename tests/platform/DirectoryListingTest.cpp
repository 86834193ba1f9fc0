#include "platform/DirectoryListing.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "platform/FileAttributes.h"
#include "platform/LastError.h"
#include "testing/Environment.h"
#include "testing/TempDir.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using testing::ScopedDriveMap;
using testing::WriteFile;
using Names = std::vector<std::string>;

Names NamesOf(const std::vector<FileInfo>& entries) {
    Names names;
    for (const auto& entry : entries) {
        names.push_back(entry.Name);
    }
    return names;
}

TEST(DirectoryListingTest, ListsEveryEntrySortedAsWindowsDoes) {
    ScopedDriveMap drives;
    for (const char* name : {"b.txt", "-first", "A.TXT", "Zeta", "\xC4rger"}) {  // names pass unchanged
        WriteFile(drives.DriveC() + "/Data/" + name, name[0] == 'b' ? "bb" : "");
    }
    fs::create_directory(drives.DriveC() + "/Data/sub");
    std::vector<FileInfo> entries = ListDirectory("C:\\Data\\*.*");
    ASSERT_EQ(NamesOf(entries), (Names{".", "..", "-first", "A.TXT", "b.txt", "sub", "Zeta", "\xC4rger"}));
    EXPECT_FALSE(entries[0].MayEnter());
    EXPECT_EQ(entries[4].Size, 2);
    EXPECT_EQ(entries[5].Attributes, kAttributeDirectory | kAttributeArchive);
    EXPECT_TRUE(entries[5].MayEnter());
    EXPECT_EQ(NamesOf(ListDirectory("C:\\Data\\*.txt")), (Names{"A.TXT", "b.txt"}));
}

TEST(DirectoryListingTest, SearchReportsWhyNothingWasFound) {
    ScopedDriveMap drives;
    WriteFile(drives.DriveC() + "/Data/a.txt", "a");
    // A trailing backslash names no entry.
    const std::pair<const char*, int32_t> cases[] = {
        {"C:\\Data\\*.zip", kErrorFileNotFound},      {"C:\\Data\\b.txt", kErrorFileNotFound},
        {"C:\\Data\\", kErrorFileNotFound},           {"C:\\Missing\\*.*", kErrorPathNotFound},
        {"C:\\Data\\a.txt\\*.*", kErrorPathNotFound}, {"Q:\\*.*", kErrorPathNotFound}};
    for (const auto& [pattern, error] : cases) {
        DirectorySearch search;
        FileInfo entry;
        SetLastError(0);
        EXPECT_FALSE(search.First(pattern, entry)) << pattern;
        EXPECT_EQ(GetLastError(), error) << pattern;
        EXPECT_FALSE(search.Next(entry)) << pattern;
    }
    DirectorySearch search;
    FileInfo entry;
    ASSERT_TRUE(search.First("C:\\Data\\a.txt", entry));
    EXPECT_EQ(entry.Name, "a.txt");
    EXPECT_FALSE(search.Next(entry));
    EXPECT_EQ(GetLastError(), kErrorNoMoreFiles);
}

TEST(DirectoryListingTest, LinksAndSpecialFilesNeverLeadAWalkAstray) {
    ScopedDriveMap drives;
    std::string root = drives.DriveC() + "/T";
    WriteFile(root + "/file.txt", "12345");
    WriteFile(root + "/real/inner.txt", "x");
    testing::TempDir outside;
    fs::create_symlink(root + "/file.txt", root + "/file-link");
    fs::create_directory_symlink(outside.Path(), root + "/dir-link");
    fs::create_directory_symlink(root, root + "/real/loop");  // a cycle back to the top
    fs::create_symlink(root + "/nowhere", root + "/dangling");
    ASSERT_EQ(::mkfifo((root + "/pipe").c_str(), 0600), 0);

    std::vector<FileInfo> entries = ListDirectory("C:\\T\\*.*");
    ASSERT_EQ(NamesOf(entries), (Names{".", "..", "dir-link", "file-link", "file.txt", "real"}));
    const FileInfo& dirLink = entries[2];
    EXPECT_FALSE(dirLink.MayEnter());  // no walk enters it: it may lead out of the tree or round in a loop
    EXPECT_EQ(dirLink.Attributes & (kAttributeDirectory | kAttributeReparsePoint),
              kAttributeDirectory | kAttributeReparsePoint);
    const FileInfo& fileLink = entries[3];
    EXPECT_EQ(fileLink.Kind, EntryKind::kFile);
    EXPECT_EQ(fileLink.Size, 5);  // reads as the file it points to
    EXPECT_EQ(fileLink.Attributes, kAttributeArchive | kAttributeReparsePoint);

    // Deletion needs to see the rest too, to remove it.
    std::vector<FileInfo> all = ListDirectory("C:\\T\\*", ListingScope::kWithOtherEntries);
    ASSERT_EQ(NamesOf(all),
              (Names{".", "..", "dangling", "dir-link", "file-link", "file.txt", "pipe", "real"}));
    EXPECT_EQ(all[2].Kind, EntryKind::kOther);
    EXPECT_TRUE(all[2].IsLink());
    EXPECT_EQ(all[6].Kind, EntryKind::kOther);
    FileInfo entry;
    EXPECT_FALSE(LookUpFile("C:\\T\\pipe", entry));
    EXPECT_FALSE(LookUpFile("C:\\T\\dangling", entry));
}

}  // namespace
}  // namespace quillon
