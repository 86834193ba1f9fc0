#include "ibzip/FileCollector.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <unordered_set>

#include "ibzip/IbZip.h"
#include "ibzip/ZipCodes.h"
#include "ibzip/ZipNames.h"
#include "platform/DriveMap.h"

namespace quillon::ibzip {
namespace {

// The target text of the link name in folderFd (AT_FDCWD: a path), into target. 0, or the errno.
int ReadLinkTarget(int folderFd, const char* name, const struct stat& info, std::string& target) {
    target.assign(static_cast<size_t>(info.st_size > 0 ? info.st_size : 0) + 1, '\0');
    for (;;) {
        ssize_t got = ::readlinkat(folderFd, name, target.data(), target.size());
        if (got < 0) {
            return errno;
        }
        if (static_cast<size_t>(got) < target.size()) {
            target.resize(static_cast<size_t>(got));
            return 0;
        }
        target.resize(target.size() * 2);  // the link was replaced by a longer one meanwhile
    }
}

void SetFileDetails(CollectedFile& file, const struct stat& info) {
    file.size = static_cast<uint64_t>(info.st_size);
    file.modified = info.st_mtime;
    file.modifiedNanoseconds =
        static_cast<int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
    file.mode = info.st_mode & 07777;
}

void MakeLinkEntry(CollectedFile& file, std::string target) {
    file.isLink = true;
    file.linkTarget = std::move(target);
    file.size = file.linkTarget.size();
    file.mode = 0777;
}

class Walker {
  public:
    Walker(const ZipSettings& settings, std::string pattern, std::string wholePathPrefix, dev_t skipDevice,
           ino_t skipInode)
        : settings_(settings),
          pattern_(std::move(pattern)),
          wholePathPrefix_(std::move(wholePathPrefix)),
          skipDevice_(skipDevice),
          skipInode_(skipInode) {}

    // Lists the open folder folderFd, whose native path is nativeFolder; relative is its path below the
    // spec's folder ("" or "a/b/"). Every entry is looked at, and every subfolder opened, relative to
    // the open folder and without following a link: a folder swapped for a link meanwhile is never
    // entered, and paths longer than the system takes in one call are walked all the same.
    void Walk(int folderFd, const std::string& nativeFolder, const std::string& relative) {
        if (result_.failure != 0) {
            return;
        }
        std::vector<std::string> names;
        if (!ListFolder(folderFd, names)) {
            return;
        }
        for (const std::string& name : names) {
            std::string path = nativeFolder == "/" ? "/" + name : nativeFolder + "/" + name;
            struct stat info;
            if (::fstatat(folderFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
                if (errno == ENOENT) {
                    continue;  // gone between listing and looking: it was never selected
                }
                result_.failure = CodeFromErrno(errno, Step::kListFolder);
                return;
            }
            bool matches = MatchesPattern(pattern_, name);
            if (S_ISLNK(info.st_mode)) {
                // A link is stored as a link and never followed: followed, a link placed in the tree
                // would put the content of any file it names (outside the tree too) into the archive,
                // and a link to a folder could lead the walk in circles.
                if (matches) {
                    AddLink(folderFd, path, relative + name, name, info);
                }
            } else if (S_ISDIR(info.st_mode)) {
                if (settings_.recurseDirs) {
                    const int sub =
                        ::openat(folderFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
                    if (sub < 0) {
                        if (errno != ENOENT) {
                            result_.failure = CodeFromErrno(errno, Step::kListFolder);
                        }
                    } else {
                        Walk(sub, path, relative + name + "/");
                        ::close(sub);
                    }
                }
            } else if (!S_ISREG(info.st_mode)) {
                result_.warnings |= matches;  // FIFO, socket or device: never opened
            } else if (matches) {
                Add(path, relative + name, name, info);
            }
            if (result_.failure != 0) {
                return;
            }
        }
    }

    Collection Take() { return std::move(result_); }

  private:
    bool ListFolder(int folderFd, std::vector<std::string>& names) {
        // A descriptor of its own for the listing: the folder's stays open for the entries.
        const int fd = ::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        DIR* dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
        if (dir == nullptr) {
            result_.failure = CodeFromErrno(errno, Step::kListFolder);
            if (fd >= 0) {
                ::close(fd);
            }
            return false;
        }
        errno = 0;
        while (dirent* entry = ::readdir(dir)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..") {
                names.push_back(std::move(name));
            }
            errno = 0;
        }
        int err = errno;
        ::closedir(dir);
        if (err != 0) {
            result_.failure = CodeFromErrno(err, Step::kListFolder);
            return false;
        }
        std::sort(names.begin(), names.end());
        return true;
    }

    void AddLink(int folderFd, const std::string& path, const std::string& relative, const std::string& name,
                 const struct stat& info) {
        std::string target;
        if (int err = ReadLinkTarget(folderFd, name.c_str(), info, target); err != 0) {
            if (err != ENOENT && err != EINVAL) {
                result_.failure = CodeFromErrno(err, Step::kListFolder);
            }
            return;  // gone, or no longer a link, since it was listed: never selected
        }
        if (CollectedFile* file = Add(path, relative, name, info)) {
            MakeLinkEntry(*file, std::move(target));
        }
    }

    CollectedFile* Add(const std::string& path, const std::string& relative, const std::string& name,
                       const struct stat& info) {
        if (info.st_dev == skipDevice_ && info.st_ino == skipInode_) {
            return nullptr;
        }
        CollectedFile file;
        file.nativePath = path;
        switch (settings_.storedNames) {
            case StoredNames::kNameOnly:
                file.entryName = name;
                break;
            case StoredNames::kWholePath:
                file.entryName = wholePathPrefix_ + relative;
                break;
            case StoredNames::kBelowSpecFolder:
                file.entryName = relative;
                break;
        }
        if (!usedNames_.insert(file.entryName).second) {
            result_.warnings = true;  // the name is taken by an earlier file of this call
            return nullptr;
        }
        file.nameIsUtf8 = IsValidUtf8(file.entryName);
        result_.warnings |= !file.nameIsUtf8;
        SetFileDetails(file, info);
        result_.files.push_back(std::move(file));
        return &result_.files.back();
    }

    const ZipSettings& settings_;
    std::string pattern_;
    std::string wholePathPrefix_;
    dev_t skipDevice_;
    ino_t skipInode_;
    std::unordered_set<std::string> usedNames_;
    Collection result_;
};

// The Windows-form folder without its drive, with '/' separators and a trailing '/' ("Temp/QuilRun/").
std::string WholePathPrefix(const std::string& windowsFolder) {
    std::string prefix;
    size_t start = windowsFolder.size() >= 2 && windowsFolder[1] == ':' ? 2 : 0;
    for (size_t i = start; i < windowsFolder.size(); ++i) {
        char c = windowsFolder[i] == '\\' ? '/' : windowsFolder[i];
        if (c == '/' && (prefix.empty() || prefix.back() == '/')) {
            continue;
        }
        prefix.push_back(c);
    }
    if (!prefix.empty() && prefix.back() != '/') {
        prefix.push_back('/');
    }
    return prefix;
}

}  // namespace

Collection CollectFiles(const DriveMap& drives, const ZipSettings& settings, dev_t skipDevice,
                        ino_t skipInode) {
    const std::string& spec = settings.zipSpec;
    size_t cut = spec.find_last_of("\\/");
    if (cut == std::string::npos) {
        return Collection{{}, kIbPathNotFound, false};  // a relative spec names no folder we could find
    }
    std::string windowsFolder = spec.substr(0, cut + 1);
    std::string pattern = spec.substr(cut + 1);
    if (pattern.empty()) {
        pattern = "*.*";
    }
    std::string nativeFolder;
    struct stat info;
    if (!drives.ToNative(windowsFolder, nativeFolder) || ::stat(nativeFolder.c_str(), &info) != 0 ||
        !S_ISDIR(info.st_mode)) {
        return Collection{{}, kIbPathNotFound, false};
    }
    while (nativeFolder.size() > 1 && nativeFolder.back() == '/') {
        nativeFolder.pop_back();
    }
    const int folder = ::open(nativeFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) {
        return Collection{{}, kIbPathNotFound, false};
    }
    Walker walker(settings, pattern, WholePathPrefix(windowsFolder), skipDevice, skipInode);
    walker.Walk(folder, nativeFolder, "");
    ::close(folder);
    Collection result = walker.Take();
    if (result.failure == 0 && result.files.empty() && !HasWildcards(pattern)) {
        result.failure = kIbFileNotFound;
    }
    return result;
}

int32_t LookAtListedFile(CollectedFile& file) {
    struct stat info;
    if (::lstat(file.nativePath.c_str(), &info) != 0) {
        return CodeFromErrno(errno, Step::kOpenFile);
    }
    SetFileDetails(file, info);
    file.isLink = false;
    file.linkTarget.clear();
    if (S_ISLNK(info.st_mode)) {
        std::string target;
        if (int err = ReadLinkTarget(AT_FDCWD, file.nativePath.c_str(), info, target); err != 0) {
            return err == EINVAL ? kIbCannotOpen : CodeFromErrno(err, Step::kOpenFile);
        }
        MakeLinkEntry(file, std::move(target));
    } else if (!S_ISREG(info.st_mode)) {
        return kIbCannotOpen;  // a FIFO, socket, device or folder is never opened
    }
    return 0;
}

Collection CollectListed(const DriveMap& drives, const ZipSettings& settings, std::vector<int32_t>& results) {
    Collection result;
    std::unordered_set<std::string> usedNames;
    results.assign(settings.sourceList.size(), 0);
    for (size_t position = 0; position < settings.sourceList.size(); ++position) {
        const ListedSource& listed = settings.sourceList[position];
        CollectedFile file;
        if (!drives.ToNative(listed.source, file.nativePath)) {
            results[position] = kIbPathNotFound;
            continue;
        }
        if (int32_t failure = LookAtListedFile(file); failure != 0) {
            results[position] = failure;
            continue;
        }
        if (!usedNames.insert(listed.entryName).second) {
            results[position] = kIbGeneralError;  // one entry cannot hold two files
            continue;
        }
        file.entryName = listed.entryName;
        file.nameIsUtf8 = IsValidUtf8(file.entryName);
        result.warnings |= !file.nameIsUtf8;
        file.listed = position;
        result.files.push_back(std::move(file));
    }
    return result;
}

}  // namespace quillon::ibzip
