#include "engine/RunAllPaths.h"

#include <exception>

#include "config/SourcePathRecord.h"
#include "engine/BackupPass.h"
#include "engine/RunState.h"
#include "platform/Trace.h"

namespace quillon {

void RunAllPaths(RunState& run) {
    run.PreviousDay = run.RunDay;
    AddDays(run.PreviousDay, -1);
    for (SourcePathRecord* path : run.Paths.PathRecords) {
        if (!path->PathActive) {
            continue;
        }
        // A start at login runs only the paths that are due today.
        if (run.Paths.OnlyOncePerDay != 0 && run.StartedByWindows && !(path->NextRunTime <= run.RunTime)) {
            continue;
        }
        run.Paths.CurrentPath = path;
        run.Texts.RequestShow();
        // Nothing a pass throws may end the run: the other paths still get their backup.
        try {
            BackupPass pass(run, *path);
            pass.Run();
        } catch (const std::exception& error) {
            Trace("*** Pass %s: %s\n", path->SourcePath.c_str(), error.what());
            run.ErrorFlag = true;
        }
    }
    run.RunInProgress.store(false, std::memory_order_release);
}

}  // namespace quillon
