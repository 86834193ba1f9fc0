#include "reg/RegCommand.h"

#include <gtest/gtest.h>

#include <sstream>

#include "platform/RegistryHive.h"
#include "testing/ScopedHives.h"
#include "testing/TempDir.h"

namespace quillon {
namespace {

using testing::ReadFile;
using testing::ScopedHives;
using testing::TempDir;
using testing::WriteFile;

struct Result {
    int code = -1;
    std::string out;
    std::string err;
};

Result Reg(std::vector<std::string> args, const std::string& answers = "") {
    std::istringstream in(answers);
    std::ostringstream out;
    std::ostringstream err;
    int code = RunRegCommand(args, in, out, err);
    return {code, out.str(), err.str()};
}

// A key path of the given number of nested keys named k.
std::string Chain(int levels) {
    std::string path = "k";
    for (int i = 1; i < levels; ++i) {
        path += "\\k";
    }
    return path;
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
    ScopedHives hives_;
    TempDir dir_;
};

TEST_F(RegCommandTest, AddStoresEachTypeAndQueryShowsIt) {
    // Arguments arrive in UTF-8 ("B\xC3\xBCro") and are stored in code page 1252 ("B\xFCro").
    struct Case {
        std::vector<std::string> options;
        std::string stored;  // "<type>:<bytes>"
        std::string shown;   // the query line after the name
    } cases[] = {
        {{"/d", "B\xC3\xBCro"}, std::string("1:B\xFCro\0", 7), "REG_SZ    B\xC3\xBCro"},
        {{"/t", "reg_expand_sz", "/d", "%TEMP%"}, std::string("2:%TEMP%\0", 9), "REG_EXPAND_SZ    %TEMP%"},
        {{"/t", "REG_MULTI_SZ", "/d", "a\\0b"}, std::string("7:a\0b\0\0", 7), "REG_MULTI_SZ    a\\0b"},
        {{"/t", "REG_MULTI_SZ", "/s", ",", "/d", "a,b"},
         std::string("7:a\0b\0\0", 7),
         "REG_MULTI_SZ    a\\0b"},
        {{"/t", "REG_MULTI_SZ", "/d", ""}, std::string("7:\0", 3), "REG_MULTI_SZ    "},
        {{"/t", "REG_DWORD", "/d", "42"}, std::string("4:\x2A\0\0\0", 6), "REG_DWORD    0x2a"},
        {{"/t", "REG_DWORD", "/d", "0xFFFFFFFF"}, "4:\xFF\xFF\xFF\xFF", "REG_DWORD    0xffffffff"},
        {{"/t", "REG_QWORD", "/d", "0x100000000"},
         std::string("11:\0\0\0\0\x01\0\0\0", 11),
         "REG_QWORD    0x100000000"},
        {{"/t", "REG_BINARY", "/d", "01fF"}, "3:\x01\xFF", "REG_BINARY    01FF"},
        // An odd number of digits is read with a leading zero.
        {{"/t", "REG_BINARY", "/d", "DeAdBeEf0DD"},
         "3:\x0D\xEA\xDB\xEE\xF0\xDD",
         "REG_BINARY    0DEADBEEF0DD"},
        {{"/t", "REG_BINARY"}, "3:", "REG_BINARY    "},
        // REG_NONE data is stored as the text in UTF-16 with its zero.
        {{"/t", "REG_NONE"}, std::string("0:\0\0", 4), "REG_NONE    0000"},
        {{"/t", "REG_NONE", "/d", "ab"}, std::string("0:a\0b\0\0\0", 8), "REG_NONE    610062000000"},
        // Data that is only the separator is one empty string; a separator at the end is no string.
        {{"/t", "REG_MULTI_SZ", "/d", "\\0"}, std::string("7:\0\0", 4), "REG_MULTI_SZ    "},
        {{"/t", "REG_MULTI_SZ", "/s", "#", "/d", "#"}, std::string("7:\0\0", 4), "REG_MULTI_SZ    "},
        {{"/t", "REG_MULTI_SZ", "/s", "#", "/d", "word#"},
         std::string("7:word\0\0", 8),
         "REG_MULTI_SZ    word"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"add", "HKCU\\Software\\Norrow\\Quillon", "/v", "Wert", "/f"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        Result add = Reg(args);
        EXPECT_EQ(add.code, 0) << c.shown << add.err;
        EXPECT_EQ(add.out, "The operation completed successfully.\n");
        EXPECT_EQ(testing::StoredValue(HiveRoot::kCurrentUser, "Software\\Norrow\\Quillon", "Wert"), c.stored)
            << c.shown;
        Result query = Reg({"query", "HKEY_CURRENT_USER\\Software\\Norrow\\Quillon", "/V", "wert"});
        EXPECT_EQ(query.code, 0);
        EXPECT_EQ(query.out, "\nHKEY_CURRENT_USER\\Software\\Norrow\\Quillon\n    Wert    " + c.shown + "\n");
    }
}

TEST_F(RegCommandTest, BadCommandLinesFailWithAMessage) {
    struct Case {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{}, "ERROR: Invalid syntax."},
        {{"frobnicate", "HKCU\\A"}, "ERROR: Invalid syntax."},
        {{"add"}, "ERROR: Invalid syntax.\nType \"REG ADD /?\" for usage."},
        {{"add", "HKCU\\A", "/v"}, "ERROR: Invalid syntax."},
        {{"add", "HKCU\\A", "/v", "x", "/ve"}, "ERROR: Invalid syntax."},
        {{"add", "HKCU\\A", "/v", "x", "/v", "y"}, "ERROR: Invalid syntax."},
        {{"add", "HKCU\\A", "/t", "REG_FOO"}, "ERROR: Invalid syntax."},
        {{"add", "HKCU\\A", "/v", "x", "/s", ",", "/d", "a"}, "ERROR: Invalid syntax."},
        {{"add", "HKCU\\A", "/v", "x", "/t", "REG_DWORD", "/d", "4294967296"}, "valid numeric value"},
        {{"add", "HKCU\\A", "/v", "x", "/t", "REG_DWORD", "/d", "12abc"}, "valid numeric value"},
        {{"add", "HKCU\\A", "/v", "x", "/t", "REG_DWORD", "/d", "-1"},
         "ERROR: Invalid syntax. Specify valid numeric value for '/d'."},
        {{"add", "HKCU\\A", "/v", "x", "/t", "REG_QWORD", "/d", "-1"}, "valid numeric value"},
        {{"add", "HKCU\\A", "/v", "x", "/t", "REG_BINARY", "/d", "0g"}, "valid hexadecimal data"},
        {{"add", "HKCU\\A", "/v", "x", "/t", "REG_BINARY", "/d", "0x01"}, "valid hexadecimal data"},
        {{"add", "HKCU\\A", "/v", "x", "/t", "REG_MULTI_SZ", "/d", "a\\0\\0b"}, "empty string"},
        {{"add", "HKCU\\A", "/v", "x", "/t", "REG_MULTI_SZ", "/s", "#", "/d", "#a"}, "empty string"},
        {{"add", "HKCU\\"}, "ERROR: Invalid key name."},
        {{"add", "HKCU\\", "/v", "x", "/d", "y"}, "ERROR: Invalid key name."},
        {{"query", "HKEY_LOCAL_MACHINE\\"}, "ERROR: Invalid key name."},
        {{"add", "HKCU\\" + Chain(513)}, "nest at most 512 levels"},
        {{"add", "HKCU\\A", "/v", std::string(16384, 'v'), "/d", "x"}, "at most 16383 characters"},
        {{"add", "HKCU\\A", "/v", "\xCE\xA9"}, "U+03A9 cannot be stored"},
        {{"add", "HKEY_USERS\\A"}, "ERROR: Invalid key name."},
        {{"add", "HKCU\\A\\\\B"}, "ERROR: Invalid key name."},
        {{"query", "HKCU\\A", "HKCU\\B"}, "ERROR: Invalid syntax."},
        {{"query", "HKCU\\Missing"},
         "ERROR: The system was unable to find the specified registry key or value."},
        {{"delete", "HKCU\\A", "/v", "x", "/va"}, "ERROR: Invalid syntax."},
        {{"delete", "HKCU", "/f"}, "A root key cannot be deleted"},
        {{"import"}, "ERROR: Invalid syntax."},
        {{"export", "HKCU\\A"}, "ERROR: Invalid syntax."},
    };
    ASSERT_EQ(Reg({"add", "HKCU\\A"}).code, 0);
    for (const Case& c : cases) {
        std::string line;
        for (const std::string& arg : c.args) {
            line += arg + " ";
        }
        Result result = Reg(c.args);
        EXPECT_EQ(result.code, 1) << line;
        EXPECT_NE(result.err.find(c.message), std::string::npos) << line << "\n" << result.err;
    }
    EXPECT_EQ(Dump(HiveRoot::kCurrentUser, "A"), std::string("[A]\n=1:\0\n", 9))
        << "no failed command wrote anything";
    EXPECT_EQ(Dump(HiveRoot::kCurrentUser, Chain(512)), "<missing " + Chain(512) + ">");
    Result help = Reg({"/?"});
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("import FILE"), std::string::npos) << "/? alone shows the usage";
}

// Without /v, /ve or /d, add gives a new key an empty default value and leaves an existing key as it is.
TEST_F(RegCommandTest, AddOfAKeyAloneKeepsWhatTheKeyHolds) {
    ASSERT_EQ(Reg({"add", "HKCU\\New"}).code, 0);
    EXPECT_EQ(Dump(HiveRoot::kCurrentUser, "New"), std::string("[New]\n=1:\0\n", 11));
    ASSERT_EQ(Reg({"add", "HKCU\\Old", "/ve", "/d", "dflt"}).code, 0);
    ASSERT_EQ(Reg({"add", "HKCU\\Old\\Sub", "/v", "x", "/t", "REG_DWORD", "/d", "1"}).code, 0);
    std::string before = Dump(HiveRoot::kCurrentUser, "Old");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"add", "HKCU\\Old"}, {"add", "HKCU\\old\\", "/f"}}) {
        Result again = Reg(args, "n\n");
        EXPECT_EQ(again.code, 0) << again.err;
        EXPECT_EQ(again.out, "The operation completed successfully.\n") << "no question is asked";
        EXPECT_EQ(Dump(HiveRoot::kCurrentUser, "Old"), before);
    }
    ASSERT_EQ(Reg({"add", "HKCU\\" + Chain(512)}).code, 0) << "512 levels is the deepest key";
}

TEST_F(RegCommandTest, QuestionsGuardOverwritingAndDeleting) {
    ASSERT_EQ(Reg({"add", "HKCU\\A", "/v", "x", "/d", "old"}).code, 0);
    Result no = Reg({"add", "HKCU\\A", "/v", "x", "/d", "new"}, "n\n");
    EXPECT_EQ(no.code, 1);
    EXPECT_NE(no.out.find("Value x exists, overwrite (Yes/No)?"), std::string::npos) << no.out;
    EXPECT_EQ(Reg({"add", "HKCU\\A", "/v", "x", "/d", "new"}, "").code, 1) << "no answer is no";
    EXPECT_EQ(testing::StoredValue(HiveRoot::kCurrentUser, "A", "x"), std::string("1:old\0", 6));
    EXPECT_EQ(Reg({"add", "HKCU\\A", "/v", "x", "/d", "new"}, "yes\n").code, 0);
    EXPECT_EQ(testing::StoredValue(HiveRoot::kCurrentUser, "A", "x"), std::string("1:new\0", 6));

    EXPECT_EQ(Reg({"delete", "HKCU\\A"}, "no\n").code, 1);
    EXPECT_EQ(Reg({"delete", "HKCU\\A", "/v", "x"}, "\n").code, 1);
    EXPECT_EQ(testing::StoredValue(HiveRoot::kCurrentUser, "A", "x"), std::string("1:new\0", 6));
    Result yes = Reg({"delete", "HKCU\\A"}, "Y\n");
    EXPECT_EQ(yes.code, 0);
    EXPECT_NE(yes.out.find("Permanently delete the registry key HKEY_CURRENT_USER\\A (Yes/No)?"),
              std::string::npos);
    EXPECT_EQ(Dump(HiveRoot::kCurrentUser, "A"), "<missing A>");
}

TEST_F(RegCommandTest, DeleteValuesAndKeys) {
    for (const auto& args :
         std::vector<std::vector<std::string>>{{"add", "HKLM\\K", "/v", "a", "/d", "a"},
                                               {"add", "HKLM\\K", "/v", "b", "/d", "b"},
                                               {"add", "HKLM\\K", "/ve", "/d", "default"},
                                               {"add", "HKLM\\K\\Sub", "/v", "c", "/d", "c"}}) {
        ASSERT_EQ(Reg(args).code, 0);
    }
    EXPECT_EQ(Reg({"delete", "HKLM\\K", "/v", "A", "/f"}).code, 0);
    Result missing = Reg({"delete", "HKLM\\K", "/v", "a", "/f"});
    EXPECT_EQ(missing.code, 1);
    EXPECT_NE(missing.err.find("unable to find"), std::string::npos);
    EXPECT_EQ(Reg({"delete", "HKLM\\K", "/ve", "/f"}).code, 0);
    EXPECT_EQ(testing::StoredValue(HiveRoot::kLocalMachine, "K", ""), "missing");
    EXPECT_EQ(Reg({"add", "HKLM\\K", "/v", "d", "/d", "d"}).code, 0);
    EXPECT_EQ(Reg({"delete", "HKLM\\K", "/va", "/f"}).code, 0);
    EXPECT_EQ(Dump(HiveRoot::kLocalMachine, "K"), std::string("[K]\n[K\\Sub]\nc=1:c\0\n", 19))
        << "/va deletes the values of the key, not its subkeys";
    EXPECT_EQ(Reg({"delete", "HKLM\\k", "/f"}).code, 0);
    EXPECT_EQ(Dump(HiveRoot::kLocalMachine, "K"), "<missing K>");
    EXPECT_EQ(Reg({"delete", "HKLM\\K", "/f"}).code, 1);
}

TEST_F(RegCommandTest, QueryLayout) {
    const std::string key = "HKCU\\Software\\Norrow\\Quillon";
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"add", key + "\\Path000", "/v", "SourcePath", "/d", "C:\\Daten"},
             {"add", key + "\\Path000", "/v", "Flags", "/t", "REG_DWORD", "/d", "2082"},
             {"add", key + "\\Settings", "/v", "RunAtTime", "/t", "REG_DWORD", "/d", "1"},
             {"add", key, "/v", "Top", "/d", "t"}}) {
        ASSERT_EQ(Reg(args).code, 0);
    }
    Result plain = Reg({"query", "hkcu\\software\\norrow\\quillon"});
    EXPECT_EQ(plain.code, 0);
    EXPECT_EQ(plain.out,
              "\nHKEY_CURRENT_USER\\Software\\Norrow\\Quillon\n"
              "    Top    REG_SZ    t\n"
              "\n"
              "HKEY_CURRENT_USER\\Software\\Norrow\\Quillon\\Path000\n"
              "HKEY_CURRENT_USER\\Software\\Norrow\\Quillon\\Settings\n");
    // A key with subkeys but no values is not named before its subkeys.
    Result onlySubkeys = Reg({"query", "HKCU\\Software\\Norrow"});
    EXPECT_EQ(onlySubkeys.code, 0);
    EXPECT_EQ(onlySubkeys.out, "\nHKEY_CURRENT_USER\\Software\\Norrow\\Quillon\n");
    Result tree = Reg({"query", key, "/s"});
    EXPECT_EQ(tree.out,
              "\nHKEY_CURRENT_USER\\Software\\Norrow\\Quillon\n"
              "    Top    REG_SZ    t\n"
              "\nHKEY_CURRENT_USER\\Software\\Norrow\\Quillon\\Path000\n"
              "    SourcePath    REG_SZ    C:\\Daten\n"
              "    Flags    REG_DWORD    0x822\n"
              "\nHKEY_CURRENT_USER\\Software\\Norrow\\Quillon\\Settings\n"
              "    RunAtTime    REG_DWORD    0x1\n");
    Result search = Reg({"query", "HKCU\\Software", "/s", "/v", "flags"});
    EXPECT_EQ(search.code, 0);
    EXPECT_EQ(search.out,
              "\nHKEY_CURRENT_USER\\Software\\Norrow\\Quillon\\Path000\n"
              "    Flags    REG_DWORD    0x822\n"
              "End of search: 1 match(es) found.\n");
    EXPECT_EQ(Reg({"query", "HKCU\\Software", "/s", "/v", "Nothing"}).code, 1);
    Result unset = Reg({"query", "HKCU\\Software", "/ve"});
    EXPECT_EQ(unset.out, "\nHKEY_CURRENT_USER\\Software\n    (Default)    REG_SZ    (value not set)\n");
}

// Every type and every awkward text makes the trip through the hive and a file: subkeys, an empty key,
// the default value, code page 1252 text and names, and what the .reg format has to escape.
TEST_F(RegCommandTest, ExportThenImportGivesIdenticalValues) {
    std::string all256;
    for (int b = 0; b < 256; ++b) {
        all256.push_back(static_cast<char>(b));
    }
    const std::string key = "Software\\Test";
    const std::tuple<std::string, const char*, uint32_t, std::string> values[] = {
        {key, "SourcePath", kRegSz, std::string("C:\\B\xFCro \x80 \xE9\0", 12)},
        {key, "", kRegSz, std::string("dflt\0", 5)},
        {key, "raw text", kRegSz, all256},
        {key, "no zero", kRegSz, "abc"},
        {key, "inner zero", kRegSz, std::string("a\0b\0", 4)},
        {key, "line break", kRegSz, std::string("a\r\nb\0", 5)},
        {key, "empty", kRegSz, ""},
        {key, "expand", kRegExpandSz, std::string("%TEMP%\\\xE4\0", 9)},
        {key, "multi", kRegMultiSz, std::string("\xC4\0b\0\0", 5)},
        {key, "bin", kRegBinary, all256},
        {key, "dword", kRegDword, std::string("\xFF\xFF\xFF\xFF", 4)},
        {key, "short dword", kRegDword, std::string("\x01\x02\x03", 3)},
        {key, "qword", kRegQword, std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8)},
        {key, "none", kRegNone, ""},
        {key, "type 99", 99, "xyz"},
        {key, "quote \" and \\ \xE4", kRegDword, std::string(4, '\0')},
        {key + "\\\xC4rger \"Sub\" [x]", "\xDF", kRegSz, std::string("\xDF\0", 2)},
    };
    std::vector<RegistryChange> changes = {
        {RegistryChange::kCreateKey, HiveRoot::kCurrentUser, "Software\\Test\\Empty", "", 0, ""}};
    for (const auto& [key, name, type, data] : values) {
        changes.push_back({RegistryChange::kSetValue, HiveRoot::kCurrentUser, key, name, type, data});
    }
    ASSERT_EQ(ApplyRegistryChanges(changes), 0);
    std::string before = Dump(HiveRoot::kCurrentUser, "Software\\Test");
    std::string file = dir_ / "test.reg";
    Result exported = Reg({"export", "HKCU\\software\\test", file});
    ASSERT_EQ(exported.code, 0) << exported.err;
    EXPECT_EQ(ReadFile(file).substr(0, 4), std::string("\xFF\xFEW\0", 4)) << "UTF-16LE with byte-order mark";
    ASSERT_EQ(Reg({"delete", "HKCU\\Software\\Test", "/f"}).code, 0);
    Result imported = Reg({"import", file});
    ASSERT_EQ(imported.code, 0) << imported.err;
    EXPECT_EQ(Dump(HiveRoot::kCurrentUser, "Software\\Test"), before);
}

// A chain of 2 000 nested keys, deeper than Windows allows (a hive written before the limit was kept),
// exports with work that grows with the size of the file. A walk that opened every key from the root
// again and held one hive connection per level took minutes and gigabytes here.
TEST_F(RegCommandTest, ExportOfADeepChainTakesLinearWork) {
    const int levels = 2000;
    const std::string path = Chain(levels);
    ASSERT_EQ(ApplyRegistryChanges({{RegistryChange::kSetValue, HiveRoot::kCurrentUser, path, "v", kRegSz,
                                     std::string("x\0", 2)}}),
              0);
    std::string file = dir_ / "deep.reg";
    Result exported = Reg({"export", "HKCU\\K", file});
    ASSERT_EQ(exported.code, 0) << exported.err;
    std::string bytes = ReadFile(file);
    std::string text;  // the file is UTF-16 of ASCII text
    for (size_t i = 2; i < bytes.size(); i += 2) {
        text.push_back(bytes[i]);
    }
    size_t keyLines = 0;
    for (size_t at = text.find("\n[HKEY_CURRENT_USER\\k"); at != std::string::npos;
         at = text.find("\n[HKEY_CURRENT_USER\\k", at + 1)) {
        ++keyLines;
    }
    EXPECT_EQ(keyLines, static_cast<size_t>(levels));
    const std::string last = "\r\n[HKEY_CURRENT_USER\\" + path + "]\r\n\"v\"=\"x\"\r\n\r\n";
    EXPECT_TRUE(text.ends_with(last)) << "the deepest key ends the file";
    // Such a file is refused whole on import, as Windows refuses it.
    ASSERT_EQ(Reg({"delete", "HKCU\\k", "/f"}).code, 0);
    Result imported = Reg({"import", file});
    EXPECT_EQ(imported.code, 1);
    EXPECT_NE(imported.err.find("deeper than 512 levels (nothing was imported)"), std::string::npos)
        << imported.err;
    EXPECT_EQ(Dump(HiveRoot::kCurrentUser, "k"), "<missing k>");
}

TEST_F(RegCommandTest, ImportIsAllOrNothing) {
    std::string file = dir_ / "broken.reg";
    WriteFile(file,
              "Windows Registry Editor Version 5.00\r\n\r\n"
              "[HKEY_CURRENT_USER\\Software\\Norrow\\Quillon\\Path000]\r\n"
              "\"SourcePath\"=\"C:\\\\Daten\"\r\n"
              "\"DestPath\"=\"D:\\Backup\"\r\n");
    Result broken = Reg({"import", file});
    EXPECT_EQ(broken.code, 1);
    EXPECT_EQ(broken.err,
              "ERROR: " + file +
                  ":5: unknown escape \\B in quoted text (write \\\\ for a backslash) (nothing was "
                  "imported)\n");
    EXPECT_EQ(Dump(HiveRoot::kCurrentUser, "Software"), "<missing Software>");

    // A well-formed file whose machine-hive part cannot be written changes neither hive.
    WriteFile(file,
              "Windows Registry Editor Version 5.00\r\n\r\n"
              "[HKEY_CURRENT_USER\\Software\\A]\r\n\"v\"=dword:00000001\r\n"
              "[HKEY_LOCAL_MACHINE\\Software\\B]\r\n\"v\"=dword:00000001\r\n");
    hives_.MakeUnwritable(HiveRoot::kLocalMachine);
    Result denied = Reg({"import", file});
    EXPECT_EQ(denied.code, 1);
    EXPECT_EQ(denied.err, "ERROR: Access is denied.\n");
    EXPECT_EQ(Dump(HiveRoot::kCurrentUser, "Software"), "<missing Software>");

    EXPECT_EQ(Reg({"import", dir_ / "no such file.reg"}).code, 1);
    EXPECT_EQ(Reg({"import", dir_.Path()}).code, 1) << "a folder is no file";
}

TEST_F(RegCommandTest, ExportAsksBeforeReplacingAFile) {
    ASSERT_EQ(Reg({"add", "HKCU\\A", "/v", "x", "/d", "1"}).code, 0);
    std::string file = dir_ / "a.reg";
    WriteFile(file, "keep");
    EXPECT_EQ(Reg({"export", "HKCU\\A", file}, "n\n").code, 1);
    EXPECT_EQ(ReadFile(file), "keep");
    EXPECT_EQ(Reg({"export", "HKCU\\A", file}, "y\n").code, 0);
    EXPECT_NE(ReadFile(file), "keep");
    EXPECT_EQ(Reg({"export", "HKCU\\Missing", dir_ / "m.reg"}).code, 1);
    EXPECT_EQ(ReadFile(dir_ / "m.reg"), "") << "nothing written for a missing key";
    EXPECT_EQ(Reg({"export", "HKCU\\A", dir_ / "no folder/a.reg"}).code, 1);
}

}  // namespace
}  // namespace quillon
