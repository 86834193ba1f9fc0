// SourcePathRecord: one configured source path with all its settings, as loaded from its profile
// section "Path%03d"; PatternEntry: one exclude or force pattern of a path.
//
// Each field bears the name of the registry entry it comes from and starts at that entry's default.
// A record owns its two pattern lists and their entries. Records are built on the user-interface
// thread before a run and only read by the worker thread afterwards.
#pragma once

#include <cstdint>
#include <string>

#include "support/PArray.h"
#include "support/TimeValue.h"

namespace quillon {

// One name pattern. The scan matches with the upper-cased copy and may append to both texts.
struct PatternEntry {
    virtual ~PatternEntry() = default;

    std::string Pattern;       // as stored, blanks trimmed at both ends
    std::string PatternUpper;  // Pattern upper-cased
};

// Bits of the entry "Flags" (default -1: every flag keeps its default).
enum PathFlagBits : uint32_t {
    kFlagWriteProtectCopies = 0x02,
    kFlagResetArchiveBit = 0x04,
    kFlagFullBackupScheduled = 0x20,
    kFlagPathSwitchedOff = 0x40,  // inverted: PathActive
    kFlagFullBackupByDays = 0x80,
    kFlagFullBackupIfUnchanged = 0x100,
    kFlagNoSubdirs = 0x200,         // inverted: IncludeSubdirs
    kFlagNoCopyOnFirstRun = 0x400,  // inverted: CopyOnFirstRun
    kFlagCompress = 0x800,
};

// Bits of the entry "DeleteFlags" (default -1: the flags follow from the rules' entries).
enum DeleteFlagBits : uint32_t {
    kDeleteEnabledBit = 0x01,
    kDelAfterBackupsBit = 0x02,
    kDelAfterDaysBit = 0x04,
    kDelAfterMemoryBit = 0x08,
    kKeepBackupsBit = 0x10,
    kKeepDaysBit = 0x20,
    kKeepFullBackupsBit = 0x40,
    kDeleteOnlyArchivedBit = 0x80,
};

class SourcePathRecord {
  public:
    SourcePathRecord() = default;
    // Deletes the entries of both pattern lists.
    virtual ~SourcePathRecord();
    SourcePathRecord(const SourcePathRecord&) = delete;
    SourcePathRecord& operator=(const SourcePathRecord&) = delete;

    int32_t PathIndex = -1;  // the number of the section, for writing run state back
    std::string SourcePath;
    std::string DestPath;
    std::string SourcePathUpper;
    TimeValue NextRunTime;
    TimeValue LastRunTime;
    TimeValue LatestSaveDate;
    bool FullBackupScheduled = true;
    bool FullBackupByDays = false;
    int32_t FullBackupSep = 20;
    int32_t FullBackupSepTage = 28;
    TimeValue FB_NextTime;
    bool FullBackupIfUnchanged = false;
    bool FullBackupNext = false;
    bool PathActive = true;
    bool IncludeSubdirs = true;
    bool Compress = true;
    bool WriteProtectCopies = true;
    bool ResetArchiveBit = true;
    bool CopyOnFirstRun = true;
    bool DeleteEnabled = false;
    bool DelAfterBackupsActive = false;
    bool DelAfterDaysActive = false;
    bool DelAfterMemoryActive = false;
    bool KeepBackupsActive = false;
    bool KeepDaysActive = false;
    bool KeepFullBackupsActive = false;
    bool DeleteOnlyArchived = false;
    int32_t DelAfterBackups = 20;
    int32_t DelAfterDays = 90;
    int32_t DelAfterMemory = 500;
    int32_t KeepDays = 7;
    int32_t KeepBackups = 10;
    int32_t KeepFullBackups = 1;
    PArray<PatternEntry> ExcludeList;
    PArray<PatternEntry> ForceList;
};

}  // namespace quillon
