#include "files/CopyFile.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "files/FileStatus.h"
#include "files/PathDirectories.h"
#include "platform/FileAttributes.h"
#include "platform/FileSystem.h"
#include "platform/LastError.h"
#include "platform/NativeFile.h"
#include "platform/Trace.h"

namespace quillon {
namespace {

constexpr int64_t kMyCopyFileBufferSize = 500000;
// Copies of a file that changes while it is read, before it is reported.
constexpr int kCopyAttempts = 3;

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

void ApplyStatus(const std::string& destination, const FileStatus& status, bool markReadOnly) {
    // The creation time cannot be set on Linux; the copy keeps the one its file system gave it.
    SetFileTimes(destination, status.ModificationTime.Seconds(), status.AccessTime.Seconds());
    uint32_t attribute = (status.Attribute & ~(kAttributeHidden | kAttributeSystem)) | kAttributeArchive;
    if (markReadOnly) {
        attribute |= kAttributeReadOnly;
    }
    WriteFileAttributes(destination, attribute);
}

// One copy of source; changed tells whether the source was written to while it was read (its stamp
// differs between the open and the end), counted how many bytes were added to counter.
bool CopyOnce(const std::string& source, const std::string& destination, bool markReadOnly, char* buffer,
              int64_t bufferSize, std::atomic<int64_t>* counter, int64_t& counted, bool& changed) {
    counted = 0;
    changed = false;
    NativeFile in;
    if (!in.OpenRead(source)) {
        Trace("*** Datei %s konnte nicht gelesen werden\n", source.c_str());
        int32_t error = GetLastError();
        SetLastError(error == 0 || error == kErrorPathNotFound ? kErrorFileNotFound : error);
        return false;
    }
    const FileStamp before = in.Stamp();
    FileStatus status;
    bool statusRead = GetExactFileStatus(source, status);

    NativeFile out;
    // Windows refuses to open a file for writing while it is open for reading here; Linux would let
    // the truncation destroy the source. Copying a file onto itself (through another name, a link or
    // a hard link) fails the same way it always did.
    bool sameFile = IsSameFile(source, destination);
    if (!sameFile) {
        ChangeFileAttributes(destination, 0, kAttributeReadOnly);
    }
    if (sameFile || !out.CreateWrite(destination)) {
        Trace(
            "*** Datei %s konnte nicht zum Schreiben ge\xF6"
            "ffnet werden\n",
            destination.c_str());
        int32_t error = sameFile ? kErrorSharingViolation : GetLastError();
        in.Close();
        SetLastError(error);
        return false;
    }

    int64_t length = in.Size();
    if (length < 0) {
        return FailAndClose(in, out);
    }
    bool shortRead = false;
    bool holePending = false;  // chunks of zeros skipped since the last write
    bool kernelCopy = true;
    int64_t position = 0;
    for (int64_t remaining = length; remaining > 0;) {
        int64_t chunk = std::min(remaining, bufferSize);
        // A chunk that lies wholly in a hole of a sparse source is not even read. The file must still
        // reach past it: one that shrank is read, and the short read shows.
        int64_t data = in.NextData(position);
        if (data < 0) {
            return FailAndClose(in, out);
        }
        bool zeros = data >= position + chunk;
        if (zeros) {
            if (!in.Seek(position + chunk)) {
                return FailAndClose(in, out);
            }
        } else {
            // The kernel copies the data itself where it can, which spares passing every byte through
            // the buffer; elsewhere (another file system kind, an old kernel) the buffer serves.
            int64_t got = NativeFile::kCopyNotSupported;
            if (kernelCopy) {
                if (holePending && !out.Seek(position)) {
                    return FailAndClose(in, out);
                }
                got = out.CopyFrom(in, chunk);
                kernelCopy = got != NativeFile::kCopyNotSupported;
            }
            if (!kernelCopy) {
                got = in.Read(buffer, chunk);
            }
            if (got < 0) {
                return FailAndClose(in, out);
            }
            if (got < chunk) {
                Trace("*** Read Error bei File %s\n", source.c_str());
                shortRead = true;
                // The kernel copy has written the piece it found; the copy keeps whole chunks only.
                if (kernelCopy && got > 0 && !out.SetLength(position)) {
                    return FailAndClose(in, out);
                }
                break;
            }
            if (!kernelCopy) {
                zeros = AllZero(buffer, chunk);
                if (!zeros && ((holePending && !out.Seek(position)) || !out.WriteAll(buffer, chunk))) {
                    return FailAndClose(in, out);
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
        return FailAndClose(in, out);
    }
    changed = in.Stamp() != before;
    in.Close();
    if (!out.Close()) {
        // A network or quota file system may report a lost write only here.
        return false;
    }
    if (statusRead) {
        ApplyStatus(destination, status, markReadOnly);
    }
    if (shortRead) {
        // The file lost its tail while being read. That concerns this file alone: a read fault lets
        // the caller log it, skip it and copy it again next time.
        SetLastError(kErrorReadFault);
        return false;
    }
    return true;
}

}  // namespace

bool CopyFileWithBuffer(const std::string& source, const std::string& destination, bool markReadOnly,
                        char* buffer, int64_t bufferSize, std::atomic<int64_t>* counter) {
    if (buffer == nullptr || bufferSize <= 0) {
        // Without room for a single byte the copy could never advance.
        SetLastError(kErrorInvalidParameter);
        return false;
    }
    // A file written to while it is read may be copied half old and half new. It is copied again; one
    // that keeps changing is reported like a file that shrank, and its last copy stays in the set.
    for (int attempt = 1;; ++attempt) {
        int64_t counted = 0;
        bool changed = false;
        if (!CopyOnce(source, destination, markReadOnly, buffer, bufferSize, counter, counted, changed)) {
            return false;
        }
        if (!changed) {
            return true;
        }
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

bool CopyFileCreatingPath(const std::string& source, const std::string& destination, bool markReadOnly,
                          char* buffer, int64_t bufferSize, int32_t start, std::atomic<int64_t>* counter) {
    CreatePathDirectories(destination, start);
    return CopyFileWithBuffer(source, destination, markReadOnly, buffer, bufferSize, counter);
}

bool MyCopyFile(const std::string& source, const std::string& destination, bool markReadOnly) {
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[kMyCopyFileBufferSize]);
    if (!buffer) {
        Trace("*** MyCopyFile: Create Buffer erfolglos\n");
        SetLastError(kErrorNotEnoughMemory);
        return false;
    }
    return CopyFileWithBuffer(source, destination, markReadOnly, buffer.get(), kMyCopyFileBufferSize);
}

}  // namespace quillon
