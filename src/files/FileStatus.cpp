#include "files/FileStatus.h"

#include <algorithm>
#include <vector>

#include "platform/DirectoryListing.h"
#include "platform/FileAttributes.h"
#include "platform/FileSystem.h"
#include "platform/LastError.h"
#include "platform/NativeFile.h"
#include "platform/Trace.h"

namespace quillon {
namespace {

// Times pass through the 64-bit count of 100 ns since 1601-01-01 UTC that the clamps were defined
// on, so that their bounds are exactly the instants the stored files have always carried.
constexpr int64_t kTicksPerSecond = 10'000'000;
constexpr int64_t kSecondsFrom1601To1970 = 11'644'473'600;
constexpr int64_t kLowestUpperHalf = 27'846'544;   // about 1979-12-31 22:06:18 UTC
constexpr int64_t kHighestUpperHalf = 32'000'000;  // about 2036-07-11 20:42:27 UTC
// Far enough out for any file system, near enough that the tick count cannot overflow.
constexpr int64_t kSecondsLimit = int64_t{100'000'000'000};

int64_t ToTicks(int64_t unixSeconds) {
    unixSeconds = std::clamp(unixSeconds, -kSecondsLimit, kSecondsLimit);
    return (unixSeconds + kSecondsFrom1601To1970) * kTicksPerSecond;
}

// The upper 32 bits of the tick count; negative counts give negative values, below every bound.
int64_t UpperHalf(int64_t ticks) {
    return ticks >> 32;
}

bool InRange(int64_t ticks) {
    int64_t upper = UpperHalf(ticks);
    return upper >= kLowestUpperHalf && upper <= kHighestUpperHalf;
}

TimeValue FromTicks(int64_t ticks) {
    return TimeValue::FromSeconds(ticks / kTicksPerSecond - kSecondsFrom1601To1970);
}

TimeValue ClampedModificationTime(int64_t unixSeconds) {
    int64_t ticks = ToTicks(unixSeconds);
    if (UpperHalf(ticks) < kLowestUpperHalf) {
        ticks = kLowestUpperHalf << 32;
    } else if (UpperHalf(ticks) > kHighestUpperHalf) {
        ticks = kHighestUpperHalf << 32;
    }
    return FromTicks(ticks);
}

TimeValue OtherTime(int64_t unixSeconds, TimeValue modification) {
    int64_t ticks = ToTicks(unixSeconds);
    return InRange(ticks) ? FromTicks(ticks) : modification;
}

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

bool HasDrive(const std::string& path) {
    return path.size() >= 2 && path[1] == ':' &&
           ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}

// The absolute, normalised form of path: "." and ".." resolved, '/' turned into '\'. A path without a
// drive is taken relative to the working directory (or to its drive's root when it begins with a
// separator); a UNC path ("\\server\share\...") is kept as it is.
bool MakeAbsolute(const std::string& path, std::string& full) {
    if (path.empty()) {
        return false;
    }
    if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        full = path;
        return true;
    }
    std::string absolute;
    if (HasDrive(path)) {
        absolute = path;
    } else {
        std::string cwd;
        if (!CurrentDirectory(cwd)) {
            return false;
        }
        absolute = IsSeparator(path[0]) ? cwd.substr(0, 2) + path : cwd + "\\" + path;
    }
    std::vector<std::string> parts;
    std::string part;
    for (size_t i = 2; i <= absolute.size(); ++i) {
        if (i == absolute.size() || IsSeparator(absolute[i])) {
            if (part == "..") {
                if (!parts.empty()) {
                    parts.pop_back();
                }
            } else if (!part.empty() && part != ".") {
                parts.push_back(part);
            }
            part.clear();
        } else {
            part.push_back(absolute[i]);
        }
    }
    full = absolute.substr(0, 2);
    for (const auto& p : parts) {
        full += "\\" + p;
    }
    if (parts.empty() || IsSeparator(absolute.back())) {
        full += "\\";
    }
    return true;
}

bool ReadStatus(const std::string& path, bool exact, FileStatus& status) {
    if (!MakeAbsolute(path, status.FullName)) {
        status.FullName.clear();
        return false;
    }
    // The absolute name is the one looked up: "." and ".." are resolved in the name, as on Windows,
    // not by the file system (where ".." after a link would lead elsewhere).
    DirectorySearch search;
    FileInfo entry;
    if (!(exact ? LookUpFile(status.FullName, entry) : search.First(status.FullName, entry))) {
        return false;
    }
    status.Attribute = static_cast<uint8_t>(entry.Attributes & 0x7F);
    // Lengths are 64-bit here: a file of 2 GiB and more is copied whole, never cut at 32 bits.
    status.Size = entry.Size;
    status.ModificationTime = ClampedModificationTime(entry.ModificationTime);
    status.CreationTime = OtherTime(entry.CreationTime, status.ModificationTime);
    status.AccessTime = OtherTime(entry.AccessTime, status.ModificationTime);
    return true;
}

}  // namespace

bool GetFileStatus(const std::string& path, FileStatus& status) {
    return ReadStatus(path, false, status);
}

bool GetExactFileStatus(const std::string& path, FileStatus& status) {
    return ReadStatus(path, true, status);
}

void ClampFileTimes(int64_t modification, int64_t access, TimeValue& modificationTime,
                    TimeValue& accessTime) {
    modificationTime = ClampedModificationTime(modification);
    accessTime = OtherTime(access, modificationTime);
}

bool ChangeFileAttributes(const std::string& path, uint8_t set, uint8_t clear) {
    uint32_t attributes = 0;
    if (!ReadFileAttributes(path, attributes)) {
        return false;
    }
    WriteFileAttributes(path, (attributes | set) & ~uint32_t{clear});
    return true;
}

bool GetFileAttribute(const std::string& path, uint8_t mask) {
    uint32_t attributes = 0;
    if (!ReadFileAttributes(path, attributes)) {
        Trace("*** GetFileAttribute(%s): Access Error\n", path.c_str());
        return false;
    }
    return (attributes & mask) != 0;
}

int64_t GetFileLength(const std::string& path) {
    DirectorySearch search;
    FileInfo entry;
    return search.First(path, entry) ? entry.Size : 0;
}

int64_t GetDirectorySize(const std::string& dir) {
    int64_t total = 0;
    for (const FileInfo& entry : ListDirectory(dir + "\\*.*")) {
        if (entry.MayEnter()) {
            total += GetDirectorySize(dir + "\\" + entry.Name);
        } else if (entry.Kind == EntryKind::kFile) {
            total += entry.Size;
        }
    }
    return total;
}

bool FileExists(const std::string& path) {
    if (path.empty()) {
        return true;
    }
    DirectorySearch search;
    FileInfo entry;
    return search.First(path, entry);
}

bool IsFileWritable(const std::string& path) {
    if (!FileExists(path)) {
        return true;
    }
    NativeFile file;
    if (!file.OpenWrite(path)) {
        return false;
    }
    file.Close();
    return true;
}

}  // namespace quillon
