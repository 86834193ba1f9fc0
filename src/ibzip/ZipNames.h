// Names inside archives: wildcard patterns, UTF-8 checks and the safety test for extracted names.
//
// Pure functions, safe on any thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quillon::ibzip {

// True when pattern holds '*' or '?'.
bool HasWildcards(std::string_view pattern);

// Windows-style wildcard match: '*' any run of characters (also '/'), '?' one character, ASCII letters
// compared without regard to case, every other byte exactly. "*.*" matches every name, also one without
// a dot, as on Windows. '\' in either counts as '/'.
bool MatchesPattern(std::string_view pattern, std::string_view name);

// True when name is well-formed UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF).
bool IsValidUtf8(std::string_view name);

// The folders and file name an entry name stands for below an extract folder. '/' and '\' separate;
// empty and "." components are dropped. False (components left empty) when the name must not be
// written anywhere: empty, absolute, beginning with a drive letter ("C:"), or holding a ".." component.
bool SafeEntryComponents(std::string_view name, std::vector<std::string>& components);

}  // namespace quillon::ibzip
