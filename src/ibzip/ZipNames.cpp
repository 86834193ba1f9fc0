#include "ibzip/ZipNames.h"

#include <cstdint>

#include "platform/DirectoryListing.h"

namespace quillon::ibzip {
namespace {

char Fold(char c) {
    if (c == '\\') {
        return '/';
    }
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

bool IsAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

}  // namespace

bool HasWildcards(std::string_view pattern) {
    return pattern.find_first_of("*?") != std::string_view::npos;
}

bool MatchesPattern(std::string_view pattern, std::string_view name) {
    if (pattern == "*.*") {
        return true;
    }
    return WildcardMatch(pattern, name, Fold);
}

bool IsValidUtf8(std::string_view name) {
    size_t i = 0;
    while (i < name.size()) {
        auto c = static_cast<uint8_t>(name[i]);
        int length;
        uint32_t code;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            length = 2;
            code = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            length = 3;
            code = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            length = 4;
            code = c & 0x07;
        } else {
            return false;
        }
        if (i + length > name.size()) {
            return false;
        }
        for (int k = 1; k < length; ++k) {
            auto next = static_cast<uint8_t>(name[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            code = (code << 6) | (next & 0x3F);
        }
        static constexpr uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            return false;
        }
        i += length;
    }
    return true;
}

bool SafeEntryComponents(std::string_view name, std::vector<std::string>& components) {
    components.clear();
    if (name.empty() || IsSeparator(name[0]) ||
        (name.size() >= 2 && IsAsciiLetter(name[0]) && name[1] == ':')) {
        return false;
    }
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = start;
        while (end < name.size() && !IsSeparator(name[end])) {
            ++end;
        }
        std::string_view part = name.substr(start, end - start);
        if (part == "..") {
            components.clear();
            return false;
        }
        if (!part.empty() && part != ".") {
            components.emplace_back(part);
        }
        start = end + 1;
    }
    return !components.empty();
}

}  // namespace quillon::ibzip
