// Creating, removing, opening and flushing by Windows path, where every failure speaks a Windows error
// number and changes nothing; the attributes stored with a file; and which file system a path lies on.
#include "platform/FileSystem.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <filesystem>
#include <tuple>

#include "files/FileTree.h"
#include "platform/DirectorySync.h"
#include "platform/FileAttributes.h"
#include "platform/LastError.h"
#include "platform/NativeFile.h"
#include "testing/Environment.h"
#include "testing/TempDir.h"

namespace quillon {
namespace {

TEST(FileSystemTest, FailuresSpeakWindowsErrorsAndChangeNothing) {
    testing::ScopedDriveMap drives;
    testing::TempDir outside;
    const std::string root = drives.DriveC();
    testing::MakeTree(root, {{"file", "x"},
                             {"full/x", "x"},
                             {"ro.txt", "keep"},
                             {"pipe", "|"},
                             {"dir-link", "-> " + outside.Path()}});
    ::chmod((root + "/ro.txt").c_str(), 0444);  // READONLY protects even from root, as on Windows
    EXPECT_TRUE(CreateDirectory("C:\\New"));
    EXPECT_TRUE(SyncDirectory("C:\\full") && SyncDirectory("C:\\"));
    auto call = [](const std::string& what, const char* path) {
        NativeFile file;
        bool done = what == "mkdir"   ? CreateDirectory(path)
                    : what == "del"   ? DeleteFile(path)
                    : what == "rmdir" ? RemoveDirectory(path)
                    : what == "sync"  ? SyncDirectory(path)
                    : what == "read"  ? file.OpenRead(path)
                    : what == "new"   ? file.CreateWrite(path)
                                      : file.OpenWrite(path);
        return done || file.IsOpen();
    };
    // A file of the name of a new directory counts as existing, as on Windows; even root cannot pass a
    // regular file in a path; a FIFO is refused instead of blocking. -1: any error.
    const std::tuple<const char*, const char*, int32_t> cases[] = {
        {"mkdir", "C:\\New", kErrorAlreadyExists},
        {"mkdir", "C:\\file", kErrorAlreadyExists},
        {"mkdir", "C:\\a\\b", kErrorPathNotFound},
        {"mkdir", "C:\\file\\b", kErrorPathNotFound},
        {"mkdir", "Q:\\x", kErrorPathNotFound},
        {"del", "C:\\ro.txt", kErrorAccessDenied},
        {"del", "C:\\full", kErrorAccessDenied},
        {"rmdir", "C:\\full", kErrorDirNotEmpty},
        {"rmdir", "C:\\dir-link", -1},
        {"sync", "C:\\missing", kErrorFileNotFound},
        {"sync", "C:\\missing\\deeper", kErrorPathNotFound},
        {"sync", "C:\\file", kErrorPathNotFound},
        {"read", "C:\\missing.txt", kErrorFileNotFound},
        {"read", "C:\\no\\such\\dir\\x.txt", kErrorPathNotFound},
        {"new", "C:\\no\\such\\dir\\x.txt", kErrorPathNotFound},
        {"new", "C:\\file\\below-a-file.txt", kErrorPathNotFound},
        {"read", "Q:\\unmapped.txt", kErrorPathNotFound},
        {"read", "C:\\", kErrorAccessDenied},
        {"new", "C:\\ro.txt", kErrorAccessDenied},
        {"write", "C:\\ro.txt", kErrorAccessDenied},
        {"read", "C:\\pipe", kErrorAccessDenied},
        {"new", "C:\\pipe", -1}};
    for (const auto& [what, path, error] : cases) {
        SCOPED_TRACE(std::string(what) + " " + path);
        SetLastError(0);
        EXPECT_FALSE(call(what, path));
        EXPECT_TRUE(error == -1 || GetLastError() == error) << GetLastError();
    }
    EXPECT_EQ(testing::ReadFile(root + "/ro.txt"), "keep");
    EXPECT_TRUE(DeleteFile("C:\\dir-link"));  // a link goes as a link, never followed
    EXPECT_TRUE(std::filesystem::is_directory(outside.Path()));
}

TEST(FileAttributesTest, StoredValuesReadAsWindowsBits) {
    testing::ScopedDriveMap drives;
    std::string native = drives.DriveC() + "/f.txt";
    testing::WriteFile(native, "x");
    const std::tuple<std::string, uint32_t> cases[] = {
        {"", kAttributeArchive},  // nothing marked: the safe side
        {"0x0", 0},
        {"0x20", kAttributeArchive},
        {"0x2", kAttributeHidden},
        {"0X26", kAttributeHidden | kAttributeSystem | kAttributeArchive},
        {"0x81", 0},  // READONLY and NORMAL stored by others do not count; READONLY is the mode
        {std::string("0x22\0\x03\x00binary", 11), kAttributeHidden | kAttributeArchive},
        {"garbage", kAttributeArchive},
        {"0x", kAttributeArchive},
        {"0x123456789", kAttributeArchive},  // too large for 32 bits: not a value
    };
    for (const auto& [stored, expected] : cases) {
        ::removexattr(native.c_str(), "user.DOSATTRIB");
        if (!stored.empty()) {
            ASSERT_EQ(::setxattr(native.c_str(), "user.DOSATTRIB", stored.data(), stored.size(), 0), 0);
        }
        uint32_t attributes = 0xFFFF;
        ASSERT_TRUE(ReadFileAttributes("C:\\f.txt", attributes)) << stored;
        EXPECT_EQ(attributes, expected) << stored;
    }
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
}

}  // namespace
}  // namespace quillon
