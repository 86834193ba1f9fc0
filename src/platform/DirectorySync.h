// Making the names in a folder durable: after a file has been created or renamed in a folder, the new
// name reaches the disk only once the folder itself is flushed. Used after a file replaces another by
// renaming, so that a crash cannot bring the old one back.
//
// Stateless; any thread. Goes through the fault seam (FileOperation::kSync).
#pragma once

#include <string>

namespace quillon {

// Forces the entries of the folder at windowsPath (Windows form) to the disk. True on success, and on a
// file system that has nothing to flush for folders. False (last error set) when the folder cannot be
// opened or the flush fails.
bool SyncDirectory(const std::string& windowsPath);

}  // namespace quillon
