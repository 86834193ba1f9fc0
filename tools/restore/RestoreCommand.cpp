#include "restore/RestoreCommand.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <ostream>
#include <set>

#include "files/IbZip.h"
#include "platform/DriveMap.h"
#include "platform/LastError.h"
#include "platform/PrivateDriveMap.h"
#include "restore/AmountText.h"
#include "restore/BackupFolder.h"
#include "restore/RestoreFiles.h"
#include "restore/VerifySets.h"
#include "support/ErrorText.h"
#include "support/MessageBox.h"
#include "support/TimeText.h"

namespace quillon::restore {
namespace {

constexpr const char* kUsage =
    "usage: quillon-restore sets DEST\n"
    "       quillon-restore files DEST [--at DATE]\n"
    "       quillon-restore versions DEST FILE\n"
    "       quillon-restore restore DEST TARGET [--at DATE] [--overwrite] [--dry-run] [PATTERN...]\n"
    "       quillon-restore verify DEST\n"
    "DEST is the destination folder of one source path (the folder holding Quillon.txt and the dated\n"
    "sets); DATE is YYYY-MM-DD; FILE and PATTERN are paths below the source folder ('*' matches any\n"
    "run of characters).\n";

struct Arguments {
    std::string Command;
    std::vector<std::string> Operands;
    std::optional<std::string> At;
    bool Overwrite = false;
    bool DryRun = false;
};

// How many operands each command takes at least and at most (restore: patterns without limit).
struct CommandShape {
    const char* Name;
    size_t Least;
    size_t Most;
    bool TakesAt;
};

constexpr CommandShape kCommands[] = {
    {"sets", 1, 1, false},          {"files", 1, 1, true},   {"versions", 2, 2, false},
    {"restore", 2, SIZE_MAX, true}, {"verify", 1, 1, false},
};

const CommandShape* FindCommand(const std::string& name) {
    for (const CommandShape& shape : kCommands) {
        if (name == shape.Name) {
            return &shape;
        }
    }
    return nullptr;
}

// Parses args; false with why set on a usage error.
bool Parse(const std::vector<std::string>& args, Arguments& parsed, std::string& why) {
    if (args.empty()) {
        why = "no command given";
        return false;
    }
    parsed.Command = args[0];
    const CommandShape* shape = FindCommand(parsed.Command);
    if (shape == nullptr) {
        why = "unknown command: " + parsed.Command;
        return false;
    }
    bool options = true;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (options && arg == "--") {
            options = false;
        } else if (options && shape->TakesAt && (arg == "--at" || arg.starts_with("--at="))) {
            if (arg == "--at" && i + 1 >= args.size()) {
                why = "--at needs a date";
                return false;
            }
            parsed.At = arg == "--at" ? args[++i] : arg.substr(5);
        } else if (options && parsed.Command == "restore" && arg == "--overwrite") {
            parsed.Overwrite = true;
        } else if (options && parsed.Command == "restore" && arg == "--dry-run") {
            parsed.DryRun = true;
        } else if (options && arg.size() > 1 && arg[0] == '-') {
            why = "unknown option for " + parsed.Command + ": " + arg;
            return false;
        } else {
            parsed.Operands.push_back(arg);
        }
    }
    if (parsed.Operands.size() < shape->Least || parsed.Operands.size() > shape->Most) {
        why = "wrong number of arguments for " + parsed.Command;
        return false;
    }
    return true;
}

bool IsWindowsForm(const std::string& path) {
    return path.size() >= 2 && ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
           path[1] == ':' && (path.size() == 2 || path[2] == '\\' || path[2] == '/');
}

// The absolute native path of a folder given on the command line.
bool NativeFolder(const std::string& given, std::string& native, std::string& why) {
    std::string path = given;
    if (IsWindowsForm(given)) {
        // Read the user's drive map as it is; a missing one is not created here.
        DriveMap userMap = DriveMap::Load(DriveMap::EnvironmentFolder());
        if (!userMap.ToNative(given, path)) {
            why = given + ": no drive map maps " + given.substr(0, 2) + " (give the folder as a Linux path)";
            return false;
        }
    }
    if (!AbsoluteNativePath(path, native)) {
        why = given + ": " + ErrorText(GetLastError());
        return false;
    }
    return true;
}

// A DATE operand as the TimeValue of that day.
bool ParseDay(const std::string& text, TimeValue& day) {
    day = ParseDateTime(text);
    return text.size() == 10 && day.IsSet() && day.Format(kDatePattern) == text;
}

std::string NormalPath(std::string path) {
    for (char& c : path) {
        c = c == '\\' ? '/' : c;
    }
    while (path.starts_with("./")) {
        path.erase(0, 2);
    }
    while (path.starts_with("/")) {
        path.erase(0, 1);
    }
    return path;
}

std::string SetStorage(const BackupSet& set) {
    if (!set.Present) {
        return "";
    }
    if (!set.Compressed) {
        return "plain";
    }
    return GroupedNumber(static_cast<int64_t>(set.Archives.size())) +
           (set.Archives.size() == 1 ? " archive" : " archives");
}

// What is wrong with a set that a look at its folder can tell; "" when nothing.
std::string SetState(const BackupSet& set) {
    if (!set.Present) {
        return "missing";
    }
    if (!set.FilesRead) {
        return "damaged: its control file cannot be read";
    }
    std::set<int32_t> missing;
    for (const auto& [stored, index] : set.HeldIndex) {
        int32_t number = set.Files[index].ZipNumber;
        if (set.Compressed && number >= 0 &&
            std::find(set.Archives.begin(), set.Archives.end(), number) == set.Archives.end()) {
            missing.insert(number);
        }
    }
    if (!missing.empty()) {
        return "damaged: " + ArchiveName(*missing.begin()) + " is missing";
    }
    return set.Listed ? "" : "not listed in the control file";
}

int ListSets(const BackupFolder& folder, std::ostream& out) {
    int status = 0;
    for (const BackupSet& set : folder.Sets()) {
        std::string state = SetState(set);
        char line[160];
        std::string kind = set.Listed ? (set.Saved.Full ? "F" : "I") : "-";
        std::string size = set.Listed ? GroupedNumber(set.Saved.SizeKB) + " kB" : "-";
        std::snprintf(line, sizeof line, "%s  %s  %12s  %-12s", set.Name.c_str(), kind.c_str(), size.c_str(),
                      SetStorage(set).c_str());
        std::string text = line;
        if (!state.empty()) {
            text += "  " + state;
        }
        while (!text.empty() && text.back() == ' ') {
            text.pop_back();
        }
        out << text << "\n";
        if (!set.Present || !set.FilesRead || state.starts_with("damaged")) {
            status = 1;
        }
    }
    return status;
}

std::string CopyColumn(const LocatedFile& located) {
    if (located.Holder == nullptr) {
        return "no copy left                ";
    }
    std::string text = located.Holder->Name;
    text += located.Holder->Compressed && located.Copy->ZipNumber >= 0
                ? "  " + ArchiveName(located.Copy->ZipNumber)
                : std::string(18, ' ');
    return text;
}

int ListFiles(const BackupFolder& folder, TimeValue day, std::ostream& out) {
    const BackupSet* listSet = nullptr;
    std::vector<LocatedFile> files;
    folder.FilesAsOf(day, listSet, files);
    if (listSet == nullptr) {
        out << "no backup set on or before " << day.Format(kDatePattern) << "\n";
        return 1;
    }
    for (const LocatedFile& located : files) {
        if (!located.File->Usable) {
            out << "unusable file line (outside the source): " << located.File->WholePath << "\n";
            continue;
        }
        out << located.File->Time.Format(kTimeMinutePattern) << "  " << CopyColumn(located) << "  "
            << located.File->Restored << "\n";
    }
    return 0;
}

int ListVersions(const BackupFolder& folder, const std::string& given, std::ostream& out) {
    const std::string path = NormalPath(given);
    bool found = false;
    const auto& sets = folder.Sets();
    for (auto set = sets.rbegin(); set != sets.rend(); ++set) {
        for (const auto& [stored, index] : set->HeldIndex) {
            const RecordedFile& file = set->Files[index];
            if (file.Restored != path && file.Stored != path) {
                continue;
            }
            found = true;
            out << set->Name
                << (set->Compressed && file.ZipNumber >= 0 ? "  " + ArchiveName(file.ZipNumber)
                                                           : std::string(18, ' '))
                << "  " << file.Time.Format(kTimeMinutePattern) << "\n";
        }
    }
    if (!found) {
        out << "no copy of " << path << " in any set\n";
        return 1;
    }
    return 0;
}

}  // namespace

int RunRestoreCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                      bool progress) {
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h" || args[0] == "help")) {
        out << kUsage;
        return 0;
    }
    Arguments parsed;
    std::string why;
    if (!Parse(args, parsed, why)) {
        err << "quillon-restore: " << why << "\n" << kUsage;
        return 2;
    }
    TimeValue day;
    if (parsed.At && !ParseDay(*parsed.At, day)) {
        err << "quillon-restore: not a date (YYYY-MM-DD): " << *parsed.At << "\n";
        return 2;
    }
    std::string dest;
    std::string target;
    if (!NativeFolder(parsed.Operands[0], dest, why) ||
        (parsed.Command == "restore" && !NativeFolder(parsed.Operands[1], target, why))) {
        err << "quillon-restore: " << why << "\n";
        return 2;
    }

    // A restore into the backup folder would mix the tree with the sets (a source folder named like a
    // date would become one) and change what it restores from.
    if (!target.empty() && (target == dest || target.starts_with(dest + "/"))) {
        err << "quillon-restore: the target " << target << " lies in the backup folder " << dest << "\n";
        return 2;
    }

    // From here every path is in the Windows form of a drive map of this process's own.
    PrivateDriveMap drives;
    std::string destWindows;
    std::string targetWindows;
    std::string scratchWindows;
    if (!drives.Create() || !ToWindowsPath(dest, destWindows) ||
        !ToWindowsPath(drives.Folder(), scratchWindows) ||
        (!target.empty() && !ToWindowsPath(target, targetWindows))) {
        err << "quillon-restore: " << dest << ": " << ErrorText(GetLastError()) << "\n";
        return 2;
    }
    // A library that cannot be loaded matters only for compressed sets; say so there, not as a box.
    IbZip zip;
    MessageBoxPresenter previous =
        SetMessageBoxPresenter([](const std::string&, unsigned style) { return DefaultAnswer(style); });
    zip.Open();
    SetMessageBoxPresenter(previous);

    BackupFolder folder;
    if (!folder.Load(destWindows, scratchWindows, zip, why)) {
        err << "quillon-restore: " << dest << " is not a backup folder: it " << why << "\n";
        return 2;
    }
    if (!zip.IsOpen()) {
        for (const BackupSet& set : folder.Sets()) {
            if (set.Compressed) {
                err << "quillon-restore: the compression library (libib-zip.so beside the program) cannot be "
                       "loaded: compressed sets cannot be read\n";
                break;
            }
        }
    }
    if (!parsed.At) {
        day = folder.NewestDay();
    }

    int status = 0;
    if (parsed.Command == "sets") {
        status = ListSets(folder, out);
    } else if (parsed.Command == "files") {
        status = ListFiles(folder, day, out);
    } else if (parsed.Command == "versions") {
        status = ListVersions(folder, parsed.Operands[1], out);
    } else if (parsed.Command == "verify") {
        status = VerifySets(folder, zip, out);
    } else {
        RestoreRequest request;
        request.Day = day;
        request.TargetWindows = targetWindows;
        request.Overwrite = parsed.Overwrite;
        request.DryRun = parsed.DryRun;
        request.Progress = progress;
        for (size_t i = 2; i < parsed.Operands.size(); ++i) {
            request.Patterns.push_back(NormalPath(parsed.Operands[i]));
        }
        status = RestoreFiles(folder, request, zip, out, err);
    }
    zip.Close();
    return status;
}

}  // namespace quillon::restore
