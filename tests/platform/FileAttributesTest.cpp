#include "platform/FileAttributes.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <filesystem>

#include "platform/LastError.h"
#include "testing/Environment.h"
#include "testing/TempDir.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using testing::ScopedDriveMap;
using testing::WriteFile;

std::string StoredValue(const std::string& native) {
    char value[64];
    ssize_t length = ::getxattr(native.c_str(), "user.DOSATTRIB", value, sizeof value);
    return length < 0 ? "(none)" : std::string(value, static_cast<size_t>(length));
}

mode_t Mode(const std::string& native) {
    struct stat info;
    EXPECT_EQ(::stat(native.c_str(), &info), 0) << native;
    return info.st_mode & 07777;
}

TEST(FileAttributesTest, StoredValuesReadAsWindowsBits) {
    ScopedDriveMap drives;
    std::string native = drives.DriveC() + "/f.txt";
    WriteFile(native, "x");
    struct Case {
        std::string stored;  // empty: no attribute at all
        uint32_t attributes;
    } cases[] = {
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
    for (const auto& c : cases) {
        ::removexattr(native.c_str(), "user.DOSATTRIB");
        if (!c.stored.empty()) {
            ASSERT_EQ(::setxattr(native.c_str(), "user.DOSATTRIB", c.stored.data(), c.stored.size(), 0), 0);
        }
        uint32_t attributes = 0xFFFF;
        ASSERT_TRUE(ReadFileAttributes("C:\\f.txt", attributes)) << c.stored;
        EXPECT_EQ(attributes, c.attributes) << c.stored;
    }
}

TEST(FileAttributesTest, ReadOnlyIsTheAbsenceOfWriteBits) {
    ScopedDriveMap drives;
    std::string native = drives.DriveC() + "/f.txt";
    WriteFile(native, "x");
    ::chmod(native.c_str(), 0664);

    ASSERT_TRUE(WriteFileAttributes("C:\\f.txt", kAttributeReadOnly | kAttributeArchive));
    EXPECT_EQ(Mode(native), 0444u);
    uint32_t attributes = 0;
    ASSERT_TRUE(ReadFileAttributes("C:\\f.txt", attributes));
    EXPECT_EQ(attributes, kAttributeReadOnly | kAttributeArchive);
    EXPECT_EQ(StoredValue(native), "(none)");  // ARCHIVE alone needs nothing stored

    ASSERT_TRUE(WriteFileAttributes("C:\\f.txt", kAttributeArchive));
    EXPECT_EQ(Mode(native), 0644u);  // the owner may write again; nobody else was given anything

    ::chmod(native.c_str(), 0640);
    ASSERT_TRUE(ReadFileAttributes("C:\\f.txt", attributes));
    EXPECT_EQ(attributes, kAttributeArchive);  // any write bit means writable
}

TEST(FileAttributesTest, WritingStoresOnlyWhatDiffers) {
    ScopedDriveMap drives;
    std::string native = drives.DriveC() + "/f.txt";
    WriteFile(native, "x");

    ASSERT_TRUE(WriteFileAttributes("C:\\f.txt", kAttributeHidden | kAttributeArchive | kAttributeDirectory));
    EXPECT_EQ(StoredValue(native), "0x22");
    ASSERT_TRUE(WriteFileAttributes("C:\\f.txt", 0));
    EXPECT_EQ(StoredValue(native), "0x0");  // a cleared ARCHIVE bit must be kept
    ASSERT_TRUE(WriteFileAttributes("C:\\f.txt", kAttributeSystem | kAttributeReadOnly));
    EXPECT_EQ(StoredValue(native), "0x4");
    EXPECT_EQ(Mode(native) & 0222, 0u);
    // A READONLY file still takes new bits: write permission returns before the change.
    ASSERT_TRUE(WriteFileAttributes("C:\\f.txt", kAttributeArchive));
    EXPECT_EQ(StoredValue(native), "0x20");

    // Bits other programs keep there survive.
    ASSERT_EQ(::setxattr(native.c_str(), "user.DOSATTRIB", "0x90", 4, 0), 0);
    ASSERT_TRUE(WriteFileAttributes("C:\\f.txt", kAttributeHidden));
    EXPECT_EQ(StoredValue(native), "0x92");
}

TEST(FileAttributesTest, DirectoriesAndLinks) {
    ScopedDriveMap drives;
    fs::create_directories(drives.DriveC() + "/Set");
    WriteFile(drives.DriveC() + "/target.txt", "x");
    fs::create_symlink(drives.DriveC() + "/target.txt", drives.DriveC() + "/link.txt");

    uint32_t attributes = 0;
    ASSERT_TRUE(ReadFileAttributes("C:\\Set", attributes));
    EXPECT_EQ(attributes, kAttributeDirectory | kAttributeArchive);
    ASSERT_TRUE(WriteFileAttributes("C:\\Set", kAttributeDirectory));  // the archiving tool's step
    ASSERT_TRUE(ReadFileAttributes("C:\\Set\\", attributes));
    EXPECT_EQ(attributes, kAttributeDirectory);

    // A link reads and changes as its target.
    ASSERT_TRUE(WriteFileAttributes("C:\\link.txt", kAttributeHidden));
    ASSERT_TRUE(ReadFileAttributes("C:\\target.txt", attributes));
    EXPECT_EQ(attributes, kAttributeHidden);

    SetLastError(0);
    EXPECT_FALSE(ReadFileAttributes("C:\\missing.txt", attributes));
    EXPECT_EQ(GetLastError(), kErrorFileNotFound);
    EXPECT_FALSE(WriteFileAttributes("C:\\no\\missing.txt", 0));
    EXPECT_EQ(GetLastError(), kErrorPathNotFound);
}

}  // namespace
}  // namespace quillon
