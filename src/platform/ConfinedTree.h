// ConfinedTree: reading and writing files below one folder, never anywhere else.
//
// A tool that rebuilds a tree from names it read in a file (a control file, an archive) must not let a
// name, or a link someone planted in the tree, carry a write outside it. A ConfinedTree holds its root
// folder open and reaches every path from there, one name at a time:
//   - a path is a list of names below the root; an empty name, ".", "..", and names holding '/' or a
//     NUL byte are refused with 123 (invalid name);
//   - each folder on the way is opened relative to the one before it without following a link: a
//     link, a file or anything else where a folder belongs is refused with 1921, wherever it points;
//   - the last name is never followed either: a file is created under a temporary name in its folder
//     and renamed into place, so a link of that name is replaced, never written through, and an
//     existing file is replaced whole or not at all.
// The folders used last stay open, so that the files of one folder cost one open each.
//
// Failures answer false with the last error set to a Windows error number. One object per thread.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace quillon {

using TreePath = std::vector<std::string>;

enum class TreeEntry {
    kMissing,  // nothing of that name (a folder on the way may be missing too)
    kFile,     // a regular file
    kFolder,   // a real folder
    kLink,     // a symbolic link (not followed)
    kOther,    // a FIFO, socket or device
};

class ConfinedTree {
  public:
    ConfinedTree() = default;
    ~ConfinedTree();
    ConfinedTree(const ConfinedTree&) = delete;
    ConfinedTree& operator=(const ConfinedTree&) = delete;

    // Opens a folder (Windows form) as the root; with create, the folder and its parents are created
    // first where missing. The root itself may be reached through links: it is the caller's choice.
    bool Open(const std::string& windowsRoot, bool create);
    void Close();
    bool IsOpen() const { return root_ >= 0; }

    // What stands at path, and its length when size is given. False (1921) when something other than
    // a folder stands on the way.
    bool Look(const TreePath& path, TreeEntry& entry, int64_t* size = nullptr);

    // Copies the regular file at from in source to path here, creating the folders on the way. The copy
    // gets the source's modification time and permission bits, with the owner's write bit added, and
    // run as root its owner and group. A symbolic link at from is made again as a link with the same
    // target text and time (never followed, at either end). With replace an existing file (or link) of
    // that name is replaced, otherwise the copy is refused with 80 (file exists). A FIFO, socket or
    // device at from is refused with 1921. bytes gets the length copied.
    bool CopyFileFrom(ConfinedTree& source, const TreePath& from, const TreePath& path, bool replace,
                      int64_t& bytes);

    // Moves the regular file (or the link itself) at from to path inside this tree (one rename),
    // creating the folders on the way; replace as above. bytes gets the file's length.
    bool MoveFile(const TreePath& from, const TreePath& path, bool replace, int64_t& bytes);

    // Closes the folders held open, which must be done when folders below the root were removed by
    // other means (their open descriptors would still name the removed folders).
    void ForgetOpenFolders();

    // Creates a folder of a new name beginning with prefix directly below the root; name gets it.
    bool CreateUniqueFolder(const std::string& prefix, std::string& name);

  private:
    // Open folders by their names below the root joined with '/' (each followed by '/'). A tree of
    // thousands of folders with a file or two in each costs one open per folder this way, not one per
    // name of its path.
    using FolderCache = std::unordered_map<std::string, int>;
    static constexpr size_t kCachedFolders = 256;

    // The open folder of the first count names of path, from the slot's cache or opened from the
    // deepest folder on the way it holds. -1 on failure (last error set). Folders are created on the
    // way when create is set. The descriptor stays valid until the next call for the same slot.
    int Folder(const TreePath& path, size_t count, bool create, int slot);
    void ForgetFolders(FolderCache& cache);
    bool CopyLinkFrom(int sourceFolder, const std::string& name, const TreePath& path, bool replace);
    // Puts the temporary file tempName of folder at leaf, replacing or not.
    bool PlaceFile(int folder, const std::string& tempName, const std::string& leaf, bool replace);

    int root_ = -1;
    FolderCache slots_[2];
    uint32_t counter_ = 0;
};

// True when name may stand in a TreePath: not empty, not "." or "..", without '/' or NUL.
bool IsPlainName(const std::string& name);

}  // namespace quillon
