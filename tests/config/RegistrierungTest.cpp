#include "config/Registrierung.h"

#include <gtest/gtest.h>

#include "testing/CaptureTrace.h"
#include "testing/ScopedHives.h"

namespace quillon {
namespace {

using testing::CaptureTrace;
using testing::ScopedEnv;
using testing::ScopedHives;
using Records = std::vector<std::string>;

const std::string kKey = "Software\\Norrow\\Quillon";
const std::string kValue = "Software\\Norrow\\Quillon\\LastAutoRunTime";

// Stores a value directly in one hive, as the configuration program would.
void Store(HiveRoot root, const std::string& key, const std::string& name, uint32_t type,
           const std::string& data) {
    RegistryKey handle;
    ASSERT_EQ(CreateRegistryKey(root, key, handle), 0);
    ASSERT_EQ(SetRegistryValue(handle, name, type, data), 0);
}

std::string Sz(const std::string& text) {
    return text + '\0';
}

// The value as stored in one hive: "<type>:<bytes>", or "missing".
std::string Stored(HiveRoot root, const std::string& key, const std::string& name) {
    RegistryKey handle;
    uint32_t type = 0;
    std::string data;
    if (OpenRegistryKey(root, key, handle) != 0 || ReadRegistryValue(handle, name, type, data) != 0) {
        return "missing";
    }
    return std::to_string(type) + ":" + data;
}

class RegistrierungTest : public ::testing::Test {
  protected:
    ScopedHives hives_;
};

TEST_F(RegistrierungTest, MachineHiveFirstThenUserHive) {
    struct Case {
        const char* what;
        const char* machine;  // nullptr: not stored there
        const char* user;
        const char* expected;
    } cases[] = {
        {"only in the user hive", nullptr, "user", "user"},
        {"in both hives", "machine", "user", "machine"},
        {"only in the machine hive", "machine", nullptr, "machine"},
        {"in neither", nullptr, nullptr, "default"},
    };
    for (const Case& c : cases) {
        ScopedHives hives;
        if (c.machine != nullptr) {
            Store(HKEY_LOCAL_MACHINE, kKey, "LastAutoRunTime", kRegSz, Sz(c.machine));
        }
        if (c.user != nullptr) {
            Store(HKEY_CURRENT_USER, kKey, "LastAutoRunTime", kRegSz, Sz(c.user));
        }
        EXPECT_EQ(GetRegistryString(HKEY_LOCAL_MACHINE, kValue, "default"), c.expected) << c.what;
        // A user-hive read never looks at the machine hive.
        EXPECT_EQ(GetRegistryString(HKEY_CURRENT_USER, kValue, "default"), c.user ? c.user : "default")
            << c.what;
    }
}

TEST_F(RegistrierungTest, WritesLandInTheUserHiveAndAreShadowedByOlderMachineValues) {
    WriteRegistryInt(HKEY_LOCAL_MACHINE, "Software\\Norrow\\Quillon\\Semaphore", 3);
    EXPECT_EQ(GetRegistryInt(HKEY_LOCAL_MACHINE, "Software\\Norrow\\Quillon\\Semaphore", 0), 3);

    // An ordinary user cannot write the machine hive: the write goes to the user hive...
    std::string machineFile = hives_.File(HKEY_LOCAL_MACHINE);
    hives_.MakeUnwritable(HKEY_LOCAL_MACHINE);
    CaptureTrace trace;
    WriteRegistryInt(HKEY_LOCAL_MACHINE, "Software\\Norrow\\Quillon\\Semaphore", 7);
    EXPECT_EQ(trace.Records(), (Records{"*** CreateRegistryPath: Key Open Error 1:  >" + kKey + "<\n",
                                        "*** CreateRegistryPath: Key Open Error 2:  >" + kKey + "<\n"}));
    EXPECT_EQ(Stored(HKEY_CURRENT_USER, kKey, "Semaphore"), std::string("4:\x07\0\0\0", 6));

    // ...and once the machine hive can be read again, its older value wins.
    ScopedEnv back("QUILLON_MACHINE_HIVE", machineFile);
    EXPECT_EQ(GetRegistryInt(HKEY_LOCAL_MACHINE, "Software\\Norrow\\Quillon\\Semaphore", 0), 3);
}

TEST_F(RegistrierungTest, AKeyThatCannotBeCreatedAnywhereIsTracedThreeTimes) {
    hives_.MakeUnwritable(HKEY_LOCAL_MACHINE);
    hives_.MakeUnwritable(HKEY_CURRENT_USER);
    CaptureTrace trace;
    WriteRegistryString(HKEY_LOCAL_MACHINE, kValue, "2003-11-24 05:40:00");
    EXPECT_EQ(trace.Records(), (Records{"*** CreateRegistryPath: Key Open Error 1:  >" + kKey + "<\n",
                                        "*** CreateRegistryPath: Key Open Error 2:  >" + kKey + "<\n",
                                        "*** CreateRegistryPath: Key Open Error 3:  >" + kKey + "<\n"}));
    EXPECT_EQ(GetRegistryString(HKEY_LOCAL_MACHINE, kValue, "none"), "none");

    trace.Clear();
    EXPECT_FALSE(CreateRegistryPath(HKEY_CURRENT_USER, kKey).IsOpen());
    EXPECT_EQ(trace.Records().size(), 2u) << "the user hive has no further fallback";
}

TEST_F(RegistrierungTest, StringLimitsAndTypes) {
    std::string chars299(299, 'x');
    std::string chars300(300, 'y');
    struct Case {
        const char* what;
        uint32_t type;
        std::string data;
        std::string expected;
        std::string trace;  // "" when none
    } cases[] = {
        {"299 characters", kRegSz, Sz(chars299), chars299, ""},
        {"300 characters", kRegSz, Sz(chars300), "default", "** GetRegistryString: String too long in >"},
        {"expandable, returned as stored", kRegExpandSz, Sz("%TEMP%\\x"), "%TEMP%\\x", ""},
        {"an integer", kRegDword, std::string(4, '\x01'), "default",
         "** GetRegistryString: Wrong Data type in >"},
        {"text ending before its zero", kRegSz, std::string("ab\0cd\0", 6), "ab", ""},
        {"300 bytes without a zero", kRegSz, chars300, chars300, ""},
        {"code page 1252 text", kRegSz,
         Sz("B\xFC"
            "cher"),
         "B\xFC"
         "cher",
         ""},
    };
    for (const Case& c : cases) {
        ScopedHives hives;  // an ordinary user's view: the value lies in the user hive only
        Store(HKEY_CURRENT_USER, kKey, "LastAutoRunTime", c.type, c.data);
        CaptureTrace trace;
        EXPECT_EQ(GetRegistryString(HKEY_LOCAL_MACHINE, kValue, "default"), c.expected) << c.what;
        Records expected;
        if (!c.trace.empty()) {
            expected.push_back(c.trace + kValue + "<\n");
        }
        EXPECT_EQ(trace.Records(), expected) << c.what;
    }
}

TEST_F(RegistrierungTest, AFailedMachineReadIsFinalOnlyInTheUserHive) {
    // The machine hive's value is too long: the user hive answers, and its silence is final.
    Store(HKEY_LOCAL_MACHINE, kKey, "LastAutoRunTime", kRegSz, Sz(std::string(400, 'm')));
    CaptureTrace trace;
    EXPECT_EQ(GetRegistryString(HKEY_LOCAL_MACHINE, kValue, "default"), "default");
    EXPECT_TRUE(trace.Records().empty());
    Store(HKEY_CURRENT_USER, kKey, "LastAutoRunTime", kRegSz, Sz("user"));
    EXPECT_EQ(GetRegistryString(HKEY_LOCAL_MACHINE, kValue, "default"), "user");
}

TEST_F(RegistrierungTest, IntegerLimitsAndTypes) {
    const std::string path = "Software\\Norrow\\Quillon\\CountNewFiles";
    struct Case {
        const char* what;
        uint32_t type;
        std::string data;
        int32_t expected;
        std::string trace;
    } cases[] = {
        {"a DWORD", kRegDword, std::string("\x2A\x01\0\0", 4), 298, ""},
        {"all bits set", kRegDword, std::string(4, '\xFF'), -1, ""},
        {"1-byte binary", kRegBinary, std::string(1, '\x05'), 5, ""},
        {"8-byte binary: bytes 5 to 8 ignored", kRegBinary, std::string("\x01\0\0\0\xFF\xFF\xFF\xFF", 8), 1,
         ""},
        {"9-byte binary", kRegBinary, std::string(9, '\x01'), -7, "** GetRegistryInt: Too many Data in >"},
        {"the text 5", kRegSz, Sz("5"), -7, "** GetRegistryInt: Wrong Data type in >"},
        {"a QWORD", kRegQword, std::string(8, '\0'), -7, "** GetRegistryInt: Wrong Data type in >"},
        {"empty binary", kRegBinary, "", 0, ""},
    };
    for (const Case& c : cases) {
        ScopedHives hives;
        Store(HKEY_CURRENT_USER, kKey, "CountNewFiles", c.type, c.data);
        CaptureTrace trace;
        EXPECT_EQ(GetRegistryInt(HKEY_LOCAL_MACHINE, path, -7), c.expected) << c.what;
        Records expected;
        if (!c.trace.empty()) {
            expected.push_back(c.trace + path + "<\n");
        }
        EXPECT_EQ(trace.Records(), expected) << c.what;
    }
}

TEST_F(RegistrierungTest, WritesStoreTheTypesOfTheirOwn) {
    WriteRegistryInt(HKEY_LOCAL_MACHINE, "Software\\Norrow\\Quillon\\CountNewFiles", -2);
    WriteRegistryString(HKEY_LOCAL_MACHINE, kValue, std::string("2003\0tail", 9));
    EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, kKey, "countnewfiles"), std::string("4:\xFE\xFF\xFF\xFF", 6));
    EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, kKey, "LastAutoRunTime"), std::string("1:2003\0", 7))
        << "the text up to its zero, with the zero";
    EXPECT_EQ(Stored(HKEY_CURRENT_USER, kKey, "CountNewFiles"), "missing");
}

TEST_F(RegistrierungTest, PathsWithoutAKeyNameTheRootKey) {
    for (const std::string& path : {std::string("Flag"), std::string("\\Flag")}) {
        ScopedHives hives;
        WriteRegistryInt(HKEY_LOCAL_MACHINE, path, 12);
        EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, "", "Flag"), std::string("4:\x0C\0\0\0", 6)) << path;
        EXPECT_EQ(GetRegistryInt(HKEY_LOCAL_MACHINE, path, 0), 12) << path;
    }
}

TEST_F(RegistrierungTest, ADamagedMachineHiveFallsBackToTheUserHive) {
    std::string file = hives_.MakeDamaged(HKEY_LOCAL_MACHINE);
    CaptureTrace trace;
    WriteRegistryInt(HKEY_LOCAL_MACHINE, "Software\\Norrow\\Quillon\\Semaphore", 1);
    EXPECT_EQ(GetRegistryInt(HKEY_LOCAL_MACHINE, "Software\\Norrow\\Quillon\\Semaphore", 0), 1);
    EXPECT_EQ(trace.Records(), (Records{"*** Registry hive damaged, left untouched: >" + file + "<\n",
                                        "*** CreateRegistryPath: Key Open Error 1:  >" + kKey + "<\n",
                                        "*** CreateRegistryPath: Key Open Error 2:  >" + kKey + "<\n"}));
}

}  // namespace
}  // namespace quillon
