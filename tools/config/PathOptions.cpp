#include "config/PathOptions.h"

#include <cstdio>
#include <map>

#include "config/ConfiguredPath.h"
#include "config/SourcePathRecord.h"
#include "config/registrylit.h"
#include "reg/CodePage1252.h"

namespace quillon {
namespace {

namespace lit = registrylit;

// The bits a missing "Flags" stands for: the run's defaults (compressed, write-protected copies, the
// archive bit cleared, full backups scheduled; active, with subfolders, copying on the first run).
constexpr uint32_t kDefaultFlags =
    kFlagCompress | kFlagWriteProtectCopies | kFlagResetArchiveBit | kFlagFullBackupScheduled;
constexpr int32_t kLargestNumber = 1'000'000;

class Parser {
  public:
    Parser(const std::vector<std::string>& args, size_t from, PathOptions& options)
        : args_(args), next_(from), o_(options) {}

    bool Parse(std::string& error) {
        while (next_ < args_.size() && error_.empty()) {
            std::string option = args_[next_++];
            std::optional<std::string> inlineValue;
            if (size_t equals = option.find('='); option.rfind("--", 0) == 0 && equals != std::string::npos) {
                inlineValue = option.substr(equals + 1);
                option.resize(equals);
            }
            option_ = option;
            inline_ = inlineValue;
            One();
            if (error_.empty() && inline_) {
                error_ = option + " takes no value";
            }
        }
        error = error_;
        return error_.empty();
    }

  private:
    void One() {
        const std::string& o = option_;
        if (o == "--plain") {
            Set(o_.Compress, false);
        } else if (o == "--compressed") {
            Set(o_.Compress, true);
        } else if (o == "--full-every") {
            std::string value = Value();
            bool days = !value.empty() && (value.back() == 'd' || value.back() == 'D');
            int32_t number = Number(days ? value.substr(0, value.size() - 1) : value, 1);
            Set(o_.FullBackupScheduled, true);
            Set(o_.FullBackupByDays, days);
            Set(days ? o_.FullBackupSepTage : o_.FullBackupSep, number);
        } else if (o == "--no-full") {
            Set(o_.FullBackupScheduled, false);
        } else if (o == "--full-even-if-unchanged") {
            Set(o_.FullBackupIfUnchanged, true);
        } else if (o == "--full-only-if-changed") {
            Set(o_.FullBackupIfUnchanged, false);
        } else if (o == "--keep") {
            Set(o_.KeepBackups, Number(Value(), 0));
        } else if (o == "--keep-days") {
            Set(o_.KeepDays, Number(Value(), 0));
        } else if (o == "--keep-full") {
            Set(o_.KeepFullBackups, Number(Value(), 0));
        } else if (o == "--delete-after") {
            DeleteAfter(Value());
        } else if (o == "--no-delete") {
            Set(o_.DeleteEnabled, false);
        } else if (o == "--only-archived") {
            Set(o_.DeleteOnlyArchived, true);
        } else if (o == "--any-backup") {
            Set(o_.DeleteOnlyArchived, false);
        } else if (o == "--exclude" || o == "--force") {
            Pattern(o == "--exclude" ? o_.Excludes : o_.Forces, Value());
        } else if (o == "--clear-patterns") {
            o_.ClearPatterns = true;
        } else if (o == "--no-subfolders") {
            Set(o_.IncludeSubdirs, false);
        } else if (o == "--subfolders") {
            Set(o_.IncludeSubdirs, true);
        } else if (o == "--record-only-first") {
            Set(o_.CopyOnFirstRun, false);
        } else if (o == "--copy-first") {
            Set(o_.CopyOnFirstRun, true);
        } else if (o == "--write-protect") {
            Set(o_.WriteProtectCopies, true);
        } else if (o == "--no-write-protect") {
            Set(o_.WriteProtectCopies, false);
        } else if (o == "--reset-archive-bit") {
            Set(o_.ResetArchiveBit, true);
        } else if (o == "--keep-archive-bit") {
            Set(o_.ResetArchiveBit, false);
        } else if (o == "--off") {
            Set(o_.PathActive, false);
        } else if (o == "--on") {
            Set(o_.PathActive, true);
        } else {
            error_ = "unknown option " + o;
        }
    }

    std::string Value() {
        if (inline_) {
            std::string value = *inline_;
            inline_.reset();
            return value;
        }
        if (next_ >= args_.size()) {
            Fail(option_ + " needs a value");
            return std::string();
        }
        return args_[next_++];
    }

    void Fail(const std::string& message) {
        if (error_.empty()) {
            error_ = message;
        }
    }

    // A whole number from least to kLargestNumber.
    int32_t Number(const std::string& text, int32_t least) {
        if (text.empty() || text.size() > 7 || text.find_first_not_of("0123456789") != std::string::npos) {
            Fail(option_ + ": \"" + text + "\" is not a number");
            return 0;
        }
        int32_t number = std::stoi(text);
        if (number < least || number > kLargestNumber) {
            Fail(option_ + ": " + text + " is out of range (" + std::to_string(least) + " to " +
                 std::to_string(kLargestNumber) + ")");
        }
        return number;
    }

    void DeleteAfter(const std::string& value) {
        std::string upper;
        for (char c : value) {
            upper.push_back(static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c));
        }
        Set(o_.DeleteEnabled, true);
        if (upper.size() > 2 && upper.compare(upper.size() - 2, 2, "MB") == 0) {
            Set(o_.DelAfterMemory, Number(value.substr(0, value.size() - 2), 1));
        } else if (!upper.empty() && upper.back() == 'D') {
            Set(o_.DelAfterDays, Number(value.substr(0, value.size() - 1), 1));
        } else {
            Set(o_.DelAfterBackups, Number(value, 1));
        }
    }

    void Pattern(std::vector<std::string>& list, const std::string& value) {
        size_t first = value.find_first_not_of(' ');
        if (first == std::string::npos) {
            Fail(option_ + " needs a pattern that is not empty");
            return;
        }
        std::string pattern = value.substr(first, value.find_last_not_of(' ') - first + 1);
        if (IsNativeConfiguredPath(pattern)) {
            pattern = WindowsFormOfConfiguredPath(pattern);
        } else {
            for (char& c : pattern) {
                c = c == '/' ? '\\' : c;
            }
        }
        std::string stored;
        char32_t bad = 0;
        if (!ArgumentTo1252(pattern, stored, bad)) {
            Fail(option_ + " " + value + ": the character " + CharacterName(bad) + " cannot be stored");
            return;
        }
        list.push_back(pattern);
    }

    // Sets a field; naming it twice with two values is a contradiction, not a silent choice.
    template <typename T>
    void Set(std::optional<T>& field, T value) {
        const void* key = &field;
        if (field && *field != value) {
            Fail(setBy_[key] + " and " + option_ + " contradict each other");
            return;
        }
        field = value;
        setBy_[key] = option_;
    }

    const std::vector<std::string>& args_;
    size_t next_;
    PathOptions& o_;
    std::string option_;
    std::optional<std::string> inline_;
    std::string error_;
    std::map<const void*, std::string> setBy_;
};

std::string FoldAscii(const std::string& name) {
    std::string folded;
    for (char c : name) {
        folded.push_back(static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c));
    }
    return folded;
}

bool IsPatternEntry(const std::string& name) {
    std::string upper = FoldAscii(name);
    for (const char* head : {"EXCLUDE", "FORCE"}) {
        std::string prefix = head;
        if (upper.size() == prefix.size() + 3 && upper.compare(0, prefix.size(), prefix) == 0 &&
            upper.find_first_not_of("0123456789", prefix.size()) == std::string::npos) {
            return true;
        }
    }
    return false;
}

class Planner {
  public:
    explicit Planner(const std::vector<RegistryValue>& stored) : stored_(stored) {}

    std::optional<RegistryValue> Stored(const std::string& name) const {
        for (const RegistryValue& value : stored_) {
            if (FoldAscii(value.name) == FoldAscii(name)) {
                return value;
            }
        }
        return std::nullopt;
    }
    // The stored bit field, or nullopt when it is absent, -1 or not a REG_DWORD (the run ignores it).
    std::optional<uint32_t> StoredBits(const std::string& name) const {
        std::optional<RegistryValue> value = Stored(name);
        std::optional<uint32_t> bits = value ? DwordOf(*value) : std::nullopt;
        return bits && *bits != 0xFFFFFFFFu ? bits : std::nullopt;
    }
    void Change(const std::string& name, std::optional<RegistryValue> after) {
        for (EntryChange& change : changes_) {
            if (FoldAscii(change.name) == FoldAscii(name)) {
                change.after = std::move(after);
                return;
            }
        }
        std::optional<RegistryValue> before = Stored(name);
        if (after && before) {
            after->name = before->name;  // the spelling stored stays
        }
        changes_.push_back({before ? before->name : name, before, std::move(after)});
    }
    std::vector<EntryChange> Take() { return std::move(changes_); }

  private:
    const std::vector<RegistryValue>& stored_;
    std::vector<EntryChange> changes_;
};

void SetBit(uint32_t& bits, uint32_t bit, const std::optional<bool>& on) {
    if (on) {
        bits = *on ? bits | bit : bits & ~bit;
    }
}

std::optional<bool> Not(const std::optional<bool>& value) {
    return value ? std::optional<bool>(!*value) : std::nullopt;
}

std::optional<bool> IfGiven(const std::optional<int32_t>& value) {
    return value ? std::optional<bool>(true) : std::nullopt;
}

}  // namespace

bool PathOptions::Empty() const {
    return !Compress && !FullBackupScheduled && !FullBackupByDays && !FullBackupIfUnchanged &&
           !IncludeSubdirs && !CopyOnFirstRun && !WriteProtectCopies && !ResetArchiveBit && !PathActive &&
           !DeleteEnabled && !DeleteOnlyArchived && !FullBackupSep && !FullBackupSepTage && !KeepBackups &&
           !KeepDays && !KeepFullBackups && !DelAfterBackups && !DelAfterDays && !DelAfterMemory &&
           !ClearPatterns && Excludes.empty() && Forces.empty();
}

bool ParsePathOptions(const std::vector<std::string>& args, size_t from, PathOptions& options,
                      std::string& error) {
    return Parser(args, from, options).Parse(error);
}

std::vector<EntryChange> PlanPathChanges(const std::vector<RegistryValue>& stored,
                                         const SourcePathRecord& current, const PathOptions& o) {
    Planner plan(stored);

    uint32_t flags = plan.StoredBits(lit::kFlags).value_or(kDefaultFlags);
    SetBit(flags, kFlagCompress, o.Compress);
    SetBit(flags, kFlagFullBackupScheduled, o.FullBackupScheduled);
    SetBit(flags, kFlagFullBackupByDays, o.FullBackupByDays);
    SetBit(flags, kFlagFullBackupIfUnchanged, o.FullBackupIfUnchanged);
    SetBit(flags, kFlagNoSubdirs, Not(o.IncludeSubdirs));
    SetBit(flags, kFlagNoCopyOnFirstRun, Not(o.CopyOnFirstRun));
    SetBit(flags, kFlagWriteProtectCopies, o.WriteProtectCopies);
    SetBit(flags, kFlagResetArchiveBit, o.ResetArchiveBit);
    SetBit(flags, kFlagPathSwitchedOff, Not(o.PathActive));
    plan.Change(lit::kFlags, DwordValue(lit::kFlags, flags));

    // Without "DeleteFlags" the rules in force are those whose entries are present: the record says which.
    uint32_t deleteFlags = 0;
    if (std::optional<uint32_t> storedBits = plan.StoredBits(lit::kDeleteFlags)) {
        deleteFlags = *storedBits;
    } else {
        const SourcePathRecord& r = current;
        const std::pair<bool, uint32_t> inForce[] = {
            {r.DeleteEnabled, kDeleteEnabledBit},           {r.DelAfterBackupsActive, kDelAfterBackupsBit},
            {r.DelAfterDaysActive, kDelAfterDaysBit},       {r.DelAfterMemoryActive, kDelAfterMemoryBit},
            {r.KeepBackupsActive, kKeepBackupsBit},         {r.KeepDaysActive, kKeepDaysBit},
            {r.KeepFullBackupsActive, kKeepFullBackupsBit}, {r.DeleteOnlyArchived, kDeleteOnlyArchivedBit},
        };
        for (const auto& [on, bit] : inForce) {
            deleteFlags |= on ? bit : 0u;
        }
    }
    SetBit(deleteFlags, kDeleteEnabledBit, o.DeleteEnabled);
    SetBit(deleteFlags, kDelAfterBackupsBit, IfGiven(o.DelAfterBackups));
    SetBit(deleteFlags, kDelAfterDaysBit, IfGiven(o.DelAfterDays));
    SetBit(deleteFlags, kDelAfterMemoryBit, IfGiven(o.DelAfterMemory));
    SetBit(deleteFlags, kKeepBackupsBit, IfGiven(o.KeepBackups));
    SetBit(deleteFlags, kKeepDaysBit, IfGiven(o.KeepDays));
    SetBit(deleteFlags, kKeepFullBackupsBit, IfGiven(o.KeepFullBackups));
    SetBit(deleteFlags, kDeleteOnlyArchivedBit, o.DeleteOnlyArchived);
    plan.Change(lit::kDeleteFlags, DwordValue(lit::kDeleteFlags, deleteFlags));

    const std::pair<const char*, const std::optional<int32_t>*> numbers[] = {
        {lit::kFullBackupSep, &o.FullBackupSep},     {lit::kFullBackupSepTage, &o.FullBackupSepTage},
        {lit::kKeepBackups, &o.KeepBackups},         {lit::kKeepDays, &o.KeepDays},
        {lit::kKeepFullBackups, &o.KeepFullBackups}, {lit::kDelAfterBackups, &o.DelAfterBackups},
        {lit::kDelAfterDays, &o.DelAfterDays},       {lit::kDelAfterMemory, &o.DelAfterMemory},
    };
    for (const auto& [name, value] : numbers) {
        if (*value) {
            plan.Change(name, DwordValue(name, static_cast<uint32_t>(**value)));
        }
    }

    int32_t excludeStart = current.ExcludeList.Count();
    int32_t forceStart = current.ForceList.Count();
    if (o.ClearPatterns) {
        for (const RegistryValue& value : stored) {
            if (IsPatternEntry(value.name)) {
                plan.Change(value.name, std::nullopt);
            }
        }
        excludeStart = forceStart = 0;
    }
    for (size_t i = 0; i < o.Excludes.size(); ++i) {
        std::string name = lit::NumberedName(lit::kExcludeFormat, excludeStart + static_cast<int32_t>(i));
        plan.Change(name, TextValue(name, o.Excludes[i]));
    }
    for (size_t i = 0; i < o.Forces.size(); ++i) {
        std::string name = lit::NumberedName(lit::kForceFormat, forceStart + static_cast<int32_t>(i));
        plan.Change(name, TextValue(name, o.Forces[i]));
    }
    return plan.Take();
}

std::optional<uint32_t> DwordOf(const RegistryValue& value) {
    if (value.type != kRegDword || value.data.size() != 4) {
        return std::nullopt;
    }
    auto byte = [&](int i) { return static_cast<uint32_t>(static_cast<unsigned char>(value.data[i])); };
    return byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24;
}

RegistryValue DwordValue(const std::string& name, uint32_t number) {
    std::string data(4, '\0');
    for (int i = 0; i < 4; ++i) {
        data[i] = static_cast<char>(number >> (8 * i));
    }
    return {name, kRegDword, data};
}

RegistryValue TextValue(const std::string& name, const std::string& utf8) {
    std::string text;
    char32_t bad = 0;
    if (!ArgumentTo1252(utf8, text, bad)) {
        text = utf8;  // checked by the parser before; kept as given should it ever get here
    }
    text.push_back('\0');
    return {name, kRegSz, text};
}

std::string DescribeValue(const std::optional<RegistryValue>& value) {
    if (!value) {
        return "absent";
    }
    if (std::optional<uint32_t> number = DwordOf(*value)) {
        std::string upper = FoldAscii(value->name);
        if (upper == "FLAGS" || upper == "DELETEFLAGS") {
            char text[16];
            std::snprintf(text, sizeof text, "0x%08X", *number);
            return text;
        }
        return std::to_string(static_cast<int32_t>(*number));
    }
    if (value->type == kRegSz || value->type == kRegExpandSz) {
        return "\"" + ToUtf8(value->data.substr(0, value->data.find('\0'))) + "\"";
    }
    return "a value of type " + std::to_string(value->type) + " (" + std::to_string(value->data.size()) +
           " bytes)";
}

}  // namespace quillon
