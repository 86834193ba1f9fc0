#include "app/DryRun.h"

#include <algorithm>

#include "config/AppProfile.h"
#include "config/PathConfig.h"
#include "engine/RunAllPaths.h"
#include "engine/RunState.h"
#include "support/TimeValue.h"

namespace quillon {

bool AsksForDryRun(const std::vector<std::string>& arguments) {
    return std::find(arguments.begin(), arguments.end(), "--dry-run") != arguments.end();
}

int RunDryRun(const std::vector<std::string>& arguments, std::ostream& out) {
    int32_t instance = 0;
    bool verbose = false;
    for (const std::string& word : arguments) {
        if (word.size() == 2 && word[0] == '/' && word[1] >= '1' && word[1] <= '9') {
            instance = word[1] - '0';
        } else if (word == "--verbose") {
            verbose = true;
        }
    }
    CAppProfile profile;
    profile.BindProfile(instance);

    // A run by hand: every active path takes part, due or not. Without a profile the passes store no
    // run state; the copy buffer is never needed.
    RunState run;
    run.DryRun = true;
    run.Profile = nullptr;
    LoadPathConfig(profile, run.Paths, run.ActivityCounter);
    run.RunTime = GetNow();
    run.RunDay = run.RunTime;
    TruncateToDay(run.RunDay);
    run.DaylightSaving = IsDaylightSavingToday();
    RunAllPaths(run);

    if (run.Previews.empty()) {
        out << "No source path is configured or active.\n";
    }
    for (const PassPreview& preview : run.Previews) {
        for (const std::string& line : FormatPassPreview(preview, verbose)) {
            out << line << '\n';
        }
    }
    out << "Nothing was changed (--dry-run).\n";
    out.flush();
    return 0;
}

}  // namespace quillon
