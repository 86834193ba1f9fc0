// Listings by pattern and walks through open folders: the order, what a search reports when it finds
// nothing, and links and special files, which must never lead a walk out of its tree.
#include "platform/DirectoryListing.h"

#include <gtest/gtest.h>

#include <tuple>

#include "files/FileTree.h"
#include "platform/FileAttributes.h"
#include "platform/LastError.h"
#include "testing/Environment.h"
#include "testing/TempDir.h"

namespace quillon {
namespace {

using testing::MakeTree;
using Lines = std::vector<std::string>;

// Each entry as "name kind size", with "link" for a link and "enter" where a walk may descend.
Lines Describe(const std::vector<FileInfo>& entries) {
    Lines lines;
    for (const FileInfo& e : entries) {
        const char* kind = e.Kind == EntryKind::kDirectory ? " dir"
                           : e.Kind == EntryKind::kFile    ? " file"
                                                           : " other";
        lines.push_back(e.Name + kind + (e.IsLink() ? " link " : " ") + std::to_string(e.Size) +
                        (e.MayEnter() ? " enter" : ""));
    }
    return lines;
}

class DirectoryListingTest : public ::testing::Test {
  protected:
    void SetUp() override {
        MakeTree(drives_.DriveC(), {{"T/file.txt", "12345"},
                                    {"T/real/inner.txt", "x"},
                                    {"outside/secret.txt", "secret"},
                                    {"T/dir-link", "-> " + C("outside")},
                                    {"T/file-link", "-> " + C("outside/secret.txt")},
                                    {"T/real/loop", "-> " + C("T")},
                                    {"T/dangling", "-> nowhere"},
                                    {"T/pipe", "|"}});
        testing::SetModified(C("T/file-link"), 1'000'000'000);
    }
    std::string C(const std::string& relative) const { return drives_.DriveC() + "/" + relative; }

    testing::ScopedDriveMap drives_;
};

TEST_F(DirectoryListingTest, ListsEveryEntrySortedAsWindowsDoes) {
    // Names pass unchanged.
    MakeTree(C("Data"),
             {{"b.txt", "bb"}, {"-first", ""}, {"A.TXT", ""}, {"Zeta", ""}, {"\xC4rger", ""}, {"sub/", ""}});
    std::vector<FileInfo> entries = ListDirectory("C:\\Data\\*.*");
    EXPECT_EQ(Describe(entries),
              (Lines{". dir 0", ".. dir 0", "-first file 0", "A.TXT file 0", "b.txt file 2",
                     "sub dir 0 enter", "Zeta file 0", "\xC4rger file 0"}));
    ASSERT_EQ(entries.size(), 8u);
    EXPECT_EQ(entries[5].Attributes, kAttributeDirectory | kAttributeArchive);
    EXPECT_EQ(Describe(ListDirectory("C:\\Data\\*.txt")), (Lines{"A.TXT file 0", "b.txt file 2"}));
}

TEST_F(DirectoryListingTest, SearchReportsWhyNothingWasFound) {
    // A trailing backslash names no entry.
    const std::pair<const char*, int32_t> cases[] = {{"C:\\T\\*.zip", kErrorFileNotFound},
                                                     {"C:\\T\\b.txt", kErrorFileNotFound},
                                                     {"C:\\T\\", kErrorFileNotFound},
                                                     {"C:\\Missing\\*.*", kErrorPathNotFound},
                                                     {"C:\\T\\file.txt\\*.*", kErrorPathNotFound},
                                                     {"Q:\\*.*", kErrorPathNotFound}};
    for (const auto& [pattern, error] : cases) {
        DirectorySearch search;
        FileInfo entry;
        SetLastError(0);
        EXPECT_EQ(search.First(pattern, entry) ? 0 : GetLastError(), error) << pattern;
        EXPECT_FALSE(search.Next(entry)) << pattern;
    }
    DirectorySearch search;
    FileInfo entry;
    ASSERT_TRUE(search.First("C:\\T\\file.txt", entry));
    EXPECT_EQ(entry.Name, "file.txt");
    EXPECT_EQ(search.Next(entry) ? 0 : GetLastError(), kErrorNoMoreFiles);
}

TEST_F(DirectoryListingTest, LinksAndSpecialFilesNeverLeadAWalkAstray) {
    // No walk enters a linked folder: it may lead out of the tree or round in a loop. A link to a file
    // reads as the file it points to.
    std::vector<FileInfo> entries = ListDirectory("C:\\T\\*.*");
    EXPECT_EQ(Describe(entries), (Lines{". dir 0", ".. dir 0", "dir-link dir link 0", "file-link file link 6",
                                        "file.txt file 5", "real dir 0 enter"}));
    ASSERT_EQ(entries.size(), 6u);
    EXPECT_EQ(entries[2].Attributes & (kAttributeDirectory | kAttributeReparsePoint),
              kAttributeDirectory | kAttributeReparsePoint);
    EXPECT_EQ(entries[3].Attributes, kAttributeArchive | kAttributeReparsePoint);

    // Deletion needs to see the rest too, to remove it.
    std::vector<FileInfo> all = ListDirectory("C:\\T\\*", ListingScope::kWithOtherEntries);
    ASSERT_EQ(all.size(), 8u);
    EXPECT_EQ(Describe({all[2], all[6]}), (Lines{"dangling other link 0", "pipe other 0"}));
    FileInfo entry;
    EXPECT_FALSE(LookUpFile("C:\\T\\pipe", entry));
    EXPECT_FALSE(LookUpFile("C:\\T\\dangling", entry));

    // A folder that a walk found real may be a link by the time the walk lists it; the walk logs the error.
    const std::tuple<const char*, FolderLink, int32_t> cases[] = {
        {"C:\\T\\real\\*.*", FolderLink::kRefuse, 0},
        {"C:\\T\\dir-link\\*.*", FolderLink::kFollow, 0},  // a configured path may well be a link
        {"C:\\T\\dir-link\\*.*", FolderLink::kRefuse, kErrorCantResolveFilename},
    };
    for (const auto& [pattern, link, error] : cases) {
        DirectorySearch search(ListingScope::kFilesAndDirectories, AttributeDetail::kTypesOnly, link);
        SetLastError(-1);
        EXPECT_EQ(search.First(pattern, entry) ? 0 : GetLastError(), error) << pattern;
    }
}

// A walk through open folders: links are listed as themselves or by their target, as asked, and never
// opened as a folder; what a link to a file points to is never read.
TEST_F(DirectoryListingTest, AWalkListsLinksAsAskedAndNeverEntersOne) {
    WalkFolder top;
    ASSERT_TRUE(top.OpenTop("C:\\T"));
    std::vector<FileInfo> entries;
    // As found, a link is a file the length of its target text, with its own times.
    ASSERT_TRUE(top.List(ListingScope::kFilesAndDirectories, entries, LinkEntries::kAsFound));
    EXPECT_EQ(Describe(entries),
              (Lines{". dir 0", ".. dir 0", "dangling file link 7",
                     "dir-link file link " + std::to_string(C("outside").size()),
                     "file-link file link " + std::to_string(C("outside/secret.txt").size()),
                     "file.txt file 5", "real dir 0 enter"}));
    ASSERT_EQ(entries.size(), 7u);
    EXPECT_EQ(entries[4].ModificationTime, 1'000'000'000);
    ASSERT_TRUE(top.List(ListingScope::kFilesAndDirectories, entries, LinkEntries::kAsTargetFile));
    EXPECT_EQ(Describe(entries), (Lines{". dir 0", ".. dir 0", "dir-link dir link 0", "file-link file link 6",
                                        "file.txt file 5", "real dir 0 enter"}));

    // Subfolders open relative to the open folder; a link in a folder's place is refused and reported.
    WalkFolder sub;
    EXPECT_TRUE(sub.OpenChild(top, "real"));
    const std::pair<const char*, int32_t> refused[] = {{"dir-link", kErrorCantResolveFilename},
                                                       {"file.txt", kErrorPathNotFound},
                                                       {"gone", kErrorPathNotFound}};
    for (const auto& [name, error] : refused) {
        WalkFolder child;
        EXPECT_EQ(child.OpenChild(top, name) ? 0 : GetLastError(), error) << name;
        EXPECT_FALSE(child.IsOpen()) << name;
    }
}

}  // namespace
}  // namespace quillon
