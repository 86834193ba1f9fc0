// File and directory operations over Windows-form paths, with Windows semantics where they differ
// from POSIX:
//   - a READONLY file (no write permission bit) cannot be deleted, whoever asks, root included;
//   - creating a directory that exists, or a name taken by a file, fails with 183 (already exists);
//   - deleting a symbolic link removes the link, never what it points to.
// Every failure sets the last-error value to a Windows error number. Creating, removing, deleting,
// renaming and syncing pass the fault seam (platform/FaultInjection.h). Stateless; any thread.
#pragma once

#include <cstdint>
#include <string>

namespace quillon {

// Creates one directory (not its parents). False on failure; 183 when the name exists already.
bool CreateDirectory(const std::string& windowsPath);

// Removes an empty directory. False on failure (145 when it is not empty). A symbolic link is not a
// directory here: it is refused with 3 (path not found); DeleteFile removes it.
bool RemoveDirectory(const std::string& windowsPath);

// Removes a file, a symbolic link (the link alone) or a special file. A regular file that is READONLY
// is refused with 5 (access denied), as on Windows; so is a directory.
bool DeleteFile(const std::string& windowsPath);

// Renames a file or directory; an existing file of the new name is replaced in one step, so there is
// never a moment without one of the two.
bool RenameFile(const std::string& fromWindowsPath, const std::string& toWindowsPath);

// Sets the modification and access times (seconds since 1970 UTC) of a file or directory, following
// links. Linux offers no call that sets a file's creation time, so there is no creation time to pass:
// a copy keeps the creation time the file system gave it.
bool SetFileTimes(const std::string& windowsPath, int64_t modificationTime, int64_t accessTime);

// True when the last component of the path (trailing separators ignored) is a symbolic link.
bool IsSymbolicLink(const std::string& windowsPath);

// True when both paths name the same existing file (the same inode, whatever the names or links).
bool IsSameFile(const std::string& windowsPathA, const std::string& windowsPathB);

// Writes every modified buffer of the file system that holds the path to the disk, data and names
// alike. False (last error set) on failure, also when a write-back of that file system failed since
// this call opened the path; errors from before are not seen (see FileSystemSync).
bool SyncFileSystem(const std::string& windowsPath);

// Makes a whole batch of writes durable with one flush at its end. Open before the first write of the
// batch: from then on every write-back error of the file system that holds the path, in whatever file,
// makes Sync fail, even when the file was written back and closed long before (the kernel keeps such
// errors per file system since Linux 5.8; older kernels report only those of files still open).
// One object per thread.
class FileSystemSync {
  public:
    FileSystemSync() = default;
    ~FileSystemSync();
    FileSystemSync(const FileSystemSync&) = delete;
    FileSystemSync& operator=(const FileSystemSync&) = delete;

    // Starts watching the file system of an existing path. False (last error set) when it cannot.
    bool Open(const std::string& windowsPath);
    // Writes everything modified on that file system to the disk. True when all of it, and every
    // write-back since Open, succeeded. False with the last error set otherwise, or when not open.
    bool Sync();
    void Close();
    bool IsOpen() const { return fd_ >= 0; }

  private:
    int fd_ = -1;
};

// The process's id, which makes the temporary names of two processes differ.
int64_t CurrentProcessId();

// The process's working directory in Windows form. False when it lies below no drive.
bool CurrentDirectory(std::string& windowsPath);

// The type of the file system that holds an existing native path ("ext4", "nfs4", "fuse.sshfs"), or
// "" when it cannot be found. Read from /proc/self/mountinfo.
std::string FileSystemTypeOf(const std::string& nativePath);

// The same lookup in a given mountinfo text, for tests: the last mount whose mount point is the longest
// prefix of the (already resolved) path decides.
std::string FileSystemTypeIn(const std::string& mountInfo, const std::string& resolvedPath);

// True for the types of network file systems (nfs, cifs, smb3, 9p, ceph, fuse.sshfs, ...).
bool IsNetworkFileSystemType(const std::string& type);

}  // namespace quillon
