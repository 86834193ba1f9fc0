#include "support/ErrorText.h"

#include <gtest/gtest.h>

#include <climits>

namespace quillon {
namespace {

TEST(ErrorTextTest, TextsAndDiskErrors) {
    struct Case {
        int32_t error;
        const char* text;
        bool diskError;
    } cases[] = {
        {0, "Incorrect function", false},
        {2, "File not found", true},
        {9, "General Copy Error", true},  // a disk error without a text of its own
        {40, "Not enough space on the disk or no access to the disk", false},
        {41, "Not enough space in temp directory", true},
        {67, "Required network connection not present.", false},
        {112, "Not enough space on the disk", false},  // a full disk is a space problem, not a disk error
        {276, "The extended attribute file on the mounted file system is corrupt", true},
        {1, "General Copy Error", false},
        {-5, "General Copy Error", false},
        {INT32_MIN, "General Copy Error", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ErrorText(c.error), c.text) << "error " << c.error;
        EXPECT_EQ(IsDiskError(c.error), c.diskError) << "error " << c.error;
    }
}

TEST(ErrorTextTest, ZipCodesMapToWindowsNumbers) {
    struct Case {
        int32_t code;
        bool noCodeMeansFailure;
        int32_t error;
    } cases[] = {{0, true, 40},      {0, false, 2},        {25139, true, 276},    {25156, true, 112},
                 {25236, false, 30}, {12345, true, 12345}, {-25156, true, -25156}};
    for (const auto& c : cases) {
        EXPECT_EQ(MapZipError(c.code, c.noCodeMeansFailure), c.error)
            << "code " << c.code << " flag " << c.noCodeMeansFailure;
    }
}

}  // namespace
}  // namespace quillon
