// A folder that a walk found real and that is a link by the time the walk lists it.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace quillon
