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

std::vector<std::string> Names(const std::vector<FileInfo>& entries) {
    std::vector<std::string> names;
    for (const auto& entry : entries) {
        names.push_back(entry.Name);
    }
    return names;
}

TEST(DirectoryListingTest, PatternsMatchLikeTheCRuntimeSearch) {
    struct Case {
        const char* pattern;
        const char* name;
        bool matches;
    } cases[] = {
        {"*.*", "readme", true},  // "*.*" also covers names without a dot
        {"*.*", "a.b.c", true},
        {"*", ".hidden", true},
        {"*.doc", "Offer.DOC", true},  // letter case of A-Z does not matter
        {"*.doc", "offer.docx", false},
        {"a?c", "abc", true},
        {"a?c", "ac", false},
        {"a*b*c", "axxbyyc", true},
        {"a*b*c", "acb", false},
        {"QuillonData_*.Zip", "QuillonData_007.zip", true},
        {"x*.*", "y.z", false},
        {"\xE4*", "\xC4rger", false},  // only A-Z fold; other bytes compare exactly
        {"**a", "bba", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MatchesFilePattern(c.pattern, c.name), c.matches) << c.pattern << " vs " << c.name;
    }
}

TEST(DirectoryListingTest, ListsEveryEntrySortedAsWindowsDoes) {
    ScopedDriveMap drives;
    WriteFile(drives.DriveC() + "/Data/b.txt", "bb");
    WriteFile(drives.DriveC() + "/Data/-first", "");
    WriteFile(drives.DriveC() + "/Data/A.TXT", "a");
    WriteFile(drives.DriveC() + "/Data/Zeta", "z");
    WriteFile(drives.DriveC() + "/Data/\xC4rger", "");  // a single byte 0xC4: names pass unchanged
    fs::create_directory(drives.DriveC() + "/Data/sub");

    std::vector<FileInfo> entries = ListDirectory("C:\\Data\\*.*");
    EXPECT_EQ(Names(entries),
              (std::vector<std::string>{".", "..", "-first", "A.TXT", "b.txt", "sub", "Zeta", "\xC4rger"}));
    ASSERT_EQ(entries.size(), 8u);
    EXPECT_FALSE(entries[0].MayEnter());
    EXPECT_EQ(entries[4].Size, 2);
    EXPECT_EQ(entries[5].Attributes, kAttributeDirectory | kAttributeArchive);
    EXPECT_TRUE(entries[5].MayEnter());

    EXPECT_EQ(Names(ListDirectory("C:\\Data\\*.txt")), (std::vector<std::string>{"A.TXT", "b.txt"}));
}

TEST(DirectoryListingTest, SearchReportsWhyNothingWasFound) {
    ScopedDriveMap drives;
    WriteFile(drives.DriveC() + "/Data/a.txt", "a");
    struct Case {
        const char* pattern;
        int32_t error;
    } cases[] = {
        {"C:\\Data\\*.zip", kErrorFileNotFound},  {"C:\\Data\\b.txt", kErrorFileNotFound},
        {"C:\\Data\\", kErrorFileNotFound},  // a trailing backslash names no entry
        {"C:\\Missing\\*.*", kErrorPathNotFound}, {"C:\\Data\\a.txt\\*.*", kErrorPathNotFound},
        {"Q:\\*.*", kErrorPathNotFound},
    };
    for (const auto& c : cases) {
        DirectorySearch search;
        FileInfo entry;
        SetLastError(0);
        EXPECT_FALSE(search.First(c.pattern, entry)) << c.pattern;
        EXPECT_EQ(GetLastError(), c.error) << c.pattern;
        EXPECT_FALSE(search.Next(entry)) << c.pattern;
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
    EXPECT_EQ(Names(entries),
              (std::vector<std::string>{".", "..", "dir-link", "file-link", "file.txt", "real"}));
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
    EXPECT_EQ(Names(all), (std::vector<std::string>{".", "..", "dangling", "dir-link", "file-link",
                                                    "file.txt", "pipe", "real"}));
    EXPECT_EQ(all[2].Kind, EntryKind::kOther);
    EXPECT_TRUE(all[2].IsLink());
    EXPECT_EQ(all[6].Kind, EntryKind::kOther);

    FileInfo entry;
    EXPECT_FALSE(LookUpFile("C:\\T\\pipe", entry));
    EXPECT_FALSE(LookUpFile("C:\\T\\dangling", entry));
}

}  // namespace
}  // namespace quillon
