#include "engine/MatchPattern.h"

namespace quillon {

// Greedy matching with one backtrack point. When a later star is reached, the earlier star never needs
// to take more characters: whatever the later star can absorb covers it. So only the most recent star
// is retried, one text position further each time, which bounds the work by pattern x text instead of
// the exponential cost of trying every star against every position.
bool MatchPattern(std::string_view pattern, std::string_view text) {
    size_t p = 0;
    size_t t = 0;
    size_t starP = std::string_view::npos;  // position just behind the most recent run of stars
    size_t starT = 0;                       // text position that star is currently taken to end at
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            while (p < pattern.size() && pattern[p] == '*') {
                ++p;
            }
            if (p == pattern.size()) {
                return true;  // a trailing star takes any remainder
            }
            starP = p;
            starT = t;
        } else if (p < pattern.size() && pattern[p] == text[t]) {
            ++p;
            ++t;
        } else if (starP != std::string_view::npos) {
            p = starP;
            t = ++starT;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') {
        ++p;
    }
    return p == pattern.size();
}

}  // namespace quillon
