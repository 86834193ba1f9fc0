// registrylit: the names of keys, sections and entries that this module shares with the configuration
// program. Both sides must spell them exactly so; they are the whole contract between the two.
// Constants only; any thread.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace quillon::registrylit {

// Company and product keys.
inline constexpr const char* kCompanyKey = "Norrow";
inline constexpr const char* kProductKey = "Quillon";

// Profile names: "Quillon", or "QuillonApp" and the instance digit for a numbered instance.
inline constexpr const char* kProfileName = "Quillon";
inline constexpr const char* kInstanceProfilePrefix = "QuillonApp";

// Profile sections.
inline constexpr const char* kSettings = "Settings";
inline constexpr const char* kDynData = "DynData";
inline constexpr const char* kPathSectionFormat = "Path%03d";

// Direct values, shared by every instance and user: full paths below the machine hive.
inline constexpr const char* kProductPath = "Software\\Norrow\\Quillon";
inline constexpr const char* kSemaphorePath = "Software\\Norrow\\Quillon\\Semaphore";
// When the run that holds the semaphore took it (registry time text), so that a waiting program can
// say which run it waits for. Written beside the semaphore; older programs neither write nor read it.
inline constexpr const char* kSemaphoreTakenPath = "Software\\Norrow\\Quillon\\SemaphoreTaken";
inline constexpr const char* kLastRunTimePath = "Software\\Norrow\\Quillon\\LastRunTime";
inline constexpr const char* kLastAutoRunTimePath = "Software\\Norrow\\Quillon\\LastAutoRunTime";
inline constexpr const char* kCountNewFilesPath = "Software\\Norrow\\Quillon\\CountNewFiles";

// Entries of "Settings".
inline constexpr const char* kRunAtTime = "RunAtTime";
inline constexpr const char* kNoAutomaticRun = "NoAutomaticRun";
inline constexpr const char* kHideDialogs = "HideDialogs";  // also an entry of each path section
inline constexpr const char* kOnlyOncePerDay = "OnlyOncePerDay";
inline constexpr const char* kVortagsdatum = "Vortagsdatum";
inline constexpr const char* kDoErrorLogging = "DoErrorLogging";
inline constexpr const char* kErrorLogSize = "ErrorLogSize";
inline constexpr const char* kErrorLogPath = "ErrorLogPath";
inline constexpr const char* kLogPath = "LogPath";

// Entries of "DynData".
inline constexpr const char* kAktuellInstance = "AktuellInstance";
inline constexpr const char* kRunningInstance = "RunningInstance";
inline constexpr const char* kLastRunStatus = "LastRunStatus";
inline constexpr const char* kRunTime = "RunTime";
inline constexpr const char* kLastWindowsStartTime = "LastWindowsStartTime";
inline constexpr const char* kTotalFullBackup = "TotalFullBackup";
inline constexpr const char* kLatestSaveDate = "LatestSaveDate";  // also an entry of each path section

// Entries of a path section "Path%03d".
inline constexpr const char* kSourcePath = "SourcePath";
inline constexpr const char* kDestPath = "DestPath";
inline constexpr const char* kNextRunTime = "NextRunTime";
inline constexpr const char* kLastRunTime = "LastRunTime";
inline constexpr const char* kFlags = "Flags";
inline constexpr const char* kFullBackupSep = "FullBackupSep";
inline constexpr const char* kFullBackupSepTage = "FullBackupSepTage";
inline constexpr const char* kFBNextTime = "FB_NextTime";
inline constexpr const char* kFullBackupNext = "FullBackupNext";
inline constexpr const char* kDelAfterBackups = "DelAfterBackups";
inline constexpr const char* kDelAfterDays = "DelAfterDays";
inline constexpr const char* kDelAfterMemory = "DelAfterMemory";
inline constexpr const char* kKeepDays = "KeepDays";
inline constexpr const char* kKeepBackups = "KeepBackups";
inline constexpr const char* kKeepFullBackups = "KeepFullBackups";
inline constexpr const char* kDeleteFlags = "DeleteFlags";
inline constexpr const char* kExcludeFormat = "Exclude%03d";
inline constexpr const char* kForceFormat = "Force%03d";

// format ("Path%03d", "Exclude%03d", "Force%03d") filled with a number that is never negative.
inline std::string NumberedName(const char* format, int32_t number) {
    char name[32];
    std::snprintf(name, sizeof name, format, number < 0 ? 0 : number);
    return name;
}

// The section of source path index: Path000, Path001, ...
inline std::string PathSection(int32_t index) {
    return NumberedName(kPathSectionFormat, index);
}

}  // namespace quillon::registrylit
