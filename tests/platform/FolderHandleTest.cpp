#include "platform/FolderHandle.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "platform/FileAttributes.h"
#include "platform/LastError.h"
#include "platform/NativeFile.h"
#include "testing/Environment.h"
#include "testing/TempDir.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::ScopedDriveMap;
using testing::WriteFile;

mode_t ModeOf(const std::string& native) {
    struct stat info {};
    EXPECT_EQ(::lstat(native.c_str(), &info), 0) << native;
    return info.st_mode & 07777;
}

class FolderHandleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // Something outside the destination that a planted link points to.
        WriteFile(outside / "secret", "outside");
        ::chmod((outside / "secret").c_str(), 0444);
        fs::create_directories(drives.DriveC() + "/Dest");
        fs::create_directory_symlink(outside.Path(), drives.DriveC() + "/Dest/2003-11-24");
        fs::create_symlink(outside / "secret", drives.DriveC() + "/Dest/planted");
    }
    void ExpectOutsideUntouched() {
        EXPECT_EQ(ReadFile(outside / "secret"), "outside");
        EXPECT_EQ(ModeOf(outside / "secret"), 0444u);
        EXPECT_EQ(std::distance(fs::directory_iterator(outside.Path()), fs::directory_iterator()), 1);
    }

    ScopedDriveMap drives;
    testing::TempDir outside;
};

TEST_F(FolderHandleTest, ComponentsAfterTheTrustedPartAreNeverLinks) {
    const size_t trusted = std::string("C:\\Dest").size();
    struct Case {
        const char* folder;
        bool create;
        bool opens;
        int32_t error;
    } cases[] = {
        {"C:\\Dest\\2003-11-24", true, false, kErrorCantResolveFilename},
        {"C:\\Dest\\2003-11-24\\sub", true, false, kErrorCantResolveFilename},
        {"C:\\Dest\\planted\\sub", true, false, kErrorCantResolveFilename},
        {"C:\\Dest\\new\\deeper", false, false, kErrorPathNotFound},
        {"C:\\Dest\\new\\deeper", true, true, 0},
    };
    // A chain of folders held open from one path to the next opens each as a handle alone does, also
    // after a failure half-way down.
    FolderChain chain;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        SetLastError(0);
        EXPECT_EQ(chain.Open(c.folder, trusted, c.create), c.opens);
        EXPECT_EQ(GetLastError(), c.error);
        FolderHandle folder;
        SetLastError(0);
        EXPECT_EQ(folder.Open(c.folder, trusted, c.create), c.opens);
        EXPECT_EQ(GetLastError(), c.error);
        if (c.opens) {
            EXPECT_EQ(chain.Folder().NativePath(), folder.NativePath());
        }
    }
    // From one branch to another and back: each file lands in the folder its path names.
    const std::pair<const char*, const char*> steps[] = {{"C:\\Dest\\new\\other\\x", "new/other/x/1"},
                                                         {"C:\\Dest\\new\\deeper", "new/deeper/2"},
                                                         {"C:\\Dest\\new", "new/3"},
                                                         {"C:\\Dest\\new\\other", "new/other/4"}};
    for (const auto& [folder, file] : steps) {
        SCOPED_TRACE(folder);
        ASSERT_TRUE(chain.Open(folder, trusted, true));
        NativeFile created;
        ASSERT_TRUE(created.CreateNewIn(chain.Folder(), std::string(1, file[std::strlen(file) - 1])));
        EXPECT_TRUE(fs::exists(drives.DriveC() + "/Dest/" + file));
    }
    // Nothing is made that the system could not name by its whole path afterwards.
    FolderHandle deep;
    std::string folder = "C:\\Dest\\new";
    for (int i = 0; i < 20; ++i) {
        folder += "\\" + std::string(250, 'd');
    }
    EXPECT_FALSE(deep.Open(folder, trusted, true));
    EXPECT_EQ(GetLastError(), kErrorFilenameTooLong);
    EXPECT_FALSE(chain.Open(folder, trusted, true));
    EXPECT_EQ(GetLastError(), kErrorFilenameTooLong);
    EXPECT_FALSE(fs::exists(drives.DriveC() + "/Dest/new/" + std::string(250, 'd')));
    ASSERT_TRUE(deep.Open("C:\\Dest\\new", trusted));
    EXPECT_TRUE(deep.CanName(std::string(250, 'f')));
    EXPECT_FALSE(deep.CanName(std::string(5000, 'f')));
    EXPECT_EQ(GetLastError(), kErrorFilenameTooLong);

    // The trusted part itself may lie behind a link: the user configured it so.
    FolderHandle behindLink;
    EXPECT_TRUE(behindLink.Open("C:\\Dest\\2003-11-24", std::string("C:\\Dest\\2003-11-24").size()));
    ExpectOutsideUntouched();
}

// Nothing is opened, created or renamed through a link; a link read from the source is copied as a link
// with its own times, and attribute changes leave it and its target alone.
TEST_F(FolderHandleTest, NamesAreCreatedNewAndRenamedAndLinksCopiedWithoutFollowingLinks) {
    FolderHandle folder;
    ASSERT_TRUE(folder.Open("C:\\Dest", 3));
    NativeFile file;
    EXPECT_FALSE(file.CreateNewIn(folder, "planted"));
    EXPECT_FALSE(folder.CreateLink("planted", "/etc/hostname"));
    ASSERT_TRUE(file.CreateNewIn(folder, "new"));
    ASSERT_TRUE(file.WriteAll("copy", 4));
    file.FinishCopy(FileOwnership{0640, ::geteuid(), ::getegid()}, false, 1069692131, 1069692131);
    ASSERT_TRUE(file.Close());
    EXPECT_EQ(ModeOf(drives.DriveC() + "/Dest/new"), 0640u);

    std::string target;
    FileOwnership owner;
    int64_t modified = 0, accessed = 0;
    ASSERT_TRUE(ReadSymbolicLink("C:\\Dest\\planted", target, owner, modified, accessed));
    EXPECT_EQ(target, outside / "secret");
    EXPECT_FALSE(ReadSymbolicLink("C:\\Dest", target, owner, modified, accessed));  // a real folder
    ASSERT_TRUE(folder.CreateLink("copy", target));
    ASSERT_TRUE(folder.SetLinkTimesAndOwner("copy", owner, 1069692131, 1069692131));
    struct stat info {};
    ASSERT_EQ(::lstat((drives.DriveC() + "/Dest/copy").c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_EQ(info.st_mtime, 1069692131);
    EXPECT_FALSE(WriteFileAttributes("C:\\Dest\\copy", 0));
    EXPECT_EQ(GetLastError(), kErrorCantResolveFilename);

    // The rename replaces the link itself; what it pointed to stays as it was.
    ASSERT_TRUE(folder.Rename("new", "planted"));
    EXPECT_EQ(ReadFile(drives.DriveC() + "/Dest/planted"), "copy");
    EXPECT_FALSE(fs::is_symlink(drives.DriveC() + "/Dest/planted"));
    ExpectOutsideUntouched();
}

TEST_F(FolderHandleTest, PermissionsNeverWidenAndCreatedFoldersFollowTheirModel) {
    // Group bits of a group the copy cannot have fall back to what others may do.
    struct Case {
        uint32_t mode;
        bool foreignGroup;
        bool readOnly;
        uint32_t expected;
    } cases[] = {
        {0600, false, false, 0600}, {0755, false, false, 0755}, {04755, false, false, 0755},
        {0640, false, true, 0440},  {0640, true, false, 0600},  {0754, true, false, 0744},
    };
    const bool root = ::geteuid() == 0;
    FolderHandle folder;
    ASSERT_TRUE(folder.Open("C:\\Dest", 3));
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << std::oct << c.mode << (c.foreignGroup ? " foreign" : ""));
        if (c.foreignGroup && root) {
            continue;  // root may give a copy any group
        }
        const std::string name = "f" + std::to_string(++n);
        NativeFile file;
        ASSERT_TRUE(file.CreateNewIn(folder, name));
        // A group the test's user is not in: 65534 (nogroup) unless the test runs in it.
        uint32_t group = c.foreignGroup ? (::getegid() == 65534 ? 65533 : 65534) : ::getegid();
        file.FinishCopy(FileOwnership{c.mode, ::geteuid(), group}, c.readOnly, 1069692131, 1069692131);
        ASSERT_TRUE(file.Close());
        EXPECT_EQ(ModeOf(drives.DriveC() + "/Dest/" + name), c.expected);
    }

    // A folder made for the copy of a 0700 folder keeps others out; one without a model is as usual.
    fs::create_directories(drives.DriveC() + "/Src/private");
    ::chmod((drives.DriveC() + "/Src/private").c_str(), 0750);
    FolderHandle made;
    ASSERT_TRUE(made.Open("C:\\Dest\\set\\private", 8, true, {"", "C:\\Src\\private"}));
    EXPECT_EQ(ModeOf(drives.DriveC() + "/Dest/set/private"), 0750u);
    const mode_t mask = ::umask(022);
    ::umask(mask);
    EXPECT_EQ(ModeOf(drives.DriveC() + "/Dest/set"), 0777u & ~mask);
}

}  // namespace
}  // namespace quillon
