#include "platform/FileAttributes.h"

#include <gtest/gtest.h>
#include <sys/xattr.h>

#include "testing/Environment.h"
#include "testing/TempDir.h"

namespace quillon {
namespace {

using testing::ScopedDriveMap;
using testing::WriteFile;

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

}  // namespace
}  // namespace quillon
