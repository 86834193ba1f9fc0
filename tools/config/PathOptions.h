// The options of quillon-config that set what one backup path does (--plain, --keep 10, --exclude
// '*.tmp', ...), and the registry entries each becomes.
//
// Every option maps to the entries the run module reads from the path's section: a bit of "Flags" or
// "DeleteFlags", a number entry, or a numbered pattern entry. "Flags" and "DeleteFlags" are always
// written whole and as REG_DWORD; the bits of every setting the user did not name keep the value
// in force now (a missing "Flags" means the run's defaults, a missing "DeleteFlags" the rules whose
// entries are present), so that the meaning of an existing configuration never changes by accident.
// Pure functions; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/RegistryHive.h"

namespace quillon {

class SourcePathRecord;

struct PathOptions {
    std::optional<bool> Compress;
    std::optional<bool> FullBackupScheduled;
    std::optional<bool> FullBackupByDays;
    std::optional<bool> FullBackupIfUnchanged;
    std::optional<bool> IncludeSubdirs;
    std::optional<bool> CopyOnFirstRun;
    std::optional<bool> WriteProtectCopies;
    std::optional<bool> ResetArchiveBit;
    std::optional<bool> PathActive;
    std::optional<bool> DeleteEnabled;
    std::optional<bool> DeleteOnlyArchived;
    std::optional<int32_t> FullBackupSep;      // runs
    std::optional<int32_t> FullBackupSepTage;  // days
    std::optional<int32_t> KeepBackups;
    std::optional<int32_t> KeepDays;
    std::optional<int32_t> KeepFullBackups;
    std::optional<int32_t> DelAfterBackups;
    std::optional<int32_t> DelAfterDays;
    std::optional<int32_t> DelAfterMemory;  // MB
    bool ClearPatterns = false;
    std::vector<std::string> Excludes;  // as given, in Windows form (see ParsePathOptions)
    std::vector<std::string> Forces;

    // No option given at all.
    bool Empty() const;
};

// Reads the options of args from index from on. Patterns are taken in the form the scan matches:
// an absolute native path in its Windows form through the drive map, '/' as '\'. False with a message
// in error for an unknown option, a missing or malformed number, or two options that contradict each
// other (--plain --compressed).
bool ParsePathOptions(const std::vector<std::string>& args, size_t from, PathOptions& options,
                      std::string& error);

// The value of one entry before and after a change; nullopt: absent.
struct EntryChange {
    std::string name;
    std::optional<RegistryValue> before;
    std::optional<RegistryValue> after;
};

// The changes that options make to a section whose stored values are stored (its values as
// EnumRegistryValues gives them) and which the run reads as current. "Flags" and "DeleteFlags" are
// always among them; the other entries only where an option names them. Patterns are appended after
// the ones the run reads, or replace all stored ones with ClearPatterns.
std::vector<EntryChange> PlanPathChanges(const std::vector<RegistryValue>& stored,
                                         const SourcePathRecord& current, const PathOptions& options);

// A stored REG_DWORD as a number, or nullopt for another type or size.
std::optional<uint32_t> DwordOf(const RegistryValue& value);
RegistryValue DwordValue(const std::string& name, uint32_t number);
// text is code page 1252.
RegistryValue TextValue(const std::string& name, const std::string& text);

// "0x00000826", "10", "\"C:\\Data\"" or "absent", for the report of what changed.
std::string DescribeValue(const std::optional<RegistryValue>& value);

}  // namespace quillon
