#include "platform/LastError.h"

#include <sys/stat.h>

#include <cerrno>
#include <string>

namespace quillon {
namespace {

thread_local int32_t lastError = 0;

bool ParentDirectoryExists(std::string_view path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string_view::npos) {
        return true;  // relative to the working directory, which exists
    }
    std::string parent(path.substr(0, slash == 0 ? 1 : slash));
    struct stat info;
    return ::stat(parent.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

void SetLastError(int32_t error) {
    lastError = error;
}

int32_t GetLastError() {
    return lastError;
}

int32_t WindowsErrorFromErrno(int err, std::string_view nativePath) {
    switch (err) {
        case 0:
            return kErrorSuccess;
        case ENOENT:
            return !nativePath.empty() && !ParentDirectoryExists(nativePath) ? kErrorPathNotFound
                                                                             : kErrorFileNotFound;
        case ENOTDIR:
            return kErrorPathNotFound;
        case EACCES:
        case EPERM:
        case EISDIR:
            return kErrorAccessDenied;
        case ENOSPC:
        case EDQUOT:
            return kErrorDiskFull;
        case EROFS:
            return kErrorWriteProtect;
        case EBUSY:
        case ETXTBSY:
            return kErrorSharingViolation;
        case EAGAIN:
            return kErrorLockViolation;
        case EIO:
            return kErrorReadFault;
        case EINVAL:
            return kErrorInvalidParameter;
        case EEXIST:
            return kErrorAlreadyExists;
        case ENOTEMPTY:
            return kErrorDirNotEmpty;
        case ENAMETOOLONG:
            return kErrorFilenameTooLong;
        case EFBIG:
            return kErrorFileTooLarge;
        case EMFILE:
        case ENFILE:
            return kErrorTooManyOpenFiles;
        case ENOMEM:
            return kErrorNotEnoughMemory;
        case EBADF:
            return kErrorInvalidHandle;
        case ELOOP:
            return kErrorCantResolveFilename;
        case ENXIO:
        case ENODEV:
        case ENOMEDIUM:
            return kErrorNotReady;
        case ESTALE:
        case ENOTCONN:
        case ECONNRESET:
        case EHOSTDOWN:
            return kErrorDeviceGone;
        case ENETDOWN:
        case ENETUNREACH:
        case EHOSTUNREACH:
        case ETIMEDOUT:
        case ECONNABORTED:
            return kErrorUnexpectedNetwork;
        default:
            return kErrorGenFailure;
    }
}

void SetLastErrorFromErrno(int err, std::string_view nativePath) {
    SetLastError(WindowsErrorFromErrno(err, nativePath));
}

}  // namespace quillon
