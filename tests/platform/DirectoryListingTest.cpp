#include "platform/DirectoryListing.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

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
    fs::create_directory(drives.DriveC() + "/Data/sub");

    std::vector<FileInfo> entries = ListDirectory("C:\\Data\\*.*");
    EXPECT_EQ(Names(entries), (std::vector<std::string>{".", "..", "-first", "A.TXT", "b.txt", "sub", "Zeta"}));
    ASSERT_EQ(entries.size(), 7u);
    EXPECT_TRUE(entries[0].IsDirectory());
    EXPECT_FALSE(entries[0].MayEnter());
    EXPECT_EQ(entries[4].Size, 2);
    EXPECT_EQ(entries[4].Attributes, kAttributeArchive);
    EXPECT_EQ(entries[5].Attributes, kAttributeDirectory | kAttributeArchive);
    EXPECT_EQ(entries[5].Size, 0);
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

TEST(DirectoryListingTest, NamesPassThroughByteForByte) {
    ScopedDriveMap drives;
    const std::string latin1 = "\xC4rger.txt";    // a single byte 0xC4
    const std::string utf8 = "\xC3\x84rger.txt";  // the same letter in UTF-8
    WriteFile(drives.DriveC() + "/N/" + latin1, "1");
    WriteFile(drives.DriveC() + "/N/" + utf8, "22");
    std::vector<FileInfo> entries = ListDirectory("C:\\N\\*");
    EXPECT_EQ(Names(entries), (std::vector<std::string>{".", "..", utf8, latin1}));
    FileInfo entry;
    ASSERT_TRUE(LookUpFile("C:\\N\\" + latin1, entry));
    EXPECT_EQ(entry.Size, 1);
}

TEST(DirectoryListingTest, SizesAndTimesAreSixtyFourBit) {
    ScopedDriveMap drives;
    const int64_t size = (int64_t{5} << 30) + 7;  // 5 GiB and a little, sparse
    std::string native = drives.DriveC() + "/big.bin";
    WriteFile(native, "");
    fs::resize_file(native, static_cast<uintmax_t>(size));
    struct timespec times[2] = {{4102444800, 0}, {4102444800, 0}};  // 2100-01-01, beyond 32 bits
    ASSERT_EQ(::utimensat(AT_FDCWD, native.c_str(), times, 0), 0);

    FileInfo entry;
    ASSERT_TRUE(LookUpFile("C:\\big.bin", entry));
    EXPECT_EQ(entry.Size, size);
    EXPECT_EQ(entry.ModificationTime, 4102444800);
    EXPECT_EQ(entry.AccessTime, 4102444800);
    EXPECT_GT(entry.CreationTime, 0);  // the file system's birth time, or the modification time
}

TEST(DirectoryListingTest, LinksAndSpecialFilesNeverLeadAWalkAstray) {
    ScopedDriveMap drives;
    std::string root = drives.DriveC() + "/T";
    WriteFile(root + "/file.txt", "12345");
    WriteFile(root + "/real/inner.txt", "x");
    testing::TempDir outside;
    WriteFile(outside / "secret.txt", "s");
    fs::create_symlink(root + "/file.txt", root + "/file-link");
    fs::create_directory_symlink(outside.Path(), root + "/dir-link");
    fs::create_directory_symlink(root, root + "/real/loop");  // a cycle back to the top
    fs::create_symlink(root + "/nowhere", root + "/dangling");
    ASSERT_EQ(::mkfifo((root + "/pipe").c_str(), 0600), 0);

    std::vector<FileInfo> entries = ListDirectory("C:\\T\\*.*");
    EXPECT_EQ(Names(entries),
              (std::vector<std::string>{".", "..", "dir-link", "file-link", "file.txt", "real"}));
    const FileInfo& dirLink = entries[2];
    EXPECT_TRUE(dirLink.IsDirectory());
    EXPECT_TRUE(dirLink.IsLink());
    EXPECT_FALSE(dirLink.MayEnter());
    EXPECT_EQ(dirLink.Attributes & (kAttributeDirectory | kAttributeReparsePoint),
              kAttributeDirectory | kAttributeReparsePoint);
    const FileInfo& fileLink = entries[3];
    EXPECT_EQ(fileLink.Kind, EntryKind::kFile);
    EXPECT_EQ(fileLink.Size, 5);  // reads as the file it points to
    EXPECT_EQ(fileLink.Attributes, kAttributeArchive | kAttributeReparsePoint);

    // A walk that follows MayEnter ends, and sees nothing outside the tree.
    std::vector<std::string> walked;
    std::function<void(const std::string&)> walk = [&](const std::string& dir) {
        for (const FileInfo& entry : ListDirectory(dir + "\\*.*")) {
            if (entry.Name == "." || entry.Name == "..") {
                continue;
            }
            walked.push_back(dir + "\\" + entry.Name);
            if (entry.MayEnter()) {
                walk(dir + "\\" + entry.Name);
            }
        }
    };
    walk("C:\\T");
    EXPECT_EQ(walked,
              (std::vector<std::string>{"C:\\T\\dir-link", "C:\\T\\file-link", "C:\\T\\file.txt",
                                        "C:\\T\\real", "C:\\T\\real\\inner.txt", "C:\\T\\real\\loop"}));

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
