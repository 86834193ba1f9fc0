#include "platform/RegistryHive.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>

#include "platform/LastError.h"
#include "testing/CaptureTrace.h"
#include "testing/Environment.h"
#include "testing/TempDir.h"

namespace quillon {
namespace {

using testing::CaptureTrace;
using testing::ReadFile;
using testing::ScopedEnv;
using testing::TempDir;
using testing::WriteFile;

constexpr HiveRoot kMachine = HiveRoot::kLocalMachine;
constexpr HiveRoot kUser = HiveRoot::kCurrentUser;

bool FileExists(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0;
}

class RegistryHiveTest : public ::testing::Test {
  protected:
    std::string MachineFile() const { return dir_ / "machine/machine.hive"; }
    std::string UserFile() const { return dir_ / "user/user.hive"; }

    void Set(HiveRoot root, const std::string& key, const std::string& name, uint32_t type,
             const std::string& data) {
        RegistryKey handle;
        ASSERT_EQ(CreateRegistryKey(root, key, handle), 0) << key;
        ASSERT_EQ(SetRegistryValue(handle, name, type, data), 0) << key << "\\" << name;
    }
    // The value's data, or "<error N>".
    std::string Get(HiveRoot root, const std::string& key, const std::string& name,
                    uint32_t* type = nullptr) {
        RegistryKey handle;
        if (int32_t error = OpenRegistryKey(root, key, handle); error != 0) {
            return "<error " + std::to_string(error) + ">";
        }
        uint32_t storedType = 0;
        std::string data;
        if (int32_t error = ReadRegistryValue(handle, name, storedType, data); error != 0) {
            return "<error " + std::to_string(error) + ">";
        }
        if (type != nullptr) {
            *type = storedType;
        }
        return data;
    }

    TempDir dir_;
    ScopedEnv machine_{"QUILLON_MACHINE_HIVE", dir_ / "machine/machine.hive"};
    ScopedEnv user_{"QUILLON_USER_HIVE", dir_ / "user/user.hive"};
};

TEST_F(RegistryHiveTest, HiveFilesComeFromTheEnvironmentWithDefaults) {
    EXPECT_EQ(HiveFilePath(kMachine), MachineFile());
    EXPECT_EQ(HiveFilePath(kUser), UserFile());
    ScopedEnv noMachine("QUILLON_MACHINE_HIVE", std::nullopt);
    ScopedEnv noUser("QUILLON_USER_HIVE", "");
    ScopedEnv config("XDG_CONFIG_HOME", "/cfg");
    EXPECT_EQ(HiveFilePath(kMachine), "/var/lib/quillon/machine.hive");
    EXPECT_EQ(HiveFilePath(kUser), "/cfg/quillon/user.hive");
    ScopedEnv noConfig("XDG_CONFIG_HOME", std::nullopt);
    ScopedEnv home("HOME", "/home/me");
    EXPECT_EQ(HiveFilePath(kUser), "/home/me/.config/quillon/user.hive");
}

TEST_F(RegistryHiveTest, MissingHiveReadsAsEmptyAndIsCreatedByTheFirstWrite) {
    RegistryKey key;
    EXPECT_EQ(OpenRegistryKey(kUser, "", key), 0);  // the root key always exists
    std::vector<std::string> subkeys{"stale"};
    EXPECT_EQ(EnumRegistrySubkeys(key, subkeys), 0);
    EXPECT_TRUE(subkeys.empty());
    uint32_t size = 0;
    EXPECT_EQ(QueryRegistryValue(key, "x", nullptr, nullptr, &size), kErrorFileNotFound);
    EXPECT_EQ(OpenRegistryKey(kUser, "Software", key), kErrorFileNotFound);
    EXPECT_FALSE(key.IsOpen());
    EXPECT_EQ(DeleteRegistryKeyTree(kUser, "Software"), kErrorFileNotFound);
    EXPECT_FALSE(FileExists(UserFile())) << "reading must not create the hive";

    Set(kUser, "Software\\Norrow\\Quillon", "Semaphore", kRegDword, std::string("\x01\0\0\0", 4));
    EXPECT_TRUE(FileExists(UserFile()));
    EXPECT_FALSE(FileExists(MachineFile()));
    EXPECT_EQ(OpenRegistryKey(kUser, "Software\\Norrow", key), 0) << "the whole chain was created";
}

TEST_F(RegistryHiveTest, NamesIgnoreCaseAndKeepTheirSpelling) {
    Set(kUser, "Software\\Norrow\\\xC4rger", "Wert", kRegSz, std::string("a\0", 2));
    struct Case {
        const char* key;
        const char* name;
    } cases[] = {
        {"SOFTWARE\\norrow\\\xC4RGER", "WERT"},
        {"software\\NORROW\\\xE4rger", "wert"},    // a-umlaut folds to A-umlaut
        {"Software\\Norrow\\\xE4rger\\", "Wert"},  // one trailing backslash is allowed
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Get(kUser, c.key, c.name), std::string("a\0", 2)) << c.key << " " << c.name;
    }
    // Replacing through another spelling keeps the first one.
    Set(kUser, "software\\norrow\\\xE4rger", "WERT", kRegSz, std::string("b\0", 2));
    RegistryKey key;
    ASSERT_EQ(OpenRegistryKey(kUser, "Software\\Norrow", key), 0);
    std::vector<std::string> subkeys;
    ASSERT_EQ(EnumRegistrySubkeys(key, subkeys), 0);
    EXPECT_EQ(subkeys, std::vector<std::string>{"\xC4rger"});
    ASSERT_EQ(OpenRegistryKey(kUser, "Software\\Norrow\\\xC4rger", key), 0);
    std::vector<RegistryValue> values;
    ASSERT_EQ(EnumRegistryValues(key, values), 0);
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0].name, "Wert");
    EXPECT_EQ(values[0].data, std::string("b\0", 2));
}

TEST_F(RegistryHiveTest, FoldingCoversTheLettersOfCodePage1252) {
    struct Case {
        char lower, upper;
    } pairs[] = {{'a', 'A'},       {'z', 'Z'},       {'\xE0', '\xC0'}, {'\xFE', '\xDE'},
                 {'\x9A', '\x8A'}, {'\x9C', '\x8C'}, {'\x9E', '\x8E'}, {'\xFF', '\x9F'}};
    for (const Case& c : pairs) {
        EXPECT_EQ(FoldRegistryChar(c.lower), c.upper) << int(static_cast<unsigned char>(c.lower));
        EXPECT_EQ(FoldRegistryChar(c.upper), c.upper);
    }
    // Not letters, or letters without a capital: unchanged.
    for (char c : {'\xF7', '\xDF', '\xB5', '1', '\\', '\0'}) {
        EXPECT_EQ(FoldRegistryChar(c), c) << int(static_cast<unsigned char>(c));
    }
}

TEST_F(RegistryHiveTest, EveryTypeKeepsItsBytes) {
    struct Case {
        const char* name;
        uint32_t type;
        std::string data;
    } cases[] = {
        {"sz", kRegSz,
         std::string("C:\\Daten\\B\xFC"
                     "cher\0",
                     16)},
        {"expand", kRegExpandSz, std::string("%TEMP%\\x\0", 9)},
        {"binary", kRegBinary, std::string("\x00\xFF\x05", 3)},
        {"dword", kRegDword, std::string("\xFF\xFF\xFF\xFF", 4)},
        {"multi", kRegMultiSz, std::string("a\0bc\0\0", 6)},
        {"qword", kRegQword, std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8)},
        {"none", kRegNone, ""},
        {"odd type", 0x12345, std::string("\0raw", 4)},
        {"", kRegSz, std::string("default\0", 8)},
        {"unterminated", kRegSz, "no zero"},
    };
    for (const Case& c : cases) {
        Set(kMachine, "K", c.name, c.type, c.data);
    }
    for (const Case& c : cases) {
        uint32_t type = 0;
        EXPECT_EQ(Get(kMachine, "K", c.name, &type), c.data) << c.name;
        EXPECT_EQ(type, c.type) << c.name;
    }
    RegistryKey key;
    ASSERT_EQ(OpenRegistryKey(kMachine, "K", key), 0);
    std::vector<RegistryValue> values;
    ASSERT_EQ(EnumRegistryValues(key, values), 0);
    ASSERT_EQ(values.size(), std::size(cases));
    for (size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(values[i].name, cases[i].name) << "values enumerate in creation order";
    }
}

TEST_F(RegistryHiveTest, QueryAnswersMoreDataForASmallBuffer) {
    Set(kUser, "K", "v", kRegSz, std::string("12345\0", 6));
    RegistryKey key;
    ASSERT_EQ(OpenRegistryKey(kUser, "K", key), 0);
    char buffer[8] = "zzzzzzz";
    uint32_t type = 0;
    uint32_t size = 5;
    EXPECT_EQ(QueryRegistryValue(key, "v", &type, buffer, &size), kErrorMoreData);
    EXPECT_EQ(size, 6u) << "the size needed";
    EXPECT_EQ(std::string(buffer), "zzzzzzz") << "the buffer is left alone";
    size = 6;
    EXPECT_EQ(QueryRegistryValue(key, "v", &type, buffer, &size), 0);
    EXPECT_EQ(std::string(buffer, 6), std::string("12345\0", 6));
    EXPECT_EQ(type, kRegSz);
    size = 0;
    EXPECT_EQ(QueryRegistryValue(key, "v", nullptr, nullptr, &size), 0);
    EXPECT_EQ(size, 6u) << "no buffer asks for the size";
    EXPECT_EQ(QueryRegistryValue(key, "missing", &type, buffer, &size), kErrorFileNotFound);
    EXPECT_EQ(QueryRegistryValue(RegistryKey(), "v", &type, buffer, &size), kErrorInvalidHandle);
}

TEST_F(RegistryHiveTest, DeletingValuesAndTrees) {
    Set(kUser, "A\\B\\C", "deep", kRegSz, std::string("x\0", 2));
    Set(kUser, "A\\B", "mid", kRegSz, std::string("y\0", 2));
    Set(kUser, "A\\Other", "keep", kRegSz, std::string("z\0", 2));
    RegistryKey key;
    ASSERT_EQ(CreateRegistryKey(kUser, "A\\B", key), 0);
    EXPECT_EQ(DeleteRegistryValue(key, "MID"), 0);
    EXPECT_EQ(DeleteRegistryValue(key, "mid"), kErrorFileNotFound);
    EXPECT_EQ(Get(kUser, "A\\B", "mid"), "<error 2>");

    EXPECT_EQ(DeleteRegistryKeyTree(kUser, "a\\b"), 0);
    EXPECT_EQ(Get(kUser, "A\\B\\C", "deep"), "<error 2>");
    EXPECT_EQ(Get(kUser, "A\\Other", "keep"), std::string("z\0", 2));
    EXPECT_EQ(DeleteRegistryKeyTree(kUser, "A\\B"), kErrorFileNotFound);
    EXPECT_EQ(DeleteRegistryKeyTree(kUser, ""), kErrorInvalidParameter);

    // A key recreated under the old name starts empty: nothing of the deleted tree comes back.
    Set(kUser, "A\\B\\C", "new", kRegDword, std::string(4, '\0'));
    EXPECT_EQ(Get(kUser, "A\\B\\C", "deep"), "<error 2>");
}

TEST_F(RegistryHiveTest, AccessRulesOfOpenKeys) {
    Set(kUser, "K", "v", kRegSz, std::string("x\0", 2));
    RegistryKey reader;
    ASSERT_EQ(OpenRegistryKey(kUser, "K", reader), 0);
    EXPECT_EQ(SetRegistryValue(reader, "v", kRegSz, "y"), kErrorAccessDenied);
    EXPECT_EQ(DeleteRegistryValue(reader, "v"), kErrorAccessDenied);

    RegistryKey writer;
    ASSERT_EQ(CreateRegistryKey(kUser, "K", writer), 0);
    ASSERT_EQ(DeleteRegistryKeyTree(kUser, "K"), 0);
    EXPECT_EQ(SetRegistryValue(writer, "v", kRegSz, "y"), kErrorKeyDeleted);
    Set(kUser, "K", "other", kRegSz, "");
    EXPECT_EQ(SetRegistryValue(writer, "v", kRegSz, "y"), kErrorKeyDeleted)
        << "a key of the same name created later is another key";
    EXPECT_EQ(Get(kUser, "K", "v"), "<error 2>");
}

TEST_F(RegistryHiveTest, MalformedKeyPathsAreRefused) {
    std::string longName(kMaxKeyNameLength + 1, 'n');
    for (const std::string& path : {std::string("\\Software"), std::string("A\\\\B"), std::string("A\\\\"),
                                    std::string("\\"), longName, "A\\" + longName}) {
        RegistryKey key;
        EXPECT_EQ(CreateRegistryKey(kUser, path, key), kErrorBadPathname) << path;
        EXPECT_EQ(OpenRegistryKey(kUser, path, key), kErrorBadPathname) << path;
    }
    RegistryKey key;
    EXPECT_EQ(CreateRegistryKey(kUser, std::string(kMaxKeyNameLength, 'n'), key), 0);
    EXPECT_EQ(CreateRegistryKey(kUser, "", key), 0) << "the root key takes values too";
    EXPECT_EQ(SetRegistryValue(key, "top", kRegDword, std::string(4, '\0')), 0);
}

TEST_F(RegistryHiveTest, UnwritableHiveDeniesWritesAndReadsAsEmpty) {
    WriteFile(dir_ / "plain", "a regular file");
    ScopedEnv below("QUILLON_USER_HIVE", dir_ / "plain/quillon/user.hive");
    RegistryKey key;
    EXPECT_EQ(CreateRegistryKey(kUser, "Software", key), kErrorAccessDenied);
    EXPECT_FALSE(key.IsOpen());
    EXPECT_EQ(OpenRegistryKey(kUser, "Software", key), kErrorFileNotFound);
    EXPECT_EQ(ApplyRegistryChanges({{RegistryChange::kCreateKey, kUser, "Software", "", 0, ""}}),
              kErrorAccessDenied);
    EXPECT_EQ(ReadFile(dir_ / "plain"), "a regular file");
}

TEST_F(RegistryHiveTest, DamagedHiveIsNeitherUsedNorOverwritten) {
    std::mt19937 random(7);
    std::string garbage(8192, '\0');
    for (char& c : garbage) {
        c = static_cast<char>(random());
    }
    std::string sqliteHeader("SQLite format 3\0", 16);
    struct Case {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"random bytes", garbage},
        {"a database header over random pages", sqliteHeader + garbage},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        std::string file = dir / "damaged.hive";
        WriteFile(file, c.bytes);
        ScopedEnv user("QUILLON_USER_HIVE", file);
        CaptureTrace trace;
        RegistryKey key;
        EXPECT_NE(OpenRegistryKey(kUser, "Software", key), 0);
        EXPECT_EQ(CreateRegistryKey(kUser, "Software", key), kErrorAccessDenied);
        EXPECT_EQ(DeleteRegistryKeyTree(kUser, "Software"), kErrorAccessDenied);
        EXPECT_EQ(ApplyRegistryChanges({{RegistryChange::kSetValue, kUser, "K", "v", kRegSz, "x"}}),
                  kErrorAccessDenied);
        EXPECT_EQ(OpenRegistryKey(kUser, "", key), kErrorBadDb);
        EXPECT_EQ(ReadFile(file), c.bytes) << "the damaged file is left as it was";
        EXPECT_EQ(trace.Records(),
                  std::vector<std::string>{"*** Registry hive damaged, left untouched: >" + file + "<\n"});
    }
}

TEST_F(RegistryHiveTest, ADatabaseOfSomethingElseIsNotTakenForAHive) {
    // Built through the hive itself: a hive whose marks were removed is just some database.
    Set(kUser, "K", "v", kRegSz, "x");
    std::string bytes = ReadFile(UserFile());
    ASSERT_GT(bytes.size(), 72u);
    bytes.replace(68, 4, std::string(4, '\0'));  // the application id of the database header
    WriteFile(UserFile(), bytes);
    CaptureTrace trace;
    RegistryKey key;
    EXPECT_EQ(OpenRegistryKey(kUser, "K", key), kErrorBadDb);
    EXPECT_EQ(CreateRegistryKey(kUser, "K", key), kErrorAccessDenied);
    EXPECT_EQ(ReadFile(UserFile()), bytes);
    EXPECT_EQ(trace.Records().size(), 1u);
}

TEST_F(RegistryHiveTest, BatchesAreAllOrNothingAcrossBothHives) {
    Set(kMachine, "M", "old", kRegSz, "1");
    std::vector<RegistryChange> changes = {
        {RegistryChange::kSetValue, kMachine, "M", "new", kRegSz, "2"},
        {RegistryChange::kDeleteValue, kMachine, "M", "old", 0, ""},
        {RegistryChange::kSetValue, kUser, "U\\V", "v", kRegDword, std::string(4, '\x07')},
        {RegistryChange::kCreateKey, kUser, "Empty", "", 0, ""},
        {RegistryChange::kDeleteKeyTree, kUser, "Absent", "", 0, ""},
        {RegistryChange::kDeleteValue, kUser, "Absent", "v", 0, ""},
    };
    {
        // The user hive cannot be written: nothing happens in the machine hive either.
        WriteFile(dir_ / "plain", "");
        ScopedEnv below("QUILLON_USER_HIVE", dir_ / "plain/user.hive");
        EXPECT_EQ(ApplyRegistryChanges(changes), kErrorAccessDenied);
        EXPECT_EQ(Get(kMachine, "M", "old"), "1");
        EXPECT_EQ(Get(kMachine, "M", "new"), "<error 2>");
    }
    // A change that fails in the middle undoes the ones before it.
    std::vector<RegistryChange> failing = changes;
    failing.push_back({RegistryChange::kDeleteKeyTree, kUser, "", "", 0, ""});
    EXPECT_EQ(ApplyRegistryChanges(failing), kErrorInvalidParameter);
    EXPECT_EQ(Get(kMachine, "M", "new"), "<error 2>");
    EXPECT_EQ(Get(kUser, "U\\V", "v"), "<error 2>");

    EXPECT_EQ(ApplyRegistryChanges(changes), 0);
    EXPECT_EQ(Get(kMachine, "M", "new"), "2");
    EXPECT_EQ(Get(kMachine, "M", "old"), "<error 2>");
    EXPECT_EQ(Get(kUser, "U\\V", "v"), std::string(4, '\x07'));
    RegistryKey key;
    EXPECT_EQ(OpenRegistryKey(kUser, "Empty", key), 0);
}

TEST_F(RegistryHiveTest, BothHivesInOneFileDoNotWaitForThemselves) {
    ScopedEnv same("QUILLON_USER_HIVE", MachineFile());
    EXPECT_EQ(ApplyRegistryChanges({{RegistryChange::kSetValue, kMachine, "A", "v", kRegSz, "m"},
                                    {RegistryChange::kSetValue, kUser, "B", "v", kRegSz, "u"}}),
              0);
    EXPECT_EQ(Get(kMachine, "B", "v"), "u");
}

// Runs body in a child process and answers its pid; the child exits 0 when body returns true.
template <class Body>
pid_t Spawn(Body body) {
    pid_t pid = ::fork();
    if (pid == 0) {
        ::_exit(body() ? 0 : 1);
    }
    return pid;
}

int WaitExit(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(RegistryHiveTest, TwoProcessesWritingAtOnceLoseNothing) {
    constexpr int kValues = 80;
    auto writer = [&](char tag) {
        return [tag] {
            for (int i = 0; i < kValues; ++i) {
                RegistryKey key;
                std::string name = tag + std::to_string(i);
                // Both writers share a key chain and each also creates keys of its own.
                if (CreateRegistryKey(HiveRoot::kCurrentUser,
                                      "Shared\\" + std::string(1, tag) + std::to_string(i % 7), key) != 0 ||
                    SetRegistryValue(key, "v", kRegSz, name) != 0) {
                    return false;
                }
                if (CreateRegistryKey(HiveRoot::kCurrentUser, "Shared", key) != 0 ||
                    SetRegistryValue(key, name, kRegSz, name) != 0) {
                    return false;
                }
            }
            return true;
        };
    };
    // The hive does not exist yet: both processes also race to create it.
    pid_t a = Spawn(writer('a'));
    pid_t b = Spawn(writer('b'));
    ASSERT_EQ(WaitExit(a), 0);
    ASSERT_EQ(WaitExit(b), 0);
    RegistryKey key;
    ASSERT_EQ(OpenRegistryKey(kUser, "Shared", key), 0);
    std::vector<RegistryValue> values;
    ASSERT_EQ(EnumRegistryValues(key, values), 0);
    EXPECT_EQ(values.size(), 2u * kValues);
    for (char tag : {'a', 'b'}) {
        for (int i = 0; i < kValues; ++i) {
            std::string name = tag + std::to_string(i);
            EXPECT_EQ(Get(kUser, "Shared", name), name);
        }
    }
}

TEST_F(RegistryHiveTest, AWriterKilledMidWayLeavesEveryValueWhole) {
    Set(kUser, "K", "start", kRegSz, "");
    pid_t child = Spawn([] {
        RegistryKey key;
        if (CreateRegistryKey(HiveRoot::kCurrentUser, "K", key) != 0) {
            return false;
        }
        for (int i = 0;; ++i) {
            // Large values spread every write over many pages of the file.
            std::string data(20000 + i % 5000, static_cast<char>('a' + i % 26));
            SetRegistryValue(key, "v" + std::to_string(i % 40), kRegBinary, data);
        }
    });
    // Let it get well into its writing, then kill it wherever it is.
    for (int i = 0; i < 100 && ReadFile(UserFile()).size() < 400000; ++i) {
        ::usleep(10000);
    }
    ::usleep(3000);
    ::kill(child, SIGKILL);
    WaitExit(child);

    RegistryKey key;
    ASSERT_EQ(OpenRegistryKey(kUser, "K", key), 0);
    std::vector<RegistryValue> values;
    ASSERT_EQ(EnumRegistryValues(key, values), 0);
    EXPECT_GT(values.size(), 1u);
    for (const RegistryValue& value : values) {
        if (value.name == "start") {
            continue;
        }
        ASSERT_GE(value.data.size(), 20000u) << value.name;
        EXPECT_EQ(value.data, std::string(value.data.size(), value.data[0])) << value.name;
    }
    Set(kUser, "K", "after", kRegSz, "ok");
    EXPECT_EQ(Get(kUser, "K", "after"), "ok");
}

}  // namespace
}  // namespace quillon
