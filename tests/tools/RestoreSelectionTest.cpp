// The restore tool's selection of paths by patterns and the texts of its summary line.
#include <gtest/gtest.h>

#include "restore/AmountText.h"
#include "restore/RestoreFiles.h"

namespace quillon::restore {
namespace {

TEST(RestoreSelectionTest, PatternsSelectFilesAndWholeFolders) {
    struct Case {
        std::vector<std::string> patterns;
        const char* path;
        bool selected;
    };
    const Case cases[] = {
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
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(Selected(c.patterns, c.path), c.selected);
    }
}

TEST(RestoreSelectionTest, SummaryAmounts) {
    struct Case {
        int64_t value;
        const char* grouped;
        const char* megabytes;
    };
    const Case cases[] = {
        {0, "0", "0.0 MB"},
        {999, "999", "0.0 MB"},
        {1204, "1 204", "0.0 MB"},
        {349'999, "349 999", "0.3 MB"},
        {9'999'999, "9 999 999", "10.0 MB"},
        {812'400'000, "812 400 000", "812 MB"},
        {1'204'600'000, "1 204 600 000", "1 205 MB"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(GroupedNumber(c.value), c.grouped);
        EXPECT_EQ(Megabytes(c.value), c.megabytes);
    }
    EXPECT_EQ(Files(1), "1 file");
    EXPECT_EQ(Files(1204), "1 204 files");
}

}  // namespace
}  // namespace quillon::restore
