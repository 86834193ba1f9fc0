#include "engine/FolderPrefetch.h"

#include "engine/PassTestTree.h"

namespace quillon {
namespace {

using FolderPrefetchTest = testing::PassTest;

size_t OpenDescriptors() {
    return static_cast<size_t>(std::ranges::distance(std::filesystem::directory_iterator("/proc/self/fd")));
}

// A tree wider than the helper may list ahead, with folders at several depths, empty ones, and files
// at every level.
void WideTree(testing::ScopedDriveMap& drives) {
    for (int top = 0; top < 150; ++top) {
        const std::string folder = "C:\\Src\\t" + std::to_string(top);
        std::filesystem::create_directories(drives.Native(folder));
        for (int sub = 0; sub < top % 4; ++sub) {
            const std::string inner = folder + "\\s" + std::to_string(sub);
            testing::WriteFile(drives.Native(inner + "\\deep\\f.txt"), "deep");
            testing::WriteFile(drives.Native(inner + "\\g.txt"), "g");
        }
        if (top % 3 == 0) {
            testing::WriteFile(drives.Native(folder + "\\h.txt"), "h");
        }
    }
    testing::WriteFile(drives.Native("C:\\Src\\top.txt"), "top");
}

// The walk gives the same files in the same order with the helper as without it, however the two
// threads happen to share the folders, and leaves no folder open behind it.
TEST_F(FolderPrefetchTest, TheScanFindsWhatAPlainWalkFindsInTheSameOrder) {
    WideTree(drives_);
    pass_->ListAhead = false;
    Scan();
    const std::vector<std::string> plain = ListedPaths();
    ASSERT_EQ(plain.size(), 497u);
    const size_t descriptors = OpenDescriptors();
    for (int round = 0; round < 5; ++round) {
        pass_ = std::make_unique<BackupPass>(state_, path_);
        Scan();
        ASSERT_EQ(ListedPaths(), plain) << "round " << round;
        EXPECT_EQ(OpenDescriptors(), descriptors);
    }
    EXPECT_TRUE(state_.CopyErrorList.empty());
}

// A folder that cannot be opened is reported once, and its files alone are missing, whichever thread
// met the failure.
TEST_F(FolderPrefetchTest, AFolderThatFailsToOpenIsReportedByTheScan) {
    WideTree(drives_);
    Scan();
    const std::vector<std::string> all = ListedPaths();
    for (int nth : {1, 7, 60, 140}) {
        SCOPED_TRACE(nth);
        NewPass();
        ScopedFaults faults;
        InjectFault(FileOperation::kOpenFolder, nth, EACCES);
        Scan();
        ASSERT_EQ(state_.CopyErrorList.size(), 1u);
        const std::string& line = state_.CopyErrorList[0];
        const size_t from = line.find("Folder ") + 7;
        const std::string folder = line.substr(from, line.find(" not backed up") - from);
        std::vector<std::string> expected = all;
        std::erase_if(expected, [&](const std::string& path) { return path.starts_with(folder + "\\"); });
        EXPECT_EQ(ListedPaths(), expected) << folder;
    }
}

// A batch left before all its folders were taken (an error above them, the end of a run) waits for
// the helper and closes every folder listed ahead.
TEST_F(FolderPrefetchTest, ABatchLeftEarlyClosesWhatWasListedAhead) {
    std::vector<std::string> names;
    for (int i = 0; i < 100; ++i) {
        names.push_back("d" + std::to_string(i));
        std::filesystem::create_directories(drives_.Native("C:\\Src\\" + names.back() + "\\x"));
    }
    const size_t descriptors = OpenDescriptors();
    {
        WalkFolder top;
        ASSERT_TRUE(top.OpenTop("C:\\Src"));
        FolderPrefetch prefetch(ListingScope::kWithOtherEntries, LinkEntries::kAsFound, true);
        FolderPrefetch::Batch batch(prefetch, top, names);
        const std::unique_ptr<FolderListing> first = batch.Take();
        EXPECT_TRUE(first->Listed && first->Entries.size() == 3);  // ".", ".." and "x"
    }
    EXPECT_EQ(OpenDescriptors(), descriptors);
}

}  // namespace
}  // namespace quillon
