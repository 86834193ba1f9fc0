#include "config/ConfigCommand.h"

#include <atomic>
#include <map>
#include <ostream>
#include <sstream>

#include "config/AppProfile.h"
#include "config/ConfigDescription.h"
#include "config/ConfiguredPath.h"
#include "config/PathConfig.h"
#include "config/PathOptions.h"
#include "config/Registrierung.h"
#include "config/registrylit.h"
#include "platform/DriveMap.h"
#include "platform/FileAttributes.h"
#include "platform/FileSystem.h"
#include "reg/CodePage1252.h"
#include "reg/RegCommand.h"
#include "support/ErrorText.h"
#include "support/TextCase.h"
#include "support/TimeText.h"

namespace quillon {
namespace {

namespace lit = registrylit;

constexpr const char* kUsage =
    "Usage: quillon-config [--profile N] COMMAND\n"
    "\n"
    "  list                         every path in words, numbered, with its problems\n"
    "  show N                       one path in words, and the registry entries behind each line\n"
    "  add SOURCE DEST [OPTIONS]    adds a path (SOURCE and DEST are folders; a Windows-form path is taken "
    "as it is)\n"
    "  set N OPTIONS                changes path N; what no option names stays as it is\n"
    "  remove N                     removes path N; the paths after it move up one number\n"
    "  schedule HH:MM | off         daily run time of the program started with /W\n"
    "  export FILE                  writes the whole configuration to a .reg file\n"
    "  import FILE                  reads a .reg file into the registry\n"
    "\n"
    "OPTIONS of add and set:\n"
    "  --plain | --compressed                 plain copies, or zip archives\n"
    "  --full-every N | Nd | --no-full        full backup every N runs, every N days, or never\n"
    "  --full-even-if-unchanged | --full-only-if-changed\n"
    "  --keep N, --keep-days N, --keep-full N always keep N backups, those of N days, N full ones\n"
    "  --delete-after N | Nd | NMB            delete backups beyond N, older than N days, beyond N MB\n"
    "  --no-delete                            never delete old backups (the rules stay stored)\n"
    "  --only-archived | --any-backup         delete only backups marked as archived elsewhere, or any\n"
    "  --exclude PATTERN, --force PATTERN     leave out / always save (repeatable); --clear-patterns\n"
    "  --no-subfolders | --subfolders\n"
    "  --record-only-first | --copy-first     the first run only records the files, or copies them\n"
    "  --write-protect | --no-write-protect   backup copies read-only or not\n"
    "  --reset-archive-bit | --keep-archive-bit\n"
    "  --off | --on                           the path takes part in runs or not\n"
    "\n"
    "--profile 1..9 works on the profile of quillon-run /1../9. Changes take effect at the next run.\n"
    "Exit status: 0 done, 1 failed, 2 wrong arguments (nothing written).\n";

// An absolute native path without "." and ".." steps and doubled '/', so that the registry and the
// control files name the folder as the user sees it ("/home/me/x/../Documents" is /home/me/Documents).
std::string LexicallyNormal(const std::string& native) {
    std::vector<std::string> steps;
    size_t at = 0;
    while (at <= native.size()) {
        size_t end = native.find('/', at);
        end = end == std::string::npos ? native.size() : end;
        std::string step = native.substr(at, end - at);
        if (step == "..") {
            if (!steps.empty()) {
                steps.pop_back();
            }
        } else if (!step.empty() && step != ".") {
            steps.push_back(step);
        }
        at = end + 1;
    }
    std::string normal;
    for (const std::string& step : steps) {
        normal += "/" + step;
    }
    return normal.empty() ? "/" : normal;
}

class Command {
  public:
    Command(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

    int Run(std::vector<std::string> args) {
        int32_t instance = 0;
        for (size_t i = 0; i < args.size(); ++i) {
            if (args[i] == "--help" || args[i] == "-h") {
                out_ << kUsage;
                return 0;
            }
            if (args[i] == "--profile") {
                if (i + 1 >= args.size() || args[i + 1].size() != 1 || args[i + 1][0] < '1' ||
                    args[i + 1][0] > '9') {
                    return Usage("--profile needs a number from 1 to 9");
                }
                instance = args[i + 1][0] - '0';
                args.erase(args.begin() + static_cast<std::ptrdiff_t>(i),
                           args.begin() + static_cast<std::ptrdiff_t>(i) + 2);
                --i;
            }
        }
        if (args.empty()) {
            return Usage("a command is needed");
        }
        profile_.BindProfile(instance);
        const std::string name = args[0];
        if (name != "list" && name != "show" && name != "add" && name != "set" && name != "remove" &&
            name != "schedule" && name != "export" && name != "import") {
            return Usage("unknown command " + name);
        }
        if (int32_t error = profile_.ProfileReadError(); error != 0) {
            err_ << "quillon-config: " << DescribeUnreadableHive(error) << "\n";
            return kConfigFailed;
        }
        LoadPathConfig(profile_, config_, activity_);
        if (name == "list") {
            return Arguments(args, 1, 1) ? List() : kConfigUsage;
        }
        if (name == "show") {
            return Arguments(args, 2, 2) ? Show(args[1]) : kConfigUsage;
        }
        if (name == "add") {
            return Arguments(args, 3, args.size()) ? Add(args) : kConfigUsage;
        }
        if (name == "set") {
            return Arguments(args, 3, args.size()) ? Set(args) : kConfigUsage;
        }
        if (name == "remove") {
            return Arguments(args, 2, 2) ? Remove(args[1]) : kConfigUsage;
        }
        if (name == "schedule") {
            return Arguments(args, 2, 2) ? Schedule(args[1]) : kConfigUsage;
        }
        if (name == "export") {
            return Arguments(args, 2, 2) ? Export(args[1]) : kConfigUsage;
        }
        return Arguments(args, 2, 2) ? Import(args[1]) : kConfigUsage;
    }

  private:
    int Usage(const std::string& message) {
        err_ << "quillon-config: " << message << "\nTry 'quillon-config --help'.\n";
        return kConfigUsage;
    }
    bool Arguments(const std::vector<std::string>& args, size_t least, size_t most) {
        if (args.size() < least || args.size() > most) {
            Usage(args[0] + (args.size() < least ? ": arguments are missing" : ": too many arguments"));
            return false;
        }
        return true;
    }

    // Path number text (1 for Path000) of a path the run reads; -1 with a message when there is none.
    int32_t PathNumber(const std::string& text) {
        int32_t count = config_.PathRecords.Count();
        if (text.empty() || text.size() > 4 || text.find_first_not_of("0123456789") != std::string::npos ||
            std::stoi(text) < 1 || std::stoi(text) > count) {
            Usage("there is no path " + text +
                  (count == 0 ? " (no path is configured)"
                              : " (paths are numbered 1 to " + std::to_string(count) + ")"));
            return -1;
        }
        return std::stoi(text) - 1;
    }

    std::string SectionKey(int32_t index) const { return profile_.SectionKey(lit::PathSection(index)); }

    std::vector<RegistryValue> SectionValues(int32_t index) const {
        std::vector<RegistryValue> values;
        RegistryKey key;
        if (OpenRegistryKey(HiveRoot::kCurrentUser, SectionKey(index), key) == 0) {
            EnumRegistryValues(key, values);
        }
        return values;
    }

    // Writes the batch in one transaction; 0, or kConfigFailed with the reason told.
    int Apply(const std::vector<RegistryChange>& batch) {
        int32_t error = ApplyRegistryChanges(batch);
        if (error != 0) {
            err_ << "quillon-config: nothing was written: the user hive "
                 << HiveFilePath(HiveRoot::kCurrentUser) << " cannot be written (" << ErrorText(error)
                 << ", error " << error << ")\n";
            return kConfigFailed;
        }
        return 0;
    }

    static void AddChanges(const std::string& key, const std::vector<EntryChange>& changes,
                           std::vector<RegistryChange>& batch) {
        batch.push_back({RegistryChange::kCreateKey, HiveRoot::kCurrentUser, key, "", kRegNone, ""});
        for (const EntryChange& change : changes) {
            if (change.after) {
                batch.push_back({RegistryChange::kSetValue, HiveRoot::kCurrentUser, key, change.after->name,
                                 change.after->type, change.after->data});
            } else {
                batch.push_back(
                    {RegistryChange::kDeleteValue, HiveRoot::kCurrentUser, key, change.name, kRegNone, ""});
            }
        }
    }

    void TellChanges(const std::vector<EntryChange>& changes) {
        for (const EntryChange& change : changes) {
            bool same = change.before.has_value() == change.after.has_value() &&
                        (!change.before || (change.before->type == change.after->type &&
                                            change.before->data == change.after->data));
            if (!same) {
                out_ << "  " << change.name << ": " << DescribeValue(change.before) << " -> "
                     << DescribeValue(change.after) << "\n";
            }
        }
    }

    // The path in words after a change, read back as the next run will read it.
    void TellPath(int32_t index) {
        ConfigDescription description = DescribeConfiguration(profile_);
        for (const PathDescription& path : description.paths) {
            if (path.index == index) {
                out_ << "\n" << FormatPathDescription(path, false);
            }
        }
        out_ << "\nThe change takes effect at the next run.\n";
    }

    // A folder argument in the Windows form the registry keeps (as UTF-8): a Windows-form path as it
    // is, a native one through the drive map, a relative one below the working folder.
    bool StoredPath(const std::string& argument, std::string& windows) {
        bool driveForm =
            argument.size() >= 3 && argument[1] == ':' && (argument[2] == '\\' || argument[2] == '/') &&
            ((argument[0] >= 'A' && argument[0] <= 'Z') || (argument[0] >= 'a' && argument[0] <= 'z'));
        if (driveForm) {
            windows = argument;
            return true;
        }
        std::string native = argument;
        if (!IsNativeConfiguredPath(native)) {
            std::string cwd;
            if (!CurrentDirectory(cwd) || !Drives().ToNative(cwd, native)) {
                Usage("the working folder lies on no drive of the drive map: give " + argument +
                      " as a full path");
                return false;
            }
            native += "/" + argument;
        }
        windows = WindowsFormOfConfiguredPath(LexicallyNormal(native));
        if (windows == native) {
            Usage(argument + " lies on no drive of the drive map " + Drives().Folder());
            return false;
        }
        while (windows.size() > 3 && windows.back() == '\\') {
            windows.pop_back();
        }
        return true;
    }

    static bool Exists(const std::string& windows) {
        uint32_t attributes = 0;
        return ReadFileAttributes(windows, attributes);
    }

    static bool IsFolder(const std::string& windows) {
        uint32_t attributes = 0;
        return ReadFileAttributes(windows, attributes) && (attributes & kAttributeDirectory) != 0;
    }

    std::string Native(const std::string& windows) {
        std::string native;
        return Drives().ToNative(windows, native) ? native : windows;
    }

    // Every new pattern must be able to match a file below the source, as the scan matches.
    bool CheckPatterns(const PathOptions& options, const std::string& source) {
        for (const auto* list : {&options.Excludes, &options.Forces}) {
            for (const std::string& pattern : *list) {
                if (!PatternCanMatchBelow(pattern, source)) {
                    Usage("the pattern " + pattern + " cannot match any file below " + Native(source) + ": " +
                          PatternHint(pattern));
                    return false;
                }
                if (pattern.find('?') != std::string::npos) {
                    out_ << "Note: in " << pattern << " only * is a wildcard; ? matches a ? in a name.\n";
                }
            }
        }
        return true;
    }

    int List() {
        ConfigDescription description = DescribeConfiguration(profile_);
        out_ << FormatConfigDescription(description);
        return 0;
    }

    int Show(const std::string& number) {
        int32_t index = PathNumber(number);
        if (index < 0) {
            return kConfigUsage;
        }
        ConfigDescription description = DescribeConfiguration(profile_);
        for (const PathDescription& path : description.paths) {
            if (path.index == index) {
                out_ << FormatPathDescription(path, true);
            }
        }
        return 0;
    }

    int Add(const std::vector<std::string>& args) {
        std::string source;
        std::string dest;
        if (!StoredPath(args[1], source) || !StoredPath(args[2], dest)) {
            return kConfigUsage;
        }
        PathOptions options;
        std::string error;
        if (!ParsePathOptions(args, 3, options, error)) {
            return Usage(error);
        }
        std::string storedSource;
        std::string storedDest;
        char32_t bad = 0;
        if (!ArgumentTo1252(source, storedSource, bad) || !ArgumentTo1252(dest, storedDest, bad)) {
            return Usage("the character " + CharacterName(bad) + " cannot be stored in the registry");
        }
        uint32_t attributes = 0;
        if (!ReadFileAttributes(source, attributes)) {  // a folder, or a single file
            return Usage("the source folder " + Native(source) + " does not exist");
        }
        if (Exists(dest) && !IsFolder(dest)) {
            return Usage("the destination " + Native(dest) + " is not a folder");
        }
        std::string sourceUpper = ToUpperPath(source);
        std::string destUpper = ToUpperPath(dest);
        if (destUpper == sourceUpper || destUpper.rfind(sourceUpper + "\\", 0) == 0 ||
            (sourceUpper.size() == 3 && destUpper.rfind(sourceUpper, 0) == 0)) {
            return Usage("the destination " + Native(dest) + " lies inside the source " + Native(source) +
                         ": choose a folder outside it, so that no backup ever holds the backups");
        }
        if (!CheckPatterns(options, source)) {
            return kConfigUsage;
        }
        int32_t index = config_.PathRecords.Count();
        RegistryKey existing;
        if (OpenRegistryKey(HiveRoot::kCurrentUser, SectionKey(index), existing) == 0) {
            return Usage(
                lit::PathSection(index) +
                " exists but is not read (see quillon-config list): repair or delete it with quillon-reg "
                "first, so that none of its entries becomes part of the new path");
        }
        existing.Close();

        SourcePathRecord defaults;
        std::vector<EntryChange> changes = {
            {lit::kSourcePath, std::nullopt, TextValue(lit::kSourcePath, source)},
            {lit::kDestPath, std::nullopt, TextValue(lit::kDestPath, dest)},
        };
        for (EntryChange& change : PlanPathChanges({}, defaults, options)) {
            changes.push_back(std::move(change));
        }
        std::vector<RegistryChange> batch;
        AddChanges(SectionKey(index), changes, batch);
        if (int result = Apply(batch); result != 0) {
            return result;
        }
        out_ << "Added path " << index + 1 << " (" << lit::PathSection(index) << "):\n";
        TellChanges(changes);
        TellPath(index);
        return 0;
    }

    int Set(const std::vector<std::string>& args) {
        int32_t index = PathNumber(args[1]);
        if (index < 0) {
            return kConfigUsage;
        }
        PathOptions options;
        std::string error;
        if (!ParsePathOptions(args, 2, options, error)) {
            return Usage(error);
        }
        const SourcePathRecord& record = *config_.PathRecords.Get(index);
        if (!CheckPatterns(options, record.SourcePath)) {
            return kConfigUsage;
        }
        std::vector<EntryChange> changes = PlanPathChanges(SectionValues(index), record, options);
        std::vector<RegistryChange> batch;
        AddChanges(SectionKey(index), changes, batch);
        if (int result = Apply(batch); result != 0) {
            return result;
        }
        out_ << "Changed path " << index + 1 << " (" << lit::PathSection(index) << "):\n";
        TellChanges(changes);
        TellPath(index);
        return 0;
    }

    int Remove(const std::string& number) {
        int32_t index = PathNumber(number);
        if (index < 0) {
            return kConfigUsage;
        }
        // A run writes its results into the section of each path by number: renumbering under it would
        // put them into the wrong path.
        if (GetRegistryInt(HKEY_LOCAL_MACHINE, lit::kSemaphorePath, 0) > 0) {
            err_ << "quillon-config: a run is in progress; nothing was changed. Try again when it has "
                    "ended.\n";
            return kConfigFailed;
        }
        int32_t count = config_.PathRecords.Count();
        std::string removed = Native(config_.PathRecords.Get(index)->SourcePath);
        std::vector<RegistryChange> batch;
        batch.push_back(
            {RegistryChange::kDeleteKeyTree, HiveRoot::kCurrentUser, SectionKey(index), "", kRegNone, ""});
        for (int32_t k = index + 1; k < count; ++k) {
            batch.push_back(
                {RegistryChange::kCreateKey, HiveRoot::kCurrentUser, SectionKey(k - 1), "", kRegNone, ""});
            for (const RegistryValue& value : SectionValues(k)) {
                batch.push_back({RegistryChange::kSetValue, HiveRoot::kCurrentUser, SectionKey(k - 1),
                                 value.name, value.type, value.data});
            }
            batch.push_back(
                {RegistryChange::kDeleteKeyTree, HiveRoot::kCurrentUser, SectionKey(k), "", kRegNone, ""});
        }
        if (int result = Apply(batch); result != 0) {
            return result;
        }
        out_ << "Removed path " << index + 1 << " (" << lit::PathSection(index) << ", " << removed
             << "); its backups stay where they are.\n";
        for (int32_t k = index + 1; k < count; ++k) {
            out_ << "Path " << k + 1 << " (" << lit::PathSection(k) << ") is now path " << k << " ("
                 << lit::PathSection(k - 1) << ").\n";
        }
        out_ << "The change takes effect at the next run.\n";
        return 0;
    }

    int Schedule(const std::string& when) {
        std::vector<EntryChange> settings;
        std::vector<EntryChange> dynData;
        auto stored = [&](const char* section, const char* entry) -> std::optional<RegistryValue> {
            RegistryKey key;
            uint32_t type = 0;
            std::string data;
            if (OpenRegistryKey(HiveRoot::kCurrentUser, profile_.SectionKey(section), key) != 0 ||
                ReadRegistryValue(key, entry, type, data) != 0) {
                return std::nullopt;
            }
            return RegistryValue{entry, type, data};
        };
        if (when == "off") {
            settings.push_back(
                {lit::kRunAtTime, stored(lit::kSettings, lit::kRunAtTime), DwordValue(lit::kRunAtTime, 0)});
        } else {
            bool shape = when.size() == 5 && when[2] == ':' && when.find_first_not_of("0123456789", 0) == 2 &&
                         when.find_first_not_of("0123456789", 3) == std::string::npos;
            int hour = shape ? std::stoi(when.substr(0, 2)) : -1;
            int minute = shape ? std::stoi(when.substr(3)) : -1;
            if (hour < 0 || hour > 23 || minute < 0 || minute > 59) {
                return Usage("schedule needs a time HH:MM (00:00 to 23:59) or off");
            }
            // The next moment of that time: today's when it is still to come, else tomorrow's.
            TimeValue now = GetNow();
            TimeValue next = ParseRegistryTime(now.Format(kDatePattern) + " " + when + ":00");
            if (next <= now) {
                AddDays(next, 1);
            }
            settings.push_back(
                {lit::kRunAtTime, stored(lit::kSettings, lit::kRunAtTime), DwordValue(lit::kRunAtTime, 1)});
            dynData.push_back({lit::kRunTime, stored(lit::kDynData, lit::kRunTime),
                               TextValue(lit::kRunTime, FormatRegistryTime(next))});
        }
        std::vector<RegistryChange> batch;
        AddChanges(profile_.SectionKey(lit::kSettings), settings, batch);
        if (!dynData.empty()) {
            AddChanges(profile_.SectionKey(lit::kDynData), dynData, batch);
        }
        if (int result = Apply(batch); result != 0) {
            return result;
        }
        out_ << (when == "off" ? "The daily run is off:\n"
                               : "A program started with /W now runs every day at " + when + ":\n");
        TellChanges(settings);
        TellChanges(dynData);
        if (profile_.GetProfileInt(lit::kSettings, lit::kNoAutomaticRun, 0) != 0 && when != "off") {
            out_ << "Note: the Settings entry NoAutomaticRun is set: a program started with /W ends at "
                    "once.\n";
        }
        return 0;
    }

    int Export(const std::string& file) {
        std::istringstream noAnswers;
        std::ostringstream quiet;
        int result =
            RunRegCommand({"export", "HKCU\\" + profile_.ProfileKey(), file, "/y"}, noAnswers, quiet, err_);
        if (result != 0) {
            return kConfigFailed;
        }
        out_ << "Exported HKEY_CURRENT_USER\\" << profile_.ProfileKey() << " with "
             << config_.PathRecords.Count() << (config_.PathRecords.Count() == 1 ? " path" : " paths")
             << " to " << file << ".\n";
        return 0;
    }

    // Every value below the profile, as "Section\Name" and its value.
    void Snapshot(const std::string& key, const std::string& prefix,
                  std::map<std::string, RegistryValue>& values) {
        RegistryKey handle;
        if (OpenRegistryKey(HiveRoot::kCurrentUser, key, handle) != 0) {
            return;
        }
        std::vector<RegistryValue> here;
        std::vector<std::string> subkeys;
        EnumRegistryValues(handle, here);
        EnumRegistrySubkeys(handle, subkeys);
        handle.Close();
        for (RegistryValue& value : here) {
            values[prefix + value.name] = value;
        }
        for (const std::string& subkey : subkeys) {
            Snapshot(key + "\\" + subkey, prefix + subkey + "\\", values);
        }
    }

    int Import(const std::string& file) {
        std::map<std::string, RegistryValue> before;
        Snapshot(profile_.ProfileKey(), "", before);
        std::istringstream noAnswers;
        std::ostringstream quiet;
        if (RunRegCommand({"import", file}, noAnswers, quiet, err_) != 0) {
            return kConfigFailed;
        }
        std::map<std::string, RegistryValue> after;
        Snapshot(profile_.ProfileKey(), "", after);
        std::vector<EntryChange> changes;
        for (const auto& [name, value] : after) {
            auto old = before.find(name);
            if (old == before.end()) {
                changes.push_back({ToUtf8(name), std::nullopt, value});
            } else if (old->second.type != value.type || old->second.data != value.data) {
                changes.push_back({ToUtf8(name), old->second, value});
            }
        }
        for (const auto& [name, value] : before) {
            if (after.count(name) == 0) {
                changes.push_back({ToUtf8(name), value, std::nullopt});
            }
        }
        out_ << "Imported " << file << (changes.empty() ? "; it changed nothing in the profile.\n" : ":\n");
        TellChanges(changes);
        out_ << "\nThe configuration now reads:\n\n"
             << FormatConfigDescription(DescribeConfiguration(profile_));
        return 0;
    }

    std::ostream& out_;
    std::ostream& err_;
    CAppProfile profile_;
    PathConfig config_;
    std::atomic<int32_t> activity_{0};
};

}  // namespace

int RunConfigCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    return Command(out, err).Run(args);
}

}  // namespace quillon
