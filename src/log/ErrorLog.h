// The error log "QuillonRun.Log": each run with error lines appends them as one block, and the file is
// kept below its configured size by cutting its oldest part at a line start.
//
// Settings entries: "DoErrorLogging" (0 switches the log off), "ErrorLogPath" (the file; filled in on
// first use), "LogPath" (a file whose folder is the default folder), "ErrorLogSize" (the limit in units
// of 1024 bytes). Failures are traced, never shown and never returned.
//
// User-interface thread only, after the run's worker has ended.
#pragma once

#include <string>
#include <vector>

namespace quillon {

class CAppProfile;

inline constexpr const char* kErrorLogName = "QuillonRun.Log";

// The program's folder in Windows form, without a trailing '\'; "" when it lies below no drive.
std::string ProgramDirectory();

// The error log's full path: "ErrorLogPath", else the folder of "LogPath", else the program's folder,
// followed by "QuillonRun.Log"; a path found this way is stored in "ErrorLogPath".
std::string ResolveErrorLogPath(const CAppProfile& profile);

// Appends the separator line, every line of copyErrorList and an empty line to the error log, then
// empties the list. The list stays filled when logging is off or the log cannot be opened or written.
// copyBuffer is the run's work buffer for the clipping (allocated here when empty).
void WriteErrorLog(const CAppProfile& profile, std::vector<std::string>& copyErrorList,
                   std::vector<char>& copyBuffer);

}  // namespace quillon
