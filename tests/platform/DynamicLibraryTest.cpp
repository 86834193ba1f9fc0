#include "platform/DynamicLibrary.h"

#include <gtest/gtest.h>

#include "platform/LastError.h"
#include "platform/ProgramLocation.h"
#include "testing/CaptureTrace.h"
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

TEST(DynamicLibraryTest, ExportsAreFoundByNameAndFailuresCarryTheWindowsNumbers) {
    DynamicLibrary library;
    EXPECT_EQ(library.Find("strlen"), nullptr);  // nothing loaded
    EXPECT_EQ(GetLastError(), kErrorProcedureNotFound);

    testing::ScopedEnv missing("QUILLON_IBZIP", "/nonexistent/libib-zip.so");
    testing::CaptureTrace trace;
    EXPECT_FALSE(library.Open("ib-zip.dll"));
    EXPECT_EQ(GetLastError(), kErrorModuleNotFound);
    ASSERT_EQ(trace.Records().size(), 1u);
    EXPECT_NE(trace.Records()[0].find("/nonexistent/libib-zip.so"),
              std::string::npos);  // the loader's reason
    EXPECT_FALSE(library.IsOpen());

    ASSERT_TRUE(library.OpenFile("libc.so.6"));
    auto length = reinterpret_cast<size_t (*)(const char*)>(library.Find("strlen"));
    ASSERT_NE(length, nullptr);
    EXPECT_EQ(length("four"), 4u);
    EXPECT_EQ(library.Find("IB_NoSuchExport"), nullptr);
    EXPECT_EQ(GetLastError(), kErrorProcedureNotFound);
    library.Close();
    EXPECT_FALSE(library.IsOpen());
}

}  // namespace
}  // namespace quillon
