#include "platform/DirectoryListing.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>

#include <algorithm>
#include <cerrno>

#include "platform/DriveMap.h"
#include "platform/FaultInjection.h"
#include "platform/FileAttributes.h"
#include "platform/LastError.h"

namespace quillon {
namespace {

// What a folder that cannot be opened answers: a missing one (or a file on the way) is "path not found".
int32_t FolderOpenError(int err) {
    return err == ENOENT || err == ENOTDIR ? kErrorPathNotFound : WindowsErrorFromErrno(err);
}

constexpr unsigned kStatxMask = STATX_BASIC_STATS | STATX_BTIME;

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

char UpperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool HasWildcard(std::string_view name) {
    return name.find_first_of("*?") != std::string_view::npos;
}

// Splits a Windows-form pattern at its last separator into the directory and the last component.
void SplitLast(const std::string& path, std::string& directory, std::string& last) {
    size_t separator = path.find_last_of("\\/");
    if (separator == std::string::npos) {
        directory.clear();
        last = path;
    } else {
        directory = path.substr(0, separator);
        last = path.substr(separator + 1);
    }
}

std::string ChildPath(const std::string& directory, const std::string& name) {
    return !directory.empty() && directory.back() == '/' ? directory + name : directory + "/" + name;
}

int64_t CreationOrModification(const struct statx& info) {
    return (info.stx_mask & STATX_BTIME) != 0 ? info.stx_btime.tv_sec : info.stx_mtime.tv_sec;
}

FileIdentity IdentityOf(const struct statx& info) {
    return FileIdentity{(uint64_t{info.stx_dev_major} << 32) | info.stx_dev_minor, info.stx_ino};
}

uint32_t AttributesOf(const std::string& nativePath, uint32_t mode, AttributeDetail detail) {
    if (detail == AttributeDetail::kAll) {
        return AttributesOfNative(nativePath, mode);
    }
    return (S_ISDIR(mode) ? kAttributeDirectory : 0) | ((mode & 0222) == 0 ? kAttributeReadOnly : 0);
}

// Fills entry for the native path, which is name below the open folder folderFd (or AT_FDCWD and the
// whole path); false when the entry is not to be listed in scope (or is gone). Looking names up below
// the open folder spares the kernel a walk of the whole path for every entry.
bool Inspect(int folderFd, const char* name, const std::string& nativePath, ListingScope scope,
             AttributeDetail detail, FileInfo& entry) {
    struct statx info;
    if (::statx(folderFd, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, kStatxMask, &info) != 0) {
        SetLastErrorFromErrno(errno, nativePath);
        return false;
    }
    bool link = S_ISLNK(info.stx_mode);
    if (link) {
        struct statx target;
        if (::statx(folderFd, name, AT_NO_AUTOMOUNT, kStatxMask, &target) == 0) {
            info = target;
        } else if (scope == ListingScope::kFilesAndDirectories) {
            SetLastError(kErrorFileNotFound);  // a dangling link leads nowhere
            return false;
        }
    }
    uint32_t attributes = link ? kAttributeReparsePoint : 0;
    if (S_ISREG(info.stx_mode)) {
        entry.Kind = EntryKind::kFile;
        entry.Size = static_cast<int64_t>(info.stx_size);
        attributes |= AttributesOf(nativePath, info.stx_mode, detail);
    } else if (S_ISDIR(info.stx_mode)) {
        entry.Kind = EntryKind::kDirectory;
        entry.Size = 0;
        attributes |= AttributesOf(nativePath, info.stx_mode, detail);
    } else if (scope == ListingScope::kWithOtherEntries) {
        entry.Kind = EntryKind::kOther;
        entry.Size = 0;
    } else {
        SetLastError(kErrorFileNotFound);
        return false;
    }
    entry.Attributes = attributes;
    entry.Identity = IdentityOf(info);
    entry.ModificationTime = info.stx_mtime.tv_sec;
    entry.AccessTime = info.stx_atime.tv_sec;
    entry.CreationTime = CreationOrModification(info);
    return true;
}

// Fills entry for name below the open folder folderFd; a link as links says. False when the entry is
// not to be listed in scope, or is gone.
bool InspectEntry(int folderFd, const std::string& name, ListingScope scope, LinkEntries links,
                  FileInfo& entry) {
    struct statx info;
    if (::statx(folderFd, name.c_str(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, kStatxMask, &info) != 0) {
        return false;  // gone since it was listed
    }
    uint32_t linked = 0;
    if (S_ISLNK(info.stx_mode) && links == LinkEntries::kAsTargetFile) {
        // Only the target's status is read here, never its content.
        struct statx target;
        if (::statx(folderFd, name.c_str(), AT_NO_AUTOMOUNT, kStatxMask, &target) == 0) {
            info = target;
        } else if (scope != ListingScope::kWithOtherEntries) {
            return false;  // a dangling link leads nowhere
        }
        linked = kAttributeReparsePoint;
    }
    if (S_ISLNK(info.stx_mode)) {
        entry.Kind = EntryKind::kFile;
        entry.Attributes = kAttributeReparsePoint;
        entry.Size = static_cast<int64_t>(info.stx_size);
    } else if (S_ISREG(info.stx_mode)) {
        entry.Kind = EntryKind::kFile;
        entry.Attributes = AttributesOf(std::string(), info.stx_mode, AttributeDetail::kTypesOnly);
        entry.Size = static_cast<int64_t>(info.stx_size);
    } else if (S_ISDIR(info.stx_mode)) {
        entry.Kind = EntryKind::kDirectory;
        entry.Attributes = kAttributeDirectory | ((info.stx_mode & 0222) == 0 ? kAttributeReadOnly : 0);
        entry.Size = 0;
    } else if (scope == ListingScope::kWithOtherEntries) {
        entry.Kind = EntryKind::kOther;
        entry.Attributes = 0;
        entry.Size = 0;
    } else {
        return false;
    }
    entry.Attributes |= linked;
    entry.Identity = IdentityOf(info);
    entry.ModificationTime = info.stx_mtime.tv_sec;
    entry.AccessTime = info.stx_atime.tv_sec;
    entry.CreationTime = CreationOrModification(info);
    return true;
}

// "." first, ".." second, every other name after them (asked for every comparison of a sort).
int DotRank(const std::string& name) {
    if (name.size() > 2 || name.empty() || name[0] != '.') {
        return 2;
    }
    return name.size() == 1 ? 0 : name[1] == '.' ? 1 : 2;
}

// The order of Windows directories: letter case of A-Z ignored; names that differ only in case (which
// Linux allows) by their bytes.
bool ListedBefore(const FileInfo& a, const FileInfo& b) {
    int rankA = DotRank(a.Name);
    int rankB = DotRank(b.Name);
    if (rankA != rankB) {
        return rankA < rankB;
    }
    size_t common = std::min(a.Name.size(), b.Name.size());
    for (size_t i = 0; i < common; ++i) {
        auto x = static_cast<unsigned char>(UpperAscii(a.Name[i]));
        auto y = static_cast<unsigned char>(UpperAscii(b.Name[i]));
        if (x != y) {
            return x < y;
        }
    }
    return a.Name.size() != b.Name.size() ? a.Name.size() < b.Name.size() : a.Name < b.Name;
}

bool ListMatching(const std::string& windowsDirectory, const std::string& pattern, ListingScope scope,
                  AttributeDetail detail, FolderLink folderLink, std::vector<FileInfo>& entries) {
    std::string nativeDirectory;
    if (!ToNativePath(windowsDirectory, nativeDirectory)) {
        return false;
    }
    if (nativeDirectory.empty()) {
        nativeDirectory = "/";
    }
    const int flags =
        O_RDONLY | O_DIRECTORY | O_CLOEXEC | (folderLink == FolderLink::kRefuse ? O_NOFOLLOW : 0);
    const int fd = ::open(nativeDirectory.c_str(), flags);
    DIR* directory = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (directory == nullptr) {
        int err = errno;
        if (fd >= 0) {
            ::close(fd);
        }
        // A refused link reads as no folder at all (ENOTDIR) to open: tell it apart, it is to be reported.
        struct stat link;
        if (folderLink == FolderLink::kRefuse && (err == ENOTDIR || err == ELOOP) &&
            ::lstat(nativeDirectory.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
            SetLastError(kErrorCantResolveFilename);
            return false;
        }
        SetLastError(FolderOpenError(err));
        return false;
    }
    while (const dirent* item = ::readdir(directory)) {
        FileInfo entry;
        entry.Name = item->d_name;
        if (MatchesFilePattern(pattern, entry.Name) &&
            Inspect(::dirfd(directory), item->d_name, ChildPath(nativeDirectory, entry.Name), scope, detail,
                    entry)) {
            entries.push_back(std::move(entry));
        }
    }
    ::closedir(directory);
    std::sort(entries.begin(), entries.end(), ListedBefore);
    return true;
}

bool LookUp(const std::string& windowsPath, ListingScope scope, FileInfo& entry) {
    std::string directory;
    std::string last;
    SplitLast(windowsPath, directory, last);
    if (last.empty()) {
        SetLastError(kErrorFileNotFound);  // "C:\Data\" names no entry, as on Windows
        return false;
    }
    std::string native;
    if (!ToNativePath(windowsPath, native)) {
        return false;
    }
    entry.Name = last;
    return Inspect(AT_FDCWD, native.c_str(), native, scope, AttributeDetail::kAll, entry);
}

}  // namespace

// Wildcard match with one backtracking point: after a '*' fails further on, the '*' takes one more
// character. Linear in practice, never exponential.
bool WildcardMatch(std::string_view pattern, std::string_view name, char (*fold)(char)) {
    size_t p = 0;
    size_t n = 0;
    size_t starP = std::string_view::npos;
    size_t starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() && (pattern[p] == '?' || fold(pattern[p]) == fold(name[n]))) {
            ++p;
            ++n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') {
        ++p;
    }
    return p == pattern.size();
}

bool FileInfo::IsLink() const {
    return (Attributes & kAttributeReparsePoint) != 0;
}

bool FileInfo::MayEnter() const {
    return Kind == EntryKind::kDirectory && !IsLink() && Name != "." && Name != "..";
}

bool MatchesFilePattern(const std::string& pattern, const std::string& name) {
    std::string_view whole(pattern);
    if (WildcardMatch(whole, name, LowerAscii)) {
        return true;
    }
    // "*.*" and "name.*" also match names without any extension, as they always have on Windows.
    return whole.size() >= 2 && whole.substr(whole.size() - 2) == ".*" &&
           WildcardMatch(whole.substr(0, whole.size() - 2), name, LowerAscii);
}

bool DirectorySearch::First(const std::string& windowsPattern, FileInfo& entry) {
    entries_.clear();
    next_ = 0;
    std::string directory;
    std::string last;
    SplitLast(windowsPattern, directory, last);
    if (!HasWildcard(last)) {
        FileInfo single;
        if (!LookUp(windowsPattern, scope_, single)) {
            return false;
        }
        entries_.push_back(std::move(single));
    } else if (!ListMatching(directory, last, scope_, detail_, folderLink_, entries_)) {
        return false;
    }
    if (entries_.empty()) {
        SetLastError(kErrorFileNotFound);
        return false;
    }
    return Next(entry);
}

bool DirectorySearch::Next(FileInfo& entry) {
    if (next_ >= entries_.size()) {
        SetLastError(18);  // ERROR_NO_MORE_FILES, as the end of a search reports on Windows
        return false;
    }
    entry = std::move(entries_[next_++]);
    return true;
}

void WalkFolder::Hold(int fd, std::string native) {
    if (fd_ >= 0) {
        ::close(fd_);
    }
    fd_ = fd;
    native_ = std::move(native);
}

WalkFolder::~WalkFolder() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

bool WalkFolder::OpenTop(const std::string& windowsFolder) {
    std::string native;
    if (!ToNativePath(windowsFolder, native)) {
        return false;
    }
    if (native.empty()) {
        native = "/";
    }
    const int fd = ::open(native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        SetLastError(FolderOpenError(err));
        return false;
    }
    Hold(fd, std::move(native));
    return true;
}

bool WalkFolder::OpenChild(const WalkFolder& parent, const std::string& name) {
    std::string native = ChildPath(parent.native_, name);
    int err = 0;
    if (CheckFault(FileOperation::kOpenFolder, err)) {
        SetLastErrorFromErrno(err, native);
        return false;
    }
    if (native.size() >= PATH_MAX) {
        // Reachable from here, but every later step (the copy, the error texts) names files by path.
        SetLastError(kErrorFilenameTooLong);
        return false;
    }
    const int fd = ::openat(parent.fd_, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        err = errno;
        struct stat entry;
        if ((err == ELOOP || err == ENOTDIR) &&
            ::fstatat(parent.fd_, name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(entry.st_mode)) {
            SetLastError(kErrorCantResolveFilename);  // a folder swapped for a link: never entered
        } else {
            SetLastError(FolderOpenError(err));
        }
        return false;
    }
    Hold(fd, std::move(native));
    return true;
}

bool WalkFolder::List(ListingScope scope, std::vector<FileInfo>& entries, LinkEntries links) const {
    entries.clear();
    if (fd_ < 0) {
        SetLastError(kErrorInvalidHandle);
        return false;
    }
    // The entries are read straight from the held descriptor, rewound first so that every listing
    // sees the whole folder: a descriptor of its own for the listing would cost an open, a status
    // and a close per folder. Subfolders are opened by name relative to the descriptor, which its
    // read position does not touch.
    if (::lseek(fd_, 0, SEEK_SET) != 0) {
        SetLastErrorFromErrno(errno, native_);
        return false;
    }
    alignas(struct dirent64) char buffer[32768];
    for (;;) {
        const ssize_t got = ::getdents64(fd_, buffer, sizeof buffer);
        if (got < 0) {
            SetLastErrorFromErrno(errno, native_);
            entries.clear();
            return false;
        }
        if (got == 0) {
            break;
        }
        for (ssize_t at = 0; at < got;) {
            const auto* item = reinterpret_cast<const struct dirent64*>(buffer + at);
            at += item->d_reclen;
            FileInfo entry;
            entry.Name = item->d_name;
            if (entry.Name == "." || entry.Name == "..") {
                // Walks pass over these two: a status of each, for every folder, would only be
                // thrown away.
                entry.Kind = EntryKind::kDirectory;
                entry.Attributes = kAttributeDirectory;
                entries.push_back(std::move(entry));
            } else if (InspectEntry(fd_, entry.Name, scope, links, entry)) {
                entries.push_back(std::move(entry));
            }
        }
    }
    std::sort(entries.begin(), entries.end(), ListedBefore);
    return true;
}

bool WalkFolder::RemoveEntry(const std::string& name) const {
    int err = 0;
    if (CheckFault(FileOperation::kDelete, err) || ::unlinkat(fd_, name.c_str(), 0) != 0) {
        err = err != 0 ? err : errno;
        SetLastError(err == EISDIR ? kErrorAccessDenied : WindowsErrorFromErrno(err));
        return false;
    }
    return true;
}

bool WalkFolder::RemoveFolder(const std::string& name) const {
    int err = 0;
    if (CheckFault(FileOperation::kRemoveDirectory, err) ||
        ::unlinkat(fd_, name.c_str(), AT_REMOVEDIR) != 0) {
        err = err != 0 ? err : errno;
        SetLastError(err == ENOTEMPTY || err == EEXIST ? kErrorDirNotEmpty
                     : err == ENOTDIR || err == ENOENT ? kErrorPathNotFound
                                                       : WindowsErrorFromErrno(err));
        return false;
    }
    return true;
}

std::vector<FileInfo> ListDirectory(const std::string& windowsPattern, ListingScope scope) {
    std::vector<FileInfo> entries;
    DirectorySearch search(scope);
    FileInfo entry;
    for (bool found = search.First(windowsPattern, entry); found; found = search.Next(entry)) {
        entries.push_back(std::move(entry));
    }
    return entries;
}

bool IdentifyFile(const std::string& windowsPath, FileIdentity& identity) {
    std::string native;
    if (!ToNativePath(windowsPath, native)) {
        return false;
    }
    struct statx info;
    if (::statx(AT_FDCWD, native.empty() ? "/" : native.c_str(), AT_NO_AUTOMOUNT, STATX_INO, &info) != 0) {
        SetLastErrorFromErrno(errno, native);
        return false;
    }
    identity = IdentityOf(info);
    return true;
}

bool LookUpFile(const std::string& windowsPath, FileInfo& entry) {
    return LookUp(windowsPath, ListingScope::kFilesAndDirectories, entry);
}

}  // namespace quillon
