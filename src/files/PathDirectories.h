// Creating the directory chain of a Windows-form path.
//
// Stateless; called from the worker thread (backup and staging directories) and the user-interface
// thread (the error log's directory).
#pragma once

#include <cstdint>
#include <string>

namespace quillon {

// Creates every directory of path up to its last backslash, so a path must end with a backslash for
// its last component to be created ("C:\Data\file.txt" creates only C:\Data). Prefixes of at most three
// characters ("C:", "C:\") are never created, and neither is anything that ends before start: callers
// pass the length of a root that exists (a network share) so that it is not touched. A directory that
// exists already, or a name taken by a file, is passed over; the copy that follows then fails.
// Answers the length of path on success, -1 (last error set) when a directory could not be created.
int32_t CreatePathDirectories(const std::string& path, int32_t start);

}  // namespace quillon
