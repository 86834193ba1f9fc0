// Deleting whole directory trees: the only way the program removes directories.
//
// Two guarded forms refuse to run unless the path proves what it is: DeleteDatedDirectory wants the
// date of a backup set in it, DeleteTempDirectory the staging folder's "\TEMP\". Both explain a refusal
// and every failed deletion with lines appended to the caller's error list (may be null: then nothing
// is appended).
//
// A deletion never leaves the tree: a symbolic link inside it is removed as a link, never followed, and
// a tree whose own path is a link loses that link alone. Each folder is opened relative to the open
// folder above it, so a folder swapped for a link while the deletion runs is removed as a link too,
// never entered. FIFOs, sockets and devices are removed without being opened.
//
// Stateless. The worker thread deletes backup sets and empties the staging folder; the user-interface
// thread removes the staging folder at the end of a run.
#pragma once

#include <string>
#include <vector>

namespace quillon {

// Deletes everything below dir, and dir itself when removeItself is set. READONLY files are deleted
// too. The first entry that cannot be deleted stops the deletion: what was deleted stays deleted, what
// follows stays in place, and the list gets
//   "File >" + path + "< could not be deleted."            (a file or link), or
//   "Directory >" + dir + "< could not be deleted."        (the directory itself; traced too).
// An empty path deletes nothing and answers true.
bool DeleteDirectoryTree(const std::string& dir, std::vector<std::string>* list, bool removeItself);

// DeleteDirectoryTree(path, list, true) when the path holds a date term "dddd-dd-dd" anywhere;
// otherwise deletes nothing, appends
//   "Dat-Dir-Term in Path >" + path + "<"
//   "missing. For security no deletion will be done."
// and answers false. An empty path answers true.
bool DeleteDatedDirectory(const std::string& path, std::vector<std::string>* list);

// DeleteDirectoryTree(path, list, removeItself) when the upper-cased path contains "\TEMP\";
// otherwise deletes nothing, appends
//   "'Temp' in Path >" + path + "<"
//   "missing. For security no deletion will be done."
// and answers false. An empty path answers true.
bool DeleteTempDirectory(const std::string& path, std::vector<std::string>* list, bool removeItself);

}  // namespace quillon
