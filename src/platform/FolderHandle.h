// A folder of the destination held open, so that what is written in it cannot be redirected by a link.
//
// Anyone who can write into a backup folder could put a symbolic link where a file or folder of the
// backup belongs, and a program that writes by path would then write, truncate or change the mode of
// whatever the link points to. Everything done through a FolderHandle works relative to the open folder
// and never follows a link in its last component: files are created new (never opened when they exist),
// links are created as links, entries are renamed and removed as the entries they are.
//
// The folder itself is opened from a trusted part of its path (the configured destination, which may
// well lie behind a link) component by component: every component after the trusted part must be a real
// folder; a link in its place fails with 1921 and is never entered.
//
// One object is used by one thread at a time. Failures set the last-error value; creating, renaming and
// removing pass the fault seam (platform/FaultInjection.h).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quillon {

// What a copy takes over from its source besides the content: the permission bits, owner and group and
// the times (seconds since 1970 UTC).
struct FileOwnership {
    uint32_t Mode = 0;  // the permission bits (07777 of st_mode)
    uint32_t Owner = 0;
    uint32_t Group = 0;
};

// Gives a new file or folder of the backup the source's owner and permissions without ever widening who
// may read it: run as root it takes the source's owner and group; otherwise it keeps the caller as its
// owner and takes the source's group when the caller belongs to it. When the group could not be taken,
// the group gets no more than others have. Set-user-ID, set-group-ID and sticky bits are never kept.
// extraBits are added (a folder's owner keeps rwx so that later passes can work in it), writeBitsOff
// takes every write bit away (a READONLY copy). fd is an open descriptor of the new file or folder.
void ApplyOwnership(int fd, const FileOwnership& source, uint32_t extraBits, bool writeBitsOff);

class FolderHandle {
  public:
    FolderHandle() = default;
    ~FolderHandle();
    FolderHandle(const FolderHandle&) = delete;
    FolderHandle& operator=(const FolderHandle&) = delete;

    // Opens the folder windowsFolder (no trailing separator). Its first trustedLength characters name a
    // folder that is opened as it is; each component after them is opened without following a link.
    // With create set, a missing component is created; it gets the ownership (ApplyOwnership) of the
    // folder models[i] names (Windows form; the i-th component after the trusted part) plus the owner's
    // rwx, or when there is no such model what any new folder gets. False (last error set) when a
    // component is missing (and not created), is a link (1921) or a file (3), or when the folder's
    // path is longer than the system can name (206; nothing is created then).
    bool Open(const std::string& windowsFolder, size_t trustedLength, bool create = false,
              const std::vector<std::string>& models = {});
    // Opens the folder name inside the open folder parent as Open opens a component after the trusted
    // part: never through a link, created when missing and create is set (with the ownership of the
    // folder model names, when not empty). False (last error set) as Open.
    bool OpenChild(const FolderHandle& parent, const std::string& name, bool create,
                   const std::string& model = {});
    void Close();
    bool IsOpen() const { return fd_ >= 0; }

    // True when name in this folder has a path the system can still name as a whole; false with 206
    // (the name is too long) otherwise. Everything a backup writes must stay reachable by its path,
    // for the deletion of old sets, a restore, or any other tool.
    bool CanName(const std::string& name) const;
    int Descriptor() const { return fd_; }
    const std::string& NativePath() const { return native_; }

    // True when name in this folder (a link followed) is the file of the given device and inode.
    bool Holds(const std::string& name, uint64_t device, uint64_t inode) const;

    // Creates the symbolic link name with the target text target, never replacing an existing entry.
    bool CreateLink(const std::string& name, const std::string& target);
    // Gives the link name (never what it points to) its times and, run as root, its owner and group.
    bool SetLinkTimesAndOwner(const std::string& name, const FileOwnership& owner, int64_t modificationTime,
                              int64_t accessTime);
    // Renames from to to inside this folder; an entry of the name to (a file or a link, never followed)
    // is replaced in one step. A folder of that name is not replaced (5).
    bool Rename(const std::string& from, const std::string& to);
    // Removes the file or link name (never a folder, never what a link points to).
    bool Remove(const std::string& name);

  private:
    int fd_ = -1;
    std::string native_;
};

// The folders of one path held open from the trusted part down, for opening many folders one after
// another: a folder whose path shares its beginning with the one opened before opens only the folders
// after what they share. Each folder is opened as FolderHandle::Open opens it, so a folder is the same
// whether reached through the chain or alone, but one that was renamed or replaced by a link after it
// was opened stays the folder that was opened.
// One object is used by one thread at a time; at most one descriptor per component is held.
class FolderChain {
  public:
    // As FolderHandle::Open; on success Folder() is the folder. On failure the folders before the one
    // that failed may stay open for the next call.
    bool Open(const std::string& windowsFolder, size_t trustedLength, bool create = false,
              const std::vector<std::string>& models = {});
    // The folder of the last successful Open.
    FolderHandle& Folder() { return *links_.back(); }
    void Close();

  private:
    std::string trusted_;                               // Windows form of the trusted part
    std::vector<std::unique_ptr<FolderHandle>> links_;  // the trusted folder, then one per name
    std::vector<std::string> names_;
};

// The permission bits, owner and group of the entry at windowsPath itself (a link is not followed).
bool ReadOwnership(const std::string& windowsPath, FileOwnership& ownership);

// Reads the target text of the symbolic link at windowsPath (its last component is not followed) and the
// link's own owner and times. False (last error set) when it is not a link or cannot be read.
bool ReadSymbolicLink(const std::string& windowsPath, std::string& target, FileOwnership& owner,
                      int64_t& modificationTime, int64_t& accessTime);

}  // namespace quillon
