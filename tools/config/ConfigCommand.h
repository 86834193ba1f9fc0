// The commands of quillon-config, the configuration front end of the run module:
//
//   list                         every path in words, numbered, with its problems
//   show N                       one path in words, and the registry entries behind each line
//   add SOURCE DEST [OPTIONS]    appends the next PathNNN section
//   set N OPTIONS                changes one path; untouched settings keep their entries
//   remove N                     removes a path and renumbers the ones after it
//   schedule HH:MM | off         the daily run time of a resident program
//   export FILE | import FILE    the whole configuration as a .reg file
//
// with --profile 1..9 anywhere for the profile of the run module's /1../9. It writes exactly the
// entries the run module reads, nothing else, so that a configuration written by hand or imported
// stays valid and editable. Each command that writes checks all its arguments first, writes all its
// changes in one transaction and says what it changed; wrong arguments write nothing.
//
// One command per call; the registry is reached through the hives of the environment.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace quillon {

// Exit codes: 0 done, 1 failed (the hive could not be written, a run holds the configuration),
// 2 wrong arguments or a refused path (nothing written).
inline constexpr int kConfigFailed = 1;
inline constexpr int kConfigUsage = 2;

// Runs one command (args without the program name); results to out, errors to err.
int RunConfigCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace quillon
