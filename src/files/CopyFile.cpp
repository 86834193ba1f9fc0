#include "files/CopyFile.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "files/FileStatus.h"
#include "files/PathDirectories.h"
#include "platform/FileSystem.h"
#include "platform/FolderHandle.h"
#include "platform/LastError.h"
#include "platform/NativeFile.h"
#include "platform/Trace.h"

namespace quillon {
namespace {

constexpr int64_t kMyCopyFileBufferSize = 500000;
// Copies of a file that changes while it is read, before it is reported.
constexpr int kCopyAttempts = 3;
// The temporary names: ".quillon-" + process + "-" + number + ".part" + a line break.
constexpr const char* kTemporaryPrefix = ".quillon-";
constexpr const char* kTemporarySuffix = ".part\n";
// Tries at a temporary name that is taken (a leftover of a process of the same number).
constexpr int kNameAttempts = 100;

std::atomic<uint64_t> temporaryCounter{0};

bool AllZero(const char* data, int64_t count) {
    return count > 0 && data[0] == 0 && std::memcmp(data, data + 1, static_cast<size_t>(count - 1)) == 0;
}

// Closes both files after a failed read or write, keeping the error of the step that failed.
bool FailAndClose(NativeFile& in, NativeFile& out) {
    int32_t error = GetLastError();
    in.Close();
    out.Close();
    SetLastError(error != 0 ? error : kErrorNoSystemCode);
    return false;
}

// Removes a temporary that will not become a copy, keeping the error of the step that failed.
void RemoveTemporary(FolderHandle& folder, const std::string& name) {
    int32_t error = GetLastError();
    folder.Remove(name);
    SetLastError(error);
}

// The folder part of a Windows-form path ("C:\Data\a.txt" -> "C:\Data"; "C:\a.txt" -> "C:\").
std::string FolderOf(const std::string& path) {
    size_t last = path.find_last_of('\\');
    if (last == std::string::npos) {
        return std::string();
    }
    return last <= 2 ? path.substr(0, last + 1) : path.substr(0, last);
}

std::string NameOf(const std::string& path) {
    size_t last = path.find_last_of('\\');
    return last == std::string::npos ? path : path.substr(last + 1);
}

std::vector<std::string> Split(const std::string& path, size_t from) {
    std::vector<std::string> parts;
    std::string part;
    for (size_t i = from; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '\\') {
            if (!part.empty()) {
                parts.push_back(part);
            }
            part.clear();
        } else {
            part.push_back(path[i]);
        }
    }
    return parts;
}

// The source folders whose permissions the folders of destinationFolder after trusted take when they
// are created: matched from the end, as long as the names agree (the set's folder "2003-11-24" has no
// counterpart in the source).
std::vector<std::string> FolderModels(const std::string& sourceFolder, const std::string& destinationFolder,
                                      size_t trusted) {
    const std::vector<std::string> made = Split(destinationFolder, trusted);
    std::vector<std::string> models(made.size());
    std::string source = sourceFolder;
    for (size_t i = made.size(); i-- > 0;) {
        if (source.size() <= 3 || NameOf(source) != made[i]) {
            break;
        }
        models[i] = source;
        source = FolderOf(source);
    }
    return models;
}

std::string NewTemporaryName() {
    return kTemporaryPrefix + std::to_string(CurrentProcessId()) + "-" +
           std::to_string(temporaryCounter.fetch_add(1) + 1) + kTemporarySuffix;
}

// A symbolic link of the source becomes a link of the same text under a temporary name.
bool CopyLink(const std::string& source, FolderHandle& folder, std::string& temporary) {
    std::string target;
    FileOwnership owner;
    int64_t modified = 0;
    int64_t accessed = 0;
    if (!ReadSymbolicLink(source, target, owner, modified, accessed)) {
        Trace("*** Datei %s konnte nicht gelesen werden\n", source.c_str());
        return false;
    }
    for (int attempt = 0;; ++attempt) {
        temporary = NewTemporaryName();
        if (folder.CreateLink(temporary, target)) {
            break;
        }
        if (GetLastError() != kErrorAlreadyExists && GetLastError() != kErrorFileExists) {
            return false;
        }
        if (attempt == kNameAttempts) {
            return false;
        }
    }
    folder.SetLinkTimesAndOwner(temporary, owner, modified, accessed);
    return true;
}

// Creates the temporary a copy is written to.
bool CreateTemporary(FolderHandle& folder, NativeFile& out, std::string& temporary) {
    for (int attempt = 0;; ++attempt) {
        temporary = NewTemporaryName();
        if (out.CreateNewIn(folder, temporary)) {
            return true;
        }
        if ((GetLastError() != kErrorAlreadyExists && GetLastError() != kErrorFileExists) ||
            attempt == kNameAttempts) {
            return false;
        }
    }
}

// One copy of source into a new temporary of folder (its name in temporary); changed tells whether the
// source was written to while it was read (its stamp differs between the open and the end), counted
// how many bytes were added to counter. On failure no temporary is left.
bool CopyOnce(const std::string& source, const std::string& destination, FolderHandle& folder,
              std::string& temporary, bool markReadOnly, bool durable, char* buffer, int64_t bufferSize,
              std::atomic<int64_t>* counter, int64_t& counted, bool& changed) {
    counted = 0;
    changed = false;
    temporary.clear();
    NativeFile in;
    if (!in.OpenReadNoLink(source)) {
        if (GetLastError() == kErrorCantResolveFilename) {
            return CopyLink(source, folder, temporary);
        }
        Trace("*** Datei %s konnte nicht gelesen werden\n", source.c_str());
        int32_t error = GetLastError();
        SetLastError(error == 0 || error == kErrorPathNotFound ? kErrorFileNotFound : error);
        return false;
    }
    // One look at the open file gives what the copy takes over, and the stamp that shows a change.
    OpenFileStatus status;
    if (!in.Status(status)) {
        Trace("*** Datei %s konnte nicht gelesen werden\n", source.c_str());
        in.Close();
        SetLastError(kErrorReadFault);
        return false;
    }
    const FileStamp before = status.Stamp;

    NativeFile out;
    // Windows refuses to open a file for writing while it is open for reading here. Copying a file onto
    // itself (through another name, a link or a hard link) fails the same way it always did.
    bool sameFile = folder.Holds(NameOf(destination), status.Device, status.Inode);
    if (sameFile || !CreateTemporary(folder, out, temporary)) {
        Trace(
            "*** Datei %s konnte nicht zum Schreiben ge\xF6"
            "ffnet werden\n",
            destination.c_str());
        int32_t error = sameFile ? kErrorSharingViolation : GetLastError();
        in.Close();
        SetLastError(error);
        return false;
    }
    auto fail = [&]() {
        FailAndClose(in, out);
        RemoveTemporary(folder, temporary);
        return false;
    };

    const int64_t length = before.Size;
    // Most files hold no hole: they are copied without asking where their data lies, chunk by chunk.
    // Only a file that takes less space than its length may hold one.
    const bool sparse = length > 0 && status.AllocatedBytes < length && in.HasHoles(length);
    bool holePending = false;  // chunks of zeros skipped since the last write
    bool kernelCopy = true;
    int64_t position = 0;
    for (int64_t remaining = length; remaining > 0;) {
        int64_t chunk = std::min(remaining, bufferSize);
        // A chunk that lies wholly in a hole of a sparse source is not even read. The file must still
        // reach past it: one that shrank is read, and the short read shows.
        int64_t data = sparse ? in.NextData(position) : position;
        if (data < 0) {
            return fail();
        }
        bool zeros = data >= position + chunk;
        if (zeros) {
            if (!in.Seek(position + chunk)) {
                return fail();
            }
        } else {
            // The kernel copies the data itself where it can, which spares passing every byte through
            // the buffer; elsewhere (another file system kind, an old kernel) the buffer serves.
            int64_t got = NativeFile::kCopyNotSupported;
            if (kernelCopy) {
                if (holePending && !out.Seek(position)) {
                    return fail();
                }
                got = out.CopyFrom(in, chunk);
                kernelCopy = got != NativeFile::kCopyNotSupported;
            }
            if (!kernelCopy) {
                got = in.Read(buffer, chunk);
            }
            if (got < 0) {
                return fail();
            }
            if (got < chunk) {
                // The file lost its tail while being read. That concerns this file alone: a read fault
                // lets the caller log it, skip it and copy it again next time.
                Trace("*** Read Error bei File %s\n", source.c_str());
                SetLastError(kErrorReadFault);
                return fail();
            }
            if (!kernelCopy) {
                zeros = AllZero(buffer, chunk);
                if (!zeros && ((holePending && !out.Seek(position)) || !out.WriteAll(buffer, chunk))) {
                    return fail();
                }
            }
        }
        holePending = zeros;
        position += chunk;
        remaining -= chunk;
        if (counter != nullptr) {
            counter->fetch_add(chunk, std::memory_order_relaxed);
            counted += chunk;
        }
    }
    // Zero chunks at the end were skipped: the length still has to reach past them.
    if (holePending && !out.SetLength(position)) {
        return fail();
    }
    changed = in.Stamp() != before;
    in.Close();
    // The creation time cannot be set on Linux; the copy keeps the one its file system gave it.
    // HIDDEN and SYSTEM are cleared and ARCHIVE set: a new file without stored attributes reads so.
    // A file without any write bit is READONLY.
    TimeValue modified;
    TimeValue accessed;
    ClampFileTimes(status.ModificationTime, status.AccessTime, modified, accessed);
    const bool readOnly = (status.Ownership.Mode & 0222) == 0;
    out.FinishCopy(status.Ownership, markReadOnly || readOnly, modified.Seconds(), accessed.Seconds());
    if ((durable && !out.Sync()) || !out.Close()) {
        // A network or quota file system may report a lost write only here.
        RemoveTemporary(folder, temporary);
        return false;
    }
    return true;
}

// Copies source into a temporary of folder, again while the source changes under the copy.
bool CopyToTemporary(const std::string& source, const std::string& destination, FolderHandle& folder,
                     std::string& temporary, bool markReadOnly, bool durable, char* buffer,
                     int64_t bufferSize, std::atomic<int64_t>* counter) {
    if (buffer == nullptr || bufferSize <= 0) {
        // Without room for a single byte the copy could never advance.
        SetLastError(kErrorInvalidParameter);
        return false;
    }
    // A file written to while it is read may be copied half old and half new. It is copied again; one
    // that keeps changing is reported like a file that shrank.
    for (int attempt = 1;; ++attempt) {
        int64_t counted = 0;
        bool changed = false;
        if (!CopyOnce(source, destination, folder, temporary, markReadOnly, durable, buffer, bufferSize,
                      counter, counted, changed)) {
            return false;
        }
        if (!changed) {
            return true;
        }
        folder.Remove(temporary);
        if (attempt == kCopyAttempts) {
            Trace("*** Datei %s hat sich beim Kopieren ge\xE4ndert\n", source.c_str());
            SetLastError(kErrorReadFault);
            return false;
        }
        if (counter != nullptr) {
            counter->fetch_sub(counted, std::memory_order_relaxed);
        }
    }
}

// Opens the folder a copy goes to (with open, which takes the folder's path, trusted length, whether
// to create it and the models of its folders); traced like a destination that cannot be created.
template <typename OpenFolder>
bool OpenDestinationFolder(const std::string& source, const std::string& destination, size_t trusted,
                           bool create, OpenFolder open) {
    const std::string folderPath = FolderOf(destination);
    std::vector<std::string> models;
    if (create) {
        models = FolderModels(FolderOf(source), folderPath, trusted);
    }
    if (folderPath.empty() || !open(folderPath, trusted, create, models)) {
        Trace(
            "*** Datei %s konnte nicht zum Schreiben ge\xF6"
            "ffnet werden\n",
            destination.c_str());
        if (folderPath.empty()) {
            SetLastError(kErrorPathNotFound);
        }
        return false;
    }
    return true;
}

// One copy that takes its name at once.
bool CopyAndName(const std::string& source, const std::string& destination, bool markReadOnly, bool durable,
                 char* buffer, int64_t bufferSize, size_t trusted, bool create,
                 std::atomic<int64_t>* counter) {
    FolderHandle folder;
    std::string temporary;
    auto open = [&](const std::string& path, size_t length, bool make,
                    const std::vector<std::string>& models) {
        return folder.Open(path, length, make, models) && folder.CanName(NameOf(destination));
    };
    if (!OpenDestinationFolder(source, destination, trusted, create, open) ||
        !CopyToTemporary(source, destination, folder, temporary, markReadOnly, durable, buffer, bufferSize,
                         counter)) {
        return false;
    }
    if (!folder.Rename(temporary, NameOf(destination))) {
        RemoveTemporary(folder, temporary);
        return false;
    }
    return true;
}

// The characters of a file's folder path that are trusted when it is neither created nor walked: all
// but its last component, which must be a real folder.
size_t TrustedParentLength(const std::string& destination) {
    const std::string folder = FolderOf(destination);
    size_t last = folder.find_last_of('\\');
    if (last == std::string::npos || last + 1 == folder.size()) {
        return folder.size();
    }
    return last;
}

}  // namespace

bool IsTemporaryCopyName(const std::string& name) {
    const size_t prefix = std::strlen(kTemporaryPrefix);
    const size_t suffix = std::strlen(kTemporarySuffix);
    return name.size() > prefix + suffix && name.compare(0, prefix, kTemporaryPrefix) == 0 &&
           name.compare(name.size() - suffix, suffix, kTemporarySuffix) == 0;
}

bool CopyFileWithBuffer(const std::string& source, const std::string& destination, bool markReadOnly,
                        char* buffer, int64_t bufferSize, std::atomic<int64_t>* counter) {
    return CopyAndName(source, destination, markReadOnly, false, buffer, bufferSize,
                       TrustedParentLength(destination), false, counter);
}

bool CopyFileCreatingPath(const std::string& source, const std::string& destination, bool markReadOnly,
                          char* buffer, int64_t bufferSize, int32_t start, std::atomic<int64_t>* counter) {
    return CopyAndName(source, destination, markReadOnly, false, buffer, bufferSize,
                       static_cast<size_t>(std::max(start, 0)), true, counter);
}

bool MyCopyFile(const std::string& source, const std::string& destination, bool markReadOnly) {
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[kMyCopyFileBufferSize]);
    if (!buffer) {
        Trace("*** MyCopyFile: Create Buffer erfolglos\n");
        SetLastError(kErrorNotEnoughMemory);
        return false;
    }
    return CopyAndName(source, destination, markReadOnly, true, buffer.get(), kMyCopyFileBufferSize,
                       TrustedParentLength(destination), false, nullptr);
}

// The batch keeps the folders of the latest copy open: the files of a folder come one after another,
// and the folders of a tree one below the other, so each folder is walked (and made) once for them.
struct CopyBatch::State {
    struct Pending {
        std::string Folder;  // Windows form
        size_t Trusted;
        std::string Temporary;
        std::string Name;
    };
    std::vector<Pending> pending;
    FolderChain folders;
    std::string folderPath;
    size_t folderTrusted = 0;

    // Runs action(folder, entry) for every pending copy, each folder opened once for the copies in it in
    // a row; a folder that cannot be opened gives its error to every copy in it.
    template <typename Action>
    void ForEach(Action action) {
        FolderChain chain;
        std::string currentPath;
        size_t currentTrusted = 0;
        bool opened = false;
        int32_t openError = 0;
        for (size_t i = 0; i < pending.size(); ++i) {
            const Pending& entry = pending[i];
            if (currentPath != entry.Folder || currentTrusted != entry.Trusted || i == 0) {
                currentPath = entry.Folder;
                currentTrusted = entry.Trusted;
                opened = chain.Open(entry.Folder, entry.Trusted);
                openError = opened ? 0 : GetLastError();
            }
            action(i, opened ? &chain.Folder() : nullptr, entry, openError);
        }
    }
};

CopyBatch::CopyBatch() : state_(std::make_unique<State>()) {}

CopyBatch::~CopyBatch() {
    Discard();
}

bool CopyBatch::Copy(const std::string& source, const std::string& destination, bool markReadOnly,
                     char* buffer, int64_t bufferSize, int32_t start, std::atomic<int64_t>* counter) {
    State& state = *state_;
    const std::string folderPath = FolderOf(destination);
    const size_t trusted = static_cast<size_t>(std::max(start, 0));
    if (state.folderPath.empty() || folderPath != state.folderPath || trusted != state.folderTrusted) {
        state.folderPath.clear();
        auto open = [&](const std::string& path, size_t length, bool make,
                        const std::vector<std::string>& models) {
            return state.folders.Open(path, length, make, models) &&
                   state.folders.Folder().CanName(NameOf(destination));
        };
        if (!OpenDestinationFolder(source, destination, trusted, true, open)) {
            return false;
        }
        state.folderPath = folderPath;
        state.folderTrusted = trusted;
    } else if (!state.folders.Folder().CanName(NameOf(destination))) {
        Trace(
            "*** Datei %s konnte nicht zum Schreiben ge\xF6"
            "ffnet werden\n",
            destination.c_str());
        return false;
    }
    std::string temporary;
    if (!CopyToTemporary(source, destination, state.folders.Folder(), temporary, markReadOnly, false, buffer,
                         bufferSize, counter)) {
        return false;
    }
    state.pending.push_back({folderPath, trusted, temporary, NameOf(destination)});
    return true;
}

std::vector<CopyBatch::Failure> CopyBatch::Commit() {
    State& state = *state_;
    state.folders.Close();
    state.folderPath.clear();
    std::vector<Failure> failures;
    state.ForEach([&](size_t index, FolderHandle* folder, const State::Pending& entry, int32_t openError) {
        if (folder == nullptr) {
            failures.push_back({index, openError != 0 ? openError : kErrorNoSystemCode});
            return;
        }
        if (!folder->Rename(entry.Temporary, entry.Name)) {
            int32_t error = GetLastError();
            folder->Remove(entry.Temporary);
            failures.push_back({index, error != 0 ? error : kErrorNoSystemCode});
        }
    });
    state.pending.clear();
    return failures;
}

void CopyBatch::Discard() {
    State& state = *state_;
    state.folders.Close();
    state.folderPath.clear();
    int32_t error = GetLastError();
    state.ForEach([](size_t, FolderHandle* folder, const State::Pending& entry, int32_t) {
        if (folder != nullptr) {
            folder->Remove(entry.Temporary);
        }
    });
    state.pending.clear();
    SetLastError(error);
}

size_t CopyBatch::Pending() const {
    return state_->pending.size();
}

}  // namespace quillon
