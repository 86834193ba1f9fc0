#include "reg/RegCommand.h"

#include <gtest/gtest.h>

#include <numeric>
#include <regex>
#include <sstream>

#include "platform/RegistryHive.h"
#include "reg/CodePage1252.h"
#include "testing/ScopedHives.h"
#include "testing/TempDir.h"

namespace quillon {
namespace {

using testing::Chain;
using testing::ReadFile;
using testing::WriteFile;
using namespace std::string_literals;

// The exit status, output and error output of the command line run, split at its blanks as a shell
// splits it; "" stands for an empty argument.
using Result = std::tuple<int, std::string, std::string>;
Result Reg(const std::string& line, const std::string& answers = "") {
    std::vector<std::string> args;
    std::istringstream words(line);
    for (std::string word; words >> word;) {
        args.push_back(word == "\"\"" ? "" : word);
    }
    std::istringstream in(answers);
    std::ostringstream out;
    std::ostringstream err;
    int code = RunRegCommand(args, in, out, err);
    return {code, out.str(), err.str()};
}

// Command lines run in turn, each with the exit status it must end with, the answers it is given and a
// part of what it must print.
struct Step {
    std::string line;
    int code = 0;
    std::string answers = "";
    std::string says = "";
};
void Steps(const std::vector<Step>& steps) {
    for (const Step& step : steps) {
        auto [code, out, err] = Reg(step.line, step.answers);
        SCOPED_TRACE(step.line.substr(0, 100));
        EXPECT_EQ(code, step.code) << err;
        EXPECT_NE((out + err).find(step.says), std::string::npos) << out << err;
    }
}

// Every key below root\path with its values, in one comparable text.
std::string Dump(HiveRoot root, const std::string& path) {
    RegistryKey key;
    if (OpenRegistryKey(root, path, key) != 0) {
        return "<missing " + path + ">";
    }
    std::string text = "[" + path + "]\n";
    std::vector<RegistryValue> values;
    EXPECT_EQ(EnumRegistryValues(key, values), 0);
    for (const RegistryValue& value : values) {
        text += value.name + "=" + std::to_string(value.type) + ":" + value.data + "\n";
    }
    std::vector<std::string> subkeys;
    EXPECT_EQ(EnumRegistrySubkeys(key, subkeys), 0);
    for (const std::string& subkey : subkeys) {
        text += Dump(root, path + "\\" + subkey);
    }
    return text;
}

class RegCommandTest : public ::testing::Test {
  protected:
    testing::ScopedHives hives_;
    testing::TempDir dir_;
};

TEST_F(RegCommandTest, AddStoresEachTypeAndQueryShowsIt) {
    // Arguments arrive in UTF-8 ("B\xC3\xBCro") and are stored in code page 1252 ("B\xFCro"). Each case:
    // the options, what is stored ("<type>:<bytes>"), the query line after the name.
    const std::tuple<std::string, std::string, std::string> cases[] = {
        {"/d B\xC3\xBCro", "1:B\xFCro\0"s, "REG_SZ    B\xC3\xBCro"},
        {"/t reg_expand_sz /d %TEMP%", "2:%TEMP%\0"s, "REG_EXPAND_SZ    %TEMP%"},
        {"/t REG_MULTI_SZ /d a\\0b", "7:a\0b\0\0"s, "REG_MULTI_SZ    a\\0b"},
        {"/t REG_MULTI_SZ /s , /d a,b", "7:a\0b\0\0"s, "REG_MULTI_SZ    a\\0b"},
        {"/t REG_MULTI_SZ /d \"\"", "7:\0"s, "REG_MULTI_SZ    "},
        {"/t REG_DWORD /d 0xFFFFFFFF", "4:\xFF\xFF\xFF\xFF", "REG_DWORD    0xffffffff"},
        {"/t REG_QWORD /d 0x100000000", "11:\0\0\0\0\x01\0\0\0"s, "REG_QWORD    0x100000000"},
        {"/t REG_BINARY /d 01fF", "3:\x01\xFF", "REG_BINARY    01FF"},
        // An odd number of digits is read with a leading zero.
        {"/t REG_BINARY /d DeAdBeEf0DD", "3:\x0D\xEA\xDB\xEE\xF0\xDD", "REG_BINARY    0DEADBEEF0DD"},
        {"/t REG_BINARY", "3:", "REG_BINARY    "},
        // REG_NONE data is stored as the text in UTF-16 with its zero.
        {"/t REG_NONE", "0:\0\0"s, "REG_NONE    0000"},
        {"/t REG_NONE /d ab", "0:a\0b\0\0\0"s, "REG_NONE    610062000000"},
        // Data that is only the separator is one empty string; a separator at the end is no string.
        {"/t REG_MULTI_SZ /s # /d #", "7:\0\0"s, "REG_MULTI_SZ    "},
        {"/t REG_MULTI_SZ /s # /d word#", "7:word\0\0"s, "REG_MULTI_SZ    word"},
    };
    for (const auto& [options, stored, shown] : cases) {
        SCOPED_TRACE(options);
        EXPECT_EQ(Reg("add HKCU\\Software\\Norrow\\Quillon /v Wert /f " + options),
                  Result(0, "The operation completed successfully.\n", ""));
        EXPECT_EQ(testing::StoredValue(HiveRoot::kCurrentUser, "Software\\Norrow\\Quillon", "Wert"), stored);
        EXPECT_EQ(
            Reg("query HKEY_CURRENT_USER\\Software\\Norrow\\Quillon /V wert"),
            Result(0, "\nHKEY_CURRENT_USER\\Software\\Norrow\\Quillon\n    Wert    " + shown + "\n", ""));
    }
}

TEST_F(RegCommandTest, BadCommandLinesFailWithAMessage) {
    const std::pair<std::string, std::string> cases[] = {
        {"", "ERROR: Invalid syntax."},
        {"frobnicate HKCU\\A", "ERROR: Invalid syntax."},
        {"add", "ERROR: Invalid syntax.\nType \"REG ADD /?\" for usage."},
        {"add HKCU\\A /v", "ERROR: Invalid syntax."},
        {"add HKCU\\A /v x /ve", "ERROR: Invalid syntax."},
        {"add HKCU\\A /v x /v y", "ERROR: Invalid syntax."},
        {"add HKCU\\A /t REG_FOO", "ERROR: Invalid syntax."},
        {"add HKCU\\A /v x /s , /d a", "ERROR: Invalid syntax."},
        {"add HKCU\\A /v x /t REG_DWORD /d 4294967296", "valid numeric value"},
        {"add HKCU\\A /v x /t REG_DWORD /d 12abc", "valid numeric value"},
        {"add HKCU\\A /v x /t REG_DWORD /d -1",
         "ERROR: Invalid syntax. Specify valid numeric value for '/d'."},
        {"add HKCU\\A /v x /t REG_BINARY /d 0g", "valid hexadecimal data"},
        {"add HKCU\\A /v x /t REG_BINARY /d 0x01", "valid hexadecimal data"},
        {"add HKCU\\A /v x /t REG_MULTI_SZ /d a\\0\\0b", "empty string"},
        {"add HKCU\\A /v x /t REG_MULTI_SZ /s # /d #a", "empty string"},
        {"add HKCU\\", "ERROR: Invalid key name."},
        {"add HKCU\\" + Chain(513), "nest at most 512 levels"},
        {"add HKCU\\A /v " + std::string(16384, 'v') + " /d x", "at most 16383 characters"},
        {"add HKCU\\A /v \xCE\xA9", "U+03A9 cannot be stored"},
        {"add HKEY_USERS\\A", "ERROR: Invalid key name."},
        {"add HKCU\\A\\\\B", "ERROR: Invalid key name."},
        {"query HKCU\\A HKCU\\B", "ERROR: Invalid syntax."},
        {"query HKCU\\Missing", "ERROR: The system was unable to find the specified registry key or value."},
        {"delete HKCU\\A /v x /f", "unable to find"},
        {"delete HKCU\\A /v x /va", "ERROR: Invalid syntax."},
        {"delete HKCU /f", "A root key cannot be deleted"},
        {"import", "ERROR: Invalid syntax."},
        {"export HKCU\\A", "ERROR: Invalid syntax."},
    };
    Steps({{"add HKCU\\A"}});
    for (const auto& [line, message] : cases) {
        Steps({{line, 1, "", message}});
    }
    EXPECT_EQ(Dump(HiveRoot::kCurrentUser, "A"), "[A]\n=1:\0\n"s) << "no failed command wrote anything";
    EXPECT_EQ(Dump(HiveRoot::kCurrentUser, Chain(512)), "<missing " + Chain(512) + ">");
    Steps({{"/?", 0, "", "import FILE"}});  // alone, it shows the usage
}

// Without /v, /ve or /d, add gives a new key an empty default value and leaves an existing key as it is.
// No question is asked; 512 levels is the deepest key.
TEST_F(RegCommandTest, AddOfAKeyAloneKeepsWhatTheKeyHolds) {
    Steps({{"add HKCU\\Old /ve /d dflt"}, {"add HKCU\\Old\\Sub /v x /t REG_DWORD /d 1"}});
    std::string before = Dump(HiveRoot::kCurrentUser, "Old");
    Steps({{"add HKCU\\Old", 0, "n\n"}, {"add HKCU\\old\\ /f", 0, "n\n"}, {"add HKCU\\" + Chain(512)}});
    EXPECT_EQ(Dump(HiveRoot::kCurrentUser, "Old"), before);
}

// Questions guard the overwriting of a value and of an exported file, and every deletion: any answer but
// yes, or none, leaves everything as it was.
TEST_F(RegCommandTest, QuestionsGuardOverwritingAndDeleting) {
    std::string file = dir_ / "a.reg";
    WriteFile(file, "keep");
    Steps({{"add HKCU\\A /v x /d old"},
           {"add HKCU\\A /v x /d new", 1, "n\n", "Value x exists, overwrite (Yes/No)?"},
           {"add HKCU\\A /v x /d new", 1},
           {"delete HKCU\\A", 1, "no\n"},
           {"delete HKCU\\A /v x", 1, "\n"},
           {"export HKCU\\A " + file, 1, "n\n"}});
    EXPECT_EQ(Dump(HiveRoot::kCurrentUser, "A") + ReadFile(file), "[A]\nx=1:old\0\nkeep"s);
    Steps({{"add HKCU\\A /v x /d new", 0, "yes\n"},
           {"export HKCU\\A " + file, 0, "y\n"},
           {"delete HKCU\\A", 0, "Y\n", "Permanently delete the registry key HKEY_CURRENT_USER\\A (Yes"},
           {"export HKCU\\Missing " + dir_ / "m.reg", 1},
           {"export HKCU\\A " + dir_ / "no-folder/a.reg", 1}});
    EXPECT_NE(ReadFile(file).find(ToUtf16Le("\"x\"=\"new\"")), std::string::npos);
    EXPECT_EQ(Dump(HiveRoot::kCurrentUser, "A") + ReadFile(dir_ / "m.reg"), "<missing A>")
        << "nothing written for a missing key";
}

TEST_F(RegCommandTest, DeleteValuesAndKeys) {
    Steps({{"add HKLM\\K /v a /d a"},
           {"add HKLM\\K /v b /d b"},
           {"add HKLM\\K /ve /d default"},
           {"add HKLM\\K\\Sub /v c /d c"},
           {"delete HKLM\\K /v A /f"},
           {"delete HKLM\\K /ve /f"}});
    EXPECT_EQ(Dump(HiveRoot::kLocalMachine, "K"), "[K]\nb=1:b\0\n[K\\Sub]\nc=1:c\0\n"s);
    Steps({{"delete HKLM\\K /va /f"}});
    EXPECT_EQ(Dump(HiveRoot::kLocalMachine, "K"), "[K]\n[K\\Sub]\nc=1:c\0\n"s)
        << "/va deletes the values of the key, not its subkeys";
    Steps({{"delete HKLM\\k /f"}, {"delete HKLM\\K /f", 1}});
    EXPECT_EQ(Dump(HiveRoot::kLocalMachine, "K"), "<missing K>");
}

TEST_F(RegCommandTest, QueryLayout) {
    const std::string key = "HKCU\\Software\\Norrow\\Quillon";
    Steps({{"add " + key + "\\Path000 /v SourcePath /d C:\\Daten"},
           {"add " + key + "\\Path000 /v Flags /t REG_DWORD /d 2082"},
           {"add " + key + "\\Settings /v RunAtTime /t REG_DWORD /d 1"},
           {"add " + key + " /v Top /d t"},
           {"query HKCU\\Software /s /v Nothing", 1}});
    // Each query and what it prints, "@" standing for HKEY_CURRENT_USER\Software\Norrow\Quillon.
    const std::pair<std::string, const char*> cases[] = {
        {"hkcu\\software\\norrow\\quillon", "\n@\n    Top    REG_SZ    t\n\n@\\Path000\n@\\Settings\n"},
        // A key with subkeys but no values is not named before its subkeys.
        {"HKCU\\Software\\Norrow", "\n@\n"},
        {key + " /s",
         "\n@\n    Top    REG_SZ    t\n"
         "\n@\\Path000\n    SourcePath    REG_SZ    C:\\Daten\n    Flags    REG_DWORD    0x822\n"
         "\n@\\Settings\n    RunAtTime    REG_DWORD    0x1\n"},
        {"HKCU\\Software /s /v flags",
         "\n@\\Path000\n    Flags    REG_DWORD    0x822\nEnd of search: 1 match(es) found.\n"},
        {"HKCU\\Software /ve", "\nHKEY_CURRENT_USER\\Software\n    (Default)    REG_SZ    (value not set)\n"},
    };
    for (const auto& [line, printed] : cases) {
        std::string expected =
            std::regex_replace(printed, std::regex("@"), "HKEY_CURRENT_USER\\Software\\Norrow\\Quillon");
        EXPECT_EQ(Reg("query " + line), Result(0, expected, "")) << line;
    }
}

// Every type and every awkward text makes the trip through the hive and a file: subkeys, an empty key,
// the default value, code page 1252 text and names, and what the .reg format has to escape.
TEST_F(RegCommandTest, ExportThenImportGivesIdenticalValues) {
    std::string all256(256, '\0');
    std::iota(all256.begin(), all256.end(), '\0');
    const std::string key = "Software\\Test";
    const std::tuple<std::string, const char*, uint32_t, std::string> values[] = {
        {key, "SourcePath", kRegSz, "C:\\B\xFCro \x80 \xE9\0"s},
        {key, "", kRegSz, "dflt\0"s},
        {key, "raw text", kRegSz, all256},
        {key, "no zero", kRegSz, "abc"},
        {key, "inner zero", kRegSz, "a\0b\0"s},
        {key, "line break", kRegSz, "a\r\nb\0"s},
        {key, "empty", kRegSz, ""},
        {key, "expand", kRegExpandSz, "%TEMP%\\\xE4\0"s},
        {key, "multi", kRegMultiSz, "\xC4\0b\0\0"s},
        {key, "bin", kRegBinary, all256},
        {key, "dword", kRegDword, "\xFF\xFF\xFF\xFF"},
        {key, "short dword", kRegDword, "\x01\x02\x03"},
        {key, "qword", kRegQword, "\x01\x02\x03\x04\x05\x06\x07\x08"},
        {key, "none", kRegNone, ""},
        {key, "type 99", 99, "xyz"},
        {key, "quote \" and \\ \xE4", kRegDword, std::string(4, '\0')},
        {key + "\\\xC4rger \"Sub\" [x]", "\xDF", kRegSz, "\xDF\0"s},
    };
    std::vector<RegistryChange> changes = {
        {RegistryChange::kCreateKey, HiveRoot::kCurrentUser, "Software\\Test\\Empty", "", 0, ""}};
    for (const auto& [key, name, type, data] : values) {
        changes.push_back({RegistryChange::kSetValue, HiveRoot::kCurrentUser, key, name, type, data});
    }
    ASSERT_EQ(ApplyRegistryChanges(changes), 0);
    std::string before = Dump(HiveRoot::kCurrentUser, "Software\\Test");
    std::string file = dir_ / "test.reg";
    Steps({{"export HKCU\\software\\test " + file}, {"delete HKCU\\Software\\Test /f"}, {"import " + file}});
    EXPECT_EQ(ReadFile(file).substr(0, 4), "\xFF\xFEW\0"s) << "UTF-16LE with byte-order mark";
    EXPECT_EQ(Dump(HiveRoot::kCurrentUser, "Software\\Test"), before);
}

// A chain of 2 000 nested keys, deeper than Windows allows (a hive written before the limit was kept),
// exports with work that grows with the size of the file. A walk that opened every key from the root
// again and held one hive connection per level took minutes and gigabytes here.
TEST_F(RegCommandTest, ExportOfADeepChainTakesLinearWork) {
    const int levels = 2000;
    testing::StoreValue(HiveRoot::kCurrentUser, Chain(levels), "v", kRegSz, "x\0"s);
    std::string file = dir_ / "deep.reg";
    Steps({{"export HKCU\\K " + file}});
    std::string expected = "Windows Registry Editor Version 5.00\r\n";
    for (int level = 1; level <= levels; ++level) {
        expected += "\r\n[HKEY_CURRENT_USER\\" + Chain(level) + "]\r\n";
    }
    EXPECT_TRUE(ReadFile(file) == "\xFF\xFE" + ToUtf16Le(expected + "\"v\"=\"x\"\r\n\r\n"));
}

TEST_F(RegCommandTest, ImportIsAllOrNothing) {
    std::string file = dir_ / "broken.reg";
    WriteFile(file,
              "Windows Registry Editor Version 5.00\r\n\r\n"
              "[HKEY_CURRENT_USER\\Software\\Norrow\\Quillon\\Path000]\r\n"
              "\"SourcePath\"=\"C:\\\\Daten\"\r\n"
              "\"DestPath\"=\"D:\\Backup\"\r\n");
    EXPECT_EQ(Reg("import " + file), Result(1, "",
                                            "ERROR: " + file +
                                                ":5: unknown escape \\B in quoted text (write \\\\ for a "
                                                "backslash) (nothing was imported)\n"));
    EXPECT_EQ(Dump(HiveRoot::kCurrentUser, "Software"), "<missing Software>");

    // A well-formed file whose machine-hive part cannot be written changes neither hive.
    WriteFile(file,
              "Windows Registry Editor Version 5.00\r\n\r\n"
              "[HKEY_CURRENT_USER\\Software\\A]\r\n\"v\"=dword:00000001\r\n"
              "[HKEY_LOCAL_MACHINE\\Software\\B]\r\n\"v\"=dword:00000001\r\n");
    hives_.MakeUnwritable(HiveRoot::kLocalMachine);
    EXPECT_EQ(Reg("import " + file), Result(1, "", "ERROR: Access is denied.\n"));
    EXPECT_EQ(Dump(HiveRoot::kCurrentUser, "Software"), "<missing Software>");
    Steps({{"import " + dir_ / "no-such-file.reg", 1}, {"import " + dir_.Path(), 1}});  // a folder is no file
}

}  // namespace
}  // namespace quillon
