// What the backup asks about single files and trees: status, attributes, lengths, existence,
// writability and the total size below a directory. All paths are Windows-form.
//
// Attributes are the Windows bits of platform/FileAttributes.h (READONLY 0x01, HIDDEN 0x02, SYSTEM
// 0x04, DIRECTORY 0x10, ARCHIVE 0x20). Lengths are 64-bit throughout.
//
// Stateless; any thread (the worker thread for the backup, the user-interface thread for the end of a
// run). Failures set the last-error value.
#pragma once

#include <cstdint>
#include <string>

#include "support/TimeValue.h"

namespace quillon {

// A file's times, length, attributes and absolute name, as read by GetFileStatus and given to a copy.
struct FileStatus {
    TimeValue CreationTime;
    TimeValue ModificationTime;
    TimeValue AccessTime;
    int64_t Size = 0;
    uint8_t Attribute = 0;  // the attribute bits masked with 0x7F
    std::string FullName;   // absolute Windows-form path
};

// Fills status for the file or directory at path (wildcards allowed: the first match). Times are
// clamped into the range the time value and the control file can carry: a modification time before
// 1979-12-31 22:06:18 UTC becomes exactly that instant, one after 2036-07-11 20:42:27 UTC that one; a
// creation or access time outside that range is replaced by the modification time. False when the path
// cannot be made absolute (FullName is then empty) or names nothing.
bool GetFileStatus(const std::string& path, FileStatus& status);

// GetFileStatus for the one entry path names exactly: '*' and '?' are the characters they are (Linux
// allows them in names), never wildcards that could find another file.
bool GetExactFileStatus(const std::string& path, FileStatus& status);

// The modification and access times a copy of a file carries, from the file's own (seconds since 1970
// UTC), clamped as GetFileStatus clamps them.
void ClampFileTimes(int64_t modification, int64_t access, TimeValue& modificationTime, TimeValue& accessTime);

// Writes (attributes | set) & ~clear when the attributes can be read, ignoring whether the write
// succeeds, and answers true; false when they cannot be read (a missing file).
bool ChangeFileAttributes(const std::string& path, uint8_t set, uint8_t clear);

// True when any bit of mask is set on the file. False, with a trace line, when the attributes cannot
// be read.
bool GetFileAttribute(const std::string& path, uint8_t mask);

// The file's length; 0 when it is not found.
int64_t GetFileLength(const std::string& path);

// The total length of the files below dir, in all subdirectories. Links to directories are not
// followed; a directory that cannot be listed counts 0.
int64_t GetDirectorySize(const std::string& dir);

// True when at least one entry matches path (wildcards allowed), or when path is empty.
bool FileExists(const std::string& path);

// True when the file does not exist or can be opened for writing (not READONLY, not a directory).
// Linux cannot deny other writers, so a file another program writes counts as writable.
bool IsFileWritable(const std::string& path);

}  // namespace quillon
