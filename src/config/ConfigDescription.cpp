#include "config/ConfigDescription.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <map>
#include <optional>

#include "config/AppProfile.h"
#include "config/ConfiguredPath.h"
#include "config/PathConfig.h"
#include "config/SourcePathRecord.h"
#include "config/registrylit.h"
#include "platform/DriveMap.h"
#include "platform/FileAttributes.h"
#include "platform/LastError.h"
#include "platform/RegistryHive.h"
#include "support/CodePage1252.h"
#include "support/TextCase.h"
#include "support/TimeText.h"

namespace quillon {
namespace {

namespace lit = registrylit;

enum class EntryKind : uint8_t { kText, kNumber };

struct KnownEntry {
    const char* name;
    EntryKind kind;
};

// Every entry of a path section that the run reads or writes; the patterns are numbered apart.
constexpr KnownEntry kPathEntries[] = {
    {lit::kSourcePath, EntryKind::kText},
    {lit::kDestPath, EntryKind::kText},
    {lit::kNextRunTime, EntryKind::kText},
    {lit::kLastRunTime, EntryKind::kText},
    {lit::kLatestSaveDate, EntryKind::kText},
    {lit::kFBNextTime, EntryKind::kText},
    {lit::kFlags, EntryKind::kNumber},
    {lit::kFullBackupSep, EntryKind::kNumber},
    {lit::kFullBackupSepTage, EntryKind::kNumber},
    {lit::kFullBackupNext, EntryKind::kNumber},
    {lit::kDelAfterBackups, EntryKind::kNumber},
    {lit::kDelAfterDays, EntryKind::kNumber},
    {lit::kDelAfterMemory, EntryKind::kNumber},
    {lit::kKeepDays, EntryKind::kNumber},
    {lit::kKeepBackups, EntryKind::kNumber},
    {lit::kKeepFullBackups, EntryKind::kNumber},
    {lit::kDeleteFlags, EntryKind::kNumber},
    {lit::kHideDialogs, EntryKind::kNumber},
};
constexpr const char* kPatternPrefixes[] = {"Exclude", "Force"};

// "Exclude" or "Force" and exactly three digits: the number, else -1.
int32_t PatternNumber(const std::string& name, const char* prefix) {
    std::string upper = ToUpperPath(name);
    std::string head = ToUpperPath(prefix);
    if (upper.size() != head.size() + 3 || upper.compare(0, head.size(), head) != 0) {
        return -1;
    }
    int32_t number = 0;
    for (size_t i = head.size(); i < upper.size(); ++i) {
        if (upper[i] < '0' || upper[i] > '9') {
            return -1;
        }
        number = number * 10 + (upper[i] - '0');
    }
    return number;
}

std::optional<EntryKind> KindOfEntry(const std::string& name) {
    std::string folded = FoldRegistryName(name);
    for (const KnownEntry& entry : kPathEntries) {
        if (FoldRegistryName(entry.name) == folded) {
            return entry.kind;
        }
    }
    for (const char* prefix : kPatternPrefixes) {
        if (PatternNumber(name, prefix) >= 0) {
            return EntryKind::kText;
        }
    }
    return std::nullopt;
}

size_t EditDistance(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) {
        row[j] = j;
    }
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

const char* TypeName(uint32_t type) {
    switch (type) {
        case kRegNone:
            return "REG_NONE";
        case kRegSz:
            return "REG_SZ";
        case kRegExpandSz:
            return "REG_EXPAND_SZ";
        case kRegBinary:
            return "REG_BINARY";
        case kRegDword:
            return "REG_DWORD";
        case kRegMultiSz:
            return "REG_MULTI_SZ";
        case kRegQword:
            return "REG_QWORD";
        default:
            return "an unknown type";
    }
}

std::string Hex(uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

// The stored values of one section, by folded name.
class SectionValues {
  public:
    SectionValues(const CAppProfile& profile, const std::string& section) {
        RegistryKey key;
        if (OpenRegistryKey(HiveRoot::kCurrentUser, profile.SectionKey(section), key) == kErrorSuccess) {
            EnumRegistryValues(key, values_);
        }
    }
    const std::vector<RegistryValue>& All() const { return values_; }
    const RegistryValue* Find(const std::string& name) const {
        std::string folded = FoldRegistryName(name);
        for (const RegistryValue& value : values_) {
            if (FoldRegistryName(value.name) == folded) {
                return &value;
            }
        }
        return nullptr;
    }
    // The number as the run reads it: a REG_DWORD of 4 bytes.
    std::optional<uint32_t> Number(const std::string& name) const {
        const RegistryValue* value = Find(name);
        if (value == nullptr || value->type != kRegDword || value->data.size() != 4) {
            return std::nullopt;
        }
        auto byte = [&](int i) { return static_cast<uint32_t>(static_cast<unsigned char>(value->data[i])); };
        return byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24;
    }

  private:
    std::vector<RegistryValue> values_;
};

// The native form of a Windows-form path, or the path itself when no drive holds it.
std::string NativeOf(const std::string& windowsPath) {
    std::string native;
    return Drives().ToNative(windowsPath, native) ? native : windowsPath;
}

std::string ParentOf(const std::string& nativePath) {
    size_t slash = nativePath.find_last_of('/');
    if (slash == std::string::npos) {
        return std::string();
    }
    return slash == 0 ? "/" : nativePath.substr(0, slash);
}

// Whether windowsPath is an existing folder; exists tells whether anything is there at all.
bool IsFolder(const std::string& windowsPath, bool& exists) {
    int32_t lastError = GetLastError();
    uint32_t attributes = 0;
    exists = ReadFileAttributes(windowsPath, attributes);
    SetLastError(lastError);
    return exists && (attributes & kAttributeDirectory) != 0;
}

class PathDescriber {
  public:
    PathDescriber(const CAppProfile& profile, const SourcePathRecord& record)
        : record_(record), values_(profile, lit::PathSection(record.PathIndex)) {}

    PathDescription Describe() {
        out_.index = record_.PathIndex;
        out_.section = lit::PathSection(record_.PathIndex);
        out_.source = NativeOf(record_.SourcePath);
        out_.dest = NativeOf(record_.DestPath);
        DescribeFolders();
        DescribeFlags();
        DescribeFullBackups();
        DescribeRetention();
        DescribePatterns();
        DescribeRunState();
        CheckStoredValues();
        return std::move(out_);
    }

  private:
    void Line(const std::string& label, const std::string& text, const std::string& entries) {
        out_.lines.push_back({label, text, entries});
    }
    void Problem(const std::string& text) { out_.problems.push_back(text); }

    std::string TextEntry(const char* name) const {
        const RegistryValue* value = values_.Find(name);
        if (value == nullptr) {
            return std::string(name) + " absent";
        }
        return std::string(name) + " = \"" + Cp1252ToUtf8(value->data.substr(0, value->data.find('\0'))) +
               "\"";
    }
    // "Flags = 0x00000826, bit 0x800 set", or how the default applies.
    std::string FlagsEntry(const char* name, uint32_t bits) const {
        std::optional<uint32_t> stored = values_.Number(name);
        if (!stored || *stored == 0xFFFFFFFFu) {
            return std::string(name) + " absent: the default";
        }
        std::string text = std::string(name) + " = " + Hex(*stored, 8) + ",";
        for (uint32_t bit = 1; bit != 0; bit <<= 1) {
            if ((bits & bit) != 0) {
                text += " bit " + Hex(bit, 1) + ((*stored & bit) != 0 ? " set" : " clear") + ",";
            }
        }
        text.pop_back();
        return text;
    }
    std::string NumberEntry(const char* name, int32_t value) const {
        std::optional<uint32_t> stored = values_.Number(name);
        if (!stored) {
            return std::string(name) + " absent: default " + std::to_string(value);
        }
        return std::string(name) + " = " + std::to_string(static_cast<int32_t>(*stored));
    }

    void DescribeFolders() {
        Line("Source", out_.source, TextEntry(lit::kSourcePath));
        Line("Destination", out_.dest, TextEntry(lit::kDestPath));
        CheckFolder(record_.SourcePath, out_.source, true);
        CheckFolder(record_.DestPath, out_.dest, false);
    }

    void CheckFolder(const std::string& windowsPath, const std::string& native, bool isSource) {
        const char* what = isSource ? "source" : "destination";
        if (native == windowsPath) {
            Problem(std::string("the ") + what + " " + windowsPath +
                    " is not a path on a drive of the drive map " + Drives().Folder() +
                    " (write a full path such as /home/me/Documents)");
            return;
        }
        bool exists = false;
        if (IsFolder(windowsPath, exists)) {
            return;
        }
        if (exists) {
            if (!isSource) {  // a source may be a single file
                Problem("the destination " + native + " is not a folder");
            }
        } else if (isSource) {
            Problem("the source folder " + native + " does not exist");
        } else {
            std::string parent = ParentOf(native);
            std::string parentWindows;
            bool parentExists = false;
            if (!parent.empty() && Drives().ToWindows(parent, parentWindows) &&
                !IsFolder(parentWindows, parentExists)) {
                Problem("the destination's parent folder " + parent + " does not exist");
            }
        }
    }

    void DescribeFlags() {
        if (!record_.PathActive) {
            Line("Active", "no: switched off, takes no part in runs",
                 FlagsEntry(lit::kFlags, kFlagPathSwitchedOff));
        }
        Line("Storage", record_.Compress ? "compressed into zip archives" : "plain copies of the files",
             FlagsEntry(lit::kFlags, kFlagCompress));
        Line("Subfolders",
             record_.IncludeSubdirs ? "included" : "left out: only the files of the source folder itself",
             FlagsEntry(lit::kFlags, kFlagNoSubdirs));
        Line("First run",
             record_.CopyOnFirstRun ? "copies every file" : "only records the files, copies none",
             FlagsEntry(lit::kFlags, kFlagNoCopyOnFirstRun));
        Line("Copies", record_.WriteProtectCopies ? "write-protected" : "not write-protected",
             FlagsEntry(lit::kFlags, kFlagWriteProtectCopies));
        Line("Archive bit",
             record_.ResetArchiveBit ? "cleared on each source file once it is copied" : "left as it is",
             FlagsEntry(lit::kFlags, kFlagResetArchiveBit));
    }

    void DescribeFullBackups() {
        std::string text;
        std::string entries = FlagsEntry(
            lit::kFlags, kFlagFullBackupScheduled | kFlagFullBackupByDays | kFlagFullBackupIfUnchanged);
        if (!record_.FullBackupScheduled) {
            text = "none scheduled: every backup after the first holds only changed files";
        } else if (record_.FullBackupByDays) {
            text = "every " + std::to_string(record_.FullBackupSepTage) + " days";
            if (record_.FB_NextTime.IsSet()) {
                text += ", next on " + record_.FB_NextTime.Format(kDatePattern);
            }
            entries += "; " + NumberEntry(lit::kFullBackupSepTage, record_.FullBackupSepTage);
        } else {
            text = "every " + std::to_string(record_.FullBackupSep) + " runs";
            entries += "; " + NumberEntry(lit::kFullBackupSep, record_.FullBackupSep);
        }
        if (record_.FullBackupScheduled && record_.FullBackupIfUnchanged) {
            text += ", made even when no file changed";
        }
        if (record_.FullBackupNext) {
            text += "; the next run makes one";
            entries += "; FullBackupNext = 1";
        }
        Line("Full backups", text, entries);
    }

    std::string RuleEntries(const char* name, uint32_t bit, int32_t value) const {
        if (values_.Number(lit::kDeleteFlags) && *values_.Number(lit::kDeleteFlags) != 0xFFFFFFFFu) {
            return FlagsEntry(lit::kDeleteFlags, bit) + "; " + NumberEntry(name, value);
        }
        return NumberEntry(name, value);
    }

    void DescribeRetention() {
        const SourcePathRecord& r = record_;
        bool anyRule = r.DelAfterBackupsActive || r.DelAfterDaysActive || r.DelAfterMemoryActive ||
                       r.KeepBackupsActive || r.KeepDaysActive || r.KeepFullBackupsActive;
        std::string flagsEntry = FlagsEntry(lit::kDeleteFlags, kDeleteEnabledBit);
        if (!r.DeleteEnabled) {
            Line("Old backups",
                 anyRule ? "never deleted (the rules below are stored but not applied)" : "never deleted",
                 flagsEntry);
        } else {
            Line("Old backups", "deleted by the rules below", flagsEntry);
        }
        if (r.DelAfterBackupsActive) {
            Line("Delete", "backups beyond the newest " + std::to_string(r.DelAfterBackups),
                 RuleEntries(lit::kDelAfterBackups, kDelAfterBackupsBit, r.DelAfterBackups));
        }
        if (r.DelAfterDaysActive) {
            Line("Delete", "backups older than " + std::to_string(r.DelAfterDays) + " days",
                 RuleEntries(lit::kDelAfterDays, kDelAfterDaysBit, r.DelAfterDays));
        }
        if (r.DelAfterMemoryActive) {
            Line("Delete",
                 "the oldest backups while all take more than " + std::to_string(r.DelAfterMemory) + " MB",
                 RuleEntries(lit::kDelAfterMemory, kDelAfterMemoryBit, r.DelAfterMemory));
        }
        if (r.KeepBackupsActive) {
            Line("Keep", "at least the newest " + std::to_string(r.KeepBackups) + " backups",
                 RuleEntries(lit::kKeepBackups, kKeepBackupsBit, r.KeepBackups));
        }
        if (r.KeepDaysActive) {
            Line("Keep", "every backup of the last " + std::to_string(r.KeepDays) + " days",
                 RuleEntries(lit::kKeepDays, kKeepDaysBit, r.KeepDays));
        }
        if (r.KeepFullBackupsActive) {
            Line("Keep", "at least the newest " + std::to_string(r.KeepFullBackups) + " full backups",
                 RuleEntries(lit::kKeepFullBackups, kKeepFullBackupsBit, r.KeepFullBackups));
        }
        if (r.DeleteOnlyArchived) {
            Line("Delete", "only backups marked as archived elsewhere",
                 FlagsEntry(lit::kDeleteFlags, kDeleteOnlyArchivedBit));
        }
    }

    void DescribePatternList(const PArray<PatternEntry>& list, const char* label, const char* format,
                             const char* kind) {
        for (int32_t k = 0; k < list.Count(); ++k) {
            const std::string& pattern = list.Get(k)->Pattern;
            Line(label, pattern, TextEntry(lit::NumberedName(format, k).c_str()));
            if (!PatternCanMatchBelow(pattern, record_.SourcePath)) {
                Problem(std::string("the ") + kind + " pattern " + pattern + " cannot match any file below " +
                        record_.SourcePath + ": " + PatternHint(pattern));
            }
        }
    }

    void DescribePatterns() {
        DescribePatternList(record_.ExcludeList, "Excluded", lit::kExcludeFormat, "exclude");
        DescribePatternList(record_.ForceList, "Always saved", lit::kForceFormat, "force");
    }

    void DescribeRunState() {
        Line("Last run",
             record_.LastRunTime.IsSet() ? record_.LastRunTime.Format(kTimeSecondPattern) : "never",
             TextEntry(lit::kLastRunTime));
        if (record_.NextRunTime.IsSet()) {
            Line("Next due", record_.NextRunTime.Format(kTimeMinutePattern), TextEntry(lit::kNextRunTime));
        }
    }

    // Values the run ignores without a word: a known entry of the wrong type, an unknown name, a
    // pattern after a gap in the numbering.
    void CheckStoredValues() {
        for (const RegistryValue& value : values_.All()) {
            std::optional<EntryKind> kind = KindOfEntry(value.name);
            // Names are code page 1252 in the registry; the report is UTF-8.
            std::string name = value.name.empty() ? "The default value" : Cp1252ToUtf8(value.name);
            if (!kind) {
                std::string nearest = NearestPathEntryName(value.name);
                Problem(nearest.empty() ? name + ": unknown entry, not read"
                                        : name + ": did you mean " + nearest + "?");
            } else if (*kind == EntryKind::kNumber && (value.type != kRegDword || value.data.size() != 4)) {
                Problem(name + " is stored as " +
                        (value.type == kRegSz ? "text (REG_SZ)" : TypeName(value.type)) +
                        " and is ignored: it must be a REG_DWORD");
            } else if (*kind == EntryKind::kText && value.type != kRegSz && value.type != kRegExpandSz) {
                Problem(name + " is stored as " + TypeName(value.type) +
                        " and is ignored: it must be text (REG_SZ)");
            }
        }
        CheckPatternNumbering(lit::kExcludeFormat, record_.ExcludeList.Count(), "Exclude");
        CheckPatternNumbering(lit::kForceFormat, record_.ForceList.Count(), "Force");
    }

    void CheckPatternNumbering(const char* format, int32_t loaded, const char* prefix) {
        std::string gap = lit::NumberedName(format, loaded);
        for (const RegistryValue& value : values_.All()) {
            int32_t number = PatternNumber(value.name, prefix);
            if (number > loaded) {
                Problem(value.name + " is not read because " + gap + " is missing");
            }
        }
    }

    const SourcePathRecord& record_;
    SectionValues values_;
    PathDescription out_;
};

// "Path" and three digits: the number, else -1.
int32_t PathSectionNumber(const std::string& name) {
    return PatternNumber(name, "Path");
}

// The sections that the run does not reach: every "PathNNN" after the one that ends the list, and
// section names of another form.
void CheckSections(const CAppProfile& profile, int32_t loaded, ConfigDescription& out) {
    RegistryKey key;
    std::vector<std::string> names;
    if (OpenRegistryKey(HiveRoot::kCurrentUser, profile.ProfileKey(), key) != kErrorSuccess ||
        EnumRegistrySubkeys(key, names) != kErrorSuccess) {
        return;
    }
    std::string end = lit::PathSection(loaded);
    std::string endSource = profile.GetProfileString(end, lit::kSourcePath, "");
    bool endExists = std::any_of(names.begin(), names.end(), [&](const std::string& n) {
        return FoldRegistryName(n) == FoldRegistryName(end);
    });
    if (endExists && endSource.empty()) {
        out.problems.push_back(end + " is not read because its SourcePath is missing");
    } else if (endExists) {
        out.problems.push_back(end + " (" + NativeOf(WindowsFormOfConfiguredPath(Cp1252ToUtf8(endSource))) +
                               ") is not read because its DestPath is missing");
    }
    for (const std::string& name : names) {
        int32_t number = PathSectionNumber(name);
        std::string upper = ToUpperPath(name);
        if (number > loaded) {
            out.problems.push_back(name + " is not read because " + end +
                                   (endExists ? " ends the list" : " is missing"));
        } else if (number < 0 && upper.rfind("PATH", 0) == 0) {
            out.problems.push_back(name + " is not read: path sections are named Path000, Path001, ...");
        } else if (number < 0) {
            // A misspelt "Settings" or "DynData" leaves every setting in it at its default.
            for (const char* known : {lit::kSettings, lit::kDynData}) {
                size_t distance = EditDistance(upper, ToUpperPath(known));
                if (distance > 0 && distance <= 2) {
                    out.problems.push_back(name + ": did you mean " + known + "?");
                }
            }
        }
    }
}

}  // namespace

std::string DescribeUnreadableHive(int32_t error) {
    std::string text = "the user hive " + HiveFilePath(HiveRoot::kCurrentUser) + " cannot be read: ";
    return text + (error == kErrorBadDb ? "it is damaged or not a hive" : "it is not a readable file");
}

size_t ConfigDescription::ProblemCount() const {
    size_t count = problems.size();
    for (const PathDescription& path : paths) {
        count += path.problems.size();
    }
    return count;
}

PathDescription DescribePath(const CAppProfile& profile, const SourcePathRecord& record) {
    return PathDescriber(profile, record).Describe();
}

ConfigDescription DescribeConfiguration(const CAppProfile& profile) {
    ConfigDescription out;
    out.profileKey = profile.ProfileKey();
    out.hiveFile = HiveFilePath(HiveRoot::kCurrentUser);
    if (int32_t error = profile.ProfileReadError(); error != kErrorSuccess) {
        out.problems.push_back(DescribeUnreadableHive(error));
        return out;
    }
    // The machine hive holds what every program shares (the run semaphore, the last run times); a
    // damaged one is passed over for the user hive, so that programs no longer see each other's runs.
    RegistryKey machine;
    int32_t machineError = OpenRegistryKey(HiveRoot::kLocalMachine, "", machine);
    if (machineError != kErrorSuccess && machineError != kErrorFileNotFound) {
        out.problems.push_back(
            "the machine hive " + HiveFilePath(HiveRoot::kLocalMachine) + " cannot be read: " +
            (machineError == kErrorBadDb ? "it is damaged or not a hive" : "it is not a readable file"));
    }
    PathConfig config;
    std::atomic<int32_t> activity{0};
    LoadPathConfig(profile, config, activity);
    for (int32_t i = 0; i < config.PathRecords.Count(); ++i) {
        out.paths.push_back(DescribePath(profile, *config.PathRecords.Get(i)));
    }
    CheckSections(profile, config.PathRecords.Count(), out);
    if (out.paths.empty()) {
        out.problems.push_back("no backup path is configured");
    }
    return out;
}

std::string FormatPathDescription(const PathDescription& path, bool withEntries) {
    std::string text = "Path " + std::to_string(path.index + 1) + " (" + path.section + ")\n";
    for (const DescribedLine& line : path.lines) {
        std::string label = line.label + ":";
        label.resize(std::max<size_t>(label.size() + 1, 15), ' ');
        text += "  " + label + line.text + "\n";
        if (withEntries && !line.entries.empty()) {
            text += "                   from " + line.entries + "\n";
        }
    }
    for (const std::string& problem : path.problems) {
        text += "  Problem: " + problem + "\n";
    }
    return text;
}

std::string FormatConfigDescription(const ConfigDescription& description) {
    std::string text = "Configuration in HKEY_CURRENT_USER\\" + description.profileKey + " of " +
                       description.hiveFile + "\n";
    for (const PathDescription& path : description.paths) {
        text += "\n" + FormatPathDescription(path, false);
    }
    if (!description.problems.empty()) {
        text += "\n";
    }
    for (const std::string& problem : description.problems) {
        text += "Problem: " + problem + "\n";
    }
    size_t count = description.ProblemCount();
    text += "\n";
    text += count == 0 ? std::string("No problem found.\n")
                       : std::to_string(count) + (count == 1 ? " problem found.\n" : " problems found.\n");
    return text;
}

std::string NearestPathEntryName(const std::string& name) {
    std::string upper = ToUpperPath(name);
    // A pattern entry with its number in another form: "Exclude1" is meant as "Exclude001".
    for (const char* prefix : kPatternPrefixes) {
        std::string head = ToUpperPath(prefix);
        if (upper.size() > head.size() && upper.compare(0, head.size(), head) == 0 &&
            upper.find_first_not_of("0123456789", head.size()) == std::string::npos &&
            upper.size() - head.size() <= 4) {
            int32_t number = std::stoi(upper.substr(head.size()));
            if (number < 1000) {
                return lit::NumberedName(
                    prefix == std::string("Exclude") ? lit::kExcludeFormat : lit::kForceFormat, number);
            }
        }
    }
    std::string best;
    size_t bestDistance = std::string::npos;
    auto consider = [&](const std::string& candidate) {
        size_t distance = EditDistance(upper, ToUpperPath(candidate));
        if (distance < bestDistance) {
            bestDistance = distance;
            best = candidate;
        }
    };
    for (const KnownEntry& entry : kPathEntries) {
        consider(entry.name);
    }
    consider("Exclude000");
    consider("Force000");
    // Near enough to be a misspelling: a third of the name's letters at most.
    return bestDistance <= std::max<size_t>(1, best.size() / 3) ? best : std::string();
}

bool PatternCanMatchBelow(const std::string& pattern, const std::string& sourcePath) {
    std::string upper = ToUpperPath(pattern);
    std::string prefix = upper.substr(0, upper.find('*'));
    std::string source = ToUpperPath(sourcePath);
    std::string below = !source.empty() && source.back() == '\\' ? source : source + "\\";
    // A pattern that names the source folder itself covers all of it (the scan appends "\*").
    return below.compare(0, prefix.size(), prefix) == 0 || prefix.compare(0, below.size(), below) == 0 ||
           prefix == source;
}

std::string PatternHint(const std::string& pattern) {
    std::string windows;
    for (char c : pattern) {
        windows.push_back(c == '/' ? '\\' : c);
    }
    bool relative = windows.size() < 2 || windows[1] != ':';
    if (relative && !windows.empty() && windows[0] != '\\') {
        return "patterns are matched against whole paths; write *\\" + windows + " to match it at any depth";
    }
    return "patterns are matched against whole paths below the source, such as " +
           std::string("*\\cache\\* or the source's own path followed by \\cache\\*");
}

}  // namespace quillon
