#include "support/TextEstimates.h"

#include <gtest/gtest.h>

#include <string>

namespace quillon {
namespace {

struct Case {
    std::string text;
    bool largeFonts;
    int32_t expected;
};

// The text with its control characters visible, for failure messages.
std::string Shown(const Case& c) {
    std::string shown;
    for (char ch : c.text) {
        shown += ch == '\n' ? "\\n" : ch == '\r' ? "\\r" : std::string(1, ch);
    }
    return "\"" + shown + (c.largeFonts ? "\" large" : "\"");
}

TEST(TextEstimatesTest, WidthSumsTheCharacterClassesAndRounds) {
    const Case cases[] = {
        {"", false, 0},           {"Wim", false, 21},          {"Wim", true, 28},  // 27.993
        {"abc", false, 17},       {"abcde", false, 29},                            // 28.5 rounds up
        {" .i,l:;jr", false, 27}, {"t-\\/", false, 16},        {"_wm", false, 24},
        {"AZQ", false, 21},       {"09", false, 12},           {"a\rb", false, 11},  // CR adds nothing
        {"a\nb", false, 17},      {"\xE4\xC4\xFF", false, 17},  // high bytes are never capitals
        {"1", true, 8},                                         // 7.998
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EstimateTextWidth(c.text, c.largeFonts), c.expected) << Shown(c);
    }
}

TEST(TextEstimatesTest, LinesAreSplitAtLineFeeds) {
    const Case widths[] = {
        {"", false, 0},         {"\n", false, 0},      {"MM\ni", false, 20}, {"i\nMM", false, 20},
        {"MM\r\ni", false, 20}, {"i\n\nW", false, 10}, {"MM\ni", true, 27},
    };
    for (const auto& c : widths) {
        EXPECT_EQ(EstimateMaxLineWidth(c.text, c.largeFonts), c.expected) << Shown(c);
    }
    const Case heights[] = {
        {"", false, 13},     {"abc\n", false, 26}, {"MM\ni", true, 32},  // 31.902
        {"a\rb", false, 13}, {"\n\n\n", true, 64}, {"", true, 16},
    };
    for (const auto& c : heights) {
        EXPECT_EQ(EstimateTextHeight(c.text, c.largeFonts), c.expected) << Shown(c);
    }
}

}  // namespace
}  // namespace quillon
