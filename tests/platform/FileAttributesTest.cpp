#include "platform/FileAttributes.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include "testing/Environment.h"
#include "testing/TempDir.h"

namespace quillon {
namespace {

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

TEST(FileAttributesTest, WritingChangesModeAndStoresOnlyWhatDiffers) {
    ScopedDriveMap drives;
    std::string native = drives.DriveC() + "/f.txt";
    WriteFile(native, "x");
    ::chmod(native.c_str(), 0664);
    struct Step {
        uint32_t attributes;
        mode_t mode;
        const char* stored;
    } steps[] = {
        {kAttributeReadOnly | kAttributeArchive, 0444, "(none)"},   // ARCHIVE alone needs nothing stored
        {kAttributeArchive | kAttributeDirectory, 0644, "(none)"},  // the owner may write again
        {kAttributeHidden | kAttributeArchive, 0644, "0x22"},
        {0, 0644, "0x0"},  // a cleared ARCHIVE bit must be kept
        {kAttributeSystem | kAttributeReadOnly, 0444, "0x4"},
        {kAttributeArchive, 0644, "0x20"},  // a READONLY file takes new bits too
    };
    for (const auto& step : steps) {
        ASSERT_TRUE(WriteFileAttributes("C:\\f.txt", step.attributes)) << step.attributes;
        EXPECT_EQ(Mode(native), step.mode) << step.attributes;
        EXPECT_EQ(StoredValue(native), step.stored) << step.attributes;
    }
    // Bits other programs keep there survive.
    ASSERT_EQ(::setxattr(native.c_str(), "user.DOSATTRIB", "0x90", 4, 0), 0);
    ASSERT_TRUE(WriteFileAttributes("C:\\f.txt", kAttributeHidden));
    EXPECT_EQ(StoredValue(native), "0x92");
}

}  // namespace
}  // namespace quillon
