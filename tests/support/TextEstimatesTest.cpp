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
