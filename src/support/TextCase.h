// Upper-casing of paths and patterns for comparisons.
//
// Paths are compared and matched in upper case, so that letter case does not matter to patterns and
// path tests. On Linux names are UTF-8 bytes: only the ASCII letters are changed, because mapping
// single bytes as code page 1252 letters would alter the bytes of multi-byte characters. The
// upper-cased copy serves comparisons only; file access always uses the name as found.
// Stateless; any thread.
#pragma once

#include <string>
#include <string_view>

namespace quillon {

// ASCII letters only, for texts that are not names of the file system either (commands, switches).
inline std::string ToUpperAscii(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return upper;
}

inline std::string ToLowerAscii(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return lower;
}

inline std::string ToUpperPath(std::string_view text) {
    return ToUpperAscii(text);
}

}  // namespace quillon
