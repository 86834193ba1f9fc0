// A folder that a walk found real and that is a link by the time the walk lists it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/DirectoryListing.h"
#include "platform/LastError.h"
#include "testing/Environment.h"
#include "testing/TempDir.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;

TEST(DirectoryFolderLinkTest, ARefusedFolderLinkIsNotListed) {
    testing::ScopedDriveMap drives;
    testing::WriteFile(drives.DriveC() + "/real/inside.txt", "x");
    fs::create_directory_symlink("/", drives.DriveC() + "/swapped");  // what "swapped" became meanwhile
    struct Case {
        const char* pattern;
        FolderLink link;
        bool listed;
    } cases[] = {
        {"C:\\real\\*.*", FolderLink::kRefuse, true},
        {"C:\\swapped\\*.*", FolderLink::kFollow, true},  // a configured path may well be a link
        {"C:\\swapped\\*.*", FolderLink::kRefuse, false},
    };
    for (const Case& c : cases) {
        DirectorySearch search(ListingScope::kFilesAndDirectories, AttributeDetail::kTypesOnly, c.link);
        FileInfo entry;
        EXPECT_EQ(search.First(c.pattern, entry), c.listed) << c.pattern;
        if (!c.listed) {
            EXPECT_EQ(GetLastError(), kErrorCantResolveFilename) << c.pattern;  // logged by the walk
        }
    }
}

// A walk through open folders: links are listed as themselves or by their target, as asked, and never
// opened as a folder; what a link to a file points to is never read.
TEST(DirectoryFolderLinkTest, AWalkListsLinksAsAskedAndNeverEntersOne) {
    testing::ScopedDriveMap drives;
    const std::string c = drives.DriveC();
    testing::WriteFile(c + "/top/file.txt", "12345");
    testing::WriteFile(c + "/outside/secret.txt", "secret");
    fs::create_directories(c + "/top/sub");
    fs::create_directory_symlink(c + "/outside", c + "/top/to-folder");
    fs::create_symlink(c + "/outside/secret.txt", c + "/top/to-file");
    fs::create_symlink("nowhere", c + "/top/dangling");
    const timespec linkTime[2] = {{1'000'000'000, 0}, {1'000'000'000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (c + "/top/to-file").c_str(), linkTime, AT_SYMLINK_NOFOLLOW), 0);

    WalkFolder top;
    ASSERT_TRUE(top.OpenTop("C:\\top"));
    struct Expected {
        const char* name;
        EntryKind kind;
        bool link;
        int64_t size;
    };
    struct Case {
        LinkEntries links;
        std::vector<Expected> entries;
    } cases[] = {
        {LinkEntries::kAsFound,
         {{".", EntryKind::kDirectory, false, 0},
          {"..", EntryKind::kDirectory, false, 0},
          {"dangling", EntryKind::kFile, true, 7},
          {"file.txt", EntryKind::kFile, false, 5},
          {"sub", EntryKind::kDirectory, false, 0},
          {"to-file", EntryKind::kFile, true, static_cast<int64_t>((c + "/outside/secret.txt").size())},
          {"to-folder", EntryKind::kFile, true, static_cast<int64_t>((c + "/outside").size())}}},
        {LinkEntries::kAsTargetFile,
         {{".", EntryKind::kDirectory, false, 0},
          {"..", EntryKind::kDirectory, false, 0},
          {"file.txt", EntryKind::kFile, false, 5},
          {"sub", EntryKind::kDirectory, false, 0},
          {"to-file", EntryKind::kFile, true, 6},
          {"to-folder", EntryKind::kDirectory, true, 0}}},
    };
    for (const Case& listing : cases) {
        SCOPED_TRACE(listing.links == LinkEntries::kAsFound ? "as found" : "as target file");
        std::vector<FileInfo> entries;
        ASSERT_TRUE(top.List(ListingScope::kFilesAndDirectories, entries, listing.links));
        ASSERT_EQ(entries.size(), listing.entries.size());
        for (size_t i = 0; i < entries.size(); ++i) {
            SCOPED_TRACE(entries[i].Name);
            EXPECT_EQ(entries[i].Name, listing.entries[i].name);
            EXPECT_EQ(entries[i].Kind, listing.entries[i].kind);
            EXPECT_EQ(entries[i].IsLink(), listing.entries[i].link);
            EXPECT_EQ(entries[i].Size, listing.entries[i].size);
            EXPECT_FALSE(entries[i].MayEnter() && entries[i].IsLink());
            if (listing.links == LinkEntries::kAsFound && entries[i].Name == "to-file") {
                EXPECT_EQ(entries[i].ModificationTime, 1'000'000'000);  // the link's own time
            }
        }
    }

    // Subfolders open relative to the open folder; a link in a folder's place is refused and reported.
    WalkFolder sub;
    EXPECT_TRUE(sub.OpenChild(top, "sub"));
    const std::pair<const char*, int32_t> refused[] = {{"to-folder", kErrorCantResolveFilename},
                                                       {"file.txt", kErrorPathNotFound},
                                                       {"gone", kErrorPathNotFound}};
    for (const auto& [name, error] : refused) {
        WalkFolder child;
        EXPECT_FALSE(child.OpenChild(top, name)) << name;
        EXPECT_EQ(GetLastError(), error) << name;
        EXPECT_FALSE(child.IsOpen()) << name;
    }
}

}  // namespace
}  // namespace quillon
