// PassPreview: what one backup pass would do, gathered instead of done when a run only looks
// (RunState::DryRun), and its text for the user.
//
// A looking pass reads the control file and scans the source as a real pass does, then stops before
// anything is written: no destination or set folder is made, nothing is copied, no set is deleted, no
// control file or registry value is written and no archive attribute is cleared.
//
// Plain values; filled by the worker, read once the run has ended.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quillon {

struct PassPreview {
    std::string SourcePath;
    std::string DestPath;
    std::string SourceProblem;  // empty, or why the source can be neither listed nor read
    bool NewPath = false;       // no control file yet
    bool RecordOnly = false;    // a new path whose files would be recorded, not copied
    bool FullBackup = false;
    bool Compressed = false;
    std::string SetName;  // the set that would take the files ("2026-12-07")
    int32_t Files = 0;
    int64_t Bytes = 0;
    std::vector<std::string> FileNames;     // the files to copy, in scan order
    std::vector<std::string> SetsToDelete;  // set folders retention would delete, oldest first
    // Deleting for disk space would leave only the newest set: a real run asks before it does.
    bool AsksBeforeDeleting = false;
};

// The lines that tell what the pass would do; with verbose, each file to copy on a line of its own.
std::vector<std::string> FormatPassPreview(const PassPreview& preview, bool verbose);

}  // namespace quillon
