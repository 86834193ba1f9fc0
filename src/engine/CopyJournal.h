// The copy journal of a destination: a small file beside the control file that names the set a pass is
// writing copies into, from before its first copy until every copy has its name.
//
// Copies are written under temporary names and renamed once they are whole (files/CopyFile.h); the
// archives of compressed sets are written as "<name>.part" and renamed the same way. A pass that is
// killed, or a machine that goes down, leaves such temporaries in the set. The journal tells the next
// pass where to look, so that it removes them without walking every set, and they are never mistaken
// for files of the set.
//
// Runs on the worker thread, within one pass.
#pragma once

#include <string>

namespace quillon {

inline constexpr const char* kCopyJournalName = "Quillon.CPY";

// Writes the journal of destPath naming setDirectory (a folder directly below destPath). False (last
// error set) when it cannot be written; the copies may still go on.
bool BeginCopyJournal(const std::string& destPath, const std::string& setDirectory);

// Removes the journal once every copy of the pass has its name or is gone.
void EndCopyJournal(const std::string& destPath);

// When an interrupted pass left a journal: removes the temporaries of copies and archives from the set
// it names, then the journal. Answers how many temporaries were removed.
int RemoveInterruptedCopies(const std::string& destPath);

}  // namespace quillon
