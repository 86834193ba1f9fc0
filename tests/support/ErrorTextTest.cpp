#include "support/ErrorText.h"

#include <gtest/gtest.h>

#include <climits>
#include <set>

namespace quillon {
namespace {

TEST(ErrorTextTest, KnownNumbersHaveTheirTextsAndOthersTheGeneralOne) {
    struct Case {
        int32_t error;
        const char* text;
    } cases[] = {
        {0, "Incorrect function"},
        {40, "Not enough space on the disk or no access to the disk"},
        {41, "Not enough space in temp directory"},
        {67, "Required network connection not present."},
        {112, "Not enough space on the disk"},
        {276, "The extended attribute file on the mounted file system is corrupt"},
        {9, "General Copy Error"},  // a disk error without a text of its own
        {1, "General Copy Error"},
        {-5, "General Copy Error"},
        {INT32_MIN, "General Copy Error"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ErrorText(c.error), c.text) << "error " << c.error;
    }
    for (int32_t error = -10; error <= 1000; ++error) {
        std::string text = ErrorText(error);
        EXPECT_EQ(text.back() == '.', error == 67) << "error " << error << ": " << text;
    }
}

TEST(ErrorTextTest, DiskErrorsAreExactlyTheFixedSet) {
    // Neither a full disk (112) nor the program's own 40 counts: they are reported as space problems.
    const std::set<int32_t> diskErrors = {2, 3, 9, 15, 20, 23, 25, 27, 30, 32, 33, 41, 123, 132, 180, 276};
    for (int32_t error = -10; error <= 2000; ++error) {
        EXPECT_EQ(IsDiskError(error), diskErrors.count(error) == 1) << "error " << error;
    }
}

TEST(ErrorTextTest, ZipCodesMapToWindowsNumbers) {
    struct Case {
        int32_t code;
        bool noCodeMeansFailure;
        int32_t error;
    } cases[] = {
        {0, true, 40},      {0, false, 2},      {25139, true, 276},   {25151, false, 40},
        {25154, true, 3},   {25156, true, 112}, {25157, true, 5},     {25172, true, 2},
        {25235, true, 110}, {25236, false, 30}, {12345, true, 12345}, {-25156, true, -25156},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MapZipError(c.code, c.noCodeMeansFailure), c.error)
            << "code " << c.code << " flag " << c.noCodeMeansFailure;
    }
}

}  // namespace
}  // namespace quillon
