// Finds the files an IB_ZipFileSpec selects and the entry name each gets in the archive.
//
// Called by IB_Zip on the caller's thread; holds no state between calls.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "ibzip/ZipSettings.h"

namespace quillon {
class DriveMap;
}

namespace quillon::ibzip {

struct CollectedFile {
    std::string nativePath;
    std::string entryName;  // '/' separators
    bool nameIsUtf8 = true;
    uint64_t size = 0;
    time_t modified = 0;
    mode_t mode = 0;                  // permission bits
    bool isLink = false;              // a symbolic link, stored as a link entry
    std::string linkTarget;           // its target text, the entry's content
    int64_t modifiedNanoseconds = 0;  // the exact modification time, to see a change while it is read
    size_t listed = 0;                // its position in the source list (CollectListed)
};

struct Collection {
    std::vector<CollectedFile> files;  // in the order of a sorted walk, names unique
    int32_t failure = 0;               // a code when the spec's folder or a subfolder cannot be read
    bool warnings = false;             // something was left out or is not UTF-8 (see IbZip.h)
};

// Walks the folder of settings.zipSpec (and, with recurseDirs, its subfolders) and collects every
// regular file and every symbolic link whose name matches the spec's last component. A link is never
// followed, whatever it points to (a file, a folder, nothing): it is collected as itself, with its
// target text, so that the archive holds a link entry. A file with the device
// and inode of skip (the archive being written) is left out silently. A name without wildcards that
// selects nothing fails with kIbFileNotFound; a missing or untranslatable folder with kIbPathNotFound.
Collection CollectFiles(const DriveMap& drives, const ZipSettings& settings, dev_t skipDevice,
                        ino_t skipInode);

// Looks at each file of settings.sourceList as the walk looks at a file (a link is collected as itself,
// never followed) and names it with the list's entry name. A file that cannot be collected (gone, not a
// regular file or link, a path the drive map cannot translate) is left out and its code put into
// results[position]; the results of the collected ones stay 0. Never fails as a whole.
Collection CollectListed(const DriveMap& drives, const ZipSettings& settings, std::vector<int32_t>& results);

// Looks at file.nativePath again and takes its size, time, mode and kind (file or link) afresh. 0, or the
// code of why it can no longer be collected.
int32_t LookAtListedFile(CollectedFile& file);

}  // namespace quillon::ibzip
