// RestoreFiles: rebuilds the source tree as of a day below a target folder.
//
// Each file is taken from the set that holds its copy as of that day (BackupFolder::FilesAsOf): from
// a plain set by copying the file, from a compressed set by extracting its archive into a private
// folder inside the target and moving each file into place. Every write goes through a ConfinedTree on
// the target: a name that would climb out of it, or a link planted on the way, is refused and
// reported, never followed. A file keeps the time (and permission bits) its copy was stored with.
// An existing file is replaced only with overwrite; otherwise it is reported and kept.
//
// Reports go to out, one line per file that was not restored, then the summary line
// ("1 204 files restored, 812 MB; 3 without a copy left"). One thread.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "support/TimeValue.h"

namespace quillon {
class IbZip;
}

namespace quillon::restore {

class BackupFolder;

struct RestoreRequest {
    TimeValue Day;                      // as of this day
    std::string TargetWindows;          // the folder to rebuild the tree in (created when missing)
    std::vector<std::string> Patterns;  // '*' patterns on paths below the source; none: every file
    bool Overwrite = false;
    bool DryRun = false;    // report what would be restored, write nothing
    bool Progress = false;  // show a progress line on the progress stream
};

// 0 when every selected file was restored (or would be), 1 otherwise.
int RestoreFiles(const BackupFolder& folder, const RestoreRequest& request, IbZip& zip, std::ostream& out,
                 std::ostream& progress);

// Whether a path below the source is selected by the patterns: one of them matches the path or one of
// the folders it lies in ("docs" selects "docs/a.txt"), without regard to the letter case of A-Z.
bool Selected(const std::vector<std::string>& patterns, const std::string& path);

}  // namespace quillon::restore
