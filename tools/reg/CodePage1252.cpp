#include "reg/CodePage1252.h"

#include <iconv.h>

#include <array>
#include <cstdio>

namespace quillon {
namespace {

struct Table {
    bool available = false;
    std::array<char16_t, 256> unicode{};
};

Table BuildTable() {
    Table table;
    iconv_t converter = ::iconv_open("UTF-16LE", "CP1252");
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        return table;
    }
    for (int b = 0; b < 256; ++b) {
        char in = static_cast<char>(b);
        char out[4] = {};
        char* inPointer = &in;
        size_t inLeft = 1;
        char* outPointer = out;
        size_t outLeft = sizeof out;
        ::iconv(converter, nullptr, nullptr, nullptr, nullptr);
        if (::iconv(converter, &inPointer, &inLeft, &outPointer, &outLeft) == static_cast<size_t>(-1) ||
            outLeft != 2) {
            table.unicode[b] = static_cast<char16_t>(b);  // undefined in the code page: the control character
        } else {
            table.unicode[b] = static_cast<char16_t>(static_cast<unsigned char>(out[0]) |
                                                     static_cast<unsigned char>(out[1]) << 8);
        }
    }
    ::iconv_close(converter);
    table.available = true;
    return table;
}

const Table& TheTable() {
    static const Table table = BuildTable();
    return table;
}

void AppendUtf8(char32_t c, std::string& out) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | c >> 6));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | c >> 12));
        out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// Decodes one UTF-8 character at text[i], advancing i. False for a malformed sequence.
bool NextUtf8(std::string_view text, size_t& i, char32_t& c) {
    auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    unsigned char lead = byte(i);
    int length = lead < 0x80                   ? 1
                 : lead >= 0xC2 && lead < 0xE0 ? 2
                 : lead >= 0xE0 && lead < 0xF0 ? 3
                 : lead >= 0xF0 && lead < 0xF5 ? 4
                                               : 0;
    if (length == 0 || i + length > text.size()) {
        return false;
    }
    c = length == 1 ? lead : lead & (0x7F >> length);
    for (int k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            return false;
        }
        c = c << 6 | (byte(i + k) & 0x3F);
    }
    // Overlong forms, surrogates and values beyond Unicode are not UTF-8.
    if ((length == 3 && c < 0x800) || (length == 4 && (c < 0x10000 || c > 0x10FFFF)) ||
        (c >= 0xD800 && c <= 0xDFFF)) {
        return false;
    }
    i += length;
    return true;
}

}  // namespace

bool CodePage1252Available() {
    return TheTable().available;
}

char16_t CharFrom1252(char byte) {
    return TheTable().unicode[static_cast<unsigned char>(byte)];
}

bool CharTo1252(char32_t character, char& byte) {
    const Table& table = TheTable();
    if (character < 0x100 && table.unicode[character] == character) {
        byte = static_cast<char>(character);
        return true;
    }
    for (int b = 0x80; b < 0xA0; ++b) {
        if (table.unicode[b] == character) {
            byte = static_cast<char>(b);
            return true;
        }
    }
    return false;
}

void AppendUtf16Le(std::string_view text1252, std::string& out) {
    // Whole exported files pass through here: one look-up of the table and one growth of the result.
    const std::array<char16_t, 256>& unicode = TheTable().unicode;
    size_t at = out.size();
    out.resize(at + text1252.size() * 2);
    for (char c : text1252) {
        char16_t unit = unicode[static_cast<unsigned char>(c)];
        out[at++] = static_cast<char>(unit & 0xFF);
        out[at++] = static_cast<char>(unit >> 8);
    }
}

std::string ToUtf16Le(std::string_view text1252) {
    std::string out;
    AppendUtf16Le(text1252, out);
    return out;
}

std::string ToUtf8(std::string_view text1252) {
    std::string out;
    out.reserve(text1252.size());
    for (char c : text1252) {
        AppendUtf8(CharFrom1252(c), out);
    }
    return out;
}

bool Utf8To1252(std::string_view utf8, std::string& text1252, char32_t& badCharacter) {
    text1252.clear();
    for (size_t i = 0; i < utf8.size();) {
        char32_t c = 0;
        if (!NextUtf8(utf8, i, c)) {
            badCharacter = 0;
            return false;
        }
        char byte = 0;
        if (!CharTo1252(c, byte)) {
            badCharacter = c;
            return false;
        }
        text1252.push_back(byte);
    }
    return true;
}

bool ArgumentTo1252(std::string_view argument, std::string& text1252, char32_t& badCharacter) {
    badCharacter = 0;
    if (Utf8To1252(argument, text1252, badCharacter)) {
        return true;
    }
    if (badCharacter != 0) {
        return false;
    }
    text1252.assign(argument);  // not UTF-8: already 8-bit text
    return true;
}

std::string CharacterName(char32_t character) {
    char name[16];
    std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(character));
    return name;
}

}  // namespace quillon
