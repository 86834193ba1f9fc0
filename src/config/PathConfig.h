// Source path configuration: loads every configured source path ("Path000", "Path001", ...) from the
// profile into a list of records before each run, together with the three application-wide settings
// the engine needs.
//
// PathConfig is the part of the application's run state that this loading fills; the application
// object owns one (it may simply derive from it). Loading and clearing run on the user-interface
// thread while no run is in progress; the worker thread then reads the records and sets CurrentPath,
// which the progress dialog reads.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "config/SourcePathRecord.h"
#include "support/PArray.h"

namespace quillon {

class CAppProfile;

struct PathConfig {
    PathConfig() = default;
    // Deletes the records (ClearPathConfig).
    ~PathConfig();
    PathConfig(const PathConfig&) = delete;
    PathConfig& operator=(const PathConfig&) = delete;

    PArray<SourcePathRecord> PathRecords;                 // in section order, owned
    std::atomic<SourcePathRecord*> CurrentPath{nullptr};  // the record the engine works on; none between runs
    int32_t OnlyOncePerDay = 1;                           // Settings "OnlyOncePerDay"
    int32_t Vortagsdatum = 1;                             // Settings "Vortagsdatum"
    int32_t TotalFullBackup = 0;                          // DynData "TotalFullBackup"
};

// Rebuilds config from profile: raises activityCounter by one, clears the old records, reads the three
// settings, then one record per path section up to the first section without "SourcePath". A section
// without "DestPath" is traced and ends the list there. Never fails: missing entries read as defaults.
void LoadPathConfig(const CAppProfile& profile, PathConfig& config, std::atomic<int32_t>& activityCounter);

// Deletes every record (with its pattern entries), empties the list and forgets CurrentPath, which
// would otherwise point at a deleted record.
void ClearPathConfig(PathConfig& config);

// Reads the integer entry with default -1: active := the entry is present and not -1; value := the
// stored number only when active, otherwise value keeps what it held.
void ReadOptionalInt(const CAppProfile& profile, const std::string& section, const std::string& entry,
                     int32_t& value, bool& active);

// The "DeleteFlags" bits of the deletion rules in force for a path section, decoded as
// LoadPathConfig decodes them: the stored entry when there is one, otherwise the rules whose value
// entries are present (with DeleteEnabled when any delete rule is).
int32_t DeleteFlagsInForce(const CAppProfile& profile, const std::string& section);

}  // namespace quillon
