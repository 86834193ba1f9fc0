// Writing below one folder without ever following a link on the way: names that climb out, links
// planted on the way or in place of a file, existing files with and without replacing, links copied as
// links, sources that are special files, and the modes of what is created.
#include "platform/ConfinedTree.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <tuple>

#include "files/FileTree.h"
#include "platform/FileAttributes.h"
#include "platform/FolderHandle.h"
#include "platform/LastError.h"
#include "platform/NativeFile.h"
#include "testing/Environment.h"
#include "testing/TempDir.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::StatOf;

class ConfinedTreeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        testing::MakeTree(drives_.DriveC(), {{"src/a.txt", "from the set"},
                                             {"outside/keep.txt", "outside"},
                                             {"src/fifo", "|"},
                                             {"src/link.txt", "-> " + C("outside/keep.txt")},
                                             {"target/planted", "-> " + C("outside")},
                                             {"target/file-link", "-> " + C("outside/keep.txt")},
                                             {"target/file", "a file where a folder would be"}});
        ::chmod(C("outside/keep.txt").c_str(), 0444);
        ASSERT_TRUE(source_.Open("C:\\src", false));
        ASSERT_TRUE(target_.Open("C:\\target", false));
    }
    void ExpectOutsideUntouched() {
        EXPECT_EQ(testing::Listing(C("outside")), "keep.txt=outside\n");
        EXPECT_EQ(StatOf(C("outside/keep.txt")).st_mode & 07777, 0444u);
    }

    std::string C(const std::string& relative) const { return drives_.DriveC() + "/" + relative; }
    std::string Target(const std::string& relative) const { return C("target/" + relative); }

    testing::ScopedDriveMap drives_;
    ConfinedTree source_;
    ConfinedTree target_;
};
using FolderHandleTest = ConfinedTreeTest;

// Each copy: its source and target, whether it may replace, whether it is copied, its bytes or its error.
TEST_F(ConfinedTreeTest, CopiesLandOnlyBelowTheRootAndReplaceOnlyWhenAsked) {
    testing::MakeTree(C("target"),
                      {{"link-in-place", "-> " + C("outside/keep.txt")}, {"present.txt", "the user's"}});
    fs::last_write_time(C("src/a.txt"), fs::file_time_type(std::chrono::seconds(1)));
    const std::tuple<TreePath, TreePath, bool, bool, int64_t> cases[] = {
        {{"a.txt"}, {"new", "deeper", "a.txt"}, false, true, 12},
        {{"a.txt"}, {"..", "escaped.txt"}, false, false, kErrorInvalidName},
        {{"a.txt"}, {"sub/..", "x"}, false, false, kErrorInvalidName},
        {{"a.txt"}, {std::string("nul\0/..", 7), "x"}, false, false, kErrorInvalidName},
        {{"a.txt"}, {"", "x"}, false, false, kErrorInvalidName},
        {{"a.txt"}, {}, false, false, kErrorInvalidName},
        {{"a.txt"}, {"planted", "x.txt"}, false, false, kErrorCantResolveFilename},
        {{"a.txt"}, {"file", "x.txt"}, false, false, kErrorCantResolveFilename},
        {{"link.txt"}, {"from-link.txt"}, false, true, 0},
        {{"fifo"}, {"from-fifo"}, false, false, kErrorCantResolveFilename},
        {{"missing"}, {"from-missing"}, false, false, kErrorFileNotFound},
        {{"a.txt"}, {"present.txt"}, false, false, kErrorFileExists},
        {{"a.txt"}, {"link-in-place"}, false, false, kErrorFileExists},
        {{"a.txt"}, {"present.txt"}, true, true, 12},
        {{"a.txt"}, {"link-in-place"}, true, true, 12},
    };
    for (const auto& [from, to, replace, copied, answer] : cases) {
        SCOPED_TRACE((to.empty() ? "(empty)" : to.back()) + (replace ? " replace" : ""));
        SetLastError(0);
        int64_t bytes = -1;
        EXPECT_EQ(target_.CopyFileFrom(source_, from, to, replace, bytes), copied);
        EXPECT_EQ(copied ? bytes : GetLastError(), answer);
    }
    EXPECT_EQ(ReadFile(Target("new/deeper/a.txt")), "from the set");
    EXPECT_FALSE(fs::exists(C("escaped.txt")));
    // A link comes back as a link with its target text; what it points to is neither read nor written.
    EXPECT_TRUE(fs::is_symlink(Target("from-link.txt")));
    EXPECT_EQ(fs::read_symlink(Target("from-link.txt")), C("outside/keep.txt"));
    // A link replaced by the file was never written through; the copy carries the source's time.
    ExpectOutsideUntouched();
    EXPECT_FALSE(fs::is_symlink(Target("link-in-place")));
    EXPECT_EQ(ReadFile(Target("present.txt")), "from the set");
    EXPECT_EQ(fs::last_write_time(Target("present.txt")), fs::last_write_time(C("src/a.txt")));
}

TEST_F(ConfinedTreeTest, MovesAndLooksNeverPassALink) {
    std::string staging;
    ASSERT_TRUE(target_.CreateUniqueFolder(".staging-", staging));
    testing::WriteFile(Target(staging + "/x/one.txt"), "one");
    int64_t bytes = 0;
    EXPECT_TRUE(target_.MoveFile({staging, "x", "one.txt"}, {"moved", "one.txt"}, false, bytes));
    EXPECT_EQ(bytes, 3);
    EXPECT_EQ(ReadFile(Target("moved/one.txt")), "one");

    const std::tuple<TreePath, bool, TreeEntry> cases[] = {
        {{"moved", "one.txt"}, true, TreeEntry::kFile},        {{"moved"}, true, TreeEntry::kFolder},
        {{"nothing", "here"}, true, TreeEntry::kMissing},      {{"planted"}, true, TreeEntry::kLink},
        {{"planted", "keep.txt"}, false, TreeEntry::kMissing}, {{".."}, false, TreeEntry::kMissing},
    };
    for (const auto& [path, answered, expected] : cases) {
        SCOPED_TRACE(path.back());
        TreeEntry entry = TreeEntry::kFile;
        EXPECT_EQ(target_.Look(path, entry), answered);
        EXPECT_EQ(entry, expected);
    }
}

TEST_F(FolderHandleTest, ComponentsAfterTheTrustedPartAreNeverLinks) {
    const size_t trusted = std::string("C:\\target").size();
    const std::tuple<const char*, bool, bool, int32_t> cases[] = {
        {"C:\\target\\planted", true, false, kErrorCantResolveFilename},
        {"C:\\target\\planted\\sub", true, false, kErrorCantResolveFilename},
        {"C:\\target\\file-link\\sub", true, false, kErrorCantResolveFilename},
        {"C:\\target\\new\\deeper", false, false, kErrorPathNotFound},
        {"C:\\target\\new\\deeper", true, true, 0},
    };
    // A chain of folders held open from one path to the next opens each as a handle alone does, also
    // after a failure half-way down.
    FolderChain chain;
    for (const auto& [path, create, opens, error] : cases) {
        SCOPED_TRACE(path);
        SetLastError(0);
        EXPECT_EQ(chain.Open(path, trusted, create), opens);
        EXPECT_EQ(GetLastError(), error);
        FolderHandle folder;
        SetLastError(0);
        EXPECT_EQ(folder.Open(path, trusted, create), opens);
        EXPECT_EQ(GetLastError(), error);
        if (opens) {
            EXPECT_EQ(chain.Folder().NativePath(), folder.NativePath());
        }
    }
    // Nothing is made that the system could not name by its whole path afterwards.
    FolderHandle deep;
    std::string folder = "C:\\target\\new";
    for (int i = 0; i < 20; ++i) {
        folder += "\\" + std::string(250, 'd');
    }
    EXPECT_EQ(deep.Open(folder, trusted, true) ? 0 : GetLastError(), kErrorFilenameTooLong);
    EXPECT_EQ(chain.Open(folder, trusted, true) ? 0 : GetLastError(), kErrorFilenameTooLong);
    EXPECT_FALSE(fs::exists(Target("new/" + std::string(250, 'd'))));
    ASSERT_TRUE(deep.Open("C:\\target\\new", trusted));
    EXPECT_TRUE(deep.CanName(std::string(250, 'f')));
    EXPECT_EQ(deep.CanName(std::string(5000, 'f')) ? 0 : GetLastError(), kErrorFilenameTooLong);

    // The trusted part itself may lie behind a link: the user configured it so.
    FolderHandle behindLink;
    EXPECT_TRUE(behindLink.Open("C:\\target\\planted", std::string("C:\\target\\planted").size()));
    ExpectOutsideUntouched();
}

// Nothing is opened, created or renamed through a link; a link read from the source is copied as a link
// with its own times, and attribute changes leave it and its target alone.
TEST_F(FolderHandleTest, NamesAreCreatedNewAndRenamedAndLinksCopiedWithoutFollowingLinks) {
    FolderHandle folder;
    ASSERT_TRUE(folder.Open("C:\\target", 3));
    NativeFile file;
    EXPECT_FALSE(file.CreateNewIn(folder, "file-link"));
    EXPECT_FALSE(folder.CreateLink("file-link", "/etc/hostname"));
    ASSERT_TRUE(file.CreateNewIn(folder, "new"));
    ASSERT_TRUE(file.WriteAll("copy", 4));
    file.FinishCopy(FileOwnership{0640, ::geteuid(), ::getegid()}, false, 1069692131, 1069692131);
    ASSERT_TRUE(file.Close());
    EXPECT_EQ(StatOf(Target("new")).st_mode & 07777, 0640u);

    std::string target;
    FileOwnership owner;
    int64_t modified = 0, accessed = 0;
    ASSERT_TRUE(ReadSymbolicLink("C:\\target\\file-link", target, owner, modified, accessed));
    EXPECT_EQ(target, C("outside/keep.txt"));
    EXPECT_FALSE(ReadSymbolicLink("C:\\target", target, owner, modified, accessed));  // a real folder
    ASSERT_TRUE(folder.CreateLink("copy", target));
    ASSERT_TRUE(folder.SetLinkTimesAndOwner("copy", owner, 1069692131, 1069692131));
    struct stat info = StatOf(Target("copy"));
    EXPECT_EQ(std::tuple(S_ISLNK(info.st_mode), info.st_mtime), std::tuple(true, 1069692131));
    EXPECT_EQ(WriteFileAttributes("C:\\target\\copy", 0) ? 0 : GetLastError(), kErrorCantResolveFilename);

    // The rename replaces the link itself; what it pointed to stays as it was.
    ASSERT_TRUE(folder.Rename("new", "file-link"));
    EXPECT_EQ(ReadFile(Target("file-link")), "copy");
    EXPECT_FALSE(fs::is_symlink(Target("file-link")));
    ExpectOutsideUntouched();
}

// Group bits of a group the copy cannot have fall back to what others may do. Only an ordinary user
// meets that: root may give a copy any group.
TEST_F(FolderHandleTest, GroupBitsOfAForeignGroupFallBackToWhatOthersMay) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root may give a copy any group";
    }
    FolderHandle folder;
    ASSERT_TRUE(folder.Open("C:\\target", 3));
    // A group the test's user is not in: 65534 (nogroup) unless the test runs in it.
    const uint32_t group = ::getegid() == 65534 ? 65533 : 65534;
    for (auto [mode, expected] : {std::pair{0640u, 0600u}, {0754u, 0744u}}) {
        const std::string name = "f" + std::to_string(mode);
        NativeFile file;
        ASSERT_TRUE(file.CreateNewIn(folder, name));
        file.FinishCopy(FileOwnership{mode, ::geteuid(), group}, false, 1069692131, 1069692131);
        ASSERT_TRUE(file.Close());
        EXPECT_EQ(StatOf(Target(name)).st_mode & 07777, expected) << std::oct << mode;
    }
}

}  // namespace
}  // namespace quillon
