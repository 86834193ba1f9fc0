#include "ibzip/ArchiveWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "ibzip/FileCollector.h"
#include "ibzip/IbZip.h"
#include "ibzip/ParallelDeflate.h"
#include "ibzip/ZipCodes.h"
#include "platform/DriveMap.h"

namespace quillon::ibzip {
namespace {

constexpr zip_uint16_t kExtendedTimestamp = 0x5455;
constexpr mode_t kArchiveMode = 0600;

std::string ParentFolder(const std::string& nativePath) {
    size_t cut = nativePath.find_last_of('/');
    return cut == 0 || cut == std::string::npos ? std::string("/") : nativePath.substr(0, cut);
}

// Copies an existing archive to the working name when it cannot be linked there (a file system
// without hard links). Returns a failure code or 0.
int32_t CopyArchive(const std::string& from, const std::string& to) {
    int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        return CodeFromErrno(errno, Step::kOpenFile);
    }
    int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kArchiveMode);
    if (out < 0) {
        int err = errno;
        ::close(in);
        return CodeFromErrno(err, Step::kWriteArchive);
    }
    std::vector<char> buffer(1 << 20);
    int32_t failure = 0;
    for (;;) {
        ssize_t got = ::read(in, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            failure = got < 0 ? CodeFromErrno(errno, Step::kReadFile) : 0;
            break;
        }
        for (ssize_t done = 0; done < got && failure == 0;) {
            ssize_t put = ::write(out, buffer.data() + done, static_cast<size_t>(got - done));
            if (put < 0 && errno != EINTR) {
                failure = CodeFromErrno(errno, Step::kWriteArchive);
            }
            done += std::max<ssize_t>(put, 0);
        }
        if (failure != 0) {
            break;
        }
    }
    ::close(in);
    if (::close(out) != 0 && failure == 0) {
        failure = CodeFromErrno(errno, Step::kWriteArchive);
    }
    return failure;
}

// The DOS date and time of a local time, clamped to the years 1980 to 2107 that the fields hold.
// Returns false when clamping was needed.
bool DosTime(time_t modified, zip_uint16_t& dosTime, zip_uint16_t& dosDate) {
    struct tm local {};
    bool exact = ::localtime_r(&modified, &local) != nullptr;
    if (!exact || local.tm_year < 80) {
        local = tm{};
        local.tm_year = 80;
        local.tm_mday = 1;
        exact = false;
    } else if (local.tm_year > 207) {
        local = tm{};
        local.tm_year = 207;
        local.tm_mon = 11;
        local.tm_mday = 31;
        local.tm_hour = 23;
        local.tm_min = 59;
        local.tm_sec = 58;
        exact = false;
    }
    dosTime = static_cast<zip_uint16_t>((local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2));
    dosDate =
        static_cast<zip_uint16_t>(((local.tm_year - 80) << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday);
    return exact;
}

// Time, extended timestamp and Unix mode of a new or replaced entry. Returns false when the time had
// to be clamped.
bool SetEntryDetails(zip_t* archive, zip_uint64_t index, const CollectedFile& file) {
    zip_uint16_t dosTime;
    zip_uint16_t dosDate;
    bool exact = DosTime(file.modified, dosTime, dosDate);
    zip_file_set_dostime(archive, index, dosTime, dosDate, 0);
    // The exact modification time, for the tools that read it: flags (bit 0: modification time) and
    // the time as 32-bit seconds since 1970, in the local and the central header alike.
    zip_file_extra_field_delete_by_id(archive, index, kExtendedTimestamp, ZIP_EXTRA_FIELD_ALL,
                                      ZIP_FL_LOCAL | ZIP_FL_CENTRAL);
    if (file.modified >= INT32_MIN && file.modified <= INT32_MAX) {
        auto seconds = static_cast<uint32_t>(static_cast<int32_t>(file.modified));
        const zip_uint8_t field[5] = {
            1, static_cast<zip_uint8_t>(seconds), static_cast<zip_uint8_t>(seconds >> 8),
            static_cast<zip_uint8_t>(seconds >> 16), static_cast<zip_uint8_t>(seconds >> 24)};
        zip_file_extra_field_set(archive, index, kExtendedTimestamp, ZIP_EXTRA_FIELD_NEW, field, sizeof field,
                                 ZIP_FL_LOCAL | ZIP_FL_CENTRAL);
    }
    // The Unix mode in the upper half of the external attributes, as zip tools write and read it: the
    // file type (a link entry holds its target text) and the permission bits an extraction restores.
    const mode_t type = file.isLink ? S_IFLNK : S_IFREG;
    zip_file_set_external_attributes(archive, index, 0, ZIP_OPSYS_UNIX,
                                     static_cast<zip_uint32_t>(type | (file.mode & 0777)) << 16);
    return exact;
}

// Flushes the finished working file, renames it over the archive and flushes the folder, so that the
// rename survives a crash too. The archive is readable by its owner alone: one archive mixes files of
// every mode, private ones too, and the modes recorded inside protect nothing until extraction.
int32_t CommitArchive(const std::string& part, const std::string& archive) {
    int fd = ::open(part.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return CodeFromErrno(errno, Step::kWriteArchive);
    }
    int32_t failure = ::fchmod(fd, kArchiveMode) != 0 ? CodeFromErrno(errno, Step::kWriteArchive) : 0;
    if (failure == 0 && ::fsync(fd) != 0) {
        failure = CodeFromErrno(errno, Step::kWriteArchive);
    }
    ::close(fd);
    if (failure == 0 && ::rename(part.c_str(), archive.c_str()) != 0) {
        failure = CodeFromErrno(errno, Step::kWriteArchive);
    }
    if (failure != 0) {
        return failure;
    }
    int folder = ::open(ParentFolder(archive).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);  // some file systems refuse to sync a folder; the archive itself is safe then
        ::close(folder);
    }
    return 0;
}

// PackOnce's mark of a file left out because the archive holds its name and IB_Overwrite is 0.
constexpr int32_t kNameTaken = ParallelDeflate::kChanged + 1;

// One build of the archive from the collected files. With failures per file (fileFailures given) a file
// that fails or changes while it is packed does not fail the build: its ParallelDeflate code goes to
// fileFailures[its position in files] and nothing is committed, so that the caller can build again.
Outcome PackOnce(const std::string& archive, bool exists, const std::vector<CollectedFile>& files,
                 bool overwrite, std::vector<int32_t>* fileFailures) {
    Outcome outcome;
    if (fileFailures != nullptr) {
        fileFailures->assign(files.size(), 0);
    }
    const std::string part = archive + ".part";
    ::unlink(part.c_str());  // a leftover of an interrupted call, or of the build before

    // An existing archive is updated through a second name for it: libzip writes its result to a new
    // file and renames that over the working name, so the archive under its own name stays untouched
    // until the finished update replaces it.
    if (exists && ::link(archive.c_str(), part.c_str()) != 0) {
        if (int32_t failure = CopyArchive(archive, part); failure != 0) {
            ::unlink(part.c_str());
            outcome.failure = failure;
            return outcome;
        }
    }
    // must outlive the zip_t below
    ParallelDeflate deflate(ParallelDeflate::DefaultWorkers(), fileFailures != nullptr);
    int openError = 0;
    zip_t* zip = zip_open(part.c_str(), exists ? 0 : ZIP_CREATE | ZIP_TRUNCATE, &openError);
    if (zip == nullptr) {
        zip_error_t error;
        zip_error_init_with_code(&error, openError);
        outcome.failure = CodeFromZipError(&error, Step::kOpenFile);
        zip_error_fini(&error);
        ::unlink(part.c_str());
        return outcome;
    }

    std::vector<std::pair<zip_uint64_t, size_t>> readOrder;  // entry index, source number
    std::vector<size_t> positionOf;                          // source number: position in files
    for (size_t position = 0; position < files.size(); ++position) {
        const CollectedFile& file = files[position];
        zip_int64_t index = zip_name_locate(zip, file.entryName.c_str(), ZIP_FL_ENC_RAW);
        if (index >= 0 && !overwrite) {
            outcome.warnings = true;  // the archive's entry stays
            if (fileFailures != nullptr) {
                (*fileFailures)[position] = kNameTaken;
            }
            continue;
        }
        // A link's content is its target text, held by the collection until the archive is closed.
        zip_source_t* source =
            file.isLink ? zip_source_buffer(zip, file.linkTarget.data(), file.linkTarget.size(), 0)
                        : deflate.NewSource(zip, file.nativePath, file.size,
                                            fileFailures != nullptr ? file.modifiedNanoseconds : -1);
        if (source == nullptr) {
            outcome.failure = kIbGeneralError;
            break;
        }
        if (index >= 0 ? zip_file_replace(zip, static_cast<zip_uint64_t>(index), source, 0) != 0
                       : (index = zip_file_add(zip, file.entryName.c_str(), source,
                                               file.nameIsUtf8 ? ZIP_FL_ENC_UTF_8 : ZIP_FL_ENC_RAW)) < 0) {
            zip_source_free(source);
            outcome.failure = kIbGeneralError;
            break;
        }
        outcome.warnings |= !SetEntryDetails(zip, static_cast<zip_uint64_t>(index), file);
        if (!file.isLink) {  // the deflating threads read files only, numbered in the order of NewSource
            readOrder.emplace_back(static_cast<zip_uint64_t>(index), readOrder.size());
            positionOf.push_back(position);
        }
        ++outcome.files;
    }
    if (outcome.failure != 0 || outcome.files == 0) {
        zip_discard(zip);
        ::unlink(part.c_str());
        return outcome;
    }

    // libzip writes the entries in index order; replaced entries come before new ones.
    std::sort(readOrder.begin(), readOrder.end());
    std::vector<size_t> order;
    for (const auto& [index, number] : readOrder) {
        order.push_back(number);
    }
    if (!deflate.Start(std::move(order))) {
        zip_discard(zip);
        ::unlink(part.c_str());
        outcome.failure = kIbGeneralError;
        return outcome;
    }
    if (zip_close(zip) != 0) {
        int32_t failure = deflate.Failure();
        outcome.failure = failure != 0 ? failure : CodeFromZipError(zip_get_error(zip), Step::kWriteArchive);
        zip_discard(zip);
        ::unlink(part.c_str());
        return outcome;
    }
    bool whole = true;
    if (fileFailures != nullptr) {
        for (size_t number = 0; number < positionOf.size(); ++number) {
            (*fileFailures)[positionOf[number]] = deflate.FileFailure(number);
            whole &= (*fileFailures)[positionOf[number]] == 0;
        }
    }
    if (!whole) {
        ::unlink(part.c_str());  // an entry of it is no true copy of its file
        outcome.files = 0;
        return outcome;
    }
    if (int32_t failure = CommitArchive(part, archive); failure != 0) {
        ::unlink(part.c_str());
        outcome.failure = failure;
    }
    return outcome;
}

// A file that changed while it was packed is packed again with the next build, up to this many builds
// in all; then it is left out as unreadable, as a copy of a file that never holds still is.
constexpr int kBuildsOfAChangingFile = 3;

// Packs the files of a source list: a file that cannot be packed whole is left out with its own result,
// and the archive is built again without it, so that every entry is a true copy of its file.
Outcome PackListed(const std::string& archive, bool exists, Collection collection, bool overwrite,
                   std::vector<int32_t>& results) {
    std::vector<CollectedFile>& files = collection.files;
    for (int build = 1;; ++build) {
        std::vector<int32_t> failures;
        Outcome outcome = PackOnce(archive, exists, files, overwrite, &failures);
        outcome.warnings |= collection.warnings;
        if (outcome.failure != 0) {
            return outcome;  // the archive as a whole: every listed file stays unpacked
        }
        bool again = false;  // the build was discarded: an entry of it is no whole copy of its file
        std::vector<CollectedFile> kept;
        for (size_t position = 0; position < files.size(); ++position) {
            CollectedFile& file = files[position];
            int32_t failure = failures[position];
            if (failure == kNameTaken) {
                continue;  // its result stays 0: not packed (a warning)
            }
            if (failure == ParallelDeflate::kChanged) {
                again = true;
                // Taken afresh for the next build: the version it has now.
                failure = build < kBuildsOfAChangingFile ? LookAtListedFile(file) : kIbCannotRead;
            } else if (failure != 0) {
                again = true;
            }
            if (failure != 0) {
                results[file.listed] = failure;
                continue;
            }
            kept.push_back(std::move(file));
        }
        files = std::move(kept);
        if (!again) {
            for (const CollectedFile& file : files) {
                results[file.listed] = 1;
            }
            return outcome;
        }
        if (files.empty()) {
            return outcome;  // files is 0: no archive written
        }
    }
}

}  // namespace

Outcome WriteArchive(ZipSettings& settings) {
    Outcome outcome;
    const bool listed = !settings.sourceList.empty();
    settings.sourceResults.assign(settings.sourceList.size(), 0);
    std::vector<ListedSource> sourceList = std::move(settings.sourceList);  // serves this call alone
    settings.sourceList.clear();

    DriveMap drives = DriveMap::FromEnvironment();
    std::string archive;
    if (settings.zipArchive.empty() || !drives.ToNative(settings.zipArchive, archive)) {
        outcome.failure = kIbPathNotFound;
        return outcome;
    }

    struct stat existing;
    bool exists = ::stat(archive.c_str(), &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode)) {
        outcome.failure = kIbCannotOpen;
        return outcome;
    }
    if (!exists) {
        int err = errno;
        struct stat folder;
        if (err != ENOENT) {
            outcome.failure = CodeFromErrno(err, Step::kWriteArchive);
            return outcome;
        }
        if (::stat(ParentFolder(archive).c_str(), &folder) != 0 || !S_ISDIR(folder.st_mode)) {
            outcome.failure = kIbPathNotFound;
            return outcome;
        }
    }

    if (listed) {
        ZipSettings list = settings;
        list.sourceList = std::move(sourceList);
        Collection collection = CollectListed(drives, list, settings.sourceResults);
        return PackListed(archive, exists, std::move(collection), settings.overwrite, settings.sourceResults);
    }

    Collection collection =
        CollectFiles(drives, settings, exists ? existing.st_dev : 0, exists ? existing.st_ino : 0);
    if (collection.failure != 0 || collection.files.empty()) {
        ::unlink((archive + ".part").c_str());  // a leftover of an interrupted call
        outcome.warnings = collection.warnings;
        outcome.failure = collection.failure;
        return outcome;
    }
    outcome = PackOnce(archive, exists, collection.files, settings.overwrite, nullptr);
    outcome.warnings |= collection.warnings;
    return outcome;
}

}  // namespace quillon::ibzip
