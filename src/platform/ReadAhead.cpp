#include "platform/ReadAhead.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/DriveMap.h"
#include "platform/LastError.h"

namespace quillon {

void AdviseWillRead(const std::string& windowsPath, int64_t length) {
    // A hint leaves the last error of the caller's own steps as it was.
    const int32_t error = GetLastError();
    std::string native;
    const bool translated = length > 0 && ToNativePath(windowsPath, native);
    SetLastError(error);
    if (!translated) {
        return;
    }
    // O_NONBLOCK: a FIFO put in the file's place must not hold the copy up here.
    int fd = ::open(native.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    struct stat info;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        (void)::posix_fadvise(fd, 0, static_cast<off_t>(length), POSIX_FADV_WILLNEED);
    }
    ::close(fd);
}

}  // namespace quillon
