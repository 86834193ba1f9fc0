#include "reg/RegCommand.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>

#include "platform/LastError.h"
#include "platform/RegistryHive.h"
#include "reg/CodePage1252.h"
#include "reg/RegFile.h"
#include "support/TextCase.h"

namespace quillon {
namespace {

constexpr const char* kSuccess = "The operation completed successfully.";
constexpr const char* kCanceled = "The operation was canceled by the user.";

struct SwitchSpec {
    const char* name;  // lower case, with its '/'
    bool takesValue;
};

// What the command line said after the command word.
struct CommandLine {
    std::vector<std::string> arguments;
    std::map<std::string, std::string> switches;  // lower-case switch -> its value ("" for flags)
    bool Has(const std::string& name) const { return switches.count(name) != 0; }
    const std::string& Value(const std::string& name) const { return switches.at(name); }
};

class Command {
  public:
    Command(std::string name, std::istream& in, std::ostream& out, std::ostream& err)
        : name_(std::move(name)), in_(in), out_(out), err_(err) {}

    int Syntax() {
        err_ << "ERROR: Invalid syntax.\nType \"REG " << ToUpperAscii(name_) << " /?\" for usage.\n";
        return 1;
    }
    int Error(const std::string& message) {
        err_ << "ERROR: " << message << "\n";
        return 1;
    }
    int RegistryError(int32_t error) {
        switch (error) {
            case kErrorFileNotFound:
            case kErrorPathNotFound:
                return Error("The system was unable to find the specified registry key or value.");
            case kErrorAccessDenied:
                return Error("Access is denied.");
            case kErrorLockViolation:
                return Error("The registry is kept locked by another process. Try again later.");
            case kErrorBadPathname:
                return Error("Invalid key name.");
            case kErrorBadDb:
                return Error("The configuration registry database is corrupt.");
            case kErrorKeyDeleted:
                return Error("The key was deleted while it was being changed.");
            case kErrorDiskFull:
                return Error("There is not enough space on the disk.");
            default:
                return Error("Error accessing the registry (error " + std::to_string(error) + ").");
        }
    }
    int Success() {
        out_ << kSuccess << "\n";
        return 0;
    }
    // Asks a yes/no question; anything but an answer starting with y is no.
    bool Confirm(const std::string& question) {
        out_ << question << " (Yes/No)? " << std::flush;
        std::string answer;
        if (!std::getline(in_, answer)) {
            out_ << "\n";
            return false;
        }
        return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
    }
    int Canceled() {
        out_ << kCanceled << "\n";
        return 1;
    }

    // Splits the arguments after the command word. False for an unknown or repeated switch or a
    // switch without its value.
    bool ParseLine(const std::vector<std::string>& args, const std::vector<SwitchSpec>& specs,
                   CommandLine& line) {
        for (size_t i = 1; i < args.size(); ++i) {
            std::string lower = ToLowerAscii(args[i]);
            if (lower == "/reg:32" || lower == "/reg:64") {
                continue;  // one registry view here
            }
            const SwitchSpec* spec = nullptr;
            for (const SwitchSpec& candidate : specs) {
                if (lower == candidate.name) {
                    spec = &candidate;
                }
            }
            if (spec == nullptr) {
                line.arguments.push_back(args[i]);
                continue;
            }
            if (line.Has(spec->name) || (spec->takesValue && i + 1 >= args.size())) {
                return false;
            }
            line.switches[spec->name] = spec->takesValue ? args[++i] : "";
        }
        return true;
    }

    // Converts a command-line text to code page 1252; reports the character it cannot.
    bool To1252(const std::string& argument, std::string& text) {
        char32_t bad = 0;
        if (ArgumentTo1252(argument, text, bad)) {
            return true;
        }
        Error("The character " + CharacterName(bad) +
              " cannot be stored: the registry holds code page 1252 text.");
        return false;
    }

    // Reads KEY: a root name, then optionally '\' and the key path, which may end in one '\'. A root
    // name with a '\' and nothing after it (HKCU\) is no key, as for reg.exe.
    bool ParseKey(const std::string& argument, HiveRoot& root, std::string& path) {
        std::string key;
        if (!To1252(argument, key)) {
            return false;
        }
        size_t slash = key.find('\\');
        path = slash == std::string::npos ? "" : key.substr(slash + 1);
        if (!ParseRootName(std::string_view(key).substr(0, slash), root) ||
            (slash != std::string::npos && path.empty()) || CheckRegistryKeyPath(path) != kErrorSuccess) {
            err_ << "ERROR: Invalid key name.\nType \"REG " << ToUpperAscii(name_) << " /?\" for usage.\n";
            return false;
        }
        if (!path.empty() && path.back() == '\\') {
            path.pop_back();
        }
        return true;
    }

    std::ostream& Out() { return out_; }

  private:
    std::string name_;
    std::istream& in_;
    std::ostream& out_;
    std::ostream& err_;
};

std::string KeyDisplay(HiveRoot root, const std::string& path) {
    return std::string(RootName(root)) + (path.empty() ? "" : "\\" + path);
}

const char* TypeName(uint32_t type) {
    static const char* const kNames[] = {"REG_NONE",
                                         "REG_SZ",
                                         "REG_EXPAND_SZ",
                                         "REG_BINARY",
                                         "REG_DWORD",
                                         "REG_DWORD_BIG_ENDIAN",
                                         "REG_LINK",
                                         "REG_MULTI_SZ",
                                         "REG_RESOURCE_LIST",
                                         "REG_FULL_RESOURCE_DESCRIPTOR",
                                         "REG_RESOURCE_REQUIREMENTS_LIST",
                                         "REG_QWORD"};
    return type < std::size(kNames) ? kNames[type] : "REG_UNKNOWN";
}

// The value's data as reg.exe shows it.
std::string DisplayData(uint32_t type, const std::string& data) {
    char number[32];
    uint64_t value = 0;
    for (size_t i = data.size(); i-- > 0;) {
        value = value << 8 | static_cast<unsigned char>(data[i]);
    }
    switch (type) {
        case kRegSz:
        case kRegExpandSz:
            return ToUtf8(data.substr(0, data.find('\0')));
        case kRegMultiSz: {
            std::string shown;
            size_t start = 0;
            while (start < data.size() && data[start] != '\0') {
                size_t end = data.find('\0', start);
                shown += (shown.empty() ? "" : "\\0") + ToUtf8(data.substr(start, end - start));
                if (end == std::string::npos) {
                    break;
                }
                start = end + 1;
            }
            return shown;
        }
        case kRegDword:
        case kRegQword:
            if (data.size() == (type == kRegDword ? 4u : 8u)) {
                std::snprintf(number, sizeof number, "0x%" PRIx64, value);
                return number;
            }
            break;
        default:
            break;
    }
    std::string hex;
    for (char c : data) {
        std::snprintf(number, sizeof number, "%02X", static_cast<unsigned char>(c));
        hex += number;
    }
    return hex;
}

std::string ValueLine(const RegistryValue& value) {
    return "    " + (value.name.empty() ? std::string("(Default)") : ToUtf8(value.name)) + "    " +
           TypeName(value.type) + "    " + DisplayData(value.type, value.data) + "\n";
}

// Reads a number for REG_DWORD or REG_QWORD: decimal, or hex after 0x. reg.exe refuses a sign, so
// -1 is no way to write 0xffffffff.
bool ParseNumber(const std::string& text, int bits, uint64_t& value) {
    std::string_view digits = text;
    int base = 10;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        base = 16;
        digits.remove_prefix(2);
    }
    if (digits.empty()) {
        return false;
    }
    unsigned __int128 number = 0;
    for (char c : digits) {
        int digit = c >= '0' && c <= '9'   ? c - '0'
                    : c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                           : 99;
        if (digit >= base) {
            return false;
        }
        number = number * base + digit;
        if (number > (static_cast<unsigned __int128>(1) << bits)) {
            return false;
        }
    }
    if (number >= (static_cast<unsigned __int128>(1) << bits)) {
        return false;
    }
    value = static_cast<uint64_t>(number);
    return true;
}

std::string LittleEndian(uint64_t value, int bytes) {
    std::string data;
    for (int i = 0; i < bytes; ++i) {
        data.push_back(static_cast<char>(value >> (8 * i)));
    }
    return data;
}

// Turns /d's text into the bytes of type. False with a message when the text does not fit the type.
bool BuildData(uint32_t type, const std::string& text, const std::string& separator, std::string& data,
               std::string& problem) {
    switch (type) {
        case kRegSz:
        case kRegExpandSz:
            data = text.substr(0, text.find('\0')) + '\0';
            return true;
        case kRegDword:
        case kRegQword: {
            uint64_t value = 0;
            if (!ParseNumber(text, type == kRegDword ? 32 : 64, value)) {
                problem = "Invalid syntax. Specify valid numeric value for '/d'.";
                return false;
            }
            data = LittleEndian(value, type == kRegDword ? 4 : 8);
            return true;
        }
        case kRegMultiSz: {
            if (text == separator) {
                data = std::string(2, '\0');  // one empty string and the list's end, as reg.exe stores it
                return true;
            }
            data.clear();
            size_t start = 0;
            while (start < text.size()) {
                size_t end = text.find(separator, start);
                std::string item = text.substr(start, end == std::string::npos ? end : end - start);
                if (item.empty()) {
                    problem = "Invalid syntax. A REG_MULTI_SZ value cannot hold an empty string.";
                    return false;
                }
                data += item + '\0';
                if (end == std::string::npos) {
                    break;
                }
                start = end + separator.size();
            }
            data.push_back('\0');  // the list's end; an empty list is this zero alone
            return true;
        }
        case kRegNone:
            // reg.exe stores REG_NONE data as the text it was given, in UTF-16 with its zero.
            data = ToUtf16Le(text.substr(0, text.find('\0'))) + std::string(2, '\0');
            return true;
        default: {  // REG_BINARY: hex digits, two per byte; an odd count is read with a leading zero
            data.clear();
            std::string digits = text.size() % 2 != 0 ? "0" + text : text;
            for (size_t i = 0; i < digits.size(); i += 2) {
                uint64_t byte = 0;
                if (!ParseNumber("0x" + digits.substr(i, 2), 8, byte)) {
                    problem = "Invalid syntax. Specify valid hexadecimal data for '/d'.";
                    return false;
                }
                data.push_back(static_cast<char>(byte));
            }
            return true;
        }
    }
}

bool ParseTypeName(const std::string& text, uint32_t& type) {
    std::string upper = ToUpperAscii(text);
    for (uint32_t candidate :
         {kRegSz, kRegMultiSz, kRegExpandSz, kRegDword, kRegQword, kRegBinary, kRegNone}) {
        if (upper == TypeName(candidate)) {
            type = candidate;
            return true;
        }
    }
    return false;
}

int Add(Command& command, const std::vector<std::string>& args) {
    CommandLine line;
    if (!command.ParseLine(
            args, {{"/v", true}, {"/ve", false}, {"/t", true}, {"/s", true}, {"/d", true}, {"/f", false}},
            line) ||
        line.arguments.size() != 1 || (line.Has("/v") && line.Has("/ve"))) {
        return command.Syntax();
    }
    HiveRoot root;
    std::string path;
    if (!command.ParseKey(line.arguments[0], root, path)) {
        return 1;
    }
    if (static_cast<size_t>(std::count(path.begin(), path.end(), '\\')) >= kMaxKeyDepth) {
        return command.Error("Invalid key name. Keys nest at most 512 levels deep.");
    }
    bool setsValue = line.Has("/v") || line.Has("/ve") || line.Has("/t") || line.Has("/d");
    if (!setsValue) {
        // Without a value, reg.exe sets the key's default value to an empty REG_SZ; one that is there
        // already stays as it is, as does everything else the key holds.
        RegistryKey key;
        int32_t error = CreateRegistryKey(root, path, key);
        bool stored = false;
        if (error == kErrorSuccess) {
            error = SetRegistryValueIf(
                key, "", [](bool exists, uint32_t, std::string_view) { return !exists; }, kRegSz,
                std::string_view("", 1), stored);
        }
        return error == kErrorSuccess ? command.Success() : command.RegistryError(error);
    }
    uint32_t type = kRegSz;
    if (line.Has("/t") && !ParseTypeName(line.Value("/t"), type)) {
        return command.Syntax();
    }
    std::string name;
    std::string text;
    std::string separator = "\\0";
    if ((line.Has("/v") && !command.To1252(line.Value("/v"), name)) ||
        (line.Has("/d") && !command.To1252(line.Value("/d"), text)) ||
        (line.Has("/s") && !command.To1252(line.Value("/s"), separator))) {
        return 1;
    }
    if (line.Has("/s") && (type != kRegMultiSz || separator.size() != 1)) {
        return command.Syntax();
    }
    if (name.size() > kMaxValueNameLength) {
        return command.Error("The parameter is incorrect. A value name has at most 16383 characters.");
    }
    std::string data;
    std::string problem;
    if (!BuildData(type, text, separator, data, problem)) {
        return command.Error(problem);
    }
    if (!line.Has("/f")) {
        RegistryKey key;
        uint32_t existingType = 0;
        std::string existing;
        if (OpenRegistryKey(root, path, key) == kErrorSuccess &&
            ReadRegistryValue(key, name, existingType, existing) == kErrorSuccess &&
            !command.Confirm("Value " + (name.empty() ? std::string("(Default)") : ToUtf8(name)) +
                             " exists, overwrite")) {
            return command.Canceled();
        }
    }
    int32_t error = ApplyRegistryChanges({{RegistryChange::kSetValue, root, path, name, type, data}});
    return error == kErrorSuccess ? command.Success() : command.RegistryError(error);
}

// The key and, with recursive, every key below it in pre-order (subkeys sorted), each path in its
// stored spelling.
int32_t CollectKeys(HiveRoot root, const std::string& path, bool recursive, std::vector<RegExportKey>& keys) {
    std::vector<RegistryTreeKey> tree;
    int32_t error = ReadRegistryTree(root, path, recursive, tree);
    keys.clear();
    keys.reserve(tree.size());
    for (RegistryTreeKey& key : tree) {
        keys.push_back({root, std::move(key.path), std::move(key.values)});
    }
    return error;
}

int Query(Command& command, const std::vector<std::string>& args) {
    CommandLine line;
    if (!command.ParseLine(args, {{"/v", true}, {"/ve", false}, {"/s", false}}, line) ||
        line.arguments.size() != 1 || (line.Has("/v") && line.Has("/ve"))) {
        return command.Syntax();
    }
    HiveRoot root;
    std::string path;
    if (!command.ParseKey(line.arguments[0], root, path)) {
        return 1;
    }
    std::string name;
    if (line.Has("/v") && !command.To1252(line.Value("/v"), name)) {
        return 1;
    }
    bool oneValue = line.Has("/v") || line.Has("/ve");
    std::vector<RegExportKey> keys;
    if (int32_t error = CollectKeys(root, path, line.Has("/s"), keys); error != kErrorSuccess) {
        return command.RegistryError(error);
    }
    std::ostream& out = command.Out();
    if (!oneValue) {
        bool recursive = line.Has("/s");
        std::vector<std::string> subkeys;
        if (!recursive) {
            RegistryKey key;
            if (OpenRegistryKey(root, keys[0].path, key) == kErrorSuccess) {
                EnumRegistrySubkeys(key, subkeys);
            }
        }
        for (const RegExportKey& key : keys) {
            // Alone, a key with subkeys but no values is not named: reg.exe lists the subkeys at once.
            if (recursive || !key.values.empty() || subkeys.empty()) {
                out << "\n" << ToUtf8(KeyDisplay(root, key.path)) << "\n";
            }
            for (const RegistryValue& value : key.values) {
                out << ValueLine(value);
            }
        }
        if (!subkeys.empty()) {
            out << "\n";
            for (const std::string& subkey : subkeys) {
                out << ToUtf8(KeyDisplay(root, keys[0].path.empty() ? subkey : keys[0].path + "\\" + subkey))
                    << "\n";
            }
        }
        return 0;
    }
    std::string folded = FoldRegistryName(name);
    int matches = 0;
    for (const RegExportKey& key : keys) {
        for (const RegistryValue& value : key.values) {
            if (FoldRegistryName(value.name) == folded) {
                out << "\n" << ToUtf8(KeyDisplay(root, key.path)) << "\n" << ValueLine(value);
                ++matches;
            }
        }
    }
    if (line.Has("/s")) {
        out << "End of search: " << matches << " match(es) found.\n";
        return matches > 0 ? 0 : 1;
    }
    if (matches == 0) {
        if (line.Has("/ve")) {
            out << "\n"
                << ToUtf8(KeyDisplay(root, keys[0].path)) << "\n    (Default)    REG_SZ    (value not set)\n";
            return 0;
        }
        return command.RegistryError(kErrorFileNotFound);
    }
    return 0;
}

int Delete(Command& command, const std::vector<std::string>& args) {
    CommandLine line;
    if (!command.ParseLine(args, {{"/v", true}, {"/ve", false}, {"/va", false}, {"/f", false}}, line) ||
        line.arguments.size() != 1 || line.Has("/v") + line.Has("/ve") + line.Has("/va") > 1) {
        return command.Syntax();
    }
    HiveRoot root;
    std::string path;
    if (!command.ParseKey(line.arguments[0], root, path)) {
        return 1;
    }
    std::string display = ToUtf8(KeyDisplay(root, path));
    RegistryKey key;
    if (int32_t error = OpenRegistryKey(root, path, key); error != kErrorSuccess) {
        return command.RegistryError(error);
    }
    std::vector<RegistryChange> changes;
    if (line.Has("/va")) {
        std::vector<RegistryValue> values;
        if (int32_t error = EnumRegistryValues(key, values); error != kErrorSuccess) {
            return command.RegistryError(error);
        }
        if (!line.Has("/f") && !command.Confirm("Delete all values under the registry key " + display)) {
            return command.Canceled();
        }
        for (const RegistryValue& value : values) {
            changes.push_back({RegistryChange::kDeleteValue, root, path, value.name, kRegNone, ""});
        }
    } else if (line.Has("/v") || line.Has("/ve")) {
        std::string name;
        if (line.Has("/v") && !command.To1252(line.Value("/v"), name)) {
            return 1;
        }
        uint32_t type = 0;
        std::string data;
        if (int32_t error = ReadRegistryValue(key, name, type, data); error != kErrorSuccess) {
            return command.RegistryError(error);
        }
        if (!line.Has("/f") && !command.Confirm("Delete the registry value " +
                                                (name.empty() ? std::string("(Default)") : ToUtf8(name)))) {
            return command.Canceled();
        }
        changes.push_back({RegistryChange::kDeleteValue, root, path, name, kRegNone, ""});
    } else {
        if (path.empty()) {
            return command.Error("Invalid key name. A root key cannot be deleted.");
        }
        if (!line.Has("/f") && !command.Confirm("Permanently delete the registry key " + display)) {
            return command.Canceled();
        }
        changes.push_back({RegistryChange::kDeleteKeyTree, root, path, "", kRegNone, ""});
    }
    key.Close();
    int32_t error = ApplyRegistryChanges(changes);
    return error == kErrorSuccess ? command.Success() : command.RegistryError(error);
}

bool ReadWholeFile(const std::string& file, std::string& bytes) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return false;
    }
    std::ostringstream content;
    content << in.rdbuf();
    bytes = content.str();
    return !in.bad() && in.peek() == std::ifstream::traits_type::eof();
}

int Import(Command& command, const std::vector<std::string>& args) {
    CommandLine line;
    if (!command.ParseLine(args, {}, line) || line.arguments.size() != 1) {
        return command.Syntax();
    }
    const std::string& file = line.arguments[0];
    std::string bytes;
    if (!ReadWholeFile(file, bytes)) {
        return command.Error("Error opening the file " + file +
                             ". There may be a disk or file system error.");
    }
    std::vector<RegEntry> entries;
    RegFileError problem;
    if (!ParseRegFile(bytes, entries, problem)) {
        std::string where = problem.line > 0 ? file + ":" + std::to_string(problem.line) : file;
        return command.Error(where + ": " + ToUtf8(problem.message) + " (nothing was imported)");
    }
    std::vector<RegistryChange> changes;
    for (const RegEntry& entry : entries) {
        RegistryChange::Kind kind = entry.kind == RegEntry::kKey         ? RegistryChange::kCreateKey
                                    : entry.kind == RegEntry::kDeleteKey ? RegistryChange::kDeleteKeyTree
                                    : entry.kind == RegEntry::kValue     ? RegistryChange::kSetValue
                                                                         : RegistryChange::kDeleteValue;
        changes.push_back({kind, entry.root, entry.key, entry.name, entry.type, entry.data});
    }
    int32_t error = ApplyRegistryChanges(changes);
    return error == kErrorSuccess ? command.Success() : command.RegistryError(error);
}

int Export(Command& command, const std::vector<std::string>& args) {
    CommandLine line;
    if (!command.ParseLine(args, {{"/y", false}}, line) || line.arguments.size() != 2) {
        return command.Syntax();
    }
    HiveRoot root;
    std::string path;
    if (!command.ParseKey(line.arguments[0], root, path)) {
        return 1;
    }
    const std::string& file = line.arguments[1];
    std::vector<RegExportKey> keys;
    if (int32_t error = CollectKeys(root, path, true, keys); error != kErrorSuccess) {
        return command.RegistryError(error);
    }
    std::string bytes;
    std::string problem;
    if (!WriteRegFile(keys, bytes, problem)) {
        return command.Error("Cannot export: " + ToUtf8(problem));
    }
    if (!line.Has("/y") && std::ifstream(file).good() &&
        !command.Confirm("File " + file + " already exists. Overwrite")) {
        return command.Canceled();
    }
    // Written beside the target and renamed over it, so that a failed export never leaves half a file.
    std::string temporary = file + ".quillon-reg-tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            std::remove(temporary.c_str());
            return command.Error("Unable to write the file " + file + ".");
        }
    }
    if (std::rename(temporary.c_str(), file.c_str()) != 0) {
        std::remove(temporary.c_str());
        return command.Error("Unable to write the file " + file + ".");
    }
    return command.Success();
}

void Usage(std::ostream& out) {
    out << "QUILLON-REG Operation [Parameter List]\n\n"
           "  add    KEY [/v NAME | /ve] [/t TYPE] [/s SEP] [/d DATA] [/f]\n"
           "  query  KEY [/v NAME | /ve] [/s]\n"
           "  delete KEY [/v NAME | /ve | /va] [/f]\n"
           "  import FILE\n"
           "  export KEY FILE [/y]\n\n"
           "KEY    HKLM|HKEY_LOCAL_MACHINE|HKCU|HKEY_CURRENT_USER[\\SubKey]\n"
           "TYPE   REG_SZ, REG_MULTI_SZ, REG_EXPAND_SZ, REG_DWORD, REG_QWORD, REG_BINARY, REG_NONE\n"
           "FILE   a .reg file (\"Windows Registry Editor Version 5.00\" or \"REGEDIT4\")\n\n"
           "Return code: 0 - success, 1 - failure\n";
}

}  // namespace

int RunRegCommand(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                  std::ostream& err) {
    if (args.empty()) {
        err << "ERROR: Invalid syntax.\nType \"REG /?\" for usage.\n";
        return 1;
    }
    std::string name = ToLowerAscii(args[0]);
    if (name == "/?" || name == "-?" || name == "--help" || (args.size() == 2 && args[1] == "/?")) {
        Usage(out);
        return 0;
    }
    Command command(name, in, out, err);
    if (name == "add") {
        return Add(command, args);
    }
    if (name == "query") {
        return Query(command, args);
    }
    if (name == "delete") {
        return Delete(command, args);
    }
    if (name == "import") {
        return Import(command, args);
    }
    if (name == "export") {
        return Export(command, args);
    }
    err << "ERROR: Invalid syntax.\nType \"REG /?\" for usage.\n";
    return 1;
}

}  // namespace quillon
