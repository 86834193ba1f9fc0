// Fuzz target of MatchPattern: pattern and text (split at the first NUL byte) must give the same
// answer as a plain table-driven match, and quickly: libFuzzer's -timeout catches a match that takes
// exponential time over many stars.
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "engine/MatchPattern.h"

namespace {

// The obvious O(pattern x text) match: row[j] says whether the pattern so far matches text[0, j).
bool ReferenceMatch(std::string_view pattern, std::string_view text) {
    std::vector<bool> row(text.size() + 1, false);
    row[0] = true;
    for (char p : pattern) {
        std::vector<bool> next(text.size() + 1, false);
        for (size_t j = 0; j <= text.size(); ++j) {
            if (p == '*') {
                next[j] = row[j] || (j > 0 && next[j - 1]);
            } else {
                next[j] = j > 0 && row[j - 1] && text[j - 1] == p;
            }
        }
        row.swap(next);
    }
    return row[text.size()];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    size_t split = bytes.find('\0');
    std::string_view pattern = bytes.substr(0, split);
    std::string_view text = split == bytes.npos ? std::string_view() : bytes.substr(split + 1);
    if (pattern.size() > 4096 || text.size() > 4096) {
        return 0;
    }
    if (quillon::MatchPattern(pattern, text) != ReferenceMatch(pattern, text)) {
        std::abort();
    }
    return 0;
}
