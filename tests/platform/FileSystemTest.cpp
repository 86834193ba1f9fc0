#include "platform/FileSystem.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/LastError.h"
#include "testing/Environment.h"
#include "testing/TempDir.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::ScopedDriveMap;
using testing::WriteFile;

TEST(FileSystemTest, CreatingDirectoriesSpeaksWindowsErrors) {
    ScopedDriveMap drives;
    WriteFile(drives.DriveC() + "/file", "x");
    EXPECT_TRUE(CreateDirectory("C:\\New"));
    EXPECT_TRUE(fs::is_directory(drives.DriveC() + "/New"));
    struct Case {
        const char* path;
        int32_t error;
    } cases[] = {
        {"C:\\New", kErrorAlreadyExists}, {"C:\\file", kErrorAlreadyExists},  // a file of that name counts,
                                                                              // as on Windows
        {"C:\\a\\b", kErrorPathNotFound}, {"C:\\file\\b", kErrorPathNotFound}, {"Q:\\x", kErrorPathNotFound},
    };
    for (const auto& c : cases) {
        SetLastError(0);
        EXPECT_FALSE(CreateDirectory(c.path)) << c.path;
        EXPECT_EQ(GetLastError(), c.error) << c.path;
    }
}

TEST(FileSystemTest, DeletionRefusesReadOnlyFilesAndNeverFollowsLinks) {
    ScopedDriveMap drives;
    testing::TempDir outside;
    WriteFile(outside / "keep.txt", "keep");
    fs::create_directory(outside / "dir");
    WriteFile(drives.DriveC() + "/ro.txt", "x");
    ::chmod((drives.DriveC() + "/ro.txt").c_str(), 0444);
    fs::create_symlink(outside / "keep.txt", drives.DriveC() + "/file-link");
    fs::create_directory_symlink(outside / "dir", drives.DriveC() + "/dir-link");
    fs::create_directory(drives.DriveC() + "/full");
    WriteFile(drives.DriveC() + "/full/x", "x");

    SetLastError(0);
    EXPECT_FALSE(DeleteFile("C:\\ro.txt"));  // even root may not: READONLY protects on Windows
    EXPECT_EQ(GetLastError(), kErrorAccessDenied);
    EXPECT_TRUE(fs::exists(drives.DriveC() + "/ro.txt"));
    EXPECT_FALSE(DeleteFile("C:\\full"));
    EXPECT_EQ(GetLastError(), kErrorAccessDenied);

    EXPECT_TRUE(DeleteFile("C:\\file-link"));
    EXPECT_TRUE(DeleteFile("C:\\dir-link"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(drives.DriveC() + "/dir-link")));
    EXPECT_EQ(ReadFile(outside / "keep.txt"), "keep");
    EXPECT_TRUE(fs::is_directory(outside / "dir"));

    EXPECT_FALSE(RemoveDirectory("C:\\full"));
    EXPECT_EQ(GetLastError(), kErrorDirNotEmpty);
    fs::create_directory_symlink(outside / "dir", drives.DriveC() + "/dir-link");
    EXPECT_FALSE(RemoveDirectory("C:\\dir-link"));
    EXPECT_TRUE(fs::is_directory(outside / "dir"));
}

TEST(FileSystemTest, MountTableDecidesTheFileSystemType) {
    const std::string mountInfo =
        "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
        "30 22 0:40 / /mnt/nfs rw shared:2 - nfs4 server:/export rw,vers=4.2\n"
        "31 22 0:41 / /mnt/nfs-local rw - ext4 /dev/sdb1 rw\n"
        "32 22 0:42 / /mnt/my\\040share rw - cifs //host/share rw\n"
        "33 22 0:43 / /home/u/remote rw master:5 unbindable - fuse.sshfs u@host: rw\n"
        "34 30 0:44 / /mnt/nfs/cache rw - tmpfs tmpfs rw\n"
        "35 22 0:45 / /media/disk rw - vfat /dev/sdc1 rw\n"
        "36 22 0:46 / /media/disk rw - 9p host0 rw\n"  // mounted over the vfat one
        "garbage line\n";
    struct Case {
        const char* path;
        const char* type;
    } cases[] = {
        {"/", "ext4"},
        {"/home/u", "ext4"},
        {"/mnt/nfs", "nfs4"},
        {"/mnt/nfs/a/b", "nfs4"},
        {"/mnt/nfs-local/x", "ext4"},  // a shared prefix of names is no mount point
        {"/mnt/nfs/cache/f", "tmpfs"},
        {"/mnt/my share/f", "cifs"},
        {"/home/u/remote/doc", "fuse.sshfs"},
        {"/media/disk/x", "9p"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FileSystemTypeIn(mountInfo, c.path), c.type) << c.path;
    }
    EXPECT_EQ(FileSystemTypeIn("", "/x"), "");

    for (const char* type : {"nfs", "nfs4", "cifs", "smb3", "smbfs", "9p", "ceph", "glusterfs", "afs",
                             "fuse.sshfs", "fuse.rclone", "davfs"}) {
        EXPECT_TRUE(IsNetworkFileSystemType(type)) << type;
    }
    for (const char* type : {"ext4", "xfs", "btrfs", "tmpfs", "vfat", "fuse", "overlay", ""}) {
        EXPECT_FALSE(IsNetworkFileSystemType(type)) << type;
    }
    EXPECT_NE(FileSystemTypeOf("/"), "");
}

}  // namespace
}  // namespace quillon
