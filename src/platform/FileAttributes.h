// Windows file attributes over POSIX files.
//
//   READONLY  0x01  a file without any write permission bit. Setting it removes every write bit,
//                   clearing it gives the owner write permission back.
//   HIDDEN    0x02  kept with ARCHIVE and SYSTEM in the extended attribute "user.DOSATTRIB" as the text
//   SYSTEM    0x04  "0x" plus hexadecimal digits, the form other programs that serve or run Windows
//   ARCHIVE   0x20  software on Linux keep them in, so that all of them agree.
//   DIRECTORY 0x10  the file type; it cannot be changed.
//   REPARSE   0x400 the entry is a symbolic link (reported by the directory listing).
//
// A file without "user.DOSATTRIB", or on a file system without user extended attributes, reads as
// ARCHIVE set and HIDDEN and SYSTEM clear: the safe side, since retention never deletes a backup set
// that nothing marked as archived.
//
// Reading follows symbolic links: a link reads as the file it points to. Writing never does: a link is
// left unchanged, and so is what it points to (1921).
// Stateless; any thread. Failures set the last-error value (Windows error numbers).
#pragma once

#include <cstdint>
#include <string>

namespace quillon {

inline constexpr uint32_t kAttributeReadOnly = 0x01;
inline constexpr uint32_t kAttributeHidden = 0x02;
inline constexpr uint32_t kAttributeSystem = 0x04;
inline constexpr uint32_t kAttributeVolume = 0x08;
inline constexpr uint32_t kAttributeDirectory = 0x10;
inline constexpr uint32_t kAttributeArchive = 0x20;
inline constexpr uint32_t kAttributeReparsePoint = 0x400;

// Reads the attributes of the file or directory at a Windows-form path. False (with the last error
// set) when it does not exist or cannot be reached.
bool ReadFileAttributes(const std::string& windowsPath, uint32_t& attributes);

// Gives the file or directory the READONLY, HIDDEN, SYSTEM and ARCHIVE bits of attributes; the other
// bits are ignored. Changes only what differs. False (with the last error set) when a change failed;
// the changes made before it stay.
bool WriteFileAttributes(const std::string& windowsPath, uint32_t attributes);

// For the file layer: the attributes of an existing native path whose (followed) st_mode is mode.
uint32_t AttributesOfNative(const std::string& nativePath, uint32_t mode);

}  // namespace quillon
