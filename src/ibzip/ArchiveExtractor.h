// IB_UnZipArchiveFile and IB_UnZip: opens an archive and extracts its matching entries safely.
//
// Called with the settings mutex held (IbZipExports.cpp).
#pragma once

#include <cstdint>
#include <string>

#include "ibzip/ZipSettings.h"

namespace quillon::ibzip {

// Opens the Windows-form archive path read-only: its entry count + 1 (at most INT32_MAX) when it is a
// zip archive, else a failure code (kIbFileNotFound, kIbPathNotFound, kIbDamagedArchive, ...).
int32_t CheckArchive(const std::string& windowsArchive);

// Extracts the file entries of settings.unzipArchive that match settings.unzipSpec into
// settings.extractDir (see IbZip.h). Nothing is ever written outside the extract folder: unsafe names,
// links and special files are refused, and folders below the extract folder are entered only when they
// are real folders, never through links. Files already written stay when a later entry fails.
Outcome ExtractArchive(const ZipSettings& settings);

// Reads every entry of settings.unzipArchive that matches settings.unzipSpec to its end, which makes
// libzip compare its data with the recorded CRC and size. Stops at the first damaged entry.
Outcome CheckArchiveEntries(const ZipSettings& settings);

}  // namespace quillon::ibzip
