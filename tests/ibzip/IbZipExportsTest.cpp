// The export table: settings that refuse bad values, and the exports the program never calls.
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

TEST_F(IbZipExportsTest, ExportsNeverCalledAnswerNotSupported) {
    for (const char* name : {"IB_ArchiveType",       "IB_CRCAddPassword",
                             "IB_CRCCheck",          "IB_DecryptFile",
                             "IB_EncryptFile",       "IB_Error",
                             "IB_Language",          "IB_ProgrssHandle",
                             "IB_ProgressMode",      "IB_SFX",
                             "IB_SpaceOnFirstDisk",  "IB_UnGzip",
                             "IB_UnGZipArchiveFile", "IB_UnGZipExtractDir",
                             "IB_UnGZipFileSpec",    "IB_UnZipAddExcludeFile",
                             "IB_UnZipAddFileSpec",  "IB_UnzipAddPassword",
                             "IB_UnZipExcludeFile",  "IB_UnZipPassword",
                             "IB_ZipAttribut",       "IB_ZipClearArchivBit",
                             "IB_ZipCompressTpe",    "IB_ZipCount",
                             "IB_ZipDelete",         "IB_ZipExcludeFile",
                             "IB_ZipFiles",          "IB_ZipAddExcludeFile",
                             "IB_ZipAddFileSpec",    "IB_ZipInfo",
                             "IB_ZipMove",           "IB_ZipPassword"}) {
        EXPECT_EQ(Ib(name, 0), -25001) << name;
    }
}

}  // namespace
}  // namespace quillon::testing
