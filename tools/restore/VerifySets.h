// VerifySets: checks what a backup folder still holds, and names every problem.
//
//   - every set the control file lists has its folder, and every set its own control file;
//   - every archive of a compressed set opens, and every entry of it reads back with the CRC and size
//     the archive records; an archive its files refer to is there, and holds each of them;
//   - every file a plain set's control file marks as stored in it is there;
//   - every file of the newest list has a copy in some set (else "no copy left").
// One line per problem on out, then a summary line. One thread.
#pragma once

#include <iosfwd>

namespace quillon {
class IbZip;
}

namespace quillon::restore {

class BackupFolder;

// 0 when no problem was found, 1 otherwise.
int VerifySets(const BackupFolder& folder, IbZip& zip, std::ostream& out);

}  // namespace quillon::restore
