#include "files/DeleteTree.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <map>
#include <tuple>

#include "files/FileTree.h"
#include "platform/FaultInjection.h"
#include "platform/FileAttributes.h"
#include "platform/LastError.h"
#include "testing/CaptureTrace.h"
#include "testing/Environment.h"
#include "testing/TempDir.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using testing::Listing;
using testing::MakeTree;
using Lines = std::vector<std::string>;

class DeleteTreeTest : public ::testing::Test {
  protected:
    DeleteTreeTest() { drives.Map('D', backup.Path()); }
    std::string D(const std::string& relative) { return backup / relative; }

    void MakeSet(const std::string& set) {
        MakeTree(D(set), {{"Quillon.txt", "control"}, {"a/1.txt", "1"}, {"b/2.txt", "2"}, {"c/3.txt", "3"}});
        WriteFileAttributes("D:\\" + set + "\\Quillon.txt", kAttributeReadOnly);
        WriteFileAttributes("D:\\" + set + "\\b\\2.txt", kAttributeReadOnly | kAttributeHidden);
    }

    testing::ScopedDriveMap drives;
    testing::TempDir backup;
    testing::TempDir outside;
    ScopedFaults faults;
};

TEST_F(DeleteTreeTest, DeletesEverythingBelowButNothingOutside) {
    MakeSet("Docs/2003-05-17");
    MakeTree(outside.Path(), {{"keep.txt", "keep"}, {"dir/inner.txt", "inner"}});
    ::chmod((outside / "keep.txt").c_str(), 0444);
    std::string set = D("Docs/2003-05-17");
    MakeTree(set, {{"a/file-link", "-> " + outside / "keep.txt"},
                   {"dir-link", "-> " + outside / "dir"},
                   {"c/cycle", "-> " + set},
                   {"dangling", "-> " + set + "/nowhere"},
                   {"b/pipe", "|"}});

    Lines lines;
    SetLastError(0);
    EXPECT_TRUE(DeleteDatedDirectory("D:\\Docs\\2003-05-17", &lines));
    EXPECT_EQ(lines, Lines{});
    EXPECT_EQ(Listing(backup.Path()), "Docs/\n");
    EXPECT_EQ(GetLastError(), kErrorSuccess);  // the end of the listings is not an error
    EXPECT_EQ(Listing(outside.Path()), "dir/\ndir/inner.txt=inner\nkeep.txt=keep\n");
    EXPECT_EQ(fs::status(outside / "keep.txt").permissions() & fs::perms::owner_write, fs::perms::none);
}

TEST_F(DeleteTreeTest, ATreeThatIsALinkLosesOnlyTheLinkAndTheStagingFolderMayStay) {
    MakeTree(outside.Path(), {{"precious/a.txt", "a"}});
    MakeTree(backup.Path(), {{"2003-05-17", "-> " + outside / "precious"}});
    MakeTree(drives.DriveC(), {{"Temp/QuilRun", "-> " + outside / "precious"}});
    EXPECT_TRUE(DeleteDatedDirectory("D:\\2003-05-17", nullptr));
    EXPECT_TRUE(DeleteTempDirectory("C:\\Temp\\QuilRun\\", nullptr, false));
    EXPECT_TRUE(DeleteTempDirectory("C:\\Temp\\QuilRun\\", nullptr, true));
    EXPECT_EQ(Listing(backup.Path()) + Listing(drives.DriveC()), "Temp/\n");
    EXPECT_EQ(Listing(outside.Path()), "precious/\nprecious/a.txt=a\n");

    MakeTree(drives.DriveC(), {{"Temp/QuilRun/staged/a.doc", "a"}, {"Temp/QuilRun/b.doc", "b"}});
    EXPECT_TRUE(DeleteTempDirectory("C:\\Temp\\QuilRun\\", nullptr, false));
    EXPECT_EQ(Listing(drives.DriveC()), "Temp/\nTemp/QuilRun/\n");
    EXPECT_TRUE(DeleteTempDirectory("C:\\Temp\\QuilRun\\", nullptr, true));
    EXPECT_EQ(Listing(drives.DriveC()), "Temp/\n");
}

TEST_F(DeleteTreeTest, GuardsRefuseWithTheirTwoLines) {
    MakeSet("Docs/2003-05-17");
    MakeSet("2003-5-17");
    MakeSet("Docs/x2003-05-17y");
    MakeTree(drives.DriveC(), {{"Temporary/x/f", "f"}, {"temp/f", "f"}});
    const std::pair<const char*, const char*> refused[] = {
        {"D:\\Docs", "Dat-Dir-Term in Path >D:\\Docs<"},
        {"D:\\2003-5-17", "Dat-Dir-Term in Path >D:\\2003-5-17<"},
        {"C:\\Temporary\\x\\", "'Temp' in Path >C:\\Temporary\\x\\<"}};
    for (const auto& [path, first] : refused) {
        bool dated = path[0] == 'D';
        Lines lines;
        EXPECT_FALSE(dated ? DeleteDatedDirectory(path, &lines) : DeleteTempDirectory(path, &lines, true));
        EXPECT_EQ(lines, (Lines{first, "missing. For security no deletion will be done."})) << path;
        // Without a list the guards refuse just the same, silently.
        EXPECT_FALSE(dated ? DeleteDatedDirectory(path, nullptr) : DeleteTempDirectory(path, nullptr, true));
    }
    EXPECT_TRUE(fs::exists(D("Docs/2003-05-17/a/1.txt")));
    EXPECT_TRUE(fs::exists(D("2003-5-17/a/1.txt")));
    // The date may stand anywhere in the name; letter case does not matter to the temp guard.
    EXPECT_TRUE(DeleteDatedDirectory("D:\\Docs\\x2003-05-17y", nullptr));
    EXPECT_FALSE(fs::exists(D("Docs/x2003-05-17y")));
    EXPECT_TRUE(DeleteTempDirectory("c:\\temp\\", nullptr, true));
    EXPECT_EQ(Listing(drives.DriveC()), "Temporary/\nTemporary/x/\nTemporary/x/f=f\n");
    // An empty path deletes nothing; the tree itself must not take it for the root of the drive.
    EXPECT_TRUE(DeleteDatedDirectory("", nullptr));
    EXPECT_TRUE(DeleteTempDirectory("", nullptr, true));
    EXPECT_TRUE(DeleteDirectoryTree("", nullptr, true));
}

// Fail each deletion and each directory removal in turn: every run ends in false with one line (in name
// order: a\1.txt, then b\2.txt, which is read-only; the set itself after a, b and c), and a clean retry
// always finishes the tree, read-only bits cleared on the way.
TEST_F(DeleteTreeTest, EveryFailingStepLeavesARetryableTree) {
    const std::map<std::pair<FileOperation, int>, Lines> exact = {
        {{FileOperation::kDelete, 2}, {"File >D:\\2003-05-17\\b\\2.txt< could not be deleted."}},
        {{FileOperation::kRemoveDirectory, 4}, {"Directory >D:\\2003-05-17< could not be deleted."}}};
    for (FileOperation operation : {FileOperation::kDelete, FileOperation::kRemoveDirectory}) {
        MakeSet("2003-05-17");
        ClearFaults();
        ASSERT_TRUE(DeleteDatedDirectory("D:\\2003-05-17", nullptr));
        int calls = FaultCallCount(operation);
        ASSERT_GT(calls, 0);
        for (int nth = 1; nth <= calls; ++nth) {
            SCOPED_TRACE(::testing::Message() << static_cast<int>(operation) << " #" << nth);
            MakeSet("2003-05-17");
            ClearFaults();
            InjectFault(operation, nth, EIO);
            Lines lines;
            testing::CaptureTrace trace;
            EXPECT_FALSE(DeleteDatedDirectory("D:\\2003-05-17", &lines));
            ASSERT_EQ(lines.size(), 1u);
            // Only a folder that stays is traced.
            EXPECT_EQ(trace.Records(),
                      operation == FileOperation::kDelete ? Lines{} : Lines{"*** " + lines[0] + "\n"});
            if (auto it = exact.find({operation, nth}); it != exact.end()) {
                EXPECT_EQ(lines, it->second);
                EXPECT_EQ(fs::exists(D("2003-05-17/c/3.txt")), operation == FileOperation::kDelete);
            }
            ClearFaults();
            EXPECT_TRUE(DeleteDatedDirectory("D:\\2003-05-17", nullptr));
            EXPECT_FALSE(fs::exists(D("2003-05-17")));
        }
    }
}

// Whoever may write into the backup folder swaps a folder of the set being deleted for a link to a
// folder outside, just before the deletion opens it, or swaps the set itself while the deletion is
// inside it. Nothing outside is ever deleted: the link goes as a link, or the deletion goes on in the
// real folder wherever it now is.
TEST_F(DeleteTreeTest, AFolderSwappedForALinkDuringTheDeletionNeverLeadsOutside) {
    // What is swapped (below the backup folder), before the deletion opens its nth subfolder; deleted.
    const std::tuple<const char*, const char*, int, bool> cases[] = {
        {"a subfolder before it is opened", "2003-05-17/b", 2, true},
        {"the set while the deletion is inside it", "2003-05-17", 2, false},
    };
    for (auto [name, swapped, openingFolder, deleted] : cases) {
        SCOPED_TRACE(name);
        fs::remove_all(D("2003-05-17"));
        fs::remove_all(D("moved"));
        MakeSet("2003-05-17");
        MakeTree(outside.Path(),
                 {{"b/2.txt", "outside"}, {"c/3.txt", "outside"}, {"Quillon.txt", "outside"}});
        ScopedFaults faults;
        InjectHook(FileOperation::kOpenFolder, openingFolder, [&] {
            fs::rename(D(swapped), D("moved"));
            fs::create_directory_symlink(outside.Path(), D(swapped));
        });
        Lines lines;
        EXPECT_EQ(DeleteDatedDirectory("D:\\2003-05-17", &lines), deleted) << ::testing::PrintToString(lines);
        EXPECT_EQ(Listing(outside.Path()), "Quillon.txt=outside\nb/\nb/2.txt=outside\nc/\nc/3.txt=outside\n");
        EXPECT_EQ(fs::exists(fs::symlink_status(D("2003-05-17"))), !deleted);
    }
}

}  // namespace
}  // namespace quillon
