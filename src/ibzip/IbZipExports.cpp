// The exports of the compression library: settings kept between calls and the two operations.
//
// Every export takes the one process-wide mutex, so the settings of one caller never mix with another's
// half-way; nothing thrown inside (allocation failures) leaves the library.
#include <mutex>
#include <string>
#include <vector>

#include "ibzip/ArchiveExtractor.h"
#include "ibzip/ArchiveWriter.h"
#include "ibzip/IbZip.h"
#include "ibzip/ZipSettings.h"

namespace quillon::ibzip {
namespace {

std::mutex settingsMutex;
ZipSettings settings;  // guarded by settingsMutex

template <typename Function>
int32_t Guarded(Function function) {
    try {
        std::lock_guard lock(settingsMutex);
        return function(settings);
    } catch (...) {
        return kIbGeneralError;
    }
}

int32_t SetText(intptr_t argument, std::string ZipSettings::*field) {
    const auto* text = reinterpret_cast<const char*>(argument);
    if (text == nullptr) {
        return kIbInvalidArgument;
    }
    return Guarded([&](ZipSettings& state) {
        state.*field = text;
        return 0;
    });
}

int32_t SetFlag(intptr_t argument, bool ZipSettings::*field) {
    return Guarded([&](ZipSettings& state) {
        state.*field = argument != 0;
        return 0;
    });
}

}  // namespace
}  // namespace quillon::ibzip

using quillon::ibzip::Guarded;
using quillon::ibzip::SetFlag;
using quillon::ibzip::SetText;
using quillon::ibzip::StoredNames;
using quillon::ibzip::ZipSettings;

int32_t IB_ZipFileSpec(intptr_t spec) {
    return SetText(spec, &ZipSettings::zipSpec);
}

int32_t IB_ZipRecurseDirs(intptr_t on) {
    return SetFlag(on, &ZipSettings::recurseDirs);
}

int32_t IB_ZipStoredDirNames(intptr_t mode) {
    if (mode < 0 || mode > 2) {
        return quillon::ibzip::kIbInvalidArgument;
    }
    return Guarded([&](ZipSettings& state) {
        state.storedNames = static_cast<StoredNames>(mode);
        return 0;
    });
}

int32_t IB_Overwrite(intptr_t on) {
    return SetFlag(on, &ZipSettings::overwrite);
}

int32_t IB_ZipArchiveFile(intptr_t archive) {
    return SetText(archive, &ZipSettings::zipArchive);
}

int32_t IB_ZipSourceList(intptr_t list) {
    const auto* text = reinterpret_cast<const char*>(list);
    if (text == nullptr) {
        return quillon::ibzip::kIbInvalidArgument;
    }
    std::vector<quillon::ibzip::ListedSource> sources;
    try {
        while (*text != '\0') {
            quillon::ibzip::ListedSource& source = sources.emplace_back();
            source.source = text;
            text += source.source.size() + 1;
            if (*text == '\0') {
                return quillon::ibzip::kIbInvalidArgument;  // a path without its entry name
            }
            source.entryName = text;
            text += source.entryName.size() + 1;
        }
    } catch (...) {
        return quillon::ibzip::kIbGeneralError;
    }
    return Guarded([&](ZipSettings& state) {
        state.sourceList = std::move(sources);
        return 0;
    });
}

int32_t IB_ZipSourceResult(intptr_t position) {
    return Guarded([&](ZipSettings& state) {
        return position >= 0 && static_cast<size_t>(position) < state.sourceResults.size()
                   ? state.sourceResults[static_cast<size_t>(position)]
                   : 0;
    });
}

int32_t IB_Zip(intptr_t /*unused*/) {
    return Guarded([](ZipSettings& state) { return quillon::ibzip::WriteArchive(state).Answer(); });
}

int32_t IB_UnZipArchiveFile(intptr_t archive) {
    int32_t stored = SetText(archive, &ZipSettings::unzipArchive);
    if (stored != 0) {
        return stored;
    }
    return Guarded([](ZipSettings& state) { return quillon::ibzip::CheckArchive(state.unzipArchive); });
}

int32_t IB_UnZipExtractDir(intptr_t folder) {
    return SetText(folder, &ZipSettings::extractDir);
}

int32_t IB_UnZipFileSpec(intptr_t spec) {
    return SetText(spec, &ZipSettings::unzipSpec);
}

int32_t IB_UnZipUseStoredDirs(intptr_t on) {
    return SetFlag(on, &ZipSettings::useStoredDirs);
}

int32_t IB_UnZipLinks(intptr_t on) {
    return SetFlag(on, &ZipSettings::unzipLinks);
}

int32_t IB_UnZip(intptr_t /*unused*/) {
    return Guarded([](ZipSettings& state) { return quillon::ibzip::ExtractArchive(state).Answer(); });
}

int32_t IB_CRCCheck(intptr_t /*unused*/) {
    return Guarded([](ZipSettings& state) { return quillon::ibzip::CheckArchiveEntries(state).Answer(); });
}

#define IBZIP_DEFINE_UNSUPPORTED(name)          \
    int32_t name(intptr_t) {                    \
        return quillon::ibzip::kIbNotSupported; \
    }
IBZIP_UNSUPPORTED_EXPORTS(IBZIP_DEFINE_UNSUPPORTED)
#undef IBZIP_DEFINE_UNSUPPORTED
