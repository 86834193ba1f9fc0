// Registrierung: the direct registry primitives. A value is named by one full path ("key\name") below
// a root; reads prefer the machine hive and fall back to the user's hive, and so does the creation of
// a key for writing. They serve the few values that every instance and the configuration program
// share (the run semaphore, the last run times, the new-files counter).
//
// None of them reports an error: reads yield the caller's default, writes are best effort, and the
// failures show only as the fixed lines of the trace channel. Each call opens and closes its own key,
// so no state is kept between calls and any thread may call them.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/RegistryHive.h"

namespace quillon {

inline constexpr HiveRoot HKEY_LOCAL_MACHINE = HiveRoot::kLocalMachine;
inline constexpr HiveRoot HKEY_CURRENT_USER = HiveRoot::kCurrentUser;

// A string read through GetRegistryString holds at most this many bytes, its terminating zero included.
inline constexpr uint32_t kRegistryStringBuffer = 300;
// An integer read through GetRegistryInt may be stored in at most this many bytes.
inline constexpr uint32_t kRegistryIntBuffer = 8;

// The stored text (REG_SZ or REG_EXPAND_SZ, the latter unexpanded, up to its first zero), or
// defaultText when the value is missing in both hives, too long (299 characters at most) or of another
// type. A value the machine hive cannot give is looked up once more in the user hive.
std::string GetRegistryString(HiveRoot root, const std::string& path, const std::string& defaultText);

// The first four bytes of a REG_DWORD or REG_BINARY value (shorter data zero-extended) as a
// little-endian signed integer, or defaultValue when missing, longer than 8 bytes or of another type.
// Same fallback as GetRegistryString.
int32_t GetRegistryInt(HiveRoot root, const std::string& path, int32_t defaultValue);

// Creates or opens keyPath below root for writing. A machine-hive key that cannot be created is
// created in the user hive instead. Answers the open key, which the caller closes (or lets go out of
// scope), or the null key when it could not be created anywhere.
RegistryKey CreateRegistryPath(HiveRoot root, const std::string& keyPath);

// Stores text (up to its first zero, with a terminating zero) as REG_SZ.
void WriteRegistryString(HiveRoot root, const std::string& path, const std::string& text);

// Stores value as a 4-byte little-endian REG_DWORD.
void WriteRegistryInt(HiveRoot root, const std::string& path, int32_t value);

// One value for WriteRegistryValues: a REG_DWORD or a REG_SZ, named by its full path.
struct RegistryWrite {
    static RegistryWrite Number(std::string path, int32_t value) {
        return RegistryWrite{std::move(path), false, value, std::string()};
    }
    static RegistryWrite Text(std::string path, std::string text) {
        return RegistryWrite{std::move(path), true, 0, std::move(text)};
    }
    std::string Path;
    bool IsText = false;
    int32_t NumberValue = 0;
    std::string TextValue;
};

// The stored bytes of a REG_DWORD (4 bytes, little-endian) and of a REG_SZ (the text up to its first
// zero, and a terminating zero).
std::string RegistryDwordData(int32_t value);
std::string RegistryTextData(const std::string& text);

// The change of a hive that stores write's value as the value name of root\key.
RegistryChange SetValueChange(HiveRoot root, std::string key, std::string name, const RegistryWrite& write);

// Stores the values as WriteRegistryInt and WriteRegistryString would, in order, but in one change of
// the hive: each change is forced to the disk, which costs far more than the writing. When that
// change cannot be made (a machine hive that cannot be written), each value is written on its own, with
// the fallback to the user's hive.
void WriteRegistryValues(HiveRoot root, const std::vector<RegistryWrite>& writes);

// Takes a semaphore: stores value as WriteRegistryInt does, but only while the integer stored there (as
// GetRegistryInt reads it, 0 when missing) is 0 or less, which means free. The check and the write are
// one transaction of the hive, so of several processes taking it at once only one succeeds. False only
// when a positive value was found; a value that cannot be written at all answers true, as writes here
// are best effort.
bool TakeRegistryInt(HiveRoot root, const std::string& path, int32_t value);

}  // namespace quillon
