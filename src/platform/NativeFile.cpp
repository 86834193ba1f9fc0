#include "platform/NativeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/DriveMap.h"
#include "platform/LastError.h"

namespace quillon {

NativeFile::~NativeFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

bool NativeFile::OpenRead(const std::string& windowsPath) {
    Close();
    if (!ToNativePath(windowsPath, nativePath_)) {
        return false;
    }
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer for ever.
    int fd = ::open(nativePath_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        SetLastErrorFromErrno(errno, nativePath_);
        return false;
    }
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        SetLastError(kErrorAccessDenied);
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    fd_ = fd;
    return true;
}

bool NativeFile::CreateWrite(const std::string& windowsPath) {
    Close();
    if (!ToNativePath(windowsPath, nativePath_)) {
        return false;
    }
    int fd =
        ::open(nativePath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
    if (fd < 0) {
        SetLastErrorFromErrno(errno, nativePath_);
        return false;
    }
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        SetLastError(kErrorAccessDenied);
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    fd_ = fd;
    return true;
}

int64_t NativeFile::Size() const {
    struct stat info;
    if (fd_ < 0 || ::fstat(fd_, &info) != 0) {
        SetLastError(kErrorInvalidHandle);
        return -1;
    }
    return info.st_size;
}

int64_t NativeFile::Read(void* buffer, int64_t count) {
    char* next = static_cast<char*>(buffer);
    int64_t done = 0;
    while (done < count) {
        ssize_t got = ::read(fd_, next + done, static_cast<size_t>(count - done));
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            SetLastErrorFromErrno(errno);
            return -1;
        }
        if (got == 0) {
            break;
        }
        done += got;
    }
    return done;
}

bool NativeFile::WriteAll(const void* buffer, int64_t count) {
    const char* next = static_cast<const char*>(buffer);
    while (count > 0) {
        ssize_t written = ::write(fd_, next, static_cast<size_t>(count));
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            SetLastErrorFromErrno(errno);
            return false;
        }
        next += written;
        count -= written;
    }
    return true;
}

bool NativeFile::Sync() {
    if (::fdatasync(fd_) != 0) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    return true;
}

bool NativeFile::Close() {
    if (fd_ < 0) {
        return true;
    }
    int result = ::close(fd_);
    fd_ = -1;
    if (result != 0 && errno != EINTR) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    return true;
}

}  // namespace quillon
