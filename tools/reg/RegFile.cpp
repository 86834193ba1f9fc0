#include "reg/RegFile.h"

#include <algorithm>
#include <cstdio>

#include "reg/CodePage1252.h"

namespace quillon {
namespace {

constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHeader4 = "REGEDIT4";

// A hex line is broken after the byte that takes it to this many characters.
constexpr size_t kHexLineWidth = 76;

// The file's text in code page 1252. A character the code page lacks is kept as '?' and remembered,
// so that it is an error only where it matters (a comment may hold anything).
struct DecodedText {
    std::string text;
    std::vector<std::pair<size_t, char32_t>> missing;  // offset in text, character
};

int LineAt(const std::string& text, size_t offset) {
    int line = 1;
    for (size_t i = 0; i < offset && i < text.size(); ++i) {
        if (text[i] == '\n') {
            ++line;
        }
    }
    return line;
}

void AppendCharacter(char32_t c, DecodedText& out) {
    char byte = 0;
    if (CharTo1252(c, byte)) {
        out.text.push_back(byte);
    } else {
        out.missing.emplace_back(out.text.size(), c);
        out.text.push_back('?');
    }
}

bool DecodeUtf16(std::string_view bytes, DecodedText& out, RegFileError& error) {
    auto unitAt = [&](size_t i) {
        return static_cast<char32_t>(static_cast<unsigned char>(bytes[i]) |
                                     static_cast<unsigned char>(bytes[i + 1]) << 8);
    };
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        char32_t unit = unitAt(i);
        if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < bytes.size()) {
            char32_t low = unitAt(i + 2);
            if (low >= 0xDC00 && low < 0xE000) {
                AppendCharacter(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00), out);
                i += 2;
                continue;
            }
        }
        AppendCharacter(unit, out);
    }
    if (bytes.size() % 2 != 0) {
        error = {LineAt(out.text, out.text.size()), "the file ends in the middle of a UTF-16 character"};
        return false;
    }
    return true;
}

// Strict UTF-8; answers false at the first malformed sequence, with its offset in bytes.
bool DecodeUtf8(std::string_view bytes, DecodedText& out, size_t& badOffset) {
    for (size_t i = 0; i < bytes.size();) {
        size_t start = i;
        auto b = static_cast<unsigned char>(bytes[i]);
        if (b < 0x80) {
            out.text.push_back(static_cast<char>(b));
            ++i;
            continue;
        }
        // Decode one multi-byte character through the shared converter.
        int length = b >= 0xC2 && b < 0xE0 ? 2 : b >= 0xE0 && b < 0xF0 ? 3 : b >= 0xF0 && b < 0xF5 ? 4 : 0;
        std::string converted;
        char32_t missing = 0;
        if (length == 0 || i + length > bytes.size()) {
            badOffset = start;
            return false;
        }
        if (Utf8To1252(bytes.substr(i, length), converted, missing)) {
            out.text += converted;
        } else if (missing != 0) {
            AppendCharacter(missing, out);
        } else {
            badOffset = start;
            return false;
        }
        i += length;
    }
    return true;
}

bool Decode(std::string_view bytes, DecodedText& out, RegFileError& error) {
    if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
        return DecodeUtf16(bytes.substr(2), out, error);
    }
    if (bytes.size() >= 2 && bytes[0] == '\xFE' && bytes[1] == '\xFF') {
        error = {1, "UTF-16 big-endian files are not supported; save the file as UTF-16LE or UTF-8"};
        return false;
    }
    bool byteOrderMark = bytes.substr(0, 3) == "\xEF\xBB\xBF";
    if (byteOrderMark) {
        bytes.remove_prefix(3);
    }
    size_t badOffset = 0;
    if (DecodeUtf8(bytes, out, badOffset)) {
        return true;
    }
    if (byteOrderMark) {
        error = {LineAt(std::string(bytes), badOffset), "malformed UTF-8"};
        return false;
    }
    // Without a byte-order mark, text that is not UTF-8 is 8-bit text already.
    out.text.assign(bytes);
    out.missing.clear();
    return true;
}

struct Line {
    std::string_view text;  // a view into the decoded text, without the line end
    int number;
};

// Splits at "\r\n", "\n" and a lone "\r", as every line end counts as one.
std::vector<Line> SplitLines(const std::string& text) {
    std::vector<Line> lines;
    size_t start = 0;
    int number = 1;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '\n' || text[i] == '\r') {
            lines.push_back({std::string_view(text).substr(start, i - start), number++});
            if (i < text.size() && text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
            start = i + 1;
        }
    }
    return lines;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view TrimLeft(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) {
        s.remove_prefix(1);
    }
    return s;
}

std::string_view TrimRight(std::string_view s) {
    while (!s.empty() && IsBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (FoldRegistryChar(text[i]) != FoldRegistryChar(prefix[i])) {
            return false;
        }
    }
    return true;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Reads 1 to 8 hex digits that make up the whole text.
bool ParseHexNumber(std::string_view text, uint32_t& value) {
    if (text.empty() || text.size() > 8) {
        return false;
    }
    value = 0;
    for (char c : text) {
        int digit = HexDigit(c);
        if (digit < 0) {
            return false;
        }
        value = value << 4 | static_cast<uint32_t>(digit);
    }
    return true;
}

// Reads a quoted text at the start of s (which begins with '"'), undoing the escapes \\ and \".
// rest receives what follows the closing quote.
bool ParseQuoted(std::string_view s, std::string& text, std::string_view& rest, std::string& problem) {
    text.clear();
    for (size_t i = 1; i < s.size(); ++i) {
        char c = s[i];
        if (c == '"') {
            rest = s.substr(i + 1);
            return true;
        }
        if (c == '\\') {
            if (i + 1 >= s.size()) {
                break;
            }
            char next = s[++i];
            if (next != '\\' && next != '"') {
                problem =
                    std::string("unknown escape \\") + next + " in quoted text (write \\\\ for a backslash)";
                return false;
            }
            c = next;
        }
        text.push_back(c);
    }
    problem = "quoted text without its closing quote";
    return false;
}

// Converts UTF-16LE data of a string type to code page 1252.
bool Utf16DataTo1252(std::string_view data, std::string& out, std::string& problem) {
    if (data.size() % 2 != 0) {
        problem = "UTF-16 data with an odd number of bytes";
        return false;
    }
    DecodedText decoded;
    RegFileError ignored;
    DecodeUtf16(data, decoded, ignored);
    if (!decoded.missing.empty()) {
        problem = "character " + CharacterName(decoded.missing.front().second) + " is not in code page 1252";
        return false;
    }
    out = std::move(decoded.text);
    return true;
}

// Whether what follows a value's data may end the statement: blanks, then nothing or a ; comment.
bool EndsStatement(std::string_view rest) {
    rest = TrimLeft(rest);
    return rest.empty() || rest.front() == ';';
}

// The data part of a line of hex data: up to a ; comment, without blanks at its end.
std::string_view HexDataPart(std::string_view text) {
    return TrimRight(text.substr(0, text.find(';')));
}

// Reads the hex bytes of one line, "01,2,ff," and the like, appending them to bytes. Blanks may stand
// around each byte; a byte has one or two digits; a comma may end the list. continued tells that the
// data goes on in the next line: the line must then end where a byte has ended (with its comma), since
// Windows does not take a byte split across two lines.
bool ParseHexBytes(std::string_view items, bool continued, std::string& bytes, std::string& problem) {
    items = TrimLeft(items);
    if (continued && !items.empty() && items.back() != ',') {
        problem = "hex data continued in the middle of a byte (end the line with ',\\')";
        return false;
    }
    while (!items.empty()) {
        size_t comma = items.find(',');
        std::string_view item = TrimRight(TrimLeft(items.substr(0, comma)));
        int high = item.size() == 2 ? HexDigit(item[0]) : 0;
        int low = item.empty() ? -1 : HexDigit(item.back());
        if (item.size() > 2 || high < 0 || low < 0) {
            problem = "invalid hex byte \"" + std::string(item) + "\"";
            return false;
        }
        bytes.push_back(static_cast<char>(high << 4 | low));
        if (comma == std::string_view::npos) {
            break;
        }
        items = TrimLeft(items.substr(comma + 1));
    }
    return true;
}

class Parser {
  public:
    Parser(const DecodedText& decoded, std::vector<RegEntry>& entries, RegFileError& error)
        : decoded_(decoded), lines_(SplitLines(decoded.text)), entries_(entries), error_(error) {}

    bool Run() {
        // Blanks may stand before the header. Headers of the regedit versions before REGEDIT4
        // ("REGEDIT", "REGEDIT3", "REGEDIT 4", "REGEDIT4 FOO") name a format that Windows reads as
        // nothing to import: such a file succeeds and changes nothing.
        std::string_view header = TrimRight(TrimLeft(lines_.front().text));
        if (header == kHeader5) {
            unicode_ = true;
        } else if (header != kHeader4) {
            if (header.substr(0, kOldHeader.size()) == kOldHeader) {
                return true;
            }
            return Fail(
                1,
                "not a registry file: the first line must be \"Windows Registry Editor Version 5.00\" "
                "or \"REGEDIT4\"");
        }
        for (next_ = 1; next_ < lines_.size();) {
            const Line& line = lines_[next_++];
            std::string_view text = TrimRight(TrimLeft(line.text));
            if (text.empty() || text.front() == ';') {
                continue;
            }
            bool ok = text.front() == '['
                          ? CheckCharacters(line.number, line.text) && ParseKeyLine(line, text)
                      : text.front() == '"' || text.front() == '@'
                          ? ParseValueLine(line, text)
                          : Fail(line.number,
                                 "unexpected line: expected [KEY], \"name\"=data, @=data or a ; comment");
            if (!ok) {
                return false;
            }
        }
        return true;
    }

  private:
    static constexpr std::string_view kOldHeader = "REGEDIT";

    bool Fail(int line, std::string message) {
        error_ = {line, std::move(message)};
        return false;
    }

    // A character outside code page 1252 is an error where it is part of a statement; part must be a
    // view into the decoded text. Comments are never checked, so they may hold any character.
    bool CheckCharacters(int lineNumber, std::string_view part) {
        size_t offset = static_cast<size_t>(part.data() - decoded_.text.data());
        // missing is in text order: the first entry at or after the part's start decides.
        auto first = std::lower_bound(decoded_.missing.begin(), decoded_.missing.end(), offset,
                                      [](const auto& entry, size_t at) { return entry.first < at; });
        if (first != decoded_.missing.end() && first->first < offset + part.size()) {
            return Fail(lineNumber,
                        "character " + CharacterName(first->second) + " is not in code page 1252");
        }
        return true;
    }

    // The text of line from its start up to end (a position inside it).
    static std::string_view UpTo(const Line& line, std::string_view::const_pointer end) {
        return line.text.substr(0, static_cast<size_t>(end - line.text.data()));
    }

    bool ParseKeyLine(const Line& line, std::string_view text) {
        if (text.back() != ']') {
            return Fail(line.number, "a key line must end with ']'");
        }
        std::string_view inner = text.substr(1, text.size() - 2);
        RegEntry entry;
        entry.kind = RegEntry::kKey;
        entry.line = line.number;
        if (!inner.empty() && inner.front() == '-') {
            entry.kind = RegEntry::kDeleteKey;
            inner.remove_prefix(1);
        }
        // Backslashes at the end name no key: [HKEY_CURRENT_USER\A\\] is the key A, as on Windows.
        while (!inner.empty() && inner.back() == '\\') {
            inner.remove_suffix(1);
        }
        size_t slash = inner.find('\\');
        std::string_view rootName = inner.substr(0, slash);
        if (!ParseRootName(rootName, entry.root)) {
            return Fail(line.number, "unknown root key \"" + std::string(rootName) +
                                         "\": use HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER");
        }
        std::string_view path =
            slash == std::string_view::npos ? std::string_view() : inner.substr(slash + 1);
        if (CheckRegistryKeyPath(path) != 0) {
            return Fail(line.number, "invalid key name: a name is empty or longer than 255 characters");
        }
        if (!path.empty() &&
            static_cast<size_t>(std::count(path.begin(), path.end(), '\\')) >= kMaxKeyDepth) {
            return Fail(line.number, "the key is nested deeper than 512 levels");
        }
        if (entry.kind == RegEntry::kDeleteKey && path.empty()) {
            return Fail(line.number, "a root key cannot be deleted");
        }
        entry.key.assign(path);
        inKey_ = entry.kind == RegEntry::kKey;
        current_ = entry;
        entries_.push_back(std::move(entry));
        return true;
    }

    bool ParseValueLine(const Line& line, std::string_view text) {
        if (!inKey_) {
            return CheckCharacters(line.number, line.text) &&
                   Fail(line.number, "a value must follow a [KEY] line");
        }
        RegEntry entry;
        entry.kind = RegEntry::kValue;
        entry.root = current_.root;
        entry.key = current_.key;
        entry.line = line.number;
        std::string problem;
        std::string_view rest;
        if (text.front() == '@') {
            rest = text.substr(1);
        } else if (!ParseQuoted(text, entry.name, rest, problem)) {
            return CheckCharacters(line.number, line.text) && Fail(line.number, problem);
        }
        if (entry.name.size() > kMaxValueNameLength) {
            return Fail(line.number, "the value name is longer than 16383 characters");
        }
        rest = TrimLeft(rest);
        if (rest.empty() || rest.front() != '=') {
            return CheckCharacters(line.number, line.text) &&
                   Fail(line.number, "expected '=' after the value name");
        }
        rest = TrimLeft(rest.substr(1));
        // A ; comment may follow the data of every form; a ; inside quoted text is text.
        if (!rest.empty() && rest.front() == '-' && EndsStatement(rest.substr(1))) {
            entry.kind = RegEntry::kDeleteValue;
            if (!CheckCharacters(line.number, UpTo(line, rest.data() + 1))) {
                return false;
            }
        } else if (!rest.empty() && rest.front() == '"') {
            std::string_view after;
            if (!ParseQuoted(rest, entry.data, after, problem)) {
                return CheckCharacters(line.number, line.text) && Fail(line.number, problem);
            }
            if (!CheckCharacters(line.number, UpTo(line, after.data()))) {
                return false;
            }
            if (!EndsStatement(after)) {
                return Fail(line.number, "unexpected text after the closing quote");
            }
            entry.type = kRegSz;
            entry.data.push_back('\0');
        } else if (StartsWithNoCase(rest, "dword:")) {
            // Blanks may follow "dword:" and the digits.
            std::string_view digits = HexDataPart(rest.substr(6));
            if (!CheckCharacters(line.number, UpTo(line, digits.data() + digits.size()))) {
                return false;
            }
            uint32_t value = 0;
            if (!ParseHexNumber(TrimLeft(digits), value)) {
                return Fail(line.number, "dword: needs 1 to 8 hex digits");
            }
            entry.type = kRegDword;
            entry.data = {static_cast<char>(value), static_cast<char>(value >> 8),
                          static_cast<char>(value >> 16), static_cast<char>(value >> 24)};
        } else if (StartsWithNoCase(rest, "hex")) {
            if (!ParseHexValue(line, rest.substr(3), entry)) {
                return false;
            }
        } else {
            return CheckCharacters(line.number, line.text) &&
                   Fail(line.number, "unknown value data: expected \"text\", dword:, hex:, hex(N): or -");
        }
        entries_.push_back(std::move(entry));
        return true;
    }

    // rest follows "hex": ":bytes" or "(N):bytes". A line ending in '\' goes on in the next line that
    // holds data: blank lines and ; comment lines may stand between, and a comment may follow the '\'.
    // A '\' on the last line of the file ends the data there.
    bool ParseHexValue(const Line& line, std::string_view rest, RegEntry& entry) {
        entry.type = kRegBinary;
        if (!rest.empty() && rest.front() == '(') {
            size_t close = rest.find(')');
            if (close == std::string_view::npos || !ParseHexNumber(rest.substr(1, close - 1), entry.type)) {
                return Fail(line.number, "hex(N): needs a type of 1 to 8 hex digits");
            }
            rest.remove_prefix(close + 1);
        }
        if (rest.empty() || rest.front() != ':') {
            return Fail(line.number, "expected ':' after hex");
        }
        std::string bytes;
        std::string problem;
        std::string_view data = rest.substr(1);
        const Line* at = &line;
        while (true) {
            std::string_view part = HexDataPart(data);
            if (!CheckCharacters(at->number, UpTo(*at, part.data() + part.size()))) {
                return false;
            }
            bool continued = !part.empty() && part.back() == '\\';
            if (continued) {
                part.remove_suffix(1);
            }
            if (!ParseHexBytes(TrimRight(part), continued, bytes, problem)) {
                return Fail(at->number, problem);
            }
            if (!continued) {
                break;
            }
            while (next_ < lines_.size()) {
                std::string_view text = TrimLeft(lines_[next_].text);
                if (!text.empty() && text.front() != ';') {
                    break;
                }
                ++next_;
            }
            if (next_ >= lines_.size()) {
                break;
            }
            at = &lines_[next_++];
            data = at->text;
        }
        bool stringType = entry.type == kRegSz || entry.type == kRegExpandSz || entry.type == kRegMultiSz;
        if (unicode_ && stringType) {
            if (!Utf16DataTo1252(bytes, entry.data, problem)) {
                return Fail(line.number, problem);
            }
        } else {
            entry.data = std::move(bytes);
        }
        // Windows ends the last string of an expandable string or a string list that lacks its zero.
        if ((entry.type == kRegExpandSz || entry.type == kRegMultiSz) && !entry.data.empty() &&
            entry.data.back() != '\0') {
            entry.data.push_back('\0');
        }
        return true;
    }

    const DecodedText& decoded_;
    std::vector<Line> lines_;
    std::vector<RegEntry>& entries_;
    RegFileError& error_;
    size_t next_ = 1;
    bool unicode_ = false;
    bool inKey_ = false;
    RegEntry current_;
};

std::string Escape(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '\\' || c == '"') {
            out.push_back('\\');
        }
        out.push_back(c);
    }
    return out;
}

// A REG_SZ value that the quoted form carries exactly: one terminating zero, no other zero, no line break.
bool IsPlainText(const std::string& data) {
    return !data.empty() && data.back() == '\0' && data.find('\0') == data.size() - 1 &&
           data.find_first_of("\r\n") == std::string::npos;
}

void AppendHexData(std::string prefix, std::string_view bytes, std::string& out) {
    std::string line = std::move(prefix);
    char digits[4];
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(digits, sizeof digits, "%02x", static_cast<unsigned char>(bytes[i]));
        line += digits;
        if (i + 1 < bytes.size()) {
            line += ',';
            if (line.size() >= kHexLineWidth) {
                out += line + "\\\r\n";
                line = "  ";
            }
        }
    }
    out += line + "\r\n";
}

void AppendValue(const RegistryValue& value, std::string& out) {
    std::string prefix = "@=";
    if (!value.name.empty()) {
        prefix = '"' + Escape(value.name);
        prefix += "\"=";
    }
    char text[32];
    switch (value.type) {
        case kRegSz:
            if (IsPlainText(value.data)) {
                out += prefix + "\"" + Escape(std::string_view(value.data).substr(0, value.data.size() - 1)) +
                       "\"\r\n";
            } else {
                AppendHexData(prefix + "hex(1):", ToUtf16Le(value.data), out);
            }
            return;
        case kRegExpandSz:
        case kRegMultiSz:
            std::snprintf(text, sizeof text, "hex(%x):", value.type);
            AppendHexData(prefix + text, ToUtf16Le(value.data), out);
            return;
        case kRegDword:
            if (value.data.size() == 4) {
                auto byte = [&](int i) {
                    return static_cast<uint32_t>(static_cast<unsigned char>(value.data[i]));
                };
                std::snprintf(text, sizeof text, "dword:%08x",
                              byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24);
                out += prefix + text + "\r\n";
                return;
            }
            break;
        case kRegBinary:
            AppendHexData(prefix + "hex:", value.data, out);
            return;
        default:
            break;
    }
    std::snprintf(text, sizeof text, "hex(%x):", value.type);
    AppendHexData(prefix + text, value.data, out);
}

}  // namespace

const char* RootName(HiveRoot root) {
    return root == HiveRoot::kLocalMachine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
}

bool ParseRootName(std::string_view text, HiveRoot& root) {
    std::string folded = FoldRegistryName(text);
    if (folded == "HKEY_LOCAL_MACHINE" || folded == "HKLM") {
        root = HiveRoot::kLocalMachine;
        return true;
    }
    if (folded == "HKEY_CURRENT_USER" || folded == "HKCU") {
        root = HiveRoot::kCurrentUser;
        return true;
    }
    return false;
}

bool ParseRegFile(std::string_view bytes, std::vector<RegEntry>& entries, RegFileError& error) {
    entries.clear();
    error = {};
    if (!CodePage1252Available()) {
        error = {0, "the C library cannot convert code page 1252 (its iconv modules are missing)"};
        return false;
    }
    DecodedText decoded;
    if (!Decode(bytes, decoded, error)) {
        return false;
    }
    if (!Parser(decoded, entries, error).Run()) {
        entries.clear();
        return false;
    }
    return true;
}

bool WriteRegFile(const std::vector<RegExportKey>& keys, std::string& bytes, std::string& error) {
    std::string text = std::string(kHeader5) + "\r\n\r\n";
    for (const RegExportKey& key : keys) {
        if (key.path.find_first_of("\r\n") != std::string::npos) {
            error = "the key name holds a line break: " + key.path;
            return false;
        }
        // Appended piece by piece: in a deep tree the paths make up nearly all of the file.
        text += '[';
        text += RootName(key.root);
        if (!key.path.empty()) {
            text += '\\';
            text += key.path;
        }
        text += "]\r\n";
        for (const RegistryValue& value : key.values) {
            if (value.name.find_first_of("\r\n") != std::string::npos) {
                error = "the value name holds a line break: " + key.path + "\\" + value.name;
                return false;
            }
            AppendValue(value, text);
        }
        text += "\r\n";
    }
    bytes.assign({'\xFF', '\xFE'});
    AppendUtf16Le(text, bytes);
    return true;
}

}  // namespace quillon
