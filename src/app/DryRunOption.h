// --dry-run: what a run now would do for every configured path, changing nothing.
// main calls it instead of a run, before any user interface exists. Main thread only.
#pragma once

#include <cstdio>

#include "app/LongOptions.h"

namespace quillon {

// Writes its report to out and its complaints to err; answers the program's exit status.
int RunDryRunOption(const LongOptions& options, std::FILE* out, std::FILE* err);

}  // namespace quillon
