#include "platform/DynamicLibrary.h"

#include <gtest/gtest.h>

#include "platform/ProgramLocation.h"
#include "testing/Environment.h"

namespace quillon {
namespace {

TEST(DynamicLibraryTest,
     AWindowsNameStandsForALowerCaseLibraryBesideTheProgramUnlessTheEnvironmentSaysOtherwise) {
    testing::ScopedEnv unset("QUILLON_IBZIP", std::nullopt);
    const std::string expected = NativeProgramDirectory() + "/libib-zip.so";
    for (const char* name : {"ib-zip.dll", "IB-ZIP.DLL", "C:\\Programs\\ib-zip.dll", "ib-zip"}) {
        EXPECT_EQ(LibraryFileFor(name), expected) << name;
    }
    testing::ScopedEnv set("QUILLON_IBZIP", "/opt/other/libib-zip.so");
    EXPECT_EQ(LibraryFileFor("ib-zip.dll"), "/opt/other/libib-zip.so");
}

}  // namespace
}  // namespace quillon
