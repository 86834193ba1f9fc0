// Copying one file through a caller's buffer, carrying its times, permissions and attributes over.
//
// A copy gets the source's modification and access times (clamped as GetFileStatus clamps them), its
// permission bits (never more than the source allows anybody: see ApplyOwnership in
// platform/FolderHandle.h), run as root its owner and group, and its attributes with HIDDEN and SYSTEM
// cleared and ARCHIVE set, plus READONLY (no write bit) when asked for or when the source is read-only.
// Linux cannot set a creation time, so a copy keeps the one its file system gave it. Chunks that hold
// only zeros are left as holes in the copy, so that sparse files stay sparse and are copied quickly; the
// copy reads exactly like the source. A symbolic link is never followed: it is copied as a link with the
// same target text and the link's own time.
//
// Never a fragment under the real name: a copy is written under a temporary name in its folder (see
// IsTemporaryCopyName) and takes its name in one rename once it is whole, so a failed or interrupted
// copy leaves the earlier copy of that name as it was. Nothing in the destination is followed: the
// folders below the trusted start are opened without following links (a link there fails with 1921)
// and the temporary is created new, never through an entry of its name.
//
// Durability: a copy is complete in the page cache when these functions return true, not yet on the
// disk. A backup pass makes its copies durable together, before it records them as stored: it opens a
// FileSystemSync (platform/FileSystem.h) on the destination before the first copy of a CopyBatch, calls
// its Sync after the last one, then renames the whole batch (Commit) and syncs once more for the names.
// Measured against an fdatasync per file, that flush costs the same for large files and less for many
// small ones, and it also covers the new directory entries, which a per-file flush does not.
//
// Stateless functions: each call works in the buffer its caller passes. The engine's worker thread
// copies with the run's buffer; MyCopyFile allocates its own, so any thread may call it. A CopyBatch
// belongs to one thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quillon {

// Copies source to destination, replacing a destination that exists (even a READONLY one), through
// buffer (bufferSize bytes, at least 1). Every chunk copied is added to counter (may be null).
// The destination's own folder must be a real folder (a link there fails with 1921); the folders above
// it are taken as they are.
// On failure answers false with the last error set, and traces why; the destination is then as it was
// before the call and no temporary is left:
//   - the source cannot be opened: the last error is 2 for a missing file or directory;
//   - the destination cannot be created (or is the source itself: 32, sharing violation);
//   - the source shrank while it was read: the last error is 30 (read fault), which lets the caller
//     skip this file and go on;
//   - the source was written to while it was read (its length or modification time changed): it is
//     copied again, up to three times in all; after that the error is 30;
//   - a read or write failed (a full disk: 112).
// A copy that answers true is whole: every byte of the source's length, 2 GiB and more included.
bool CopyFileWithBuffer(const std::string& source, const std::string& destination, bool markReadOnly,
                        char* buffer, int64_t bufferSize, std::atomic<int64_t>* counter = nullptr);

// CopyFileWithBuffer into a folder whose first start characters name a folder that exists and is
// trusted; the folders after it are created when missing (with the permissions of the source's folder
// of the same name, plus the owner's rwx) and never followed when they are links. A trusted root that
// is missing is not created: the copy fails.
bool CopyFileCreatingPath(const std::string& source, const std::string& destination, bool markReadOnly,
                          char* buffer, int64_t bufferSize, int32_t start, std::atomic<int64_t>* counter);

// CopyFileWithBuffer through a buffer of 500000 bytes of its own, the copy forced to the disk before it
// takes its name. False, with a trace line, when the buffer cannot be had.
bool MyCopyFile(const std::string& source, const std::string& destination, bool markReadOnly);

// True for the names copies are written under until they are whole. They hold a line break, which no
// name of a backed-up file can hold, so that no temporary can ever take the place of a stored file.
bool IsTemporaryCopyName(const std::string& name);

// Copies made durable and named together: each Copy writes a whole copy under a temporary name in its
// folder (as CopyFileCreatingPath would create it); Commit gives every one its name; Discard removes
// them. What is neither committed nor discarded is discarded when the batch ends.
class CopyBatch {
  public:
    struct Failure {
        size_t Index;   // counts the successful Copy calls from 0, in their order
        int32_t Error;  // the Windows error of the failed rename
    };

    CopyBatch();
    ~CopyBatch();
    CopyBatch(const CopyBatch&) = delete;
    CopyBatch& operator=(const CopyBatch&) = delete;

    // As CopyFileCreatingPath, except that the copy is not yet under its name.
    bool Copy(const std::string& source, const std::string& destination, bool markReadOnly, char* buffer,
              int64_t bufferSize, int32_t start, std::atomic<int64_t>* counter);
    // Renames every pending copy over its name, in the order they were made. Answers the copies that
    // could not take their name (their temporaries are removed); empty when all did.
    std::vector<Failure> Commit();
    // Removes every pending copy; the names keep what they held before.
    void Discard();
    size_t Pending() const;

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace quillon
