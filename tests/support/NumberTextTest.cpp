#include "support/NumberText.h"

#include <gtest/gtest.h>

#include <string>

namespace quillon {
namespace {

TEST(NumberTextTest, LooseReaderNeverFails) {
    const std::pair<std::string, int32_t> cases[] = {{"", 0},
                                                     {"08", 8},
                                                     {"-12abc", -12},
                                                     {"- 7", -7},
                                                     {" 5", 5},
                                                     {" -5", 0},
                                                     {"abc", 0},
                                                     {"\t5", 0},
                                                     {"2147483648", INT32_MAX},
                                                     {"-2147483648", INT32_MIN},
                                                     {"-99999999999999999999", INT32_MIN}};
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(ParseIntLoose(text), expected) << "text >" << text << "<";
    }
}

TEST(NumberTextTest, StrictReaderFlagsAnythingButACleanNumber) {
    struct Case {
        std::string text;
        int32_t expected;
        bool flagged;
    } cases[] = {{" 42 ", 42, false},     {"\t42\r\n", 42, false},
                 {"12x", 0, true},        {"", 0, true},
                 {"   ", 0, true},        {"-", 0, false},
                 {"- 7", -7, false},      {"4 2", 0, true},
                 {"+5", 0, true},         {"-2147483648", INT32_MIN, false},
                 {"2147483648", 0, true}, {"99999999999999999999", 0, true}};
    for (const Case& c : cases) {
        bool flag = false;
        EXPECT_EQ(ParseIntStrict(c.text, flag), c.expected) << "text >" << c.text << "<";
        EXPECT_EQ(flag, c.flagged) << "text >" << c.text << "<";
    }
    bool flag = true;  // set by an earlier field: a clean one must not clear it
    EXPECT_EQ(ParseIntStrict("42", flag), 42);
    EXPECT_TRUE(flag);
}

TEST(NumberTextTest, FillsToWidthAndUpperCasesGermanLetters) {
    struct Case {
        int32_t value, width;
        const char *right, *proportional, *zeros;
    } cases[] = {{42, 5, "   42", "      42", "00042"},
                 {-12, 5, "  -12", "   -12", "00-12"},
                 {123456, 3, "123456", "123456", "123456"},
                 {3, -4, "3", "3", "3"}};
    for (const Case& c : cases) {
        EXPECT_EQ(IntToTextRightAligned(c.value, c.width), c.right) << c.value << " at " << c.width;
        EXPECT_EQ(IntToTextProportional(c.value, c.width), c.proportional) << c.value << " at " << c.width;
        EXPECT_EQ(IntToTextZeroPadded(c.value, c.width), c.zeros) << c.value << " at " << c.width;
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

}  // namespace
}  // namespace quillon
