// Reading and writing .reg files, the text form in which registry keys and values are exchanged.
//
// Two formats are read: "Windows Registry Editor Version 5.00" (UTF-16LE with a byte-order mark, or
// UTF-8 with or without one) and "REGEDIT4" (8-bit code page 1252). Values stay 8-bit, code page 1252,
// as the program stores them: in a version 5 file, text and the data of string types (hex(1), hex(2),
// hex(7)) are UTF-16 and are converted, and a character outside code page 1252 makes the file
// malformed. Writing produces a version 5 file that the Windows registry editor imports.
//
// Pure functions on bytes in memory; any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/RegistryHive.h"

namespace quillon {

// One statement of a .reg file.
struct RegEntry {
    enum Kind : uint8_t {
        kKey,          // [KEY]: the key is created; the values that follow belong to it
        kDeleteKey,    // [-KEY]: the key and everything below it are deleted
        kValue,        // "name"=data or @=data
        kDeleteValue,  // "name"=-
    };
    Kind kind = kKey;
    HiveRoot root = HiveRoot::kCurrentUser;
    std::string key;   // below the root, without a trailing '\'
    std::string name;  // kValue, kDeleteValue: the value name, "" for the default value
    uint32_t type = kRegNone;
    std::string data;  // 8-bit, as stored
    int line = 0;      // first line of the statement in the file

    bool operator==(const RegEntry&) const = default;
};

// Why a file was rejected: the line (1 for the first) and what is wrong there.
struct RegFileError {
    int line = 0;
    std::string message;
};

// Parses a whole file. On success entries holds its statements in file order; on failure error
// tells the first problem and entries is empty, so that nothing of a malformed file is ever applied.
bool ParseRegFile(std::string_view bytes, std::vector<RegEntry>& entries, RegFileError& error);

// One key to write, with its values in the order to write them.
struct RegExportKey {
    HiveRoot root = HiveRoot::kCurrentUser;
    std::string path;  // "" for the root key itself
    std::vector<RegistryValue> values;
};

// Writes the keys as a version 5 file (UTF-16LE with byte-order mark, CRLF line ends). Values whose
// bytes the quoted or dword form cannot carry exactly are written as hex data of their type, so that
// reading the file back gives identical bytes. Fails (with a message) only for a key or value name
// that holds a line break, which no .reg file can express.
bool WriteRegFile(const std::vector<RegExportKey>& keys, std::string& bytes, std::string& error);

// "HKEY_LOCAL_MACHINE" or "HKEY_CURRENT_USER".
const char* RootName(HiveRoot root);

// Reads a root name: HKEY_LOCAL_MACHINE, HKLM, HKEY_CURRENT_USER or HKCU, in any letter case.
bool ParseRootName(std::string_view text, HiveRoot& root);

}  // namespace quillon
