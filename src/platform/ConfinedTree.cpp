#include "platform/ConfinedTree.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <filesystem>
#include <vector>

#include "platform/DriveMap.h"
#include "platform/FolderHandle.h"
#include "platform/LastError.h"

namespace quillon {
namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

class FdCloser {
  public:
    explicit FdCloser(int fd) : fd_(fd) {}
    ~FdCloser() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FdCloser(const FdCloser&) = delete;
    FdCloser& operator=(const FdCloser&) = delete;

  private:
    int fd_;
};

bool AllPlain(const TreePath& path) {
    for (const std::string& name : path) {
        if (!IsPlainName(name)) {
            SetLastError(kErrorInvalidName);
            return false;
        }
    }
    if (path.empty()) {
        SetLastError(kErrorInvalidName);
        return false;
    }
    return true;
}

// A link or a file where a folder belongs is refused, not reported as the system's "not a folder".
void SetFolderError(int err) {
    SetLastError(err == ELOOP || err == ENOTDIR ? kErrorCantResolveFilename : WindowsErrorFromErrno(err));
}

// Copies everything from in to out inside the kernel where it can, by reading and writing otherwise.
bool CopyData(int in, int out, int64_t& bytes) {
    bytes = 0;
    bool kernelCopy = true;
    std::vector<char> buffer;
    for (;;) {
        ssize_t got;
        if (kernelCopy) {
            got = ::copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
            if (got < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP) &&
                bytes == 0) {
                kernelCopy = false;
                continue;
            }
        } else {
            if (buffer.empty()) {
                buffer.resize(1 << 20);
            }
            got = ::read(in, buffer.data(), buffer.size());
            for (ssize_t done = 0; got > 0 && done < got;) {
                ssize_t put = ::write(out, buffer.data() + done, static_cast<size_t>(got - done));
                if (put < 0 && errno != EINTR) {
                    SetLastErrorFromErrno(errno);
                    return false;
                }
                done += put > 0 ? put : 0;
            }
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            SetLastErrorFromErrno(errno);
            return false;
        }
        if (got == 0) {
            return true;
        }
        bytes += got;
    }
}

}  // namespace

bool IsPlainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

ConfinedTree::~ConfinedTree() {
    Close();
}

void ConfinedTree::ForgetFolders(FolderCache& cache) {
    for (const auto& [key, fd] : cache) {
        ::close(fd);
    }
    cache.clear();
}

void ConfinedTree::ForgetOpenFolders() {
    for (FolderCache& cache : slots_) {
        ForgetFolders(cache);
    }
}

void ConfinedTree::Close() {
    for (FolderCache& cache : slots_) {
        ForgetFolders(cache);
    }
    if (root_ >= 0) {
        ::close(root_);
    }
    root_ = -1;
}

bool ConfinedTree::Open(const std::string& windowsRoot, bool create) {
    Close();
    std::string native;
    if (!ToNativePath(windowsRoot, native)) {
        return false;
    }
    if (create) {
        std::error_code error;
        std::filesystem::create_directories(native, error);
        if (error) {
            SetLastErrorFromErrno(error.value(), native);
            return false;
        }
    }
    root_ = ::open(native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (root_ < 0) {
        SetLastErrorFromErrno(errno, native);
        return false;
    }
    return true;
}

int ConfinedTree::Folder(const TreePath& path, size_t count, bool create, int slot) {
    if (root_ < 0) {
        SetLastError(kErrorInvalidHandle);
        return -1;
    }
    FolderCache& cache = slots_[slot];
    if (cache.size() > kCachedFolders) {
        ForgetFolders(cache);  // a bounded number of descriptors, whatever the width of the tree
    }
    std::vector<std::string> keys(count + 1);
    for (size_t i = 0; i < count; ++i) {
        keys[i + 1] = keys[i] + path[i] + '/';
    }
    // The deepest folder on the way that is open already.
    size_t done = count;
    int current = root_;
    for (;; --done) {
        if (done == 0) {
            break;
        }
        auto found = cache.find(keys[done]);
        if (found != cache.end()) {
            current = found->second;
            break;
        }
    }
    for (size_t i = done; i < count; ++i) {
        const char* name = path[i].c_str();
        int next = ::openat(current, name, kFolderFlags);
        if (next < 0 && errno == ENOENT && create) {
            if (::mkdirat(current, name, 0777) != 0 && errno != EEXIST) {
                SetLastErrorFromErrno(errno);
                return -1;
            }
            next = ::openat(current, name, kFolderFlags);
        }
        if (next < 0) {
            SetFolderError(errno);
            return -1;
        }
        cache.emplace(keys[i + 1], next);
        current = next;
    }
    return current;
}

bool ConfinedTree::Look(const TreePath& path, TreeEntry& entry, int64_t* size) {
    entry = TreeEntry::kMissing;
    if (!AllPlain(path)) {
        return false;
    }
    int folder = Folder(path, path.size() - 1, false, 0);
    if (folder < 0) {
        // A missing folder on the way means a missing entry; anything else in its place is refused.
        return GetLastError() == kErrorFileNotFound || GetLastError() == kErrorPathNotFound;
    }
    struct stat info;
    if (::fstatat(folder, path.back().c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT) {
            return true;
        }
        SetLastErrorFromErrno(errno);
        return false;
    }
    entry = S_ISREG(info.st_mode)   ? TreeEntry::kFile
            : S_ISDIR(info.st_mode) ? TreeEntry::kFolder
            : S_ISLNK(info.st_mode) ? TreeEntry::kLink
                                    : TreeEntry::kOther;
    if (size != nullptr) {
        *size = static_cast<int64_t>(info.st_size);
    }
    return true;
}

bool ConfinedTree::PlaceFile(int folder, const std::string& tempName, const std::string& leaf, bool replace) {
    if (replace) {
        if (::renameat(folder, tempName.c_str(), folder, leaf.c_str()) == 0) {
            return true;
        }
        SetLastErrorFromErrno(errno);
        return false;
    }
    if (::renameat2(folder, tempName.c_str(), folder, leaf.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno == EINVAL || errno == ENOSYS) {
        // A file system without that rename: a hard link fails just as well when the name is taken.
        if (::linkat(folder, tempName.c_str(), folder, leaf.c_str(), 0) == 0) {
            ::unlinkat(folder, tempName.c_str(), 0);
            return true;
        }
    }
    SetLastError(errno == EEXIST ? kErrorFileExists : WindowsErrorFromErrno(errno));
    return false;
}

bool ConfinedTree::CopyFileFrom(ConfinedTree& source, const TreePath& from, const TreePath& path,
                                bool replace, int64_t& bytes) {
    bytes = 0;
    if (!AllPlain(from) || !AllPlain(path)) {
        return false;
    }
    int sourceFolder = source.Folder(from, from.size() - 1, false, 1);
    if (sourceFolder < 0) {
        return false;
    }
    // Non-blocking, so that a FIFO planted under the name cannot hold the open; it is refused below.
    int in = ::openat(sourceFolder, from.back().c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (in < 0 && errno == ELOOP) {
        return CopyLinkFrom(sourceFolder, from.back(), path, replace);
    }
    if (in < 0) {
        SetFolderError(errno);
        return false;
    }
    FdCloser closeIn(in);
    struct stat info;
    if (::fstat(in, &info) != 0 || !S_ISREG(info.st_mode)) {
        SetLastError(kErrorCantResolveFilename);
        return false;
    }
    int folder = Folder(path, path.size() - 1, true, 0);
    if (folder < 0) {
        return false;
    }
    if (!replace) {
        struct stat present;
        if (::fstatat(folder, path.back().c_str(), &present, AT_SYMLINK_NOFOLLOW) == 0) {
            SetLastError(kErrorFileExists);
            return false;
        }
    }
    std::string tempName;
    int out = -1;
    for (int attempt = 0; out < 0 && attempt < 100; ++attempt) {
        tempName = ".quillon-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++) + ".tmp";
        out = ::openat(folder, tempName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                       (info.st_mode & 0777) | S_IWUSR);
        if (out < 0 && errno != EEXIST) {
            SetLastErrorFromErrno(errno);
            return false;
        }
    }
    if (out < 0) {
        SetLastError(kErrorFileExists);
        return false;
    }
    bool copied = CopyData(in, out, bytes);
    if (copied) {
        const timespec times[2] = {info.st_atim, info.st_mtim};
        // The creation mode passed through the umask; the owner comes back too when root restores.
        ApplyOwnership(out, FileOwnership{info.st_mode & 07777, info.st_uid, info.st_gid}, S_IWUSR, false);
        copied = ::futimens(out, times) == 0;
        if (!copied) {
            SetLastErrorFromErrno(errno);
        }
    }
    if (::close(out) != 0 && copied) {
        SetLastErrorFromErrno(errno);
        copied = false;
    }
    if (copied && PlaceFile(folder, tempName, path.back(), replace)) {
        return true;
    }
    int32_t error = GetLastError();
    ::unlinkat(folder, tempName.c_str(), 0);
    SetLastError(error);
    return false;
}

bool ConfinedTree::CopyLinkFrom(int sourceFolder, const std::string& name, const TreePath& path,
                                bool replace) {
    struct stat info;
    std::vector<char> target(PATH_MAX + 1);
    ssize_t length = ::readlinkat(sourceFolder, name.c_str(), target.data(), target.size());
    if (length < 0 || static_cast<size_t>(length) >= target.size() ||
        ::fstatat(sourceFolder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        SetLastError(length < 0 ? WindowsErrorFromErrno(errno) : kErrorCantResolveFilename);
        return false;
    }
    int folder = Folder(path, path.size() - 1, true, 0);
    if (folder < 0) {
        return false;
    }
    struct stat present;
    if (!replace && ::fstatat(folder, path.back().c_str(), &present, AT_SYMLINK_NOFOLLOW) == 0) {
        SetLastError(kErrorFileExists);
        return false;
    }
    // A link is made as a link, with its target text as stored: it points wherever it pointed in the
    // source, and nothing is ever written through it.
    const std::string text(target.data(), static_cast<size_t>(length));
    std::string tempName;
    bool made = false;
    for (int attempt = 0; !made && attempt < 100; ++attempt) {
        tempName = ".quillon-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++) + ".tmp";
        made = ::symlinkat(text.c_str(), folder, tempName.c_str()) == 0;
        if (!made && errno != EEXIST) {
            SetLastErrorFromErrno(errno);
            return false;
        }
    }
    if (!made) {
        SetLastError(kErrorFileExists);
        return false;
    }
    const timespec times[2] = {info.st_atim, info.st_mtim};
    ::utimensat(folder, tempName.c_str(), times, AT_SYMLINK_NOFOLLOW);
    if (::geteuid() == 0) {
        ::fchownat(folder, tempName.c_str(), info.st_uid, info.st_gid, AT_SYMLINK_NOFOLLOW);
    }
    if (PlaceFile(folder, tempName, path.back(), replace)) {
        return true;
    }
    int32_t error = GetLastError();
    ::unlinkat(folder, tempName.c_str(), 0);
    SetLastError(error);
    return false;
}

bool ConfinedTree::MoveFile(const TreePath& from, const TreePath& path, bool replace, int64_t& bytes) {
    bytes = 0;
    if (!AllPlain(from) || !AllPlain(path)) {
        return false;
    }
    int sourceFolder = Folder(from, from.size() - 1, false, 1);
    if (sourceFolder < 0) {
        return false;
    }
    struct stat info;
    if (::fstatat(sourceFolder, from.back().c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    if (!S_ISREG(info.st_mode) && !S_ISLNK(info.st_mode)) {
        SetLastError(kErrorCantResolveFilename);
        return false;
    }
    int folder = Folder(path, path.size() - 1, true, 0);
    if (folder < 0) {
        return false;
    }
    bool moved;
    if (replace) {
        moved = ::renameat(sourceFolder, from.back().c_str(), folder, path.back().c_str()) == 0;
        if (!moved) {
            SetLastErrorFromErrno(errno);
        }
    } else {
        moved = ::renameat2(sourceFolder, from.back().c_str(), folder, path.back().c_str(),
                            RENAME_NOREPLACE) == 0;
        if (!moved && (errno == EINVAL || errno == ENOSYS) &&
            ::linkat(sourceFolder, from.back().c_str(), folder, path.back().c_str(), 0) == 0) {
            ::unlinkat(sourceFolder, from.back().c_str(), 0);
            moved = true;
        }
        if (!moved) {
            SetLastError(errno == EEXIST ? kErrorFileExists : WindowsErrorFromErrno(errno));
        }
    }
    bytes = moved && S_ISREG(info.st_mode) ? static_cast<int64_t>(info.st_size) : 0;
    return moved;
}

bool ConfinedTree::CreateUniqueFolder(const std::string& prefix, std::string& name) {
    if (root_ < 0) {
        SetLastError(kErrorInvalidHandle);
        return false;
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = prefix + std::to_string(::getpid()) + "-" + std::to_string(counter_++);
        if (::mkdirat(root_, name.c_str(), 0700) == 0) {
            return true;
        }
        if (errno != EEXIST) {
            SetLastErrorFromErrno(errno);
            return false;
        }
    }
    SetLastError(kErrorAlreadyExists);
    return false;
}

}  // namespace quillon
