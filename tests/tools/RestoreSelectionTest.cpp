// The restore tool's selection of paths by patterns and the texts of its summary line.
#include <gtest/gtest.h>

#include "restore/AmountText.h"
#include "restore/RestoreFiles.h"

namespace quillon::restore {
namespace {

TEST(RestoreSelectionTest, PatternsSelectFilesAndWholeFolders) {
    const std::tuple<std::vector<std::string>, const char*, bool> cases[] = {
        {{}, "any/thing.txt", true},
        {{"docs"}, "docs/a.txt", true},       // a folder selects what lies below it
        {{"docs"}, "docs2/a.txt", false},     // but not a folder that merely begins alike
        {{"docs"}, "old/docs/a.txt", false},  // paths are matched from the source folder on
        {{"*.TXT"}, "deep/er/f.txt", true},   // '*' spans folders; letter case does not matter
        {{"*.txt"}, "notes.txt.bak", false},
        {{"a?c"}, "abc", false},  // '?' is an ordinary character
        {{"a?c"}, "a?c", true},
        {{"x", "keep/*"}, "keep/d.txt", true},
        {{"keep/d.*"}, "keep/e.txt", false},
    };
    for (const auto& [patterns, path, selected] : cases) {
        EXPECT_EQ(Selected(patterns, path), selected) << path;
    }
}

TEST(RestoreSelectionTest, SummaryAmounts) {
    // The amount, grouped, in megabytes.
    const std::tuple<int64_t, const char*, const char*> cases[] = {
        {0, "0", "0.0 MB"},
        {999, "999", "0.0 MB"},
        {1204, "1 204", "0.0 MB"},
        {349'999, "349 999", "0.3 MB"},
        {9'999'999, "9 999 999", "10.0 MB"},
        {812'400'000, "812 400 000", "812 MB"},
        {1'204'600'000, "1 204 600 000", "1 205 MB"},
    };
    for (const auto& [value, grouped, megabytes] : cases) {
        EXPECT_EQ(GroupedNumber(value) + " " + Megabytes(value), std::string(grouped) + " " + megabytes);
    }
    EXPECT_EQ(Files(1) + ", " + Files(1204), "1 file, 1 204 files");
}

}  // namespace
}  // namespace quillon::restore
