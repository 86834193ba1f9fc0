#include "engine/BackupPass.h"

#include "config/SourcePathRecord.h"
#include "engine/RunState.h"

namespace quillon {

BackupPass::BackupPass(RunState& run, SourcePathRecord& path) : State(run), Path(path) {}

BackupPass::~BackupPass() {
    DeleteAll(CurrentFiles);
    DeleteAll(PreviousFiles);
    DeleteAll(SetFiles);
    DeleteAll(SavedBackups);
}

void BackupPass::Run() {}

// The files of a directory come sorted by name, as they were when the control file was written, so the
// entry behind the previous match is nearly always the one. A miss is answered by an index instead of a
// search from the start, which would make a tree of many new or removed files quadratic. The index
// keys on the exact path: two files whose names differ only in letter case are two files.
FileEntry* BackupPass::FindPrevious(const FileEntry& current) {
    int32_t count = PreviousFiles.Count();
    if (previousCursor_ < count && PreviousFiles.Get(previousCursor_)->Path == current.Path) {
        return PreviousFiles.Get(previousCursor_++);
    }
    if (!previousIndexBuilt_) {
        previousIndex_.reserve(static_cast<size_t>(count));
        for (int32_t i = 0; i < count; ++i) {
            previousIndex_.emplace(PreviousFiles.Get(i)->Path, i);  // the first of equal paths wins
        }
        previousIndexBuilt_ = true;
    }
    auto found = previousIndex_.find(current.Path);
    if (found == previousIndex_.end()) {
        return nullptr;
    }
    previousCursor_ = found->second + 1;
    return PreviousFiles.Get(found->second);
}

}  // namespace quillon
