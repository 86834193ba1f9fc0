#include "config/AppProfile.h"

#include <gtest/gtest.h>

#include "config/Registrierung.h"
#include "testing/ScopedHives.h"

namespace quillon {
namespace {

using testing::ScopedHives;

TEST(AppProfileTest, ValuesComeBackAsWrittenAndOtherTypesReadAsTheDefault) {
    ScopedHives hives;
    CAppProfile profile;
    profile.BindProfile(0);
    // Unlike the direct values, profile texts have no length limit.
    ASSERT_TRUE(profile.WriteProfileString("Path000", "SourcePath", std::string(5000, 'p')));
    EXPECT_EQ(profile.GetProfileString("Path000", "SourcePath", "default"), std::string(5000, 'p'));
    EXPECT_EQ(profile.GetProfileInt("Missing", "Entry", 42), 42);
    EXPECT_EQ(profile.GetProfileString("Path000", "Missing", "dflt"), "dflt");

    struct Case {
        const char* what;
        uint32_t type;
        std::string data;
        int32_t asInt;
        std::string asString;
    } cases[] = {
        {"DWORD", kRegDword, std::string("\x05\0\0\0", 4), 5, "dflt"},
        {"text", kRegSz, std::string("5\0", 2), -3, "5"},
        {"expandable text", kRegExpandSz, std::string("%X%\0", 4), -3, "%X%"},
        {"text without zero", kRegSz, "abc", -3, "abc"},
        {"multi-string", kRegMultiSz, std::string("a\0\0", 3), -3, "dflt"},
        {"4-byte binary", kRegBinary, std::string("\x05\0\0\0", 4), -3, "dflt"},
        {"2-byte DWORD", kRegDword, std::string("\x05\0", 2), -3, "dflt"},
        {"8-byte DWORD", kRegDword, std::string(8, '\x01'), -3, "dflt"},
    };
    RegistryKey key;
    ASSERT_EQ(CreateRegistryKey(HKEY_CURRENT_USER, "Software\\Norrow\\Quillon\\Settings", key), 0);
    for (const Case& c : cases) {
        ASSERT_EQ(SetRegistryValue(key, c.what, c.type, c.data), 0);
        EXPECT_EQ(profile.GetProfileInt("Settings", c.what, -3), c.asInt) << c.what;
        EXPECT_EQ(profile.GetProfileString("Settings", c.what, "dflt"), c.asString) << c.what;
    }
}

// Several entries in one change of the hive: each reads back as its single write would store it,
// the text up to its first zero; an unwritable hive takes none of them.
TEST(AppProfileTest, EntriesWrittenTogetherReadBackAsSingleWrites) {
    ScopedHives hives;
    CAppProfile profile;
    profile.BindProfile(0);
    ASSERT_TRUE(profile.WriteProfileEntries(
        "Path001", {ProfileEntry::Text("NextRunTime", std::string("2003-11-25 00:00\0tail", 21)),
                    ProfileEntry::Number("FullBackupNext", -1), ProfileEntry::Text("LastRunTime", "")}));
    EXPECT_EQ(profile.GetProfileString("Path001", "NextRunTime", "dflt"), "2003-11-25 00:00");
    EXPECT_EQ(profile.GetProfileInt("Path001", "FullBackupNext", 7), -1);
    EXPECT_EQ(profile.GetProfileString("Path001", "LastRunTime", "dflt"), "");
    EXPECT_EQ(testing::StoredValue(HKEY_CURRENT_USER, "Software\\Norrow\\Quillon\\Path001", "NextRunTime"),
              std::string("1:2003-11-25 00:00\0", 19));

    hives.MakeUnwritable(HKEY_CURRENT_USER);
    EXPECT_FALSE(profile.WriteProfileEntries(
        "Path001", {ProfileEntry::Number("FullBackupNext", 1), ProfileEntry::Text("LastRunTime", "x")}));
    CAppProfile unbound;
    EXPECT_FALSE(unbound.WriteProfileEntries("Settings", {ProfileEntry::Number("RunAtTime", 1)}));
}

TEST(AppProfileTest, WithoutBindingOrWritableHiveNothingIsStored) {
    ScopedHives hives;
    CAppProfile unbound;
    EXPECT_FALSE(unbound.WriteProfileInt("Settings", "RunAtTime", 1));
    EXPECT_EQ(unbound.GetProfileInt("Settings", "RunAtTime", 7), 7);

    CAppProfile profile;
    profile.BindProfile(0);
    hives.MakeUnwritable(HKEY_CURRENT_USER);
    EXPECT_FALSE(profile.WriteProfileInt("Settings", "RunAtTime", 1));
    EXPECT_FALSE(profile.WriteProfileString("Settings", "LogPath", "x"));
}

}  // namespace
}  // namespace quillon
