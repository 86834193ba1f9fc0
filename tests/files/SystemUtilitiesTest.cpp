#include "files/SystemUtilities.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "files/FileTree.h"
#include "platform/FaultInjection.h"
#include "platform/LastError.h"
#include "platform/NativeFile.h"
#include "testing/Environment.h"
#include "testing/TempDir.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;

TEST(SystemUtilitiesTest, StringListsBecomeCrLfLinesAndTheFileStaysOpen) {
    testing::ScopedDriveMap drives;
    NativeFile file;
    ASSERT_TRUE(file.CreateWrite("C:\\QuillonRun.Log"));
    EXPECT_TRUE(WriteStringList(file, {"2003-11-24 18:02:11  C:\\Data\\mail.pst", "", "\xE4nderung"}));
    EXPECT_TRUE(WriteStringList(file, {}));
    ASSERT_TRUE(file.WriteAll("end", 3));
    ASSERT_TRUE(file.Close());
    EXPECT_EQ(testing::ReadFile(drives.DriveC() + "/QuillonRun.Log"),
              "2003-11-24 18:02:11  C:\\Data\\mail.pst\r\n\r\n\xE4nderung\r\nend");

    ScopedFaults faults;
    ASSERT_TRUE(file.CreateWrite("C:\\x.log"));
    InjectFault(FileOperation::kWrite, 1, ENOSPC);
    EXPECT_EQ(WriteStringList(file, {"a"}) ? 0 : GetLastError(), kErrorDiskFull);
}

TEST(SystemUtilitiesTest, TheStagingFolderIsCreatedOnDriveCWhereThatCanBe) {
    testing::ScopedDriveMap drives;
    EXPECT_EQ(GetTempDirectory(), "C:\\Temp\\QuilRun\\");
    EXPECT_TRUE(fs::is_directory(drives.DriveC() + "/Temp/QuilRun"));
    fs::remove_all(drives.DriveC() + "/Temp");
    testing::WriteFile(drives.DriveC() + "/Temp", "a file in the way");
    EXPECT_EQ(GetTempDirectory(), "");
    // A link in the staging folder's place, to a folder that must never be emptied or written to.
    fs::remove(drives.DriveC() + "/Temp");
    testing::TempDir elsewhere;
    testing::WriteFile(elsewhere / "keep", "kept");
    testing::MakeTree(drives.DriveC(), {{"Temp/QuilRun", "-> " + elsewhere.Path()}});
    EXPECT_EQ(GetTempDirectory(), "");
    EXPECT_EQ(testing::Listing(elsewhere.Path()), "keep=kept\n");
    EXPECT_FALSE(IsNetworkDrive('c'));
    EXPECT_FALSE(IsNetworkDrive('Q'));  // unmapped

    testing::ScopedDriveMap noDriveC;
    fs::remove(noDriveC.DriveC());
    EXPECT_EQ(GetTempDirectory(), "");
}

}  // namespace
}  // namespace quillon
