#include "platform/FolderHandle.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <vector>

#include "platform/DriveMap.h"
#include "platform/FaultInjection.h"
#include "platform/LastError.h"

namespace quillon {
namespace {

constexpr mode_t kPermissionBits = 0777;

bool InjectedFault(FileOperation operation, const std::string& nativePath) {
    int err = 0;
    if (CheckFault(operation, err)) {
        SetLastErrorFromErrno(err, nativePath);
        return true;
    }
    return false;
}

// The last error of a name that could not be opened as a folder: a link in its place says so (1921).
void SetFolderError(int parent, const std::string& name, int err, const std::string& nativePath) {
    struct stat info;
    if ((err == ENOTDIR || err == ELOOP) &&
        ::fstatat(parent, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(info.st_mode)) {
        SetLastError(kErrorCantResolveFilename);
        return;
    }
    // A missing folder is a path not found, whatever its parent.
    SetLastErrorFromErrno(err == ELOOP || err == ENOENT ? ENOTDIR : err, nativePath);
}

std::vector<std::string> Components(const std::string& windowsTail) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : windowsTail) {
        if (c == '\\' || c == '/') {
            if (!part.empty()) {
                parts.push_back(part);
            }
            part.clear();
        } else {
            part.push_back(c);
        }
    }
    if (!part.empty()) {
        parts.push_back(part);
    }
    return parts;
}

}  // namespace

void ApplyOwnership(int fd, const FileOwnership& source, uint32_t extraBits, bool writeBitsOff) {
    // The process never changes its user: asked once.
    static const bool root = ::geteuid() == 0;
    // Only what differs is changed: a new file of root's usually has its source's owner already. When
    // the new file cannot be asked, everything is set.
    struct stat info;
    if (::fstat(fd, &info) != 0) {
        info.st_uid = static_cast<uid_t>(-1);
        info.st_gid = static_cast<gid_t>(-1);
        info.st_mode = static_cast<mode_t>(-1);
    }
    gid_t group = info.st_gid;
    if (root && (info.st_uid != source.Owner || info.st_gid != source.Group)) {
        if (::fchown(fd, source.Owner, source.Group) == 0) {
            group = source.Group;
        }
    } else if (!root && info.st_gid != source.Group) {
        if (::fchown(fd, static_cast<uid_t>(-1), source.Group) == 0) {
            group = source.Group;
        }
    }
    mode_t mode = source.Mode & kPermissionBits;
    if (group != source.Group) {
        // Another group than the source's: it may read no more than everybody may.
        mode = (mode & ~static_cast<mode_t>(070)) | ((mode & 07) << 3);
    }
    mode |= extraBits & kPermissionBits;
    if (writeBitsOff) {
        mode &= ~static_cast<mode_t>(0222);
    }
    if ((info.st_mode & 07777) != mode) {
        (void)::fchmod(fd, mode);
    }
}

FolderHandle::~FolderHandle() {
    Close();
}

void FolderHandle::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

namespace {

// The trusted part of a folder's path, as Open takes it: the drive's root at least ("C:" alone names
// no folder), at most the whole path.
std::string TrustedPart(const std::string& windowsFolder, size_t& trustedLength) {
    if (trustedLength < 3) {
        trustedLength = windowsFolder.size() < 3 ? windowsFolder.size() : 3;
    }
    if (trustedLength > windowsFolder.size()) {
        trustedLength = windowsFolder.size();
    }
    std::string trusted = windowsFolder.substr(0, trustedLength);
    if (trusted.size() == 2 && trusted[1] == ':') {
        trusted += '\\';
    }
    return trusted;
}

// Whether the folder trusted (native) and the components after it can be named as one path.
bool FitsPathLimit(const std::string& trusted, const std::vector<std::string>& parts) {
    size_t length = trusted.size();
    for (const std::string& part : parts) {
        length += 1 + part.size();
    }
    if (length >= PATH_MAX) {
        SetLastError(kErrorFilenameTooLong);
        return false;
    }
    return true;
}

// Opens the component name of the open folder fd (native path parentPath) without following a link,
// creating it when it is missing and create is set (with the ownership of the folder model names, when
// given). The new descriptor, or -1 with the last error set; path is the component's native path.
int OpenComponent(int fd, const std::string& parentPath, const std::string& name, bool create,
                  const std::string& model, std::string& path) {
    path = parentPath + (parentPath.empty() || parentPath.back() != '/' ? "/" : "") + name;
    if (name == "." || name == "..") {
        SetLastError(kErrorInvalidName);  // a folder of ours is never reached by going up
        return -1;
    }
    int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0 && errno == ENOENT && create) {
        if (InjectedFault(FileOperation::kCreateDirectory, path)) {
            return -1;
        }
        // With a model the folder stays private until it has its final bits, so that nobody can
        // open it in between; without one it gets what any new folder gets (the umask applies).
        FileOwnership ownership;
        const bool modelled = !model.empty() && ReadOwnership(model, ownership);
        if (::mkdirat(fd, name.c_str(), modelled ? 0700 : 0777) != 0 && errno != EEXIST) {
            SetLastErrorFromErrno(errno, path);
            return -1;
        }
        next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next >= 0 && modelled) {
            ApplyOwnership(next, ownership, 0700, false);
        }
    }
    if (next < 0) {
        SetFolderError(fd, name, errno, path);
    }
    return next;
}

}  // namespace

bool FolderHandle::Open(const std::string& windowsFolder, size_t trustedLength, bool create,
                        const std::vector<std::string>& models) {
    Close();
    const std::string trusted = TrustedPart(windowsFolder, trustedLength);
    if (!ToNativePath(trusted, native_)) {
        return false;
    }
    int fd = ::open(native_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        SetLastErrorFromErrno(errno, native_);
        return false;
    }
    const std::vector<std::string> parts = Components(windowsFolder.substr(trustedLength));
    if (!FitsPathLimit(native_, parts)) {
        ::close(fd);
        return false;
    }
    for (size_t i = 0; i < parts.size(); ++i) {
        std::string path;
        int next =
            OpenComponent(fd, native_, parts[i], create, i < models.size() ? models[i] : std::string(), path);
        ::close(fd);
        if (next < 0) {
            return false;
        }
        fd = next;
        native_ = path;
    }
    fd_ = fd;
    return true;
}

bool FolderHandle::OpenChild(const FolderHandle& parent, const std::string& name, bool create,
                             const std::string& model) {
    Close();
    std::string path;
    int fd = OpenComponent(parent.fd_, parent.native_, name, create, model, path);
    if (fd < 0) {
        return false;
    }
    fd_ = fd;
    native_ = path;
    return true;
}

bool FolderChain::Open(const std::string& windowsFolder, size_t trustedLength, bool create,
                       const std::vector<std::string>& models) {
    const std::string trusted = TrustedPart(windowsFolder, trustedLength);
    const std::vector<std::string> parts = Components(windowsFolder.substr(trustedLength));
    if (links_.empty() || trusted != trusted_) {
        links_.clear();
        trusted_.clear();
        auto root = std::make_unique<FolderHandle>();
        if (!root->Open(trusted, trusted.size())) {
            return false;
        }
        links_.push_back(std::move(root));
        trusted_ = trusted;
    }
    if (!FitsPathLimit(links_.front()->NativePath(), parts)) {
        return false;
    }
    // The folders the path shares with the one opened before stay open; the rest are opened anew.
    size_t kept = 0;
    while (kept < parts.size() && kept + 1 < links_.size() && names_[kept] == parts[kept]) {
        ++kept;
    }
    links_.resize(kept + 1);
    names_.resize(kept);
    for (size_t i = kept; i < parts.size(); ++i) {
        auto next = std::make_unique<FolderHandle>();
        if (!next->OpenChild(*links_.back(), parts[i], create,
                             i < models.size() ? models[i] : std::string())) {
            return false;
        }
        links_.push_back(std::move(next));
        names_.push_back(parts[i]);
    }
    return true;
}

void FolderChain::Close() {
    links_.clear();
    names_.clear();
    trusted_.clear();
}

bool FolderHandle::CanName(const std::string& name) const {
    if (native_.size() + 1 + name.size() >= PATH_MAX) {
        SetLastError(kErrorFilenameTooLong);
        return false;
    }
    return true;
}

bool FolderHandle::Holds(const std::string& name, uint64_t device, uint64_t inode) const {
    struct stat info;
    return ::fstatat(fd_, name.c_str(), &info, 0) == 0 && info.st_dev == device && info.st_ino == inode;
}

bool FolderHandle::CreateLink(const std::string& name, const std::string& target) {
    const std::string path = native_ + "/" + name;
    if (InjectedFault(FileOperation::kOpen, path)) {
        return false;
    }
    if (::symlinkat(target.c_str(), fd_, name.c_str()) != 0) {
        SetLastErrorFromErrno(errno, path);
        return false;
    }
    return true;
}

bool FolderHandle::SetLinkTimesAndOwner(const std::string& name, const FileOwnership& owner,
                                        int64_t modificationTime, int64_t accessTime) {
    if (::geteuid() == 0) {
        (void)::fchownat(fd_, name.c_str(), owner.Owner, owner.Group, AT_SYMLINK_NOFOLLOW);
    }
    struct timespec times[2];
    times[0].tv_sec = static_cast<time_t>(accessTime);
    times[0].tv_nsec = 0;
    times[1].tv_sec = static_cast<time_t>(modificationTime);
    times[1].tv_nsec = 0;
    if (::utimensat(fd_, name.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) {
        SetLastErrorFromErrno(errno, native_ + "/" + name);
        return false;
    }
    return true;
}

bool FolderHandle::Rename(const std::string& from, const std::string& to) {
    const std::string path = native_ + "/" + from;
    if (InjectedFault(FileOperation::kRename, path)) {
        return false;
    }
    if (::renameat(fd_, from.c_str(), fd_, to.c_str()) != 0) {
        SetLastErrorFromErrno(errno, path);
        return false;
    }
    return true;
}

bool FolderHandle::Remove(const std::string& name) {
    const std::string path = native_ + "/" + name;
    if (InjectedFault(FileOperation::kDelete, path)) {
        return false;
    }
    if (::unlinkat(fd_, name.c_str(), 0) != 0) {
        SetLastErrorFromErrno(errno, path);
        return false;
    }
    return true;
}

bool ReadOwnership(const std::string& windowsPath, FileOwnership& ownership) {
    std::string native;
    if (!ToNativePath(windowsPath, native)) {
        return false;
    }
    struct stat info;
    if (::lstat(native.c_str(), &info) != 0) {
        SetLastErrorFromErrno(errno, native);
        return false;
    }
    if (S_ISLNK(info.st_mode)) {
        SetLastError(kErrorCantResolveFilename);  // a link's own bits (0777) say nothing
        return false;
    }
    ownership.Mode = info.st_mode & 07777;
    ownership.Owner = info.st_uid;
    ownership.Group = info.st_gid;
    return true;
}

bool ReadSymbolicLink(const std::string& windowsPath, std::string& target, FileOwnership& owner,
                      int64_t& modificationTime, int64_t& accessTime) {
    std::string native;
    if (!ToNativePath(windowsPath, native)) {
        return false;
    }
    struct stat info;
    if (::lstat(native.c_str(), &info) != 0) {
        SetLastErrorFromErrno(errno, native);
        return false;
    }
    if (!S_ISLNK(info.st_mode)) {
        SetLastError(kErrorInvalidParameter);
        return false;
    }
    // A link's length in st_size may be 0 (on /proc and some file systems); grow until the text fits.
    std::vector<char> text(info.st_size > 0 ? static_cast<size_t>(info.st_size) + 1 : 256);
    for (;;) {
        ssize_t length = ::readlink(native.c_str(), text.data(), text.size());
        if (length < 0) {
            SetLastErrorFromErrno(errno, native);
            return false;
        }
        if (static_cast<size_t>(length) < text.size()) {
            target.assign(text.data(), static_cast<size_t>(length));
            break;
        }
        text.resize(text.size() * 2);
    }
    owner.Mode = info.st_mode & 07777;
    owner.Owner = info.st_uid;
    owner.Group = info.st_gid;
    modificationTime = info.st_mtim.tv_sec;
    accessTime = info.st_atim.tv_sec;
    return true;
}

}  // namespace quillon
