// Writing below one folder: names that climb out, links planted on the way or in place of a file,
// existing files with and without replacing, links copied as links, and sources that are special files.
#include "platform/ConfinedTree.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/LastError.h"
#include "testing/Environment.h"
#include "testing/TempDir.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;

class ConfinedTreeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        testing::WriteFile(C("src/a.txt"), "from the set");
        testing::WriteFile(C("outside/keep.txt"), "outside");
        ::mkfifo((C("src/fifo")).c_str(), 0600);
        fs::create_symlink(C("outside/keep.txt"), C("src/link.txt"));
        fs::create_directories(C("target"));
        fs::create_directory_symlink(C("outside"), C("target/planted"));
        testing::WriteFile(C("target/file"), "a file where a folder would be");
        ASSERT_TRUE(source_.Open("C:\\src", false));
        ASSERT_TRUE(target_.Open("C:\\target", false));
    }

    std::string C(const std::string& relative) const { return drives_.DriveC() + "/" + relative; }
    std::string Target(const std::string& relative) const { return C("target/" + relative); }

    testing::ScopedDriveMap drives_;
    ConfinedTree source_;
    ConfinedTree target_;
};

TEST_F(ConfinedTreeTest, CopiesLandOnlyBelowTheRoot) {
    struct Case {
        TreePath from;
        TreePath to;
        bool copied;
        int32_t error;
    };
    const Case cases[] = {
        {{"a.txt"}, {"new", "deeper", "a.txt"}, true, 0},
        {{"a.txt"}, {"..", "escaped.txt"}, false, kErrorInvalidName},
        {{"a.txt"}, {"sub/..", "x"}, false, kErrorInvalidName},
        {{"a.txt"}, {std::string("nul\0/..", 7), "x"}, false, kErrorInvalidName},
        {{"a.txt"}, {"", "x"}, false, kErrorInvalidName},
        {{"a.txt"}, {}, false, kErrorInvalidName},
        {{"a.txt"}, {"planted", "x.txt"}, false, kErrorCantResolveFilename},
        {{"a.txt"}, {"file", "x.txt"}, false, kErrorCantResolveFilename},
        {{"link.txt"}, {"from-link.txt"}, true, 0},
        {{"fifo"}, {"from-fifo"}, false, kErrorCantResolveFilename},
        {{"missing"}, {"from-missing"}, false, kErrorFileNotFound},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.to.empty() ? "(empty)" : c.to.back());
        SetLastError(0);
        int64_t bytes = -1;
        EXPECT_EQ(target_.CopyFileFrom(source_, c.from, c.to, false, bytes), c.copied);
        if (!c.copied) {
            EXPECT_EQ(GetLastError(), c.error);
        }
    }
    EXPECT_EQ(testing::ReadFile(Target("new/deeper/a.txt")), "from the set");
    EXPECT_EQ(fs::directory_iterator(C("outside"))->path().filename(), "keep.txt");
    EXPECT_FALSE(fs::exists(C("escaped.txt")));
    // A link comes back as a link with its target text; what it points to is neither read nor written.
    EXPECT_TRUE(fs::is_symlink(Target("from-link.txt")));
    EXPECT_EQ(fs::read_symlink(Target("from-link.txt")), C("outside/keep.txt"));
    EXPECT_EQ(testing::ReadFile(C("outside/keep.txt")), "outside");
}

TEST_F(ConfinedTreeTest, ExistingNamesAreReplacedOnlyWhenAsked) {
    fs::create_symlink(C("outside/keep.txt"), Target("link-in-place"));
    testing::WriteFile(Target("present.txt"), "the user's");
    fs::last_write_time(C("src/a.txt"), fs::file_time_type(std::chrono::seconds(1)));
    for (bool replace : {false, true}) {
        for (const char* name : {"present.txt", "link-in-place"}) {
            SCOPED_TRACE(std::string(name) + (replace ? " replace" : " keep"));
            int64_t bytes = 0;
            EXPECT_EQ(target_.CopyFileFrom(source_, {"a.txt"}, {name}, replace, bytes), replace);
            EXPECT_EQ(replace ? bytes : GetLastError(), replace ? 12 : kErrorFileExists);
        }
    }
    // The link was replaced by the file, never written through; the copy carries the source's time.
    EXPECT_EQ(testing::ReadFile(C("outside/keep.txt")), "outside");
    EXPECT_FALSE(fs::is_symlink(Target("link-in-place")));
    EXPECT_EQ(testing::ReadFile(Target("present.txt")), "from the set");
    EXPECT_EQ(fs::last_write_time(Target("present.txt")), fs::last_write_time(C("src/a.txt")));
}

TEST_F(ConfinedTreeTest, MovesAndLooksNeverPassALink) {
    std::string staging;
    ASSERT_TRUE(target_.CreateUniqueFolder(".staging-", staging));
    testing::WriteFile(Target(staging + "/x/one.txt"), "one");
    testing::WriteFile(Target(staging + "/two.txt"), "two");
    int64_t bytes = 0;
    EXPECT_TRUE(target_.MoveFile({staging, "x", "one.txt"}, {"moved", "one.txt"}, false, bytes));
    EXPECT_EQ(bytes, 3);
    EXPECT_FALSE(target_.MoveFile({staging, "two.txt"}, {"planted", "two.txt"}, true, bytes));
    EXPECT_EQ(GetLastError(), kErrorCantResolveFilename);
    EXPECT_FALSE(target_.MoveFile({staging, "two.txt"}, {"moved", "one.txt"}, false, bytes));
    EXPECT_EQ(GetLastError(), kErrorFileExists);
    EXPECT_EQ(testing::ReadFile(Target("moved/one.txt")), "one");

    struct Case {
        TreePath path;
        bool answered;
        TreeEntry entry;
    };
    const Case cases[] = {
        {{"moved", "one.txt"}, true, TreeEntry::kFile},        {{"moved"}, true, TreeEntry::kFolder},
        {{"nothing", "here"}, true, TreeEntry::kMissing},      {{"planted"}, true, TreeEntry::kLink},
        {{"planted", "keep.txt"}, false, TreeEntry::kMissing}, {{".."}, false, TreeEntry::kMissing},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.back());
        TreeEntry entry = TreeEntry::kFile;
        EXPECT_EQ(target_.Look(c.path, entry), c.answered);
        EXPECT_EQ(entry, c.entry);
    }
}

}  // namespace
}  // namespace quillon
