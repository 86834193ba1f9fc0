#include "files/DeleteTree.h"

#include "files/FileStatus.h"
#include "platform/DirectoryListing.h"
#include "platform/FileAttributes.h"
#include "platform/FileSystem.h"
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

}  // namespace

bool DeleteDirectoryTree(const std::string& dir, std::vector<std::string>* list, bool removeItself) {
    if (dir.empty()) {
        return true;
    }
    if (IsSymbolicLink(dir)) {
        // What the link points to lies outside the tree: the link goes, its target stays untouched.
        if (!removeItself || DeleteFile(WithoutTrailingSeparators(dir))) {
            return true;
        }
        return DirectoryNotDeleted(dir, list);
    }
    DirectorySearch search(ListingScope::kWithOtherEntries);
    FileInfo entry;
    for (bool found = search.First(dir + "\\*.*", entry); found; found = search.Next(entry)) {
        if (entry.Name == "." || entry.Name == "..") {
            continue;
        }
        std::string path = dir + "\\" + entry.Name;
        if (entry.MayEnter()) {
            if (!DeleteDirectoryTree(path, list, true)) {
                return false;
            }
            continue;
        }
        // Files, links (to files or directories) and special files: removed as they are.
        if (entry.Kind == EntryKind::kFile && !entry.IsLink()) {
            ChangeFileAttributes(path, 0, kAttributeReadOnly);
        }
        if (!DeleteFile(path)) {
            Append(list, "File >" + path + "< could not be deleted.");
            return false;
        }
    }
    if (removeItself && !RemoveDirectory(dir)) {
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
