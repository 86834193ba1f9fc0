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
using testing::ScopedDriveMap;
using testing::WriteFile;

TEST(FileSystemTest, CreatingAndRemovingSpeakWindowsErrors) {
    ScopedDriveMap drives;
    testing::TempDir outside;
    WriteFile(drives.DriveC() + "/file", "x");
    WriteFile(drives.DriveC() + "/full/x", "x");
    WriteFile(drives.DriveC() + "/ro.txt", "x");
    ::chmod((drives.DriveC() + "/ro.txt").c_str(), 0444);  // READONLY protects even from root, as on Windows
    fs::create_directory_symlink(outside.Path(), drives.DriveC() + "/dir-link");
    EXPECT_TRUE(CreateDirectory("C:\\New"));
    EXPECT_TRUE(fs::is_directory(drives.DriveC() + "/New"));
    // A file of the name of a new directory counts as existing, as on Windows; -1: any error.
    enum Call { kCreate, kDelete, kRemove };
    struct Case {
        Call call;
        const char* path;
        int32_t error;
    } cases[] = {{kCreate, "C:\\New", kErrorAlreadyExists},
                 {kCreate, "C:\\file", kErrorAlreadyExists},
                 {kCreate, "C:\\a\\b", kErrorPathNotFound},
                 {kCreate, "C:\\file\\b", kErrorPathNotFound},
                 {kCreate, "Q:\\x", kErrorPathNotFound},
                 {kDelete, "C:\\ro.txt", kErrorAccessDenied},
                 {kDelete, "C:\\full", kErrorAccessDenied},
                 {kRemove, "C:\\full", kErrorDirNotEmpty},
                 {kRemove, "C:\\dir-link", -1}};
    for (const auto& c : cases) {
        SetLastError(0);
        bool done = c.call == kCreate   ? CreateDirectory(c.path)
                    : c.call == kDelete ? DeleteFile(c.path)
                                        : RemoveDirectory(c.path);
        EXPECT_FALSE(done) << c.call << " " << c.path;
        if (c.error != -1) {
            EXPECT_EQ(GetLastError(), c.error) << c.call << " " << c.path;
        }
    }
    EXPECT_TRUE(fs::exists(drives.DriveC() + "/ro.txt"));
    EXPECT_TRUE(DeleteFile("C:\\dir-link"));  // a link goes as a link, never followed
    EXPECT_TRUE(fs::is_directory(outside.Path()));
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
    // A shared prefix of names is no mount point.
    const std::pair<const char*, const char*> cases[] = {{"/", "ext4"},
                                                         {"/home/u", "ext4"},
                                                         {"/mnt/nfs", "nfs4"},
                                                         {"/mnt/nfs/a/b", "nfs4"},
                                                         {"/mnt/nfs-local/x", "ext4"},
                                                         {"/mnt/nfs/cache/f", "tmpfs"},
                                                         {"/mnt/my share/f", "cifs"},
                                                         {"/home/u/remote/doc", "fuse.sshfs"},
                                                         {"/media/disk/x", "9p"}};
    for (const auto& [path, type] : cases) {
        EXPECT_EQ(FileSystemTypeIn(mountInfo, path), type) << path;
    }
    EXPECT_EQ(FileSystemTypeIn("", "/x"), "");
    EXPECT_NE(FileSystemTypeOf("/"), "");
    for (const char* type : {"nfs4", "cifs", "smb3", "9p", "fuse.sshfs", "fuse.rclone", "davfs"}) {
        EXPECT_TRUE(IsNetworkFileSystemType(type)) << type;
    }
    for (const char* type : {"ext4", "tmpfs", "fuse", "overlay", ""}) {
        EXPECT_FALSE(IsNetworkFileSystemType(type)) << type;
    }
}

}  // namespace
}  // namespace quillon
