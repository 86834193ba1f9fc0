// The run that only looks ("--dry-run"): for every configured path, what a run started now by hand
// would do, told on a stream, with nothing changed.
//
// It reads the configuration and each path's control file and scans the sources, and writes nothing:
// no destination, set, control file or archive, no registry value (not even the semaphore, the run
// status or the run times), no archive attribute, no error log. Runs on the calling thread.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace quillon {

// Whether the arguments ask for a run that only looks.
bool AsksForDryRun(const std::vector<std::string>& arguments);

// Looks at every active path of the profile the arguments name ("/1" ... "/9", else the first) and
// tells out what a run would do; "--verbose" names every file to copy. Answers the exit status, 0.
int RunDryRun(const std::vector<std::string>& arguments, std::ostream& out);

}  // namespace quillon
