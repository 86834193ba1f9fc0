// The export table: settings that refuse bad values.
#include "ibzip/IbZipHarness.h"

namespace quillon::testing {
namespace {

using IbZipExportsTest = IbZipTest;

TEST_F(IbZipExportsTest, SettingsRefuseNullTextsAndUnknownModes) {
    for (const char* name : {"IB_ZipFileSpec", "IB_ZipArchiveFile", "IB_UnZipArchiveFile",
                             "IB_UnZipExtractDir", "IB_UnZipFileSpec"}) {
        EXPECT_EQ(Ib(name, intptr_t{0}), -25151) << name;
    }
    EXPECT_EQ(Ib("IB_ZipStoredDirNames", 3), -25151);
    EXPECT_EQ(Ib("IB_ZipStoredDirNames", -1), -25151);
    EXPECT_EQ(Ib("IB_ZipStoredDirNames", 2), 0);
}

}  // namespace
}  // namespace quillon::testing
