#include "config/PathConfig.h"

#include "config/AppProfile.h"
#include "config/ConfiguredPath.h"
#include "config/registrylit.h"
#include "platform/Trace.h"
#include "support/CodePage1252.h"
#include "support/TextCase.h"
#include "support/TimeText.h"

namespace quillon {
namespace {

namespace lit = registrylit;

// The maximum number of exclude or force patterns of one path.
constexpr int32_t kMaxPatterns = 1000;

std::string TrimBlanks(const std::string& text) {
    size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) {
        return std::string();
    }
    size_t last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

void DecodeFlags(int32_t value, SourcePathRecord& record) {
    if (value == -1) {
        return;  // absent: every flag keeps its default
    }
    auto bits = static_cast<uint32_t>(value);
    record.FullBackupScheduled = (bits & kFlagFullBackupScheduled) != 0;
    record.FullBackupByDays = (bits & kFlagFullBackupByDays) != 0;
    record.FullBackupIfUnchanged = (bits & kFlagFullBackupIfUnchanged) != 0;
    record.PathActive = (bits & kFlagPathSwitchedOff) == 0;
    record.IncludeSubdirs = (bits & kFlagNoSubdirs) == 0;
    record.Compress = (bits & kFlagCompress) != 0;
    record.WriteProtectCopies = (bits & kFlagWriteProtectCopies) != 0;
    record.ResetArchiveBit = (bits & kFlagResetArchiveBit) != 0;
    record.CopyOnFirstRun = (bits & kFlagNoCopyOnFirstRun) == 0;
}

void DecodeDeleteFlags(int32_t value, SourcePathRecord& record) {
    if (value == -1) {
        return;
    }
    auto bits = static_cast<uint32_t>(value);
    record.DeleteEnabled = (bits & kDeleteEnabledBit) != 0;
    record.DelAfterBackupsActive = (bits & kDelAfterBackupsBit) != 0;
    record.DelAfterDaysActive = (bits & kDelAfterDaysBit) != 0;
    record.DelAfterMemoryActive = (bits & kDelAfterMemoryBit) != 0;
    record.KeepBackupsActive = (bits & kKeepBackupsBit) != 0;
    record.KeepDaysActive = (bits & kKeepDaysBit) != 0;
    record.KeepFullBackupsActive = (bits & kKeepFullBackupsBit) != 0;
    record.DeleteOnlyArchived = (bits & kDeleteOnlyArchivedBit) != 0;
}

// The six numeric deletion rules, then "DeleteFlags", which replaces every flag when present.
void ReadDeleteRules(const CAppProfile& profile, const std::string& section, SourcePathRecord& record) {
    ReadOptionalInt(profile, section, lit::kDelAfterBackups, record.DelAfterBackups,
                    record.DelAfterBackupsActive);
    ReadOptionalInt(profile, section, lit::kDelAfterDays, record.DelAfterDays, record.DelAfterDaysActive);
    ReadOptionalInt(profile, section, lit::kDelAfterMemory, record.DelAfterMemory,
                    record.DelAfterMemoryActive);
    ReadOptionalInt(profile, section, lit::kKeepDays, record.KeepDays, record.KeepDaysActive);
    ReadOptionalInt(profile, section, lit::kKeepBackups, record.KeepBackups, record.KeepBackupsActive);
    ReadOptionalInt(profile, section, lit::kKeepFullBackups, record.KeepFullBackups,
                    record.KeepFullBackupsActive);
    record.DeleteEnabled =
        record.DelAfterBackupsActive || record.DelAfterDaysActive || record.DelAfterMemoryActive;
    DecodeDeleteFlags(profile.GetProfileInt(section, lit::kDeleteFlags, -1), record);
}

// Appends the patterns "<format>000", "<format>001", ... up to the first empty one.
void LoadPatterns(const CAppProfile& profile, const std::string& section, const char* format,
                  PArray<PatternEntry>& list) {
    for (int32_t k = 0; k < kMaxPatterns; ++k) {
        std::string text = profile.GetProfileString(section, lit::NumberedName(format, k), "");
        if (text.empty()) {
            break;
        }
        auto* entry = list.Append(new PatternEntry);
        // A pattern written as a native path ("/home/me/Documents/cache/*") is matched against the
        // Windows form of the files' paths, like the source it lies in.
        entry->Pattern = WindowsFormOfConfiguredPath(Cp1252ToUtf8(TrimBlanks(text)));
        entry->PatternUpper = ToUpperPath(entry->Pattern);
    }
}

// Positive: the number read as unsigned, so that only a stored 0 is raised to 1.
int32_t AtLeastOne(int32_t value) {
    return value == 0 ? 1 : value;
}

}  // namespace

PathConfig::~PathConfig() {
    ClearPathConfig(*this);
}

void ClearPathConfig(PathConfig& config) {
    config.CurrentPath = nullptr;
    DeleteAll(config.PathRecords);
}

void ReadOptionalInt(const CAppProfile& profile, const std::string& section, const std::string& entry,
                     int32_t& value, bool& active) {
    int32_t result = profile.GetProfileInt(section, entry, -1);
    active = result != -1;
    if (active) {
        value = result;
    }
}

void LoadPathConfig(const CAppProfile& profile, PathConfig& config, std::atomic<int32_t>& activityCounter) {
    ++activityCounter;
    ClearPathConfig(config);
    config.OnlyOncePerDay = profile.GetProfileInt(lit::kSettings, lit::kOnlyOncePerDay, 1);
    config.Vortagsdatum = profile.GetProfileInt(lit::kSettings, lit::kVortagsdatum, 1);
    config.TotalFullBackup = profile.GetProfileInt(lit::kDynData, lit::kTotalFullBackup, 0);

    for (int32_t i = 0;; ++i) {
        std::string section = lit::PathSection(i);
        std::string sourcePath = profile.GetProfileString(section, lit::kSourcePath, "");
        if (sourcePath.empty()) {
            break;  // sections are numbered without gaps: the first empty one closes the list
        }
        std::string destPath = profile.GetProfileString(section, lit::kDestPath, "");
        if (destPath.empty()) {
            Trace("** DestPath zu %s fehlt\n", sourcePath.c_str());
            break;
        }
        SourcePathRecord& record = *config.PathRecords.Append(new SourcePathRecord);
        record.PathIndex = i;
        // The registry holds code page 1252; names on disk are UTF-8. A native path ("/home/me/x")
        // becomes its Windows form here, so that the control file and the error lines keep theirs.
        record.SourcePath = WindowsFormOfConfiguredPath(Cp1252ToUtf8(sourcePath));
        record.SourcePathUpper = ToUpperPath(record.SourcePath);
        record.DestPath = WindowsFormOfConfiguredPath(Cp1252ToUtf8(destPath));

        record.NextRunTime =
            ParseRegistryMinuteTime(profile.GetProfileString(section, lit::kNextRunTime, ""));
        record.LastRunTime = ParseRegistryTime(profile.GetProfileString(section, lit::kLastRunTime, ""));
        record.LatestSaveDate =
            ParseRegistryMinuteTime(profile.GetProfileString(section, lit::kLatestSaveDate, ""));
        record.FullBackupNext = profile.GetProfileInt(section, lit::kFullBackupNext, 0) != 0;
        DecodeFlags(profile.GetProfileInt(section, lit::kFlags, -1), record);
        record.FullBackupSep = AtLeastOne(profile.GetProfileInt(section, lit::kFullBackupSep, 20));
        record.FullBackupSepTage = AtLeastOne(profile.GetProfileInt(section, lit::kFullBackupSepTage, 28));
        record.FB_NextTime = ParseRegistryMinuteTime(profile.GetProfileString(section, lit::kFBNextTime, ""));

        ReadDeleteRules(profile, section, record);

        LoadPatterns(profile, section, lit::kExcludeFormat, record.ExcludeList);
        LoadPatterns(profile, section, lit::kForceFormat, record.ForceList);
    }
}

int32_t DeleteFlagsInForce(const CAppProfile& profile, const std::string& section) {
    SourcePathRecord record;
    ReadDeleteRules(profile, section, record);
    uint32_t bits = 0;
    const std::pair<bool, uint32_t> flags[] = {
        {record.DeleteEnabled, kDeleteEnabledBit},
        {record.DelAfterBackupsActive, kDelAfterBackupsBit},
        {record.DelAfterDaysActive, kDelAfterDaysBit},
        {record.DelAfterMemoryActive, kDelAfterMemoryBit},
        {record.KeepBackupsActive, kKeepBackupsBit},
        {record.KeepDaysActive, kKeepDaysBit},
        {record.KeepFullBackupsActive, kKeepFullBackupsBit},
        {record.DeleteOnlyArchived, kDeleteOnlyArchivedBit},
    };
    for (auto [active, bit] : flags) {
        if (active) {
            bits |= bit;
        }
    }
    return static_cast<int32_t>(bits);
}

}  // namespace quillon
