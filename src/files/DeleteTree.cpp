#include "files/DeleteTree.h"

#include "platform/DirectoryListing.h"
#include "platform/LastError.h"
#include "platform/Trace.h"
#include "support/TextCase.h"

namespace quillon {
namespace {

constexpr const char* kRefusal = "missing. For security no deletion will be done.";

void Append(std::vector<std::string>* list, std::string line) {
    if (list != nullptr) {
        list->push_back(std::move(line));
    }
}

bool DirectoryNotDeleted(const std::string& dir, std::vector<std::string>* list) {
    Append(list, "Directory >" + dir + "< could not be deleted.");
    Trace("*** Directory >%s< could not be deleted.\n", dir.c_str());
    return false;
}

std::string WithoutTrailingSeparators(std::string path) {
    while (path.size() > 3 && (path.back() == '\\' || path.back() == '/')) {
        path.pop_back();
    }
    return path;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// "dddd-dd-dd" anywhere in the path: the date that begins the name of every backup set.
bool HasDateTerm(const std::string& path) {
    for (size_t i = 4; i + 5 < path.size(); ++i) {
        if (path[i] == '-' && IsDigit(path[i - 4]) && IsDigit(path[i - 3]) && IsDigit(path[i - 2]) &&
            IsDigit(path[i - 1]) && IsDigit(path[i + 1]) && IsDigit(path[i + 2]) && path[i + 3] == '-' &&
            IsDigit(path[i + 4]) && IsDigit(path[i + 5])) {
            return true;
        }
    }
    return false;
}

// Deletes every entry of the open folder, whose Windows-form path dir names it in the error texts:
// files, links and special files as they are (a link never followed), folders depth first.
bool DeleteEntriesOf(const WalkFolder& folder, const std::string& dir, std::vector<std::string>* list) {
    std::vector<FileInfo> entries;
    folder.List(ListingScope::kWithOtherEntries, entries);  // unreadable: its removal reports it
    for (const FileInfo& entry : entries) {
        if (entry.Name == "." || entry.Name == "..") {
            continue;
        }
        const std::string path = dir + "\\" + entry.Name;
        if (entry.Kind == EntryKind::kDirectory) {
            WalkFolder child;
            if (child.OpenChild(folder, entry.Name)) {
                if (!DeleteEntriesOf(child, path, list)) {
                    return false;
                }
            } else if (GetLastError() == kErrorCantResolveFilename) {
                // Swapped for a link since it was listed: the link goes, as any link in the tree.
                if (!folder.RemoveEntry(entry.Name)) {
                    Append(list, "File >" + path + "< could not be deleted.");
                    return false;
                }
                continue;
            }
            if (!folder.RemoveFolder(entry.Name)) {
                return DirectoryNotDeleted(path, list);
            }
            continue;
        }
        // Files (READONLY ones too: removing a name needs no write permission on the file), links
        // and special files.
        if (!folder.RemoveEntry(entry.Name)) {
            Append(list, "File >" + path + "< could not be deleted.");
            return false;
        }
    }
    return true;
}

}  // namespace

bool DeleteDirectoryTree(const std::string& dir, std::vector<std::string>* list, bool removeItself) {
    if (dir.empty()) {
        return true;
    }
    // The tree is opened from its parent, without following a link in its own place, and every folder
    // below it from the open folder above: a folder swapped for a link while the deletion runs (by
    // anyone who may write into the backup folder) loses the link alone, and nothing outside the tree
    // is ever listed or deleted.
    const std::string trimmed = WithoutTrailingSeparators(dir);
    const size_t cut = trimmed.find_last_of("\\/");
    const bool hasParent = cut != std::string::npos && cut + 1 < trimmed.size() && cut >= 2;
    const std::string leaf = hasParent ? trimmed.substr(cut + 1) : std::string();
    WalkFolder parent;
    WalkFolder folder;
    bool opened = false;
    if (!hasParent) {
        opened = folder.OpenTop(trimmed);
    } else if (parent.OpenTop(trimmed.substr(0, cut) + (trimmed[cut - 1] == ':' ? "\\" : ""))) {
        opened = folder.OpenChild(parent, leaf);
        if (!opened && GetLastError() == kErrorCantResolveFilename) {
            // What the link points to lies outside the tree: the link goes, its target stays untouched.
            if (!removeItself || parent.RemoveEntry(leaf)) {
                return true;
            }
            return DirectoryNotDeleted(dir, list);
        }
    }
    if (opened && !DeleteEntriesOf(folder, dir, list)) {
        return false;
    }
    if (removeItself && (!parent.IsOpen() || !parent.RemoveFolder(leaf))) {
        return DirectoryNotDeleted(dir, list);
    }
    if (GetLastError() == kErrorNoMoreFiles) {
        SetLastError(kErrorSuccess);
    }
    return true;
}

bool DeleteDatedDirectory(const std::string& path, std::vector<std::string>* list) {
    if (path.empty()) {
        return true;
    }
    if (!HasDateTerm(path)) {
        Append(list, "Dat-Dir-Term in Path >" + path + "<");
        Append(list, kRefusal);
        return false;
    }
    return DeleteDirectoryTree(path, list, true);
}

bool DeleteTempDirectory(const std::string& path, std::vector<std::string>* list, bool removeItself) {
    if (path.empty()) {
        return true;
    }
    if (ToUpperPath(path).find("\\TEMP\\") == std::string::npos) {
        Append(list, "'Temp' in Path >" + path + "<");
        Append(list, kRefusal);
        return false;
    }
    return DeleteDirectoryTree(path, list, removeItself);
}

}  // namespace quillon
