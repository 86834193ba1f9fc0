// Texts the program shows: the texts of error numbers, numbers written and read as text, and how much
// room a text takes on the screen.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <tuple>

#include "support/ErrorText.h"
#include "support/NumberText.h"
#include "support/TextEstimates.h"

namespace quillon {
namespace {

TEST(ErrorTextTest, TextsAndDiskErrors) {
    const std::tuple<int32_t, const char*, bool> cases[] = {
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
    for (const auto& [error, text, diskError] : cases) {
        EXPECT_EQ(ErrorText(error), text) << "error " << error;
        EXPECT_EQ(IsDiskError(error), diskError) << "error " << error;
    }
}

TEST(ErrorTextTest, ZipCodesMapToWindowsNumbers) {
    const std::tuple<int32_t, bool, int32_t> cases[] = {
        {0, true, 40},      {0, false, 2},        {25139, true, 276},    {25156, true, 112},
        {25236, false, 30}, {12345, true, 12345}, {-25156, true, -25156}};
    for (const auto& [code, noCodeMeansFailure, error] : cases) {
        EXPECT_EQ(MapZipError(code, noCodeMeansFailure), error) << code << " " << noCodeMeansFailure;
    }
}

// The loose reader takes what it can from the front and never fails; the strict one trims white space
// and flags anything but a clean number. Each row: the text, the loose and the strict reading, the flag.
TEST(NumberTextTest, LooseReaderNeverFailsStrictReaderFlagsAnythingButACleanNumber) {
    const std::tuple<std::string, int32_t, int32_t, bool> cases[] = {
        {"", 0, 0, true},
        {"08", 8, 8, false},
        {"-12abc", -12, 0, true},
        {"12x", 12, 0, true},
        {"- 7", -7, -7, false},
        {" 5", 5, 5, false},
        {" -5", 0, -5, false},
        {"\t5", 0, 5, false},
        {" 42 ", 42, 42, false},
        {"\t42\r\n", 0, 42, false},
        {"abc", 0, 0, true},
        {"   ", 0, 0, true},
        {"-", 0, 0, false},
        {"4 2", 4, 0, true},
        {"+5", 0, 0, true},
        {"-2147483648", INT32_MIN, INT32_MIN, false},
        {"2147483648", INT32_MAX, 0, true},
        {"99999999999999999999", INT32_MAX, 0, true},
        {"-99999999999999999999", INT32_MIN, 0, true}};
    for (const auto& [text, loose, strict, flagged] : cases) {
        SCOPED_TRACE("text >" + text + "<");
        bool flag = false;
        EXPECT_EQ(ParseIntLoose(text), loose);
        EXPECT_EQ(ParseIntStrict(text, flag), strict);
        EXPECT_EQ(flag, flagged);
    }
    bool flag = true;  // set by an earlier field: a clean one must not clear it
    EXPECT_EQ(ParseIntStrict("42", flag), 42);
    EXPECT_TRUE(flag);
}

TEST(NumberTextTest, FillsToWidthAndUpperCasesGermanLetters) {
    const std::tuple<int32_t, int32_t, const char*, const char*, const char*> cases[] = {
        {42, 5, "   42", "      42", "00042"},
        {-12, 5, "  -12", "   -12", "00-12"},
        {123456, 3, "123456", "123456", "123456"},
        {3, -4, "3", "3", "3"}};
    for (const auto& [value, width, right, proportional, zeros] : cases) {
        EXPECT_EQ(IntToTextRightAligned(value, width), right) << value << " at " << width;
        EXPECT_EQ(IntToTextProportional(value, width), proportional) << value << " at " << width;
        EXPECT_EQ(IntToTextZeroPadded(value, width), zeros) << value << " at " << width;
    }
    EXPECT_EQ(IntToTextRightAligned(42, 200), std::string(116, ' ') + "42");
    EXPECT_EQ(IntToTextZeroPadded(42, 200), std::string(198, '0') + "42");

    std::string changed;
    for (int code = 0; code < 256; ++code) {
        if (char c = static_cast<char>(code); ToUpperGerman(c) != c) {
            changed += ToUpperGerman(c);
        }
    }
    EXPECT_EQ(changed, "ABCDEFGHIJKLMNOPQRSTUVWXYZ\xC4\xD6\xDC");  // the sharp s 0xDF stays
}

struct Case {
    std::string text;
    bool largeFonts;
    int32_t expected;
};

template <size_t N>
void Check(const char* what, int32_t (*measure)(std::string_view, bool), const Case (&cases)[N]) {
    for (const Case& c : cases) {
        EXPECT_EQ(measure(c.text, c.largeFonts), c.expected)
            << what << " of " << ::testing::PrintToString(c.text) << (c.largeFonts ? " in large fonts" : "");
    }
}

TEST(TextEstimatesTest, WidthsAndHeightsInPixels) {
    // Large fonts scale 27.993 to 28 and 7.998 to 8; 28.5 rounds up. CR adds nothing; LF is an ordinary
    // character of a single line. High bytes are never capitals.
    const Case widths[] = {{"", false, 0},         {"Wim", false, 21},       {"Wim", true, 28},
                           {"abcde", false, 29},   {" .i,l:;jr", false, 27}, {"t-\\/", false, 16},
                           {"_wm", false, 24},     {"AZQ", false, 21},       {"09", false, 12},
                           {"1", true, 8},         {"a\rb", false, 11},      {"a\nb", false, 17},
                           {"\xC4\xFF", false, 11}};
    const Case lines[] = {{"\n", false, 0},       {"MM\ni", false, 20},  {"i\nMM", false, 20},
                          {"MM\r\ni", false, 20}, {"i\n\nW", false, 10}, {"MM\ni", true, 27}};
    const Case heights[] = {{"", false, 13},     {"abc\n", false, 26}, {"MM\ni", true, 32},
                            {"a\rb", false, 13}, {"\n\n\n", true, 64}, {"", true, 16}};
    Check("width", EstimateTextWidth, widths);
    Check("widest line", EstimateMaxLineWidth, lines);
    Check("height", EstimateTextHeight, heights);
}

}  // namespace
}  // namespace quillon
