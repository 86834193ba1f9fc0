// The exports the program binds but never calls, as one list that the library (which answers each
// with "not supported") and the program's binding (which forwards each) both expand, so that the two
// can never disagree about a name.
#pragma once

#define IBZIP_UNSUPPORTED_EXPORTS(X) \
    X(IB_ArchiveType)                \
    X(IB_CRCAddPassword)             \
    X(IB_DecryptFile)                \
    X(IB_EncryptFile)                \
    X(IB_Error)                      \
    X(IB_Language)                   \
    X(IB_ProgrssHandle)              \
    X(IB_ProgressMode)               \
    X(IB_SFX)                        \
    X(IB_SpaceOnFirstDisk)           \
    X(IB_UnGzip)                     \
    X(IB_UnGZipArchiveFile)          \
    X(IB_UnGZipExtractDir)           \
    X(IB_UnGZipFileSpec)             \
    X(IB_UnZipAddExcludeFile)        \
    X(IB_UnZipAddFileSpec)           \
    X(IB_UnzipAddPassword)           \
    X(IB_UnZipExcludeFile)           \
    X(IB_UnZipPassword)              \
    X(IB_ZipAttribut)                \
    X(IB_ZipClearArchivBit)          \
    X(IB_ZipCompressTpe)             \
    X(IB_ZipCount)                   \
    X(IB_ZipDelete)                  \
    X(IB_ZipExcludeFile)             \
    X(IB_ZipFiles)                   \
    X(IB_ZipAddExcludeFile)          \
    X(IB_ZipAddFileSpec)             \
    X(IB_ZipInfo)                    \
    X(IB_ZipMove)                    \
    X(IB_ZipPassword)
