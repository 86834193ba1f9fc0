// The last-error value: the Windows error number of the most recent failed system step.
//
// Every piece of the program speaks Windows error numbers; the platform layer turns errno into them in
// one place (WindowsErrorFromErrno), so that error texts and the disk-error test work unchanged.
// The value is per thread, like its Windows original.
#pragma once

#include <cstdint>
#include <string_view>

namespace quillon {

// The Windows error numbers this program sets or tests.
enum WindowsError : int32_t {
    kErrorSuccess = 0,
    kErrorFileNotFound = 2,
    kErrorPathNotFound = 3,
    kErrorTooManyOpenFiles = 4,
    kErrorAccessDenied = 5,
    kErrorInvalidHandle = 6,
    kErrorNotEnoughMemory = 8,
    kErrorNoMoreFiles = 18,  // the end of a directory search
    kErrorWriteProtect = 19,
    kErrorNotReady = 21,
    kErrorReadFault = 30,
    kErrorGenFailure = 31,
    kErrorSharingViolation = 32,
    kErrorLockViolation = 33,
    kErrorNoSystemCode = 40,       // the program's own: a failure without a system error number
    kErrorTempDirectoryFull = 41,  // the program's own: the staging folder ran out of space
    kErrorDeviceGone = 55,         // a network resource or device that is no longer available
    kErrorUnexpectedNetwork = 59,
    kErrorFileExists = 80,
    kErrorInvalidParameter = 87,
    kErrorDiskFull = 112,
    kErrorInvalidName = 123,
    kErrorDirNotEmpty = 145,
    kErrorAlreadyExists = 183,
    kErrorFilenameTooLong = 206,
    kErrorFileTooLarge = 223,
    kErrorMoreData = 234,
    kErrorCantResolveFilename = 1921,
};

void SetLastError(int32_t error);
int32_t GetLastError();

// The Windows error number for an errno value. ENOENT is 2 (file not found), or 3 (path not found) when
// nativePath is given and its parent directory does not exist.
int32_t WindowsErrorFromErrno(int err, std::string_view nativePath = {});

// SetLastError(WindowsErrorFromErrno(err, nativePath)).
void SetLastErrorFromErrno(int err, std::string_view nativePath = {});

}  // namespace quillon
