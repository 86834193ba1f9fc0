#include "config/Registrierung.h"

#include <cstring>
#include <string>
#include <string_view>

#include "platform/LastError.h"
#include "platform/Trace.h"

namespace quillon {
namespace {

// Splits at the last backslash: the key path before it, the value name after it. Without a backslash
// the whole path is the value name.
void SplitValuePath(const std::string& path, std::string& keyPath, std::string& name) {
    size_t last = path.rfind('\\');
    if (last == std::string::npos) {
        keyPath.clear();
        name = path;
    } else {
        keyPath = path.substr(0, last);
        name = path.substr(last + 1);
    }
}

// Opens keyPath for reading and queries name into buffer, falling back once from the machine hive to
// the user hive when either step fails there. Answers the final status.
int32_t QueryWithFallback(HiveRoot root, const std::string& path, char* buffer, uint32_t capacity,
                          uint32_t& type, uint32_t& size) {
    std::string keyPath;
    std::string name;
    SplitValuePath(path, keyPath, name);
    int32_t status = kErrorSuccess;
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::memset(buffer, 0, capacity);
        size = capacity;
        RegistryKey key;
        status = OpenRegistryKey(root, keyPath, key);
        if (status == kErrorSuccess) {
            status = QueryRegistryValue(key, name, &type, buffer, &size);
            key.Close();
        }
        if (status == kErrorSuccess || root != HKEY_LOCAL_MACHINE) {
            break;
        }
        root = HKEY_CURRENT_USER;
    }
    return status;
}

// The value into buffer when it is there, fits and has one of the two accepted types; a value too long
// or of another type is traced in the caller's name.
bool QueryTyped(HiveRoot root, const std::string& path, char* buffer, uint32_t capacity, uint32_t accepted,
                uint32_t alsoAccepted, const char* caller, const char* tooLong, uint32_t& size) {
    uint32_t type = kRegNone;
    int32_t status = QueryWithFallback(root, path, buffer, capacity, type, size);
    if (status == kErrorMoreData) {
        Trace("** %s: %s in >%s<\n", caller, tooLong, path.c_str());
        return false;
    }
    if (status != kErrorSuccess) {
        return false;
    }
    if (type != accepted && type != alsoAccepted) {
        Trace("** %s: Wrong Data type in >%s<\n", caller, path.c_str());
        return false;
    }
    return true;
}

// The first four bytes of stored data (shorter data zero-extended) as a little-endian signed integer.
int32_t DwordOf(const char* data, size_t size) {
    auto byte = [&](size_t i) {
        return i < size ? static_cast<uint32_t>(static_cast<unsigned char>(data[i])) : 0u;
    };
    return static_cast<int32_t>(byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24);
}

}  // namespace

std::string RegistryDwordData(int32_t value) {
    auto bits = static_cast<uint32_t>(value);
    return {static_cast<char>(bits), static_cast<char>(bits >> 8), static_cast<char>(bits >> 16),
            static_cast<char>(bits >> 24)};
}

std::string RegistryTextData(const std::string& text) {
    std::string data(text.c_str());
    data.push_back('\0');
    return data;
}

RegistryChange SetValueChange(HiveRoot root, std::string key, std::string name, const RegistryWrite& write) {
    RegistryChange change;
    change.kind = RegistryChange::kSetValue;
    change.root = root;
    change.key = std::move(key);
    change.name = std::move(name);
    change.type = write.IsText ? kRegSz : kRegDword;
    change.data = write.IsText ? RegistryTextData(write.TextValue) : RegistryDwordData(write.NumberValue);
    return change;
}

std::string GetRegistryString(HiveRoot root, const std::string& path, const std::string& defaultText) {
    char buffer[kRegistryStringBuffer];
    uint32_t size = 0;
    if (!QueryTyped(root, path, buffer, sizeof buffer, kRegSz, kRegExpandSz, "GetRegistryString",
                    "String too long", size)) {
        return defaultText;
    }
    // Text stored without its terminating zero ends with the stored bytes, never beyond them.
    return std::string(buffer, ::strnlen(buffer, size));
}

int32_t GetRegistryInt(HiveRoot root, const std::string& path, int32_t defaultValue) {
    char buffer[kRegistryIntBuffer];
    uint32_t size = 0;
    if (!QueryTyped(root, path, buffer, sizeof buffer, kRegDword, kRegBinary, "GetRegistryInt",
                    "Too many Data", size)) {
        return defaultValue;
    }
    return DwordOf(buffer, size);
}

RegistryKey CreateRegistryPath(HiveRoot root, const std::string& keyPath) {
    RegistryKey key;
    if (CreateRegistryKey(root, keyPath, key) == kErrorSuccess) {
        return key;
    }
    Trace("*** CreateRegistryPath: Key Open Error 1:  >%s<\n", keyPath.c_str());
    if (CreateRegistryKey(root, keyPath, key) == kErrorSuccess) {
        return key;
    }
    Trace("*** CreateRegistryPath: Key Open Error 2:  >%s<\n", keyPath.c_str());
    if (root != HKEY_LOCAL_MACHINE) {
        return RegistryKey();
    }
    if (CreateRegistryKey(HKEY_CURRENT_USER, keyPath, key) == kErrorSuccess) {
        return key;
    }
    Trace("*** CreateRegistryPath: Key Open Error 3:  >%s<\n", keyPath.c_str());
    return RegistryKey();
}

void WriteRegistryString(HiveRoot root, const std::string& path, const std::string& text) {
    std::string keyPath;
    std::string name;
    SplitValuePath(path, keyPath, name);
    RegistryKey key = CreateRegistryPath(root, keyPath);
    if (!key) {
        return;
    }
    int32_t status = SetRegistryValue(key, name, kRegSz, RegistryTextData(text));
    key.Close();
    if (status != kErrorSuccess) {
        Trace("*** WriteRegistryString: Write Error in >%s<\n", path.c_str());
    }
}

void WriteRegistryValues(HiveRoot root, const std::vector<RegistryWrite>& writes) {
    std::vector<RegistryChange> changes;
    changes.reserve(writes.size());
    for (const RegistryWrite& write : writes) {
        std::string keyPath;
        std::string name;
        SplitValuePath(write.Path, keyPath, name);
        changes.push_back(SetValueChange(root, std::move(keyPath), std::move(name), write));
    }
    if (ApplyRegistryChanges(changes) == kErrorSuccess) {
        return;
    }
    for (const RegistryWrite& write : writes) {
        if (write.IsText) {
            WriteRegistryString(root, write.Path, write.TextValue);
        } else {
            WriteRegistryInt(root, write.Path, write.NumberValue);
        }
    }
}

bool TakeRegistryInt(HiveRoot root, const std::string& path, int32_t value) {
    std::string keyPath;
    std::string name;
    SplitValuePath(path, keyPath, name);
    RegistryKey key = CreateRegistryPath(root, keyPath);
    if (!key) {
        return true;
    }
    auto isFree = [](bool exists, uint32_t type, std::string_view data) {
        if (!exists || (type != kRegDword && type != kRegBinary) || data.size() > kRegistryIntBuffer) {
            return true;  // read as 0
        }
        return DwordOf(data.data(), data.size()) <= 0;
    };
    bool stored = false;
    int32_t status = SetRegistryValueIf(key, name, isFree, kRegDword, RegistryDwordData(value), stored);
    key.Close();
    if (status != kErrorSuccess) {
        Trace("*** WriteRegistryInt: Write Error in >%s<\n", path.c_str());
        return true;
    }
    return stored;
}

void WriteRegistryInt(HiveRoot root, const std::string& path, int32_t value) {
    std::string keyPath;
    std::string name;
    SplitValuePath(path, keyPath, name);
    RegistryKey key = CreateRegistryPath(root, keyPath);
    if (!key) {
        return;
    }
    int32_t status = SetRegistryValue(key, name, kRegDword, RegistryDwordData(value));
    key.Close();
    if (status != kErrorSuccess) {
        Trace("*** WriteRegistryInt: Write Error in >%s<\n", path.c_str());
    }
}

}  // namespace quillon
