#include "platform/NativeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/DriveMap.h"
#include "platform/FaultInjection.h"
#include "platform/FolderHandle.h"
#include "platform/LastError.h"

namespace quillon {
namespace {

bool InjectedFault(FileOperation operation, const std::string& nativePath = {}) {
    int err = 0;
    if (CheckFault(operation, err)) {
        SetLastErrorFromErrno(err, nativePath);
        return true;
    }
    return false;
}

// Opens a regular file with flags (O_RDONLY, or O_WRONLY with O_CREAT and O_TRUNC as wanted) and
// answers the descriptor, or -1 with the last error set.
int OpenRegularFile(const std::string& windowsPath, int flags, std::string& nativePath) {
    if (!ToNativePath(windowsPath, nativePath)) {
        return -1;
    }
    if (InjectedFault(FileOperation::kOpen, nativePath)) {
        return -1;
    }
    if ((flags & O_ACCMODE) != O_RDONLY) {
        // Checked before opening, so that a refused file is not truncated first.
        struct stat existing;
        if (::lstat(nativePath.c_str(), &existing) == 0 && S_ISREG(existing.st_mode) &&
            (existing.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
            SetLastError(kErrorAccessDenied);
            return -1;
        }
    }
    // O_NONBLOCK: opening a FIFO would otherwise wait for the other side for ever. A file made here is
    // one the program keeps for itself (a control file, the error log, the copy journal): each lists the
    // names of files, also of those inside private folders, so it is readable by its owner alone.
    int fd = ::open(nativePath.c_str(), flags | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0600);
    if (fd < 0) {
        struct stat link;
        if (errno == ELOOP && (flags & O_NOFOLLOW) != 0 && ::lstat(nativePath.c_str(), &link) == 0 &&
            S_ISLNK(link.st_mode)) {
            SetLastError(kErrorCantResolveFilename);
        } else {
            SetLastErrorFromErrno(errno, nativePath);
        }
        return -1;
    }
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        SetLastError(kErrorAccessDenied);
        return -1;
    }
    // The status flags the file was opened with, without O_NONBLOCK (F_SETFL takes only those).
    ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

}  // namespace

NativeFile::~NativeFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

bool NativeFile::OpenRead(const std::string& windowsPath) {
    Close();
    fd_ = OpenRegularFile(windowsPath, O_RDONLY, nativePath_);
    return fd_ >= 0;
}

bool NativeFile::OpenReadNoLink(const std::string& windowsPath) {
    Close();
    fd_ = OpenRegularFile(windowsPath, O_RDONLY | O_NOFOLLOW, nativePath_);
    return fd_ >= 0;
}

bool NativeFile::CreateWrite(const std::string& windowsPath) {
    Close();
    // A link in the file's place would make the truncation and every write land in whatever it points
    // to, outside the folder the caller meant.
    fd_ = OpenRegularFile(windowsPath, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW, nativePath_);
    return fd_ >= 0;
}

bool NativeFile::CreateNewIn(const FolderHandle& folder, const std::string& name) {
    Close();
    nativePath_ = folder.NativePath() + "/" + name;
    if (InjectedFault(FileOperation::kOpen, nativePath_)) {
        return false;
    }
    fd_ = ::openat(folder.Descriptor(), name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                   0600);
    if (fd_ < 0) {
        SetLastErrorFromErrno(errno, nativePath_);
        return false;
    }
    return true;
}

bool NativeFile::Ownership(FileOwnership& ownership) const {
    struct stat info;
    if (fd_ < 0 || ::fstat(fd_, &info) != 0) {
        SetLastError(kErrorInvalidHandle);
        return false;
    }
    ownership.Mode = info.st_mode & 07777;
    ownership.Owner = info.st_uid;
    ownership.Group = info.st_gid;
    return true;
}

bool NativeFile::Status(OpenFileStatus& status) const {
    struct stat info;
    if (fd_ < 0 || ::fstat(fd_, &info) != 0) {
        SetLastError(kErrorInvalidHandle);
        return false;
    }
    status.Stamp.Size = info.st_size;
    status.Stamp.ModifiedNanoseconds = int64_t{info.st_mtim.tv_sec} * 1'000'000'000 + info.st_mtim.tv_nsec;
    status.Ownership.Mode = info.st_mode & 07777;
    status.Ownership.Owner = info.st_uid;
    status.Ownership.Group = info.st_gid;
    status.ModificationTime = info.st_mtim.tv_sec;
    status.AccessTime = info.st_atim.tv_sec;
    status.Device = info.st_dev;
    status.Inode = info.st_ino;
    status.AllocatedBytes = int64_t{info.st_blocks} * 512;
    return true;
}

void NativeFile::FinishCopy(const FileOwnership& source, bool readOnly, int64_t modificationTime,
                            int64_t accessTime) {
    ApplyOwnership(fd_, source, 0, readOnly);
    struct timespec times[2];
    times[0].tv_sec = static_cast<time_t>(accessTime);
    times[0].tv_nsec = 0;
    times[1].tv_sec = static_cast<time_t>(modificationTime);
    times[1].tv_nsec = 0;
    (void)::futimens(fd_, times);
}

bool NativeFile::OpenWrite(const std::string& windowsPath) {
    Close();
    fd_ = OpenRegularFile(windowsPath, O_WRONLY, nativePath_);
    return fd_ >= 0;
}

bool NativeFile::OpenAppend(const std::string& windowsPath) {
    Close();
    fd_ = OpenRegularFile(windowsPath, O_WRONLY | O_CREAT | O_APPEND, nativePath_);
    return fd_ >= 0;
}

FileStamp NativeFile::Stamp() const {
    struct stat info;
    FileStamp stamp;
    if (fd_ >= 0 && ::fstat(fd_, &info) == 0) {
        stamp.Size = info.st_size;
        stamp.ModifiedNanoseconds = int64_t{info.st_mtim.tv_sec} * 1'000'000'000 + info.st_mtim.tv_nsec;
    }
    return stamp;
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
    if (InjectedFault(FileOperation::kRead)) {
        return -1;
    }
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
    if (InjectedFault(FileOperation::kWrite)) {
        return false;
    }
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

int64_t NativeFile::CopyFrom(NativeFile& source, int64_t count) {
    // Counted as the read and the write it replaces, so that faults land where they would.
    if (InjectedFault(FileOperation::kRead) || InjectedFault(FileOperation::kWrite)) {
        return -1;
    }
    int64_t done = 0;
    while (done < count) {
        ssize_t copied =
            ::copy_file_range(source.fd_, nullptr, fd_, nullptr, static_cast<size_t>(count - done), 0);
        if (copied < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (done == 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
                return kCopyNotSupported;
            }
            SetLastErrorFromErrno(errno);
            return -1;
        }
        if (copied == 0) {
            break;  // the end of the source
        }
        done += copied;
    }
    return done;
}

int64_t NativeFile::NextData(int64_t offset) const {
    // Asking moves the file position; the next read or write must find it where it was.
    off_t current = ::lseek(fd_, 0, SEEK_CUR);
    if (current < 0) {
        SetLastErrorFromErrno(errno);
        return -1;
    }
    off_t data = ::lseek(fd_, static_cast<off_t>(offset), SEEK_DATA);
    int err = errno;
    ::lseek(fd_, current, SEEK_SET);
    if (data >= 0) {
        return data;
    }
    if (err == ENXIO) {
        return Size();  // nothing but a hole up to the end, or offset past the end
    }
    if (err == EINVAL) {
        return offset;  // no hole support: everything is data
    }
    SetLastErrorFromErrno(err);
    return -1;
}

bool NativeFile::HasHoles(int64_t length) {
    off_t hole = ::lseek(fd_, 0, SEEK_HOLE);
    bool holes = hole < 0 || hole < length;
    if (::lseek(fd_, 0, SEEK_SET) != 0) {
        holes = true;
    }
    return holes;
}

bool NativeFile::Seek(int64_t offset) {
    if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    return true;
}

bool NativeFile::SetLength(int64_t length) {
    if (::ftruncate(fd_, static_cast<off_t>(length)) != 0) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    return true;
}

bool NativeFile::Sync() {
    if (InjectedFault(FileOperation::kSync)) {
        return false;
    }
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
