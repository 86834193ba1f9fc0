// Copying one file through a caller's buffer, carrying its times and attributes over.
//
// A copy gets the source's modification and access times (clamped as GetFileStatus clamps them) and
// its attributes with HIDDEN and SYSTEM cleared and ARCHIVE set, plus READONLY when asked for or when
// the source is read-only. Linux cannot set a creation time, so a copy keeps the one its file system
// gave it. Chunks that hold only zeros are left as holes in the copy, so that sparse files stay sparse
// and are copied quickly; the copy reads exactly like the source.
//
// Durability: a copy is complete in the page cache when these functions return true, not yet on the
// disk. A backup pass makes its copies durable together, before it records them as stored: it opens a
// FileSystemSync (platform/FileSystem.h) on the destination before the first copy and calls its Sync
// after the last one. Measured against an fdatasync per file, that single flush costs the same for
// large files and less for many small ones, and it also covers the new directory entries, which a
// per-file flush does not.
//
// Stateless: each call works in the buffer its caller passes. The engine's worker thread copies with
// the run's buffer; MyCopyFile allocates its own, so any thread may call it.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace quillon {

// Copies source to destination, replacing a destination that exists (even a READONLY one), through
// buffer (bufferSize bytes, at least 1). Every chunk copied is added to counter (may be null).
// On failure answers false with the last error set, and traces why:
//   - the source cannot be opened: the last error is 2 for a missing file or directory;
//   - the destination cannot be created (or is the source itself: 32, sharing violation);
//   - the source shrank while it was read: the destination keeps the whole chunks written before, and
//     the last error is 30 (read fault), which lets the caller skip this file and go on;
//   - the source was written to while it was read (its length or modification time changed): it is
//     copied again, up to three times in all; after that the last copy stays and the error is 30;
//   - a read or write failed (a full disk: 112): the destination keeps what was written.
// A copy that answers true is whole: every byte of the source's length, 2 GiB and more included.
bool CopyFileWithBuffer(const std::string& source, const std::string& destination, bool markReadOnly,
                        char* buffer, int64_t bufferSize, std::atomic<int64_t>* counter = nullptr);

// CreatePathDirectories(destination, start), then CopyFileWithBuffer. A directory that cannot be
// created makes the copy fail when it opens the destination.
bool CopyFileCreatingPath(const std::string& source, const std::string& destination, bool markReadOnly,
                          char* buffer, int64_t bufferSize, int32_t start, std::atomic<int64_t>* counter);

// CopyFileWithBuffer through a buffer of 500000 bytes of its own. False, with a trace line, when the
// buffer cannot be had.
bool MyCopyFile(const std::string& source, const std::string& destination, bool markReadOnly);

}  // namespace quillon
