#include "reg/RegFile.h"

#include <gtest/gtest.h>

#include "reg/CodePage1252.h"
#include "testing/ScopedHives.h"

namespace quillon {
namespace {

using testing::Chain;

const std::string kV5 = "Windows Registry Editor Version 5.00\r\n\r\n";

// The entries as one line of text, so that tables can state what a file means: "[KEY]" or "[-KEY]" for a
// key, "name=type:bytes in hex" or "name=-" for a value of the key before it (else "KEY\name=...").
std::string Describe(const std::vector<RegEntry>& entries) {
    std::string text;
    std::string last;
    for (const RegEntry& e : entries) {
        std::string key = std::string(e.root == HiveRoot::kLocalMachine ? "HKLM" : "HKCU") + "\\" + e.key;
        text += text.empty() ? "" : " ";
        if (e.kind == RegEntry::kKey || e.kind == RegEntry::kDeleteKey) {
            text += (e.kind == RegEntry::kKey ? "[" : "[-") + key + "]";
            last = key;
            continue;
        }
        text += (key == last ? "" : key + "\\") + e.name + "=";
        if (e.kind == RegEntry::kDeleteValue) {
            text += "-";
            continue;
        }
        text += std::to_string(e.type) + ":";
        for (unsigned char c : e.data) {
            text += {"0123456789abcdef"[c >> 4], "0123456789abcdef"[c & 15]};
        }
    }
    return text;
}

std::string ParseOk(const std::string& bytes) {
    std::vector<RegEntry> entries;
    RegFileError error;
    EXPECT_TRUE(ParseRegFile(bytes, entries, error)) << "line " << error.line << ": " << error.message;
    return Describe(entries);
}

TEST(RegFileTest, EncodingsOfTheSameFile) {
    // "B\xFCro" with u-umlaut, which is 0xFC in code page 1252.
    const std::string expected = "[HKCU\\B\xFCro] \xFC=1:42fc00";
    const std::string text1252 = kV5 + "[HKCU\\B\xFCro]\r\n\"\xFC\"=\"B\xFC\"\r\n";
    const std::string utf8 = ToUtf8(text1252);
    const std::pair<const char*, std::string> cases[] = {
        {"UTF-16LE with byte-order mark", "\xFF\xFE" + ToUtf16Le(text1252)},
        {"UTF-8 with byte-order mark", "\xEF\xBB\xBF" + utf8},
        {"UTF-8", utf8},
        {"code page 1252 under a version 5 header", text1252}};
    for (const auto& [what, bytes] : cases) {
        EXPECT_EQ(ParseOk(bytes), expected) << what;
    }
}

// What Windows' registry editor reads, the strict form and beyond, in REGEDIT4 and version 5 files alike.
// Where the two differ (string data is 8-bit in one, UTF-16 in the other), a case names its version.
TEST(RegFileTest, ReadsWhatWindowsReads) {
    enum Version { kOnly4 = 1, kOnly5 = 2, kBoth = 3 };
    // The versions a case holds for, the file after its header line and a line [HKCU\A], what it means
    // after that key.
    const std::tuple<Version, std::string, std::string> cases[] = {
        // The forms of keys and values.
        {kBoth, "[HKEY_LOCAL_MACHINE\\A]\r\n\"s\"=\"C:\\\\Daten \\\"x\\\"\"\r\n",
         "[HKLM\\A] s=1:433a5c446174656e2022782200"},
        {kBoth, "@=\"\"\n\"\"=\"x\"\n", "=1:00 =1:7800"},
        {kBoth, "[hkcu\\A]\n\"d\"=dword:0000002a\n\"max\"=dword:FFFFFFFF\n\"short\"=dword:5\n",
         "[HKCU\\A] d=4:2a000000 max=4:ffffffff short=4:05000000"},
        {kBoth, "\"b\"=hex:01,FF,0\n\"e\"=hex:\n\"t\"=hex:01,\n", "b=3:01ff00 e=3: t=3:01"},
        {kOnly4, "\"x\"=hex(2):25,e4,00\n\"s\"=\"\xE4\"\n", "x=2:25e400 s=1:e400"},
        {kOnly5, "\"x\"=hex(2):25,00,54,00,00,00\n\"m\"=hex(7):61,00,00,00,62,00,00,00,00,00\n",
         "x=2:255400 m=7:6100620000"},
        {kBoth, "\"q\"=hex(b):01,02,03,04,05,06,07,08\n\"n\"=hex(0):\n\"o\"=hex(1234abcd):aa\n",
         "q=11:0102030405060708 n=0: o=305441741:aa"},
        {kBoth, "\"long\"=hex:01,02,\\\n  03,04,\\\n\t05\n\"after\"=-\n", "long=3:0102030405 after=-"},
        {kBoth, "; a comment\n   ; another\n[-HKEY_LOCAL_MACHINE\\Old\\Tree]\n[HKCU\\New]\n@=-\n",
         "[-HKLM\\Old\\Tree] [HKCU\\New] =-"},
        {kBoth, "[HKCU\\Trailing blank ]  \n[HKCU\\Slash\\]\n[HKEY_CURRENT_USER]\n\"top\"=\"v\"\n",
         "[HKCU\\Trailing blank ] [HKCU\\Slash] [HKCU\\] top=1:7600"},
        {kBoth, "[HKCU\\A]\r\"cr\"=\"only\"\r\n  \"indented\" = \"v\"  \n",
         "[HKCU\\A] cr=1:6f6e6c7900 indented=1:7600"},
        // A comment may follow the data of every form; a ; inside quoted text is text.
        {kBoth,
         "\"s\"=\"te;xt\" ;note\n\"d\"=dword:00000001 ;note\n\"e\"=dword:2;x\n"
         "\"b\"=hex:01,02 ;note\n\"x\"=- ;gone\n@=-\t; gone too\n",
         "s=1:74653b787400 d=4:01000000 e=4:02000000 b=3:0102 x=- =-"},
        // A character outside code page 1252 may stand in a comment of a file read as UTF-8.
        {kOnly5, "; \xCE\xA9 omega\n\"b\"=hex:01,\\ ;\xCE\xA9\n 02 ;\xCE\xA9\n", "b=3:0102"},
        // Continued hex data: comment lines and blank lines between, a comment after the '\'.
        {kBoth, "\"b\"=hex:01,\\\n; between\n\n  02,\\ ;after the continuation\n\t03\n\"n\"=\"v\"\n",
         "b=3:010203 n=1:7600"},
        {kBoth, "\"b\"=hex:\\\n  01,02\n", "b=3:0102"},
        // Blanks and tabs after dword: and around the bytes.
        {kBoth, "\"d\"=dword: \t0000002a \n\"b\"=hex: 01 ,\t2 , ff\n", "d=4:2a000000 b=3:0102ff"},
        // A continuation on the last line ends the data there.
        {kBoth, "\"b\"=hex:01,02,\\", "b=3:0102"},
        // The last string of hex(2) and hex(7) data gets the zero it lacks; empty data stays empty.
        {kOnly4, "\"x\"=hex(2):25,41\n\"m\"=hex(7):61,00,62\n\"t\"=hex(7):61,00\n",
         "x=2:254100 m=7:61006200 t=7:6100"},
        {kOnly5, "\"x\"=hex(2):25,00,41,00\n\"m\"=hex(7):61,00,00,00,62,00\n\"t\"=hex(7):61,00,00,00\n",
         "x=2:254100 m=7:61006200 t=7:6100"},
        {kBoth, "\"x\"=hex(2):\n\"m\"=hex(7):\n\"s\"=hex(1):\n", "x=2: m=7: s=1:"},
        // Key lines: trailing backslashes name no key, a blank before the bracket is part of the name.
        {kBoth, "[HKCU\\A\\\\]\n[HKCU\\B ]\n[HKCU\\]\n[-HKLM\\C\\]\n",
         "[HKCU\\A] [HKCU\\B ] [HKCU\\] [-HKLM\\C]"},
        // The limits: 512 levels, a value name of 16 383 characters.
        {kBoth, "[HKCU\\" + Chain(512) + "]\n", "[HKCU\\" + Chain(512) + "]"},
        {kBoth, "\"" + std::string(16383, 'v') + "\"=-\n", std::string(16383, 'v') + "=-"},
    };
    for (const auto& [versions, body, expected] : cases) {
        for (const auto& [version, header] :
             {std::pair{kOnly4, std::string("REGEDIT4\n\n")}, {kOnly5, kV5}}) {
            if (versions & version) {
                EXPECT_EQ(ParseOk(header + "[HKCU\\A]\n" + body), "[HKCU\\A] " + expected)
                    << header.substr(0, 8) << body.substr(0, 300);
            }
        }
    }
    // Headers of regedit versions before REGEDIT4 name files that import nothing and succeed.
    for (const char* header : {"REGEDIT", "REGEDIT3", "REGEDIT 4", "REGEDIT4 FOO", "  REGEDIT"}) {
        SCOPED_TRACE(header);
        EXPECT_EQ(ParseOk(std::string(header) + "\n[HKCU\\A]\n\"v\"=\"x\"\n"), "");
    }
    // Blanks may stand before the header; a header alone is a file that changes nothing.
    EXPECT_EQ(ParseOk(" \t" + kV5) + ParseOk("REGEDIT4\n\n"), "");
}

TEST(RegFileTest, MalformedFilesAreRejectedWithLineAndReason) {
    // The file, the line, a part of the message.
    const std::tuple<std::string, int, std::string> cases[] = {
        {"", 1, "not a registry file"},
        {"Windows Registry Editor Version 4.00\n", 1, "not a registry file"},
        {kV5 + "\"early\"=\"v\"\n", 3, "must follow a [KEY]"},
        {kV5 + "[-HKCU\\A]\n\"v\"=\"x\"\n", 4, "must follow a [KEY]"},
        {kV5 + "[HKCU\\A]\n\"p\"=\"C:\\Daten\"\n", 4, "unknown escape \\D"},
        {kV5 + "[HKCU\\A]\n\"p\"=\"open\n", 4, "closing quote"},
        {kV5 + "[HKCU\\A]\n\"p\"=\"a\" b\n", 4, "after the closing quote"},
        {kV5 + "[HKCU\\A]\n\"d\"=dword:123456789\n", 4, "1 to 8 hex digits"},
        {kV5 + "[HKCU\\A]\n\"d\"=dword:\n", 4, "1 to 8 hex digits"},
        {kV5 + "[HKCU\\A]\n\"d\"=dword:-1\n", 4, "1 to 8 hex digits"},
        {kV5 + "[HKCU\\A]\n\"b\"=hex:1g\n", 4, "invalid hex byte \"1g\""},
        {kV5 + "[HKCU\\A]\n\"b\"=hex:123\n", 4, "invalid hex byte"},
        {kV5 + "[HKCU\\A]\n\"b\"=hex:01,,02\n", 4, "invalid hex byte"},
        {kV5 + "[HKCU\\A]\n\"b\"=hex(zz):01\n", 4, "hex(N)"},
        {kV5 + "[HKCU\\A]\n\"b\"=hex(2:01\n", 4, "hex(N)"},
        {kV5 + "[HKCU\\A]\n\"b\"=hex 01\n", 4, "expected ':'"},
        {kV5 + "[HKCU\\A]\n\"b\"=hex:01,\\\n  zz\n", 5, "invalid hex byte"},
        {kV5 + "[HKCU\\A]\n\"b\"=text\n", 4, "unknown value data"},
        {kV5 + "[HKCU\\A]\n\"b\" \"c\"\n", 4, "expected '='"},
        {kV5 + "[HKEY_USERS\\A]\n", 3, "unknown root key \"HKEY_USERS\""},
        {kV5 + "[HKCU\\A\\\\B]\n", 3, "invalid key name"},
        {kV5 + "[HKCU\\" + std::string(256, 'k') + "]\n", 3, "invalid key name"},
        {kV5 + "[HKCU\\A\n", 3, "must end with ']'"},
        {kV5 + "[-HKCU]\n", 3, "root key cannot be deleted"},
        {kV5 + "HKCU\\A\n", 3, "unexpected line"},
        {kV5 + "[HKCU\\A]\n\"\xCE\xA9\"=\"v\"\n", 4, "U+03A9 is not in code page 1252"},
        {kV5 + "[HKCU\\A]\n\"v\"=hex(1):a9,03,00,00\n", 4, "U+03A9 is not in code page 1252"},
        {kV5 + "[HKCU\\A]\n\"v\"=hex(7):61,00,00\n", 4, "odd number of bytes"},
        {"\xEF\xBB\xBF" + kV5 + "[HKCU\\A]\n\"v\"=\"\xE4\"\n", 4, "malformed UTF-8"},
        {"\xFF\xFE" + ToUtf16Le(kV5 + "[HKCU\\A]\n") + "x", 4, "middle of a UTF-16 character"},
        {"\xFE\xFF", 1, "big-endian"},
        // A byte split across two lines.
        {kV5 + "[HKCU\\A]\n\"b\"=hex:01,0\\\n  1,02\n", 4, "middle of a byte"},
        {kV5 + "[HKCU\\A]\n\"b\"=hex:01,\\\n\n\"next\"=\"v\"\n", 6, "invalid hex byte"},
        {kV5 + "[HKCU\\A]\n\"d\"=dword:1 2\n", 4, "1 to 8 hex digits"},
        {kV5 + "[HKCU\\A]\n\"x\"=-x\n", 4, "unknown value data"},
        {kV5 + "[HKCU\\A]\n\"b\"=hex:01 02\n", 4, "invalid hex byte"},
        {kV5 + "[HKCU\\A]\n\"\xCE\xA9\"=dword:1 ;note\n", 4, "U+03A9 is not in code page 1252"},
        {kV5 + "[HKCU\\" + Chain(513) + "]\n", 3, "deeper than 512 levels"},
        {kV5 + "[HKCU\\A]\n\"" + std::string(16384, 'v') + "\"=\"x\"\n", 4, "longer than 16383"},
    };
    for (const auto& [bytes, line, reason] : cases) {
        std::vector<RegEntry> entries;
        RegFileError error;
        SCOPED_TRACE(bytes.substr(0, 300));
        EXPECT_FALSE(ParseRegFile(bytes, entries, error));
        EXPECT_TRUE(entries.empty()) << "nothing of a malformed file is kept";
        EXPECT_EQ(error.line, line) << error.message;
        EXPECT_NE(error.message.find(reason), std::string::npos) << error.message;
    }
}

// The registry editor's layout, in UTF-16LE with a byte-order mark; names with line breaks cannot be written.
TEST(RegFileTest, WritesWhatTheRegistryEditorWrites) {
    std::vector<RegExportKey> keys = {
        {HiveRoot::kCurrentUser,
         "Software\\Norrow\\Quillon\\Path000",
         {{"SourcePath", kRegSz, std::string("C:\\Daten \"alt\"\0", 15)},
          {"Flags", kRegDword, std::string("\x22\x08\0\0", 4)},
          {"", kRegSz, std::string("default\0", 8)},
          {"Bin", kRegBinary, std::string(30, '\xAB')}}},
        {HiveRoot::kLocalMachine, "", {}},
    };
    std::string expected =
        kV5 +
        "[HKEY_CURRENT_USER\\Software\\Norrow\\Quillon\\Path000]\r\n"
        "\"SourcePath\"=\"C:\\\\Daten \\\"alt\\\"\"\r\n"
        "\"Flags\"=dword:00000822\r\n"
        "@=\"default\"\r\n"
        "\"Bin\"=hex:ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,\\\r\n"
        "  ab,ab,ab,ab,ab,ab,ab,ab\r\n"
        "\r\n[HKEY_LOCAL_MACHINE]\r\n\r\n";
    std::string bytes;
    std::string error;
    EXPECT_TRUE(WriteRegFile(keys, bytes, error)) << error;
    EXPECT_EQ(bytes, "\xFF\xFE" + ToUtf16Le(expected));
    EXPECT_FALSE(WriteRegFile({{HiveRoot::kCurrentUser, "A\nB", {}}}, bytes, error));
    EXPECT_FALSE(WriteRegFile({{HiveRoot::kCurrentUser, "A", {{"x\ry", kRegSz, ""}}}}, bytes, error));
    EXPECT_NE(error.find("line break"), std::string::npos);
}

TEST(RegFileTest, CodePage1252Conversions) {
    ASSERT_TRUE(CodePage1252Available());
    // 0x81 and 0x9D have no character of their own and stand for the control characters of their number.
    EXPECT_EQ(ToUtf8("A\x80\x8A\x81\x9D\xFF"), "A\u20AC\u0160\u0081\u009D\u00FF");
    // That every byte survives UTF-16 and back, the registry command's export and import show.
    char byte = 0;
    EXPECT_FALSE(CharTo1252(0x80, byte)) << "U+0080 has no byte: 0x80 is the euro sign";
    // A conversion's text, or the character that has no byte, or "malformed".
    auto converted = [](auto convert, const char* utf8) {
        std::string text;
        char32_t bad = 0;
        return convert(utf8, text, bad) ? text : bad ? CharacterName(bad) : "malformed";
    };
    const std::pair<const char*, std::string> cases[] = {
        {"B\xC3\xBC\xE2\x82\xAC", "B\xFC\x80"},
        {"\xCE\xA9", "U+03A9"},
        {"\xC3", "malformed"},
        {"\xC0\x80", "malformed"},
        {"\xED\xA0\x80", "malformed"},
        {"\x80", "malformed"},
        {"\xF8\x88\x80\x80\x80", "malformed"},
    };
    for (const auto& [utf8, expected] : cases) {
        EXPECT_EQ(converted(Utf8To1252, utf8), expected) << utf8;
    }
    // Command-line text that is not UTF-8 is taken as code page 1252 already.
    EXPECT_EQ(converted(ArgumentTo1252, "B\xFCro"), "B\xFCro");
    EXPECT_EQ(converted(ArgumentTo1252, "\xCE\xA9"), "U+03A9");
}

}  // namespace
}  // namespace quillon
