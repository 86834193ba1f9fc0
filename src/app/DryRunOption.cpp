#include "app/DryRunOption.h"

#include <string>

#include "config/AppProfile.h"
#include "config/PathConfig.h"
#include "engine/RunAllPaths.h"
#include "engine/RunState.h"
#include "support/TimeValue.h"

namespace quillon {

// Each path's pass reads its control file and scans its source as a run does, then tells what it would
// do instead of doing it (engine/PassPreview.h). Nothing of the run's machinery is involved: no
// semaphore is taken and no run status or run time is written, so that the registry stays as it was.
int RunDryRunOption(const LongOptions& options, std::FILE* out, std::FILE* /*err*/) {
    const int32_t instance = ProfileNumber(options);
    CAppProfile profile;
    profile.BindProfile(instance);

    // A run by hand: every active path takes part, due or not. Without a profile the passes store no
    // run state; the copy buffer and the compression library are never needed.
    RunState run;
    run.DryRun = true;
    run.Profile = nullptr;
    LoadPathConfig(profile, run.Paths, run.ActivityCounter);
    run.RunTime = GetNow();
    run.RunDay = run.RunTime;
    TruncateToDay(run.RunDay);
    run.DaylightSaving = IsDaylightSavingToday();
    RunAllPaths(run);

    std::string report;
    if (run.Previews.empty()) {
        report += "No source path is configured or active.\n";
    }
    for (const PassPreview& preview : run.Previews) {
        for (const std::string& line : FormatPassPreview(preview, options.Verbose)) {
            report += line + "\n";
        }
    }
    report += "Nothing was changed (--dry-run).\n";
    std::fputs(report.c_str(), out);
    return 0;
}

}  // namespace quillon
