// The commands of quillon-restore, which lists, checks and restores the backups of one source path
// from its destination folder DEST alone (no configuration, no registry, no drive map needed):
//
//   sets DEST                      every set: date, full or incremental, size, plain or how many
//                                  archives, and whether it is missing or damaged
//   files DEST [--at DATE]         the files of the source as of DATE (default: the newest set):
//                                  time, and the set (and archive) that holds the copy
//   versions DEST FILE             every set that holds a copy of FILE, newest first
//   restore DEST TARGET [--at DATE] [--overwrite] [--dry-run] [PATTERN...]
//                                  rebuilds the source tree as of DATE below TARGET
//   verify DEST                    checks the sets and names every problem
//
// DEST and TARGET are native paths, or Windows-form paths read through the user's drive map when
// there is one. DATE is "YYYY-MM-DD". Paths of files are those below the source folder.
// Exit status: 0 all done or all sound, 1 some files not restored or problems found, 2 a usage error
// or DEST is no backup folder.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace quillon::restore {

// Runs one command (args without the program name); results to out, usage errors to err, the
// progress line of a restore to err when progress is set. Answers the exit status.
int RunRestoreCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                      bool progress);

}  // namespace quillon::restore
