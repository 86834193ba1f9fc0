#include "platform/RegistryHive.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "platform/LastError.h"
#include "testing/CaptureTrace.h"
#include "testing/ScopedHives.h"

namespace quillon {
namespace {

using testing::ReadFile;
using testing::ScopedEnv;
using testing::StoredValue;
using testing::StoreValue;
using Lines = std::vector<std::string>;

constexpr HiveRoot kMachine = HiveRoot::kLocalMachine;
constexpr HiveRoot kUser = HiveRoot::kCurrentUser;

// A tree as one line per key, "path name=data ...", in the order it reads back; or the error.
Lines Tree(HiveRoot root, const std::string& path, bool recursive = true) {
    std::vector<RegistryTreeKey> tree;
    if (int32_t error = ReadRegistryTree(root, path, recursive, tree); error != 0) {
        EXPECT_TRUE(tree.empty());
        return {"error " + std::to_string(error)};
    }
    Lines lines;
    for (const RegistryTreeKey& key : tree) {
        lines.push_back(key.path);
        for (const RegistryValue& value : key.values) {
            lines.back() += " " + value.name + "=" + value.data;
        }
    }
    return lines;
}

class RegistryHiveTest : public ::testing::Test {
  protected:
    testing::ScopedHives hives_;
};

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
    EXPECT_FALSE(std::filesystem::exists(hives_.File(kUser))) << "reading must not create the hive";

    StoreValue(kUser, "Software\\Norrow\\Quillon", "Semaphore", kRegDword, std::string("\x01\0\0\0", 4));
    EXPECT_TRUE(std::filesystem::exists(hives_.File(kUser)));
    EXPECT_FALSE(std::filesystem::exists(hives_.File(kMachine)));
    EXPECT_EQ(OpenRegistryKey(kUser, "Software\\Norrow", key), 0) << "the whole chain was created";
}

TEST_F(RegistryHiveTest, NamesIgnoreCaseAndKeepTheirSpelling) {
    StoreValue(kUser, "Software\\Norrow\\\xC4rger", "Wert", kRegSz, "a");
    // a-umlaut folds to A-umlaut; one trailing backslash is allowed.
    for (auto [key, name] : {std::pair{"SOFTWARE\\norrow\\\xC4RGER", "WERT"},
                             {"software\\NORROW\\\xE4rger", "wert"},
                             {"Software\\Norrow\\\xE4rger\\", "Wert"}}) {
        EXPECT_EQ(StoredValue(kUser, key, name), "1:a") << key << " " << name;
    }
    // Replacing through another spelling keeps the first one.
    StoreValue(kUser, "software\\norrow\\\xE4rger", "WERT", kRegSz, "b");
    EXPECT_EQ(Tree(kUser, "software"),
              (Lines{"Software", "Software\\Norrow", "Software\\Norrow\\\xC4rger Wert=b"}));

    // Code page 1252 letters beyond the umlauts fold too; other characters stay.
    std::string folded = "z\xE0\xFE\x9A\x9C\x9E\xFF\xC0\xF7\xDF\xB5\\";
    std::transform(folded.begin(), folded.end(), folded.begin(), FoldRegistryChar);
    EXPECT_EQ(folded, "Z\xC0\xDE\x8A\x8C\x8E\x9F\xC0\xF7\xDF\xB5\\");
}

TEST_F(RegistryHiveTest, QueryAnswersMoreDataForASmallBufferAndLeavesItAlone) {
    StoreValue(kUser, "K", "v", kRegSz, std::string("12345\0", 6));
    RegistryKey key;
    ASSERT_EQ(OpenRegistryKey(kUser, "K", key), 0);
    char buffer[8] = "zzzzzzz";
    uint32_t type = 0, size = 5;
    EXPECT_EQ(QueryRegistryValue(key, "v", &type, buffer, &size), kErrorMoreData);
    EXPECT_EQ(size, 6u) << "the size needed";
    EXPECT_EQ(std::string(buffer), "zzzzzzz");
    EXPECT_EQ(QueryRegistryValue(key, "v", &type, buffer, &size), 0);
    EXPECT_EQ(std::string(buffer, size), std::string("12345\0", 6));
    size = 0;
    EXPECT_EQ(QueryRegistryValue(key, "v", nullptr, nullptr, &size), 0);
    EXPECT_EQ(size, 6u) << "no buffer asks for the size";
    EXPECT_EQ(QueryRegistryValue(key, "missing", &type, buffer, &size), kErrorFileNotFound);
    EXPECT_EQ(QueryRegistryValue(RegistryKey(), "v", &type, buffer, &size), kErrorInvalidHandle);
}

TEST_F(RegistryHiveTest, DeletingValuesAndTreesAndWritingThroughOpenKeys) {
    StoreValue(kUser, "A\\B\\C", "deep", kRegSz, "x");
    StoreValue(kUser, "A\\B", "mid", kRegSz, "y");
    StoreValue(kUser, "A\\Other", "keep", kRegSz, "z");
    RegistryKey reader, writer;
    ASSERT_EQ(OpenRegistryKey(kUser, "A\\B", reader), 0);
    EXPECT_EQ(SetRegistryValue(reader, "mid", kRegSz, "y"), kErrorAccessDenied);
    EXPECT_EQ(DeleteRegistryValue(reader, "mid"), kErrorAccessDenied);
    ASSERT_EQ(CreateRegistryKey(kUser, "A\\B", writer), 0);
    EXPECT_EQ(DeleteRegistryValue(writer, "MID"), 0);
    EXPECT_EQ(DeleteRegistryValue(writer, "mid"), kErrorFileNotFound);
    EXPECT_EQ(StoredValue(kUser, "A\\B", "mid"), "missing");

    EXPECT_EQ(DeleteRegistryKeyTree(kUser, "a\\b"), 0);
    EXPECT_EQ(Tree(kUser, "A"), (Lines{"A", "A\\Other keep=z"}));
    EXPECT_EQ(DeleteRegistryKeyTree(kUser, "A\\B"), kErrorFileNotFound);
    EXPECT_EQ(DeleteRegistryKeyTree(kUser, ""), kErrorInvalidParameter);
    EXPECT_EQ(SetRegistryValue(writer, "v", kRegSz, "y"), kErrorKeyDeleted);
    // A key recreated under the old name is another key and starts empty.
    StoreValue(kUser, "A\\B\\C", "new", kRegSz, "");
    EXPECT_EQ(SetRegistryValue(writer, "v", kRegSz, "y"), kErrorKeyDeleted);
    EXPECT_EQ(Tree(kUser, "A\\B"), (Lines{"A\\B", "A\\B\\C new="}));
}

TEST_F(RegistryHiveTest, MalformedKeyPathsAreRefused) {
    std::string longName(kMaxKeyNameLength + 1, 'n');
    for (const std::string& path : {std::string("\\Software"), std::string("A\\\\B"), std::string("A\\\\"),
                                    std::string("\\"), longName, "A\\" + longName}) {
        RegistryKey key;
        EXPECT_EQ(CreateRegistryKey(kUser, path, key), kErrorBadPathname) << path;
        EXPECT_EQ(OpenRegistryKey(kUser, path, key), kErrorBadPathname) << path;
    }
    EXPECT_EQ(Tree(kUser, "A\\\\B"), Lines{"error 161"});
    RegistryKey key;
    EXPECT_EQ(CreateRegistryKey(kUser, std::string(kMaxKeyNameLength, 'n'), key), 0);
    EXPECT_EQ(CreateRegistryKey(kUser, "", key), 0) << "the root key takes values too";
    EXPECT_EQ(SetRegistryValue(key, "top", kRegDword, std::string(4, '\0')), 0);
}

TEST_F(RegistryHiveTest, FilesThatAreNoHiveAreNeitherUsedNorOverwritten) {
    // A real hive whose marks were removed is just some database.
    StoreValue(kUser, "K", "v", kRegSz, "x");
    std::string foreign = ReadFile(hives_.File(kUser));
    ASSERT_GT(foreign.size(), 72u);
    foreign.replace(68, 4, std::string(4, '\0'));  // the application id of the database header
    const std::string garbage = ReadFile(hives_.MakeDamaged(kMachine));
    const std::string userHive = hives_.File(kUser);
    int n = 0;
    for (const std::string& bytes : {garbage, std::string("SQLite format 3\0", 16) + garbage, foreign}) {
        SCOPED_TRACE(bytes.substr(0, 16));
        const std::string file = userHive + std::to_string(++n);  // each file is named once per process
        testing::WriteFile(file, bytes);
        ScopedEnv user("QUILLON_USER_HIVE", file);
        testing::CaptureTrace trace;
        RegistryKey key;
        EXPECT_EQ(OpenRegistryKey(kUser, "K", key), kErrorBadDb);
        EXPECT_EQ(CreateRegistryKey(kUser, "K", key), kErrorAccessDenied);
        EXPECT_EQ(DeleteRegistryKeyTree(kUser, "K"), kErrorAccessDenied);
        EXPECT_EQ(ApplyRegistryChanges({{RegistryChange::kSetValue, kUser, "K", "v", kRegSz, "x"}}),
                  kErrorAccessDenied);
        EXPECT_EQ(ReadFile(file), bytes) << "the damaged file is left as it was";
        EXPECT_EQ(trace.Records(), Lines{"*** Registry hive damaged, left untouched: >" + file + "<\n"});
    }
}

TEST_F(RegistryHiveTest, BatchesAreAllOrNothingAcrossBothHives) {
    StoreValue(kMachine, "M", "old", kRegSz, "1");
    const std::vector<RegistryChange> changes = {
        {RegistryChange::kSetValue, kMachine, "M", "new", kRegSz, "2"},
        {RegistryChange::kDeleteValue, kMachine, "M", "old", 0, ""},
        {RegistryChange::kSetValue, kUser, "U\\V", "v", kRegSz, "7"},
        {RegistryChange::kCreateKey, kUser, "Empty", "", 0, ""},
        {RegistryChange::kDeleteKeyTree, kUser, "Absent", "", 0, ""},
        {RegistryChange::kDeleteValue, kUser, "Absent", "v", 0, ""},
    };
    {
        // The user hive would lie below a regular file, which even root cannot pass: it reads as empty,
        // denies every write, and nothing happens in the machine hive either.
        ScopedEnv below("QUILLON_USER_HIVE", hives_.File(kMachine) + "/user.hive");
        EXPECT_EQ(ApplyRegistryChanges(changes), kErrorAccessDenied);
        RegistryKey key;
        EXPECT_EQ(CreateRegistryKey(kUser, "Software", key), kErrorAccessDenied);
        EXPECT_FALSE(key.IsOpen());
        EXPECT_EQ(OpenRegistryKey(kUser, "Software", key), kErrorFileNotFound);
    }
    EXPECT_EQ(Tree(kMachine, ""), (Lines{"", "M old=1"}));
    // A change that fails in the middle undoes the ones before it.
    std::vector<RegistryChange> failing = changes;
    failing.push_back({RegistryChange::kDeleteKeyTree, kUser, "", "", 0, ""});
    EXPECT_EQ(ApplyRegistryChanges(failing), kErrorInvalidParameter);
    EXPECT_EQ(Tree(kMachine, ""), (Lines{"", "M old=1"}));
    EXPECT_EQ(Tree(kUser, ""), Lines{""});

    EXPECT_EQ(ApplyRegistryChanges(changes), 0);
    EXPECT_EQ(Tree(kMachine, ""), (Lines{"", "M new=2"}));
    EXPECT_EQ(Tree(kUser, ""), (Lines{"", "Empty", "U", "U\\V v=7"}));
    // Both hives in one file: the batch must not wait for its own lock.
    ScopedEnv same("QUILLON_USER_HIVE", hives_.File(kMachine));
    EXPECT_EQ(ApplyRegistryChanges({{RegistryChange::kSetValue, kMachine, "A", "v", kRegSz, "m"},
                                    {RegistryChange::kSetValue, kUser, "B", "v", kRegSz, "u"}}),
              0);
    EXPECT_EQ(StoredValue(kMachine, "B", "v"), "1:u");
}

// A batch walks each key chain from where the previous change left it, but a deleted tree created again
// in the same batch gets keys of its own, and another letter case names the same key. A tree reads back
// in pre-order, subkeys sorted without regard to case, every path in its stored spelling.
TEST_F(RegistryHiveTest, BatchesReuseKeyChainsAndTreesReadInOrder) {
    ASSERT_EQ(ApplyRegistryChanges({
                  {RegistryChange::kSetValue, kUser, "A\\B\\C", "v", kRegSz, "1"},
                  {RegistryChange::kSetValue, kUser, "a\\b\\D", "v", kRegSz, "2"},
                  {RegistryChange::kDeleteKeyTree, kUser, "A\\B", "", 0, ""},
                  {RegistryChange::kSetValue, kUser, "A\\B\\c", "w", kRegSz, "3"},
                  {RegistryChange::kSetValue, kMachine, "A\\B\\C", "m", kRegSz, "4"},
                  {RegistryChange::kSetValue, kUser, "A\\B\\C", "x", kRegSz, "5"},
                  {RegistryChange::kCreateKey, kUser, "A\\Z", "", 0, ""},
                  {RegistryChange::kCreateKey, kUser, "A\\a", "", 0, ""},
                  {RegistryChange::kDeleteValue, kUser, "A\\B\\Missing", "v", 0, ""},
              }),
              0);
    EXPECT_EQ(Tree(kUser, "a"), (Lines{"A", "A\\a", "A\\B", "A\\B\\c w=3 x=5", "A\\Z"}));
    EXPECT_EQ(Tree(kUser, "a\\b\\", false), Lines{"A\\B"});
    EXPECT_EQ(Tree(kMachine, ""), (Lines{"", "A", "A\\B", "A\\B\\C m=4"}));
    EXPECT_EQ(Tree(kUser, "A\\B\\D"), Lines{"error 2"});
}

TEST_F(RegistryHiveTest, AWriterKilledMidWayLeavesEveryValueWhole) {
    StoreValue(kUser, "K", "start", kRegSz, "");
    const pid_t child = ::fork();
    if (child == 0) {
        RegistryKey key;
        const bool open = CreateRegistryKey(kUser, "K", key) == 0;
        for (int i = 0; open; ++i) {
            // Large values spread every write over many pages of the file.
            std::string data(20000 + i % 5000, static_cast<char>('a' + i % 26));
            SetRegistryValue(key, "v" + std::to_string(i % 40), kRegBinary, data);
        }
        ::_exit(1);
    }
    // Let it get well into its writing, then kill it wherever it is.
    for (int i = 0; i < 100 && ReadFile(hives_.File(kUser)).size() < 400000; ++i) {
        ::usleep(10000);
    }
    ::usleep(3000);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);

    RegistryKey key;
    std::vector<RegistryValue> values;
    ASSERT_EQ(OpenRegistryKey(kUser, "K", key), 0);
    ASSERT_EQ(EnumRegistryValues(key, values), 0);
    EXPECT_GT(values.size(), 1u);
    for (const RegistryValue& value : values) {
        if (value.name != "start") {
            ASSERT_GE(value.data.size(), 20000u) << value.name;
            EXPECT_EQ(value.data, std::string(value.data.size(), value.data[0])) << value.name;
        }
    }
    StoreValue(kUser, "K", "after", kRegSz, "ok");
    EXPECT_EQ(StoredValue(kUser, "K", "after"), "1:ok");
}

}  // namespace
}  // namespace quillon
