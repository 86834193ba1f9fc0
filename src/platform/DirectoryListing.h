// Directory listing with the C runtime's find-first/find-next semantics, over Windows-form paths.
//
//   "C:\Data\*.*"  every entry of C:\Data, "." and ".." included, sorted by name as Windows sorts
//                  (A-Z without regard to letter case; "." and ".." first)
//   "C:\Data\*.do?" the entries whose names match ('*' any run, '?' one character, letter case of
//                  A-Z ignored; a trailing ".*" also matches names without a dot)
//   "C:\Data\a.doc" that entry alone (its name compared exactly)
//
// Each entry carries its name as stored (bytes unchanged), Windows attributes, a 64-bit size (0 for
// directories) and its times in seconds since 1970 UTC.
//
// Links and special files, so that no walk can loop, block or escape:
//   - a symbolic link to a regular file reads as that file, with kAttributeReparsePoint added;
//   - a symbolic link to a directory reads as a directory with kAttributeReparsePoint: walkers must not
//     enter it (MayEnter() is false) and deleting it means removing the link alone;
//   - FIFOs, sockets, devices and dangling links are not listed at all, unless the search is made with
//     kWithOtherEntries (tree deletion needs them, to remove them); they are never opened.
//
// One object is used by one thread at a time; separate objects are independent.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

class WalkFolder;

// How a walk through WalkFolders lists a symbolic link.
enum class LinkEntries {
    kAsFound,       // the link itself: kFile with kAttributeReparsePoint, the link's own times, the
                    // length of its target text as size, whatever it points to (or nothing)
    kAsTargetFile,  // as DirectorySearch lists it by path: a link to a file as that file, a link to
                    // a folder as a folder that may not be entered, other links not at all
};

enum class EntryKind {
    kFile,       // a regular file, or a link to one
    kDirectory,  // a directory, or a link to one (see kAttributeReparsePoint)
    kOther,      // FIFO, socket, device, dangling link: only with kWithOtherEntries
};

// Which file an entry is, whatever its names: equal identities are the same file.
struct FileIdentity {
    uint64_t Device = 0;
    uint64_t Inode = 0;
    bool operator==(const FileIdentity&) const = default;
};

struct FileInfo {
    std::string Name;
    uint32_t Attributes = 0;
    int64_t Size = 0;
    int64_t CreationTime = 0;  // the modification time where the file system keeps no creation time
    int64_t ModificationTime = 0;
    int64_t AccessTime = 0;
    EntryKind Kind = EntryKind::kFile;
    FileIdentity Identity;  // of the entry as listed (a link's target where the listing follows it)

    bool IsDirectory() const { return Kind == EntryKind::kDirectory; }
    bool IsLink() const;
    // A real directory that a walk may descend into (not "." or "..", not reached through a link).
    bool MayEnter() const;
};

enum class ListingScope {
    kFilesAndDirectories,
    kWithOtherEntries,
};

// How much of the attributes a listing reads. kTypesOnly leaves out HIDDEN, SYSTEM and ARCHIVE, which
// live in an extended attribute: one system call less per entry, for walks that need only names, sizes,
// times and kinds (the scan of a source tree).
enum class AttributeDetail {
    kAll,
    kTypesOnly,
};

// Whether the folder a wildcard search lists may be a link to a folder. A walk that found a real folder
// refuses a link there: had the folder been replaced by a link (to "/", say) since it was listed, the
// walk would otherwise follow it out of the tree. The search then fails with error 1921.
enum class FolderLink {
    kFollow,
    kRefuse,
};

class DirectorySearch {
  public:
    explicit DirectorySearch(ListingScope scope = ListingScope::kFilesAndDirectories,
                             AttributeDetail detail = AttributeDetail::kAll,
                             FolderLink folderLink = FolderLink::kFollow)
        : scope_(scope), detail_(detail), folderLink_(folderLink) {}

    // Starts a search and gives its first entry. False when nothing matches: the last error is then 2
    // (no match) or 3 (the directory does not exist), and Next finds nothing.
    bool First(const std::string& windowsPattern, FileInfo& entry);

    // The next entry. False after the last one, with the last error 18 (no more files).
    bool Next(FileInfo& entry);

  private:
    ListingScope scope_;
    AttributeDetail detail_;
    FolderLink folderLink_;
    std::vector<FileInfo> entries_;
    size_t next_ = 0;
};

// A folder of a walk, held open: its entries are looked at, and its subfolders opened, relative to it.
// A walk by path follows whatever a folder on the way has become since it was listed: a folder swapped
// for a link to "/" would lead the backup (or, worse, the deletion of an old set) out of its tree. A
// walk through WalkFolders never follows a link below its top folder:
//   - List names a symbolic link as the link itself (LinkEntries::kAsFound), or by what its target is
//     (kAsTargetFile, which only ever reads the target's status, never its content);
//   - OpenChild refuses a link in a subfolder's place (1921) instead of entering it.
// Opening a subfolder passes the fault seam (FileOperation::kOpenFolder), so that tests can change the
// tree at that moment; removing passes it as kDelete and kRemoveDirectory.
// One object is used by one thread at a time.
class WalkFolder {
  public:
    WalkFolder() = default;
    ~WalkFolder();
    WalkFolder(const WalkFolder&) = delete;
    WalkFolder& operator=(const WalkFolder&) = delete;

    // Opens the top folder of a walk by its Windows-form path. Links on the way are followed: a
    // configured path may well lie behind one. False (last error 3, or as the system says) otherwise.
    bool OpenTop(const std::string& windowsFolder);
    // Opens the subfolder name of parent without following a link in its place. False with 1921 when
    // name is a link now, 3 when it is gone or no folder any more, 206 when its path grows beyond
    // what the system can name (the rest of the program works by path), else as the system says.
    bool OpenChild(const WalkFolder& parent, const std::string& name);
    bool IsOpen() const { return fd_ >= 0; }

    // Every entry, "." and ".." first, sorted as DirectorySearch sorts, with the attributes of
    // AttributeDetail::kTypesOnly. "." and ".." carry their kind alone (a directory; no times, no
    // identity): walks only pass over them. Special files only with kWithOtherEntries. False (last
    // error set) when the folder cannot be read.
    bool List(ListingScope scope, std::vector<FileInfo>& entries,
              LinkEntries links = LinkEntries::kAsFound) const;

    // Removes the entry name as it is: a file, a link (never what it points to) or a special file,
    // whatever its mode. False (last error set) on failure, 5 for a folder.
    bool RemoveEntry(const std::string& name) const;
    // Removes the empty subfolder name; a link in its place is not removed (3). False on failure.
    bool RemoveFolder(const std::string& name) const;

  private:
    // Holds fd, an open folder at native, in place of the folder held so far.
    void Hold(int fd, std::string native);

    int fd_ = -1;
    std::string native_;  // the native path the folder had when it was opened
};

// All entries of a search, in order; empty when nothing matches (last error as for First).
std::vector<FileInfo> ListDirectory(const std::string& windowsPattern,
                                    ListingScope scope = ListingScope::kFilesAndDirectories);

// The entry a plain Windows-form path names (no wildcards), as the listing would show it. False (with
// the last error set) when it does not exist or is of a kind the listing leaves out.
bool LookUpFile(const std::string& windowsPath, FileInfo& entry);

// The identity of the file a Windows-form path names, links followed. False (last error set) when
// there is none.
bool IdentifyFile(const std::string& windowsPath, FileIdentity& identity);

// The name matching of the listing, for its tests: pattern against one name.
bool MatchesFilePattern(const std::string& pattern, const std::string& name);

// '*' any run of characters, '?' any one; other characters match when fold gives the same for both.
// Linear in practice and never worse than pattern x name, however many stars a pattern holds.
bool WildcardMatch(std::string_view pattern, std::string_view name, char (*fold)(char));

}  // namespace quillon
