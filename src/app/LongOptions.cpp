#include "app/LongOptions.h"

#include <cstddef>

#include "app/ProgramVersion.h"

namespace quillon {
namespace {

struct OptionEntry {
    const char* Name;
    bool LongOptions::*Flag;  // null: passed on with its value in Rest
    const char* Help;
};

// The table both the parser and --help read, so the two cannot drift apart.
constexpr OptionEntry kOptions[] = {
    {"--help", &LongOptions::Help, "show this help and end"},
    {"--version", &LongOptions::Version, "show the version and the libraries in use, and end"},
    {"--check", &LongOptions::Check,
     "show the configuration as the program reads it and every problem found; exit 2 on a problem"},
    {"--dry-run", &LongOptions::DryRun, "show what a run now would do, changing nothing"},
    {"--verbose", &LongOptions::Verbose, "with --dry-run: name each file"},
    {"--platform", nullptr, "the desktop's display platform NAME (wayland, xcb, offscreen)"},
};

constexpr const char* kSwitches[][2] = {
    {"/W", "started at login: wait for the scheduled time of the daily run and stay resident"},
    {"/T", "leave the count of new files (CountNewFiles) as it is"},
    {"/1 .. /9", "use the numbered configuration QuillonApp1 .. QuillonApp9 instead of Quillon"},
    {"/F", "accepted without effect"},
    {"/0, /X ...", "any other word is ignored (and traced); an empty word ends the switches"},
};

constexpr const char* kEnvironment[][2] = {
    {"QUILLON_USER_HIVE", "the user's settings (default ${XDG_CONFIG_HOME:-~/.config}/quillon/user.hive)"},
    {"QUILLON_MACHINE_HIVE", "the machine's settings (default /var/lib/quillon/machine.hive)"},
    {"QUILLON_DRIVES",
     "the folder of drive links c:, z: ... (default ${XDG_DATA_HOME:-~/.local/share}/quillon/dosdevices)"},
    {"QUILLON_UI", "console or qt: the user interface (default: qt when a display is there)"},
    {"QUILLON_TRACE", "the trace: unset discards it, - writes it to standard error, else a file"},
    {"QUILLON_IBZIP", "the compression library to load instead of libib-zip.so beside the program"},
    {"NO_COLOR", "respected: the program writes no colour codes in any case"},
};

void AddColumns(std::string& text, const std::string& left, const char* right) {
    constexpr size_t kWidth = 16;
    text += "  " + left;
    text += left.size() < kWidth ? std::string(kWidth - left.size(), ' ') : "  ";
    text += right;
    text += '\n';
}

}  // namespace

LongOptions ParseLongOptions(const std::vector<std::string>& arguments) {
    LongOptions options;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& word = arguments[i];
        if (word == "--") {
            options.Rest.insert(options.Rest.end(), arguments.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                                arguments.end());
            break;
        }
        if (word.rfind("--", 0) != 0) {
            options.Rest.push_back(word);
            continue;
        }
        const OptionEntry* found = nullptr;
        for (const OptionEntry& entry : kOptions) {
            if (word == entry.Name) {
                found = &entry;
            }
        }
        if (found == nullptr) {
            if (options.Unknown.empty()) {
                options.Unknown = word;
            }
        } else if (found->Flag != nullptr) {
            options.*(found->Flag) = true;
        } else {
            options.Rest.push_back(word);
            if (i + 1 < arguments.size()) {
                options.Rest.push_back(arguments[++i]);
            }
        }
    }
    return options;
}

std::string UsageText() {
    std::string text =
        "Usage: quillon-run [OPTION] [SWITCH]...\n"
        "Backs up every configured source path into its backup folder, then ends.\n\n"
        "Options:\n";
    for (const OptionEntry& entry : kOptions) {
        AddColumns(text, std::string(entry.Name) + (entry.Flag == nullptr ? " NAME" : ""), entry.Help);
    }
    text += "\nSwitches:\n";
    for (const auto& line : kSwitches) {
        AddColumns(text, line[0], line[1]);
    }
    text += "\nEnvironment:\n";
    for (const auto& line : kEnvironment) {
        text += std::string("  ") + line[0] + "\n      " + line[1] + "\n";
    }
    text +=
        "\nExit status: 0 the run completed without errors (also when nothing changed), 1 it completed "
        "with errors,\n2 a usage or configuration problem kept it from running, 128 + N it was ended by "
        "signal N.\n";
    return text;
}

std::string VersionLine() {
    return std::string("quillon-run ") + kProgramVersion;
}

int32_t ProfileNumber(const LongOptions& options) {
    int32_t instance = 0;
    for (const std::string& word : options.Rest) {
        if (word.empty()) {
            break;  // an empty word ends the switches
        }
        if (word.size() == 2 && word[0] == '/' && word[1] >= '1' && word[1] <= '9') {
            instance = word[1] - '0';
        }
    }
    return instance;
}

}  // namespace quillon
