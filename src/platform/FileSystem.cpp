#include "platform/FileSystem.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/DriveMap.h"
#include "platform/FaultInjection.h"
#include "platform/LastError.h"

namespace quillon {
namespace {

// Translates the path and asks the fault seam; false (last error set) when the call must not go on.
bool Prepare(const std::string& windowsPath, FileOperation operation, std::string& native) {
    if (!ToNativePath(windowsPath, native)) {
        return false;
    }
    int err = 0;
    if (CheckFault(operation, err)) {
        SetLastErrorFromErrno(err, native);
        return false;
    }
    return true;
}

bool Fail(const std::string& native) {
    SetLastErrorFromErrno(errno, native);
    return false;
}

bool IsOctal(char c, char highest) {
    return c >= '0' && c <= highest;
}

// "\040" and the like stand for blanks and other bytes in mountinfo fields.
std::string UnescapeMountField(const std::string& field) {
    std::string result;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && IsOctal(field[i + 1], '3') &&
            IsOctal(field[i + 2], '7') && IsOctal(field[i + 3], '7')) {
            result.push_back(static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                               (field[i + 3] - '0')));
            i += 3;
        } else {
            result.push_back(field[i]);
        }
    }
    return result;
}

bool MountPointHolds(const std::string& mountPoint, const std::string& path) {
    if (mountPoint == "/") {
        return !path.empty() && path[0] == '/';
    }
    return path.compare(0, mountPoint.size(), mountPoint) == 0 &&
           (path.size() == mountPoint.size() || path[mountPoint.size()] == '/');
}

}  // namespace

bool CreateDirectory(const std::string& windowsPath) {
    std::string native;
    if (!Prepare(windowsPath, FileOperation::kCreateDirectory, native)) {
        return false;
    }
    return ::mkdir(native.c_str(), 0777) == 0 || Fail(native);
}

bool RemoveDirectory(const std::string& windowsPath) {
    std::string native;
    if (!Prepare(windowsPath, FileOperation::kRemoveDirectory, native)) {
        return false;
    }
    return ::rmdir(native.c_str()) == 0 || Fail(native);
}

bool DeleteFile(const std::string& windowsPath) {
    std::string native;
    if (!ToNativePath(windowsPath, native)) {
        return false;
    }
    struct stat info;
    if (::lstat(native.c_str(), &info) != 0) {
        return Fail(native);
    }
    if (S_ISDIR(info.st_mode) ||
        (S_ISREG(info.st_mode) && (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)) {
        SetLastError(kErrorAccessDenied);
        return false;
    }
    int err = 0;
    if (CheckFault(FileOperation::kDelete, err)) {
        SetLastErrorFromErrno(err, native);
        return false;
    }
    return ::unlink(native.c_str()) == 0 || Fail(native);
}

bool RenameFile(const std::string& fromWindowsPath, const std::string& toWindowsPath) {
    std::string from;
    std::string to;
    if (!ToNativePath(toWindowsPath, to) || !Prepare(fromWindowsPath, FileOperation::kRename, from)) {
        return false;
    }
    return ::rename(from.c_str(), to.c_str()) == 0 || Fail(from);
}

bool SetFileTimes(const std::string& windowsPath, int64_t modificationTime, int64_t accessTime) {
    std::string native;
    if (!ToNativePath(windowsPath, native)) {
        return false;
    }
    struct timespec times[2];
    times[0].tv_sec = static_cast<time_t>(accessTime);
    times[0].tv_nsec = 0;
    times[1].tv_sec = static_cast<time_t>(modificationTime);
    times[1].tv_nsec = 0;
    return ::utimensat(AT_FDCWD, native.c_str(), times, 0) == 0 || Fail(native);
}

bool IsSymbolicLink(const std::string& windowsPath) {
    std::string native;
    if (!Drives().ToNative(windowsPath, native)) {
        return false;
    }
    // With a trailing slash lstat would look through the link.
    while (native.size() > 1 && native.back() == '/') {
        native.pop_back();
    }
    struct stat info;
    return ::lstat(native.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

bool IsSameFile(const std::string& windowsPathA, const std::string& windowsPathB) {
    std::string a;
    std::string b;
    if (!Drives().ToNative(windowsPathA, a) || !Drives().ToNative(windowsPathB, b)) {
        return false;
    }
    struct stat infoA;
    struct stat infoB;
    return ::stat(a.c_str(), &infoA) == 0 && ::stat(b.c_str(), &infoB) == 0 && infoA.st_dev == infoB.st_dev &&
           infoA.st_ino == infoB.st_ino;
}

bool SyncFileSystem(const std::string& windowsPath) {
    FileSystemSync sync;
    return sync.Open(windowsPath) && sync.Sync();
}

FileSystemSync::~FileSystemSync() {
    Close();
}

bool FileSystemSync::Open(const std::string& windowsPath) {
    Close();
    std::string native;
    if (!ToNativePath(windowsPath, native)) {
        return false;
    }
    // O_NONBLOCK: the path could be a FIFO, whose opening would otherwise wait for a writer. The kernel
    // notes the file system's error state at this open; syncfs reports what went wrong after it.
    fd_ = ::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    return fd_ >= 0 || Fail(native);
}

bool FileSystemSync::Sync() {
    if (fd_ < 0) {
        SetLastError(kErrorInvalidHandle);
        return false;
    }
    int err = 0;
    if (CheckFault(FileOperation::kSync, err)) {
        SetLastErrorFromErrno(err);
        return false;
    }
    if (::syncfs(fd_) != 0) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    return true;
}

void FileSystemSync::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

int64_t CurrentProcessId() {
    return ::getpid();
}

bool CurrentDirectory(std::string& windowsPath) {
    std::vector<char> buffer(PATH_MAX);
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE) {
            SetLastErrorFromErrno(errno);
            return false;
        }
        buffer.resize(buffer.size() * 2);
    }
    return ToWindowsPath(buffer.data(), windowsPath);
}

std::string FileSystemTypeIn(const std::string& mountInfo, const std::string& resolvedPath) {
    std::istringstream lines(mountInfo);
    std::string line;
    std::string bestType;
    size_t bestLength = 0;
    bool found = false;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::vector<std::string> parts;
        for (std::string field; fields >> field;) {
            parts.push_back(field);
        }
        // id parent major:minor root mount-point options [optional fields...] - type source options
        size_t separator = 6;
        while (separator < parts.size() && parts[separator] != "-") {
            ++separator;
        }
        if (parts.size() < 5 || separator + 1 >= parts.size()) {
            continue;
        }
        std::string mountPoint = UnescapeMountField(parts[4]);
        // ">=": a later mount on the same point covers the earlier one.
        if (MountPointHolds(mountPoint, resolvedPath) && (!found || mountPoint.size() >= bestLength)) {
            found = true;
            bestLength = mountPoint.size();
            bestType = parts[separator + 1];
        }
    }
    return bestType;
}

std::string FileSystemTypeOf(const std::string& nativePath) {
    char resolved[PATH_MAX];
    if (::realpath(nativePath.c_str(), resolved) == nullptr) {
        return "";
    }
    std::ifstream file("/proc/self/mountinfo");
    std::ostringstream text;
    text << file.rdbuf();
    return FileSystemTypeIn(text.str(), resolved);
}

bool IsNetworkFileSystemType(const std::string& type) {
    static const std::array<const char*, 30> kNetworkTypes = {
        "nfs",          "nfs4",           "cifs",           "smb3",          "smbfs",          "smb2",
        "9p",           "ceph",           "glusterfs",      "afs",           "openafs",        "coda",
        "ncpfs",        "lustre",         "gpfs",           "beegfs",        "orangefs",       "pvfs2",
        "davfs",        "fuse.sshfs",     "fuse.rclone",    "fuse.davfs2",   "fuse.glusterfs", "fuse.s3fs",
        "fuse.gcsfuse", "fuse.ceph-fuse", "fuse.curlftpfs", "fuse.smbnetfs", "fuse.juicefs",   "fuse.goofys",
    };
    for (const char* known : kNetworkTypes) {
        if (type == known) {
            return true;
        }
    }
    return false;
}

}  // namespace quillon
