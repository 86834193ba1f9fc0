// The configuration check of quillon-run (--check): the configuration of one profile in words, as
// the next run will read it, with every problem found; nothing is written and no run is made.
// Runs on the program's main thread before anything else.
#pragma once

#include <cstdint>
#include <iosfwd>

namespace quillon {

// The exit status of a check that found a problem (the one of a usage or configuration problem).
inline constexpr int kCheckFoundProblems = 2;

// Prints the report on the profile of instanceNumber (0 for the profile of a program started
// without "/1".."/9") to out. Answers 0 when no problem was found, kCheckFoundProblems otherwise.
int RunConfigurationCheck(int32_t instanceNumber, std::ostream& out);

}  // namespace quillon
