// MatchPattern: the wildcard match of the exclude and force patterns against full file paths.
//
// '*' matches any run of characters, also an empty one; every other character, '?' included, matches
// only itself. Both strings come upper-cased, so the match ignores letter case in effect. The whole
// text must be matched. Stateless; any thread.
#pragma once

#include <string_view>

namespace quillon {

// True when pattern matches all of text. Runs in O(pattern x text) at worst and in about linear time
// for the patterns people write, however many stars a pattern holds.
bool MatchPattern(std::string_view pattern, std::string_view text);

}  // namespace quillon
