// The settings of the compression library, kept between export calls, and the outcome of one operation.
//
// One process-wide ZipSettings lives in IbZipExports.cpp behind a mutex; the operations receive it by
// reference while the caller holds that mutex.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ibzip/IbZip.h"

namespace quillon::ibzip {

enum class StoredNames : int { kNameOnly = 0, kWholePath = 1, kBelowSpecFolder = 2 };

// One file named by IB_ZipSourceList: where it is read and the entry name it gets.
struct ListedSource {
    std::string source;  // Windows-form path
    std::string entryName;
};

struct ZipSettings {
    std::string zipSpec;  // Windows-form path, wildcards in its last component
    bool recurseDirs = false;
    StoredNames storedNames = StoredNames::kBelowSpecFolder;
    bool overwrite = false;
    std::string zipArchive;
    // Files for the next IB_Zip instead of the spec's walk (IB_ZipSourceList); that IB_Zip empties it
    // and leaves a result for each file in sourceResults.
    std::vector<ListedSource> sourceList;
    std::vector<int32_t> sourceResults;
    std::string unzipArchive;
    std::string extractDir;
    std::string unzipSpec = "*.*";
    bool useStoredDirs = true;
    bool unzipLinks = false;
};

// What an operation did: a failure code (negative) or the number of files, and whether anything
// deserves a warning. Answer() folds that into the export's result: warnings count only when at least
// one file was written, so that "completed with warnings" always means some work was done.
struct Outcome {
    int32_t failure = 0;
    int32_t files = 0;
    bool warnings = false;

    int32_t Answer() const {
        if (failure != 0) {
            return failure;
        }
        return warnings && files > 0 ? kIbCompletedWithWarnings : files;
    }
};

}  // namespace quillon::ibzip
