// The layout of a compressed backup set: its archive names and the limits of one archive.
//
// A compressed set holds "QuillonData_000.Zip", "QuillonData_001.Zip", ... ; archive 000 also carries
// the set's copy of the control file, which every pass that stores files in the set adds anew, so it
// is kept small. The staging and packing themselves are steps of BackupPass (ZipCopy.cpp).
//
// Stateless; any thread.
#pragma once

#include <cstdint>
#include <string>

namespace quillon {

inline constexpr int64_t kArchiveByteLimit = 30'000'000;
inline constexpr int32_t kArchiveFileLimit = 300;
inline constexpr int32_t kFirstArchiveFileLimit = 20;

// "QuillonData_" + number with leading zeros to at least three digits + ".Zip".
std::string ArchiveFileName(int32_t number);

}  // namespace quillon
