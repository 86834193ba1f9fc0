#include "config/AppProfile.h"

#include <gtest/gtest.h>

#include "config/Registrierung.h"
#include "testing/ScopedHives.h"

namespace quillon {
namespace {

using namespace std::string_literals;

class AppProfileTest : public ::testing::Test {
  protected:
    AppProfileTest() { profile_.BindProfile(0); }

    testing::ScopedHives hives_;
    CAppProfile profile_;
};

TEST_F(AppProfileTest, ValuesComeBackAsWrittenAndOtherTypesReadAsTheDefault) {
    // Unlike the direct values, profile texts have no length limit.
    ASSERT_TRUE(profile_.WriteProfileString("Path000", "SourcePath", std::string(5000, 'p')));
    EXPECT_EQ(profile_.GetProfileString("Path000", "SourcePath", "default"), std::string(5000, 'p'));
    EXPECT_EQ(profile_.GetProfileInt("Missing", "Entry", 42), 42);
    EXPECT_EQ(profile_.GetProfileString("Path000", "Missing", "dflt"), "dflt");

    // The type and the bytes stored, read as a number and as a text.
    const std::tuple<const char*, uint32_t, std::string, int32_t, std::string> cases[] = {
        {"DWORD", kRegDword, "\x05\0\0\0"s, 5, "dflt"},
        {"text", kRegSz, "5\0"s, -3, "5"},
        {"expandable text", kRegExpandSz, "%X%\0"s, -3, "%X%"},
        {"text without zero", kRegSz, "abc", -3, "abc"},
        {"multi-string", kRegMultiSz, "a\0\0"s, -3, "dflt"},
        {"4-byte binary", kRegBinary, "\x05\0\0\0"s, -3, "dflt"},
        {"2-byte DWORD", kRegDword, "\x05\0"s, -3, "dflt"},
        {"8-byte DWORD", kRegDword, std::string(8, '\x01'), -3, "dflt"},
    };
    for (const auto& [what, type, data, asInt, asString] : cases) {
        testing::StoreValue(HKEY_CURRENT_USER, "Software\\Norrow\\Quillon\\Settings", what, type, data);
        EXPECT_EQ(profile_.GetProfileInt("Settings", what, -3), asInt) << what;
        EXPECT_EQ(profile_.GetProfileString("Settings", what, "dflt"), asString) << what;
    }
}

// Without a binding or a writable hive, no way of writing stores anything.
TEST_F(AppProfileTest, WithoutBindingOrWritableHiveNothingIsStored) {
    CAppProfile unbound;
    EXPECT_FALSE(unbound.WriteProfileInt("Settings", "RunAtTime", 1));
    EXPECT_EQ(unbound.GetProfileInt("Settings", "RunAtTime", 7), 7);
    EXPECT_FALSE(unbound.WriteProfileEntries("Settings", {ProfileEntry::Number("RunAtTime", 1)}));
    hives_.MakeUnwritable(HKEY_CURRENT_USER);
    EXPECT_FALSE(profile_.WriteProfileInt("Settings", "RunAtTime", 1));
    EXPECT_FALSE(profile_.WriteProfileString("Settings", "LogPath", "x"));
    EXPECT_FALSE(profile_.WriteProfileEntries(
        "Path001", {ProfileEntry::Number("FullBackupNext", 1), ProfileEntry::Text("LastRunTime", "x")}));
}

}  // namespace
}  // namespace quillon
