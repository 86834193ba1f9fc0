// RunAllPaths: one run of the engine over every configured source path.
//
// Runs on the engine's worker thread. Walks RunState::Paths in configuration order, runs a backup
// pass for every path that takes part, and clears RunInProgress as its very last act, which hands the
// run's results over to the user-interface thread.
#pragma once

namespace quillon {

struct RunState;

void RunAllPaths(RunState& run);

}  // namespace quillon
