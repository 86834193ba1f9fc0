// Hands the process over to another program of the installation, as the console program does to the
// desktop program beside it: only that one loads the desktop's libraries, which a run without a display
// never needs and which cost more to load than a backup without changes takes.
// Main's thread only, before any other thread exists.
#pragma once

#include <string>

namespace quillon {

// Replaces the running program by the program nativeProgram with the same arguments (argv, argv[0]
// included, ends with a null pointer), environment, process number and open standard streams. Returns
// only when that failed: the errno text of the reason (the program is missing, not executable ...).
std::string ReplaceProgram(const std::string& nativeProgram, char* const* argv);

}  // namespace quillon
