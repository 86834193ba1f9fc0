#include "config/Registrierung.h"

#include <gtest/gtest.h>

#include "testing/CaptureTrace.h"
#include "testing/ScopedHives.h"

namespace quillon {
namespace {

using testing::CaptureTrace;
using Records = std::vector<std::string>;
using namespace std::string_literals;

const std::string kKey = "Software\\Norrow\\Quillon";
const std::string kValue = "Software\\Norrow\\Quillon\\LastAutoRunTime";

void Store(HiveRoot root, const std::string& name, uint32_t type, const std::string& data) {
    testing::StoreValue(root, kKey, name, type, data);
}
std::string Stored(HiveRoot root, const std::string& name, const std::string& key = kKey) {
    return testing::StoredValue(root, key, name);
}

// The trace of failed writes, each trying count hives on its way.
Records KeyOpenErrors(int count, int writes = 1) {
    Records lines;
    for (int i = 0; i < count * writes; ++i) {
        lines.push_back("*** CreateRegistryPath: Key Open Error " + std::to_string(i % count + 1) + ":  >" +
                        kKey + "<\n");
    }
    return lines;
}

class RegistrierungTest : public ::testing::Test {
  protected:
    testing::ScopedHives hives_;
};

// Both hives holding a value is the shadowing case below; here the machine value cannot be read (too
// long), so the user hive's value is taken.
TEST_F(RegistrierungTest, AnUnreadableMachineValueFallsBackToTheUserHive) {
    Store(HKEY_LOCAL_MACHINE, "LastAutoRunTime", kRegSz, std::string(400, 'm') + '\0');
    CaptureTrace trace;
    EXPECT_EQ(GetRegistryString(HKEY_LOCAL_MACHINE, kValue, "default"), "default");
    EXPECT_TRUE(trace.Records().empty());
    Store(HKEY_CURRENT_USER, "LastAutoRunTime", kRegSz, "user");
    EXPECT_EQ(GetRegistryString(HKEY_LOCAL_MACHINE, kValue, "default"), "user");
}

TEST_F(RegistrierungTest, WritesFallBackToTheUserHiveAndAreShadowedByOlderMachineValues) {
    const std::string semaphore = kKey + "\\Semaphore";
    WriteRegistryInt(HKEY_LOCAL_MACHINE, semaphore, 3);
    EXPECT_EQ(GetRegistryInt(HKEY_LOCAL_MACHINE, semaphore, 0), 3);

    // An ordinary user cannot write the machine hive: the write goes to the user hive...
    std::string machineFile = hives_.File(HKEY_LOCAL_MACHINE);
    hives_.MakeUnwritable(HKEY_LOCAL_MACHINE);
    CaptureTrace trace;
    WriteRegistryInt(HKEY_LOCAL_MACHINE, semaphore, 7);
    EXPECT_EQ(trace.Records(), KeyOpenErrors(2));
    EXPECT_EQ(Stored(HKEY_CURRENT_USER, "Semaphore"), "4:\x07\0\0\0"s);
    // ...and once the machine hive can be read again, its older value wins.
    {
        testing::ScopedEnv back("QUILLON_MACHINE_HIVE", machineFile);
        EXPECT_EQ(GetRegistryInt(HKEY_LOCAL_MACHINE, semaphore, 0), 3);
    }
    // When the user hive cannot be written either, nothing is stored and the third line says so.
    hives_.MakeUnwritable(HKEY_CURRENT_USER);
    trace.Clear();
    WriteRegistryString(HKEY_LOCAL_MACHINE, kValue, "2003-11-24 05:40:00");
    EXPECT_EQ(trace.Records(), KeyOpenErrors(3));
    EXPECT_EQ(GetRegistryString(HKEY_LOCAL_MACHINE, kValue, "none"), "none");
    trace.Clear();
    EXPECT_FALSE(CreateRegistryPath(HKEY_CURRENT_USER, kKey).IsOpen());
    EXPECT_EQ(trace.Records(), KeyOpenErrors(2)) << "the user hive has no further fallback";
}

// An ordinary user's view: each value lies in the user hive only and is read through the machine hive.
TEST_F(RegistrierungTest, ReadsCheckLengthAndType) {
    const std::string chars299(299, 'x'), chars300(300, 'y');
    // What is stored, whether it is read as a number, its type and bytes, the text or number read, and the
    // reason traced ("" when none).
    const std::tuple<const char*, bool, uint32_t, std::string, std::string, std::string> cases[] = {
        {"299 characters", false, kRegSz, chars299 + '\0', chars299, ""},
        {"300 characters", false, kRegSz, chars300 + '\0', "default", "String too long"},
        {"300 bytes without a zero", false, kRegSz, chars300, chars300, ""},
        {"expandable, returned as stored", false, kRegExpandSz, "%TEMP%\\x\0"s, "%TEMP%\\x", ""},
        {"an integer", false, kRegDword, std::string(4, '\x01'), "default", "Wrong Data type"},
        {"text ending before its zero", false, kRegSz, "ab\0cd\0"s, "ab", ""},
        {"code page 1252 text", false, kRegSz, "B\374cher\0"s, "B\374cher", ""},
        {"a DWORD", true, kRegDword, "\x2A\x01\0\0"s, "298", ""},
        {"all bits set", true, kRegDword, std::string(4, '\xFF'), "-1", ""},
        {"1-byte binary", true, kRegBinary, std::string(1, '\x05'), "5", ""},
        {"empty binary", true, kRegBinary, "", "0", ""},
        {"8-byte binary: bytes 5 to 8 ignored", true, kRegBinary, "\x01\0\0\0\xFF\xFF\xFF\xFF"s, "1", ""},
        {"9-byte binary", true, kRegBinary, std::string(9, '\x01'), "-7", "Too many Data"},
        {"the text 5", true, kRegSz, "5\0"s, "-7", "Wrong Data type"},
        {"a QWORD", true, kRegQword, std::string(8, '\0'), "-7", "Wrong Data type"},
    };
    for (const auto& [what, asInt, type, data, expected, traced] : cases) {
        SCOPED_TRACE(what);
        testing::ScopedHives hives;
        Store(HKEY_CURRENT_USER, "LastAutoRunTime", type, data);
        CaptureTrace trace;
        EXPECT_EQ(asInt ? std::to_string(GetRegistryInt(HKEY_LOCAL_MACHINE, kValue, -7))
                        : GetRegistryString(HKEY_LOCAL_MACHINE, kValue, "default"),
                  expected);
        const std::string line = std::string("** GetRegistry") + (asInt ? "Int: " : "String: ") + traced;
        EXPECT_EQ(trace.Records(), traced.empty() ? Records{} : Records{line + " in >" + kValue + "<\n"});
    }
}

// Values written together are stored as the single writes store them; a machine hive that cannot take
// them sends each on its own way, to the user hive, with the single writes' trace lines.
TEST_F(RegistrierungTest, ValuesWrittenTogetherAreStoredAsSingleWritesAndFallBackOneByOne) {
    const std::vector<RegistryWrite> writes = {RegistryWrite::Number(kKey + "\\CountNewFiles", -2),
                                               RegistryWrite::Text(kValue, "2003\0tail"s)};
    CaptureTrace trace;
    WriteRegistryValues(HKEY_LOCAL_MACHINE, writes);
    EXPECT_TRUE(trace.Records().empty());
    EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, "CountNewFiles"), "4:\xFE\xFF\xFF\xFF"s);
    EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, "LastAutoRunTime"), "1:2003\0"s);

    hives_.MakeUnwritable(HKEY_LOCAL_MACHINE);
    WriteRegistryValues(HKEY_LOCAL_MACHINE, writes);
    EXPECT_EQ(trace.Records(), KeyOpenErrors(2, 2));
    EXPECT_EQ(Stored(HKEY_CURRENT_USER, "CountNewFiles"), "4:\xFE\xFF\xFF\xFF"s);
    EXPECT_EQ(Stored(HKEY_CURRENT_USER, "LastAutoRunTime"), "1:2003\0"s);
}

TEST_F(RegistrierungTest, APathWithoutAKeyNamesTheRootKey) {
    for (const std::string& path : {std::string("Flag"), std::string("\\Flag")}) {
        testing::ScopedHives hives;
        WriteRegistryInt(HKEY_LOCAL_MACHINE, path, 12);
        EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, "Flag", ""), "4:\x0C\0\0\0"s) << path;
        EXPECT_EQ(GetRegistryInt(HKEY_LOCAL_MACHINE, path, 0), 12) << path;
    }
}

}  // namespace
}  // namespace quillon
