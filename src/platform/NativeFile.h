// A file opened through the drive map, for whole-file reading and writing.
//
// Opening accepts regular files only and never blocks: a FIFO, socket or device is refused with error 5
// (access denied) instead of hanging the program. A READONLY file (no write permission bit) cannot be
// opened for writing, whoever asks, as on Windows. Every failure sets the last-error value; every open,
// read, write and sync passes the fault seam (platform/FaultInjection.h).
// One object is used by one thread at a time.
#pragma once

#include <cstdint>
#include <string>

#include "platform/FolderHandle.h"

namespace quillon {

class FolderHandle;

// What changes whenever a file's content is written: its length and its modification time to the
// nanosecond. Two equal stamps taken before and after reading a file say that nobody wrote it meanwhile.
struct FileStamp {
    int64_t Size = -1;
    int64_t ModifiedNanoseconds = 0;
    bool operator==(const FileStamp&) const = default;
};

// What a copy needs to know of an open file, read in one step.
struct OpenFileStatus {
    FileStamp Stamp;
    FileOwnership Ownership;
    int64_t ModificationTime = 0;  // seconds since 1970 UTC
    int64_t AccessTime = 0;
    uint64_t Device = 0;  // with Inode: which file it is, whatever its names
    uint64_t Inode = 0;
    int64_t AllocatedBytes = 0;  // the space the file takes on the disk; below its size only with holes
};

class NativeFile {
  public:
    NativeFile() = default;
    ~NativeFile();
    NativeFile(const NativeFile&) = delete;
    NativeFile& operator=(const NativeFile&) = delete;

    // Opens an existing regular file for reading. False when it cannot be opened.
    bool OpenRead(const std::string& windowsPath);

    // Opens an existing regular file for reading like OpenRead, but refuses a symbolic link in the
    // path's last component with 1921 instead of reading what it points to.
    bool OpenReadNoLink(const std::string& windowsPath);

    // Creates the file, or truncates an existing one, for writing. A new file is readable and writable
    // by its owner alone. A symbolic link of that name is refused (1921), never written through. False
    // when it cannot.
    bool CreateWrite(const std::string& windowsPath);

    // Creates name in folder as a new file for writing, readable and writable by its owner alone. An
    // existing entry of that name (a file, a link) is never opened: the creation fails with 80.
    bool CreateNewIn(const FolderHandle& folder, const std::string& name);

    // Opens an existing regular file for writing, keeping its content; writing starts at its
    // beginning. False when it does not exist or cannot be opened.
    bool OpenWrite(const std::string& windowsPath);

    // Opens a regular file for appending, creating it (owner alone) when it is missing; every write
    // lands at its end. False when it cannot be opened or created.
    bool OpenAppend(const std::string& windowsPath);

    bool IsOpen() const { return fd_ >= 0; }

    // Length of the open file in bytes, or -1.
    int64_t Size() const;

    // The open file's stamp; Size -1 when it cannot be read.
    FileStamp Stamp() const;

    // The open file's permission bits, owner and group. False when they cannot be read.
    bool Ownership(FileOwnership& ownership) const;

    // The open file's stamp, ownership, times and identity. False (last error set) when they cannot be read.
    bool Status(OpenFileStatus& status) const;

    // Gives a file written by CreateNewIn what a copy takes over from its source: the permission bits
    // and owner as ApplyOwnership (platform/FolderHandle.h) gives them, without write bits when readOnly,
    // and the modification and access times (seconds since 1970 UTC). Failures are ignored: the file
    // then stays readable by its owner alone, or keeps the time of its writing.
    void FinishCopy(const FileOwnership& source, bool readOnly, int64_t modificationTime, int64_t accessTime);

    // Reads up to count bytes, stopping early only at the end of the file. Answers the number of bytes
    // read, or -1 on a read error.
    int64_t Read(void* buffer, int64_t count);

    // Writes all count bytes. False on any failure (a full disk among them).
    bool WriteAll(const void* buffer, int64_t count);

    // Copies up to count bytes from source's position to this file's position inside the kernel, without
    // passing them through the program, and advances both positions. Answers the bytes copied (fewer
    // only at the end of the source), -1 on a failure (last error set), or kCopyNotSupported when
    // the two files cannot be copied this way (then nothing was copied: read and write instead).
    int64_t CopyFrom(NativeFile& source, int64_t count);
    static constexpr int64_t kCopyNotSupported = -2;

    // The offset of the first byte at or after offset that holds data rather than a hole; the file's
    // length when only a hole follows (also when offset lies beyond the end). Where the file system
    // keeps no record of holes every byte counts as data. -1 on failure.
    int64_t NextData(int64_t offset) const;

    // Whether the file holds a hole anywhere before length; false where the file system keeps no record
    // of holes, true when that cannot be found out. Leaves the position at the start of the file. A
    // file whose AllocatedBytes reach its length holds none: there is no need to ask.
    bool HasHoles(int64_t length);

    // Moves the position for the next read or write to offset bytes from the start. Writing beyond the
    // end leaves a hole that reads as zeros. False on failure.
    bool Seek(int64_t offset);

    // Cuts or extends the file to length bytes (an extension reads as zeros). False on failure.
    bool SetLength(int64_t length);

    // Forces the file's data to the disk. False on failure.
    bool Sync();

    // Closes the file; false when closing reported an error (a delayed write failure).
    bool Close();

  private:
    int fd_ = -1;
    std::string nativePath_;
};

}  // namespace quillon
