#include "platform/DirectorySync.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/DriveMap.h"
#include "platform/FaultInjection.h"
#include "platform/LastError.h"

namespace quillon {

bool SyncDirectory(const std::string& windowsPath) {
    std::string native;
    if (!ToNativePath(windowsPath, native)) {
        return false;
    }
    int err = 0;
    if (CheckFault(FileOperation::kSync, err)) {
        SetLastErrorFromErrno(err, native);
        return false;
    }
    int fd = ::open(native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        SetLastErrorFromErrno(errno, native);
        return false;
    }
    int result = ::fsync(fd);
    err = errno;
    ::close(fd);
    // Some file systems do not flush folders at all and say so with EINVAL; their names are as durable
    // as they get.
    if (result != 0 && err != EINVAL) {
        SetLastErrorFromErrno(err, native);
        return false;
    }
    return true;
}

}  // namespace quillon
