// FileEntry and SavedBackup: the two records of a path's control file, which are also the engine's
// working lists during a pass (the files found by the scan, the files recorded before, the sets saved).
//
// Plain values; a list of them belongs to one thread at a time (the worker thread during a pass).
#pragma once

#include <cstdint>
#include <string>

#include "support/TimeValue.h"

namespace quillon {

// One file of a source path.
// A pass holds two of these for every file of the tree (as recorded and as found), so the record is
// kept small: the path is its only allocation.
struct FileEntry {
    std::string Path;     // full Windows-form path as the scan found it
    int64_t Size = 0;     // bytes
    TimeValue Time;       // last-write time, minute precision once it went through the control file
    bool ToCopy = false;  // marked for copying in this pass
    bool Stored = false;  // stored in the set of this pass, or earlier the same day ('X')
    bool CopyFailed = false;
    bool Pending = false;           // read as 'E': must be copied whatever its time
    bool StoredAsCopyName = false;  // a source-root "Quillon.txt" kept as "Kopie von Quillon.txt"
    int32_t ZipNumber = -1;         // archive of the set that holds the file; -1 for none
};

// One saved backup set of a path, named by its date.
struct SavedBackup {
    TimeValue Date;  // 00:00:00 of the set's day
    bool Full = false;
    int32_t SizeKB = 0;  // stored size in units of 1024 bytes
};

}  // namespace quillon
