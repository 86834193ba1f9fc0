#include "ibzip/ArchiveExtractor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <vector>

#include "ibzip/IbZip.h"
#include "ibzip/ZipCodes.h"
#include "ibzip/ZipNames.h"
#include "platform/DriveMap.h"

namespace quillon::ibzip {
namespace {

constexpr zip_uint16_t kExtendedTimestamp = 0x5455;

// How one entry went: written, left out with a warning, or failed with a code.
struct EntryResult {
    bool written = false;
    int32_t failure = 0;
};

class ArchiveCloser {
  public:
    explicit ArchiveCloser(zip_t* zip) : zip_(zip) {}
    ~ArchiveCloser() { zip_discard(zip_); }
    ArchiveCloser(const ArchiveCloser&) = delete;
    ArchiveCloser& operator=(const ArchiveCloser&) = delete;

  private:
    zip_t* zip_;
};

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

int32_t OpenArchive(const std::string& windowsArchive, zip_t*& zip) {
    zip = nullptr;
    std::string native;
    if (windowsArchive.empty() || !DriveMap::FromEnvironment().ToNative(windowsArchive, native)) {
        return kIbPathNotFound;
    }
    struct stat info;
    if (::stat(native.c_str(), &info) != 0) {
        if (errno != ENOENT) {
            return CodeFromErrno(errno, Step::kOpenFile);
        }
        size_t cut = native.find_last_of('/');
        struct stat folder;
        std::string parent = cut == 0 || cut == std::string::npos ? "/" : native.substr(0, cut);
        return ::stat(parent.c_str(), &folder) == 0 && S_ISDIR(folder.st_mode) ? kIbFileNotFound
                                                                               : kIbPathNotFound;
    }
    if (!S_ISREG(info.st_mode)) {
        return kIbCannotOpen;
    }
    int openError = 0;
    zip = zip_open(native.c_str(), ZIP_RDONLY, &openError);
    if (zip == nullptr) {
        zip_error_t error;
        zip_error_init_with_code(&error, openError);
        int32_t failure = CodeFromZipError(&error, Step::kOpenFile);
        zip_error_fini(&error);
        return failure;
    }
    return 0;
}

// Opens (creating where missing) the folders of components[0, count) below root. -1 with refused set
// when something other than a real folder stands in the way (a link, a file); -1 with failure set when
// a folder cannot be made.
int OpenFolders(int root, const std::vector<std::string>& components, size_t count, bool& refused,
                int32_t& failure) {
    int current = ::dup(root);
    if (current < 0) {
        failure = kIbGeneralError;
        return -1;
    }
    for (size_t i = 0; i < count && current >= 0; ++i) {
        const char* name = components[i].c_str();
        int next = ::openat(current, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0 && errno == ENOENT) {
            if (::mkdirat(current, name, 0777) != 0 && errno != EEXIST) {
                failure = CodeFromErrno(errno, Step::kWriteArchive);
                ::close(current);
                return -1;
            }
            next = ::openat(current, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        }
        if (next < 0) {
            int err = errno;
            if (err == ELOOP || err == ENOTDIR || err == EEXIST) {
                refused = true;
            } else {
                failure = CodeFromErrno(err, Step::kWriteArchive);
            }
        }
        ::close(current);
        current = next;
    }
    if (current < 0 && failure == 0) {
        refused = true;
    }
    return current;
}

// The entry's modification time: exact from an extended timestamp field, else its DOS time.
time_t EntryTime(zip_t* zip, zip_uint64_t index) {
    zip_uint16_t length = 0;
    const zip_uint8_t* field = zip_file_extra_field_get_by_id(zip, index, kExtendedTimestamp, 0, &length,
                                                              ZIP_FL_CENTRAL | ZIP_FL_LOCAL);
    if (field != nullptr && length >= 5 && (field[0] & 1) != 0) {
        uint32_t seconds =
            field[1] | (field[2] << 8) | (field[3] << 16) | (static_cast<uint32_t>(field[4]) << 24);
        return static_cast<time_t>(static_cast<int32_t>(seconds));
    }
    zip_stat_t stat;
    return zip_stat_index(zip, index, 0, &stat) == 0 && (stat.valid & ZIP_STAT_MTIME) != 0 ? stat.mtime : 0;
}

// Writes the entry's data to a fresh temporary file in folder and renames it to leaf.
EntryResult WriteEntry(zip_t* zip, zip_uint64_t index, int folder, const std::string& leaf, mode_t mode,
                       bool overwrite) {
    EntryResult result;
    struct stat present;
    if (::fstatat(folder, leaf.c_str(), &present, AT_SYMLINK_NOFOLLOW) == 0 &&
        (S_ISDIR(present.st_mode) || !overwrite)) {
        return result;  // kept: a folder is in the way, or the existing file is not to be replaced
    }
    static std::atomic<unsigned> counter{0};
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temporary = ".ibzip-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".tmp";
        fd = ::openat(folder, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd < 0 && errno != EEXIST) {
            result.failure = CodeFromErrno(errno, Step::kWriteArchive);
            return result;
        }
    }
    if (fd < 0) {
        result.failure = kIbGeneralError;
        return result;
    }
    zip_file_t* entry = zip_fopen_index(zip, index, 0);
    if (entry == nullptr) {
        result.failure = CodeFromZipError(zip_get_error(zip), Step::kReadFile);
    }
    std::vector<char> buffer(1 << 16);
    while (result.failure == 0) {
        zip_int64_t got = zip_fread(entry, buffer.data(), buffer.size());
        if (got < 0) {
            result.failure = CodeFromZipError(zip_file_get_error(entry), Step::kReadFile);
        }
        if (got <= 0) {
            break;
        }
        for (zip_int64_t done = 0; done < got && result.failure == 0;) {
            ssize_t put = ::write(fd, buffer.data() + done, static_cast<size_t>(got - done));
            if (put < 0 && errno != EINTR) {
                result.failure = CodeFromErrno(errno, Step::kWriteArchive);
            }
            done += put > 0 ? put : 0;
        }
    }
    if (entry != nullptr) {
        zip_fclose(entry);
    }
    if (result.failure == 0) {
        time_t modified = EntryTime(zip, index);
        const timespec times[2] = {{modified, 0}, {modified, 0}};
        ::futimens(fd, times);
    }
    if (::close(fd) != 0 && result.failure == 0) {
        result.failure = CodeFromErrno(errno, Step::kWriteArchive);
    }
    if (result.failure == 0 && ::renameat(folder, temporary.c_str(), folder, leaf.c_str()) != 0) {
        result.failure = CodeFromErrno(errno, Step::kWriteArchive);
    }
    if (result.failure != 0) {
        ::unlinkat(folder, temporary.c_str(), 0);
    }
    result.written = result.failure == 0;
    return result;
}

// Makes the link entry a symbolic link with its content as the target text, under a temporary name in
// folder that is then renamed to leaf (replacing a file or link there only with overwrite).
EntryResult WriteLinkEntry(zip_t* zip, zip_uint64_t index, int folder, const std::string& leaf, bool overwrite) {
    EntryResult result;
    struct stat present;
    if (::fstatat(folder, leaf.c_str(), &present, AT_SYMLINK_NOFOLLOW) == 0 &&
        (S_ISDIR(present.st_mode) || !overwrite)) {
        return result;
    }
    std::string target;
    zip_file_t* entry = zip_fopen_index(zip, index, 0);
    if (entry == nullptr) {
        result.failure = CodeFromZipError(zip_get_error(zip), Step::kReadFile);
        return result;
    }
    char buffer[PATH_MAX + 1];
    zip_int64_t got;
    while ((got = zip_fread(entry, buffer, sizeof buffer)) > 0 && target.size() <= PATH_MAX) {
        target.append(buffer, static_cast<size_t>(got));
    }
    if (got < 0) {
        result.failure = CodeFromZipError(zip_file_get_error(entry), Step::kReadFile);
    }
    zip_fclose(entry);
    if (result.failure != 0 || target.empty() || target.size() > PATH_MAX ||
        target.find('\0') != std::string::npos) {
        return result;  // no link can carry such a target: left out with a warning
    }
    static std::atomic<unsigned> counter{0};
    std::string temporary;
    bool made = false;
    for (int attempt = 0; !made && attempt < 100; ++attempt) {
        temporary = ".ibzip-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".tmp";
        made = ::symlinkat(target.c_str(), folder, temporary.c_str()) == 0;
        if (!made && errno != EEXIST) {
            result.failure = CodeFromErrno(errno, Step::kWriteArchive);
            return result;
        }
    }
    if (!made) {
        result.failure = kIbGeneralError;
        return result;
    }
    time_t modified = EntryTime(zip, index);
    const timespec times[2] = {{modified, 0}, {modified, 0}};
    ::utimensat(folder, temporary.c_str(), times, AT_SYMLINK_NOFOLLOW);
    if (::renameat(folder, temporary.c_str(), folder, leaf.c_str()) != 0) {
        result.failure = CodeFromErrno(errno, Step::kWriteArchive);
        ::unlinkat(folder, temporary.c_str(), 0);
        return result;
    }
    result.written = true;
    return result;
}

}  // namespace

int32_t CheckArchive(const std::string& windowsArchive) {
    zip_t* zip = nullptr;
    if (int32_t failure = OpenArchive(windowsArchive, zip); failure != 0) {
        return failure;
    }
    zip_int64_t entries = zip_get_num_entries(zip, 0);
    zip_discard(zip);
    return entries < INT32_MAX ? static_cast<int32_t>(entries + 1) : INT32_MAX;
}

Outcome ExtractArchive(const ZipSettings& settings) {
    Outcome outcome;
    zip_t* zip = nullptr;
    if (outcome.failure = OpenArchive(settings.unzipArchive, zip); outcome.failure != 0) {
        return outcome;
    }
    ArchiveCloser closeArchive(zip);
    std::string nativeFolder;
    if (settings.extractDir.empty() ||
        !DriveMap::FromEnvironment().ToNative(settings.extractDir, nativeFolder)) {
        outcome.failure = kIbPathNotFound;
        return outcome;
    }
    int root = ::open(nativeFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (root < 0) {
        outcome.failure = CodeFromErrno(errno, Step::kListFolder);
        return outcome;
    }
    FdCloser closeRoot(root);

    zip_int64_t entries = zip_get_num_entries(zip, 0);
    std::vector<std::string> components;
    for (zip_int64_t i = 0; i < entries && outcome.failure == 0; ++i) {
        auto index = static_cast<zip_uint64_t>(i);
        const char* rawName = zip_get_name(zip, index, ZIP_FL_ENC_RAW);
        if (rawName == nullptr || !MatchesPattern(settings.unzipSpec, rawName)) {
            continue;
        }
        std::string name = rawName;
        if (!SafeEntryComponents(name, components)) {
            outcome.warnings = true;
            continue;
        }
        zip_uint8_t system = 0;
        zip_uint32_t attributes = 0;
        zip_file_get_external_attributes(zip, index, 0, &system, &attributes);
        mode_t unixMode = system == ZIP_OPSYS_UNIX ? static_cast<mode_t>(attributes >> 16) : 0;
        bool isFolder = name.back() == '/' || name.back() == '\\' || S_ISDIR(unixMode);
        // A link entry is never created: what extracts an archive (the merge of a same-day set) then
        // reads the extracted file by its name, and a planted link would make it read any file of the
        // system. Links are restored by zip tools, which read link entries as links.
        const bool isLink = !isFolder && S_ISLNK(unixMode) && settings.unzipLinks;
        if (!isFolder && !isLink && (unixMode & S_IFMT) != 0 && !S_ISREG(unixMode)) {
            outcome.warnings = true;  // a link, device, FIFO or socket: never created
            continue;
        }
        if (isFolder && !settings.useStoredDirs) {
            continue;
        }
        if (!settings.useStoredDirs) {
            components.erase(components.begin(), components.end() - 1);
        }
        bool refused = false;
        size_t folders = isFolder ? components.size() : components.size() - 1;
        int folder = OpenFolders(root, components, folders, refused, outcome.failure);
        if (folder < 0) {
            outcome.warnings |= refused;
            continue;
        }
        FdCloser closeFolder(folder);
        if (isFolder) {
            continue;
        }
        mode_t mode = (unixMode & 0777) != 0 ? (unixMode & 0777) : 0666;
        EntryResult result = isLink ? WriteLinkEntry(zip, index, folder, components.back(), settings.overwrite)
                                    : WriteEntry(zip, index, folder, components.back(), mode, settings.overwrite);
        outcome.failure = result.failure;
        outcome.files += result.written ? 1 : 0;
        outcome.warnings |= !result.written;
    }
    return outcome;
}

Outcome CheckArchiveEntries(const ZipSettings& settings) {
    Outcome outcome;
    zip_t* zip = nullptr;
    if (outcome.failure = OpenArchive(settings.unzipArchive, zip); outcome.failure != 0) {
        return outcome;
    }
    ArchiveCloser closeArchive(zip);
    std::vector<char> buffer(1 << 16);
    zip_int64_t entries = zip_get_num_entries(zip, 0);
    for (zip_int64_t i = 0; i < entries && outcome.failure == 0; ++i) {
        auto index = static_cast<zip_uint64_t>(i);
        const char* name = zip_get_name(zip, index, ZIP_FL_ENC_RAW);
        if (name == nullptr || !MatchesPattern(settings.unzipSpec, name)) {
            continue;
        }
        zip_file_t* entry = zip_fopen_index(zip, index, 0);
        if (entry == nullptr) {
            outcome.failure = CodeFromZipError(zip_get_error(zip), Step::kReadFile);
            break;
        }
        // libzip checks the CRC and the size once the last byte has been read.
        zip_int64_t got;
        while ((got = zip_fread(entry, buffer.data(), buffer.size())) > 0) {
        }
        if (got < 0) {
            outcome.failure = CodeFromZipError(zip_file_get_error(entry), Step::kReadFile);
        }
        zip_fclose(entry);
        outcome.files += outcome.failure == 0 ? 1 : 0;
    }
    return outcome;
}

}  // namespace quillon::ibzip
