// Three small utilities the engine and the end of a run share: writing a list of lines to an open
// file, the staging folder of compressed backups, and whether a drive letter names a network drive.
//
// Stateless; any thread.
#pragma once

#include <string>
#include <vector>

namespace quillon {

class NativeFile;

// Writes every string of the list in order, each followed by CR LF, and nothing else; the file stays
// open. False (last error set) when a write failed: the lines before it are written.
bool WriteStringList(NativeFile& file, const std::vector<std::string>& strings);

// The staging folder "C:\Temp\QuilRun\" (with its trailing backslash), created with any missing parent
// through CreatePathDirectories; "" when it cannot be created, or when a symbolic link stands in its
// place.
std::string GetTempDirectory();

// True when the drive letter (either case) is mapped to a folder that lies on a network file system
// (NFS, SMB, 9p, Ceph, sshfs and the like). False for local file systems and unmapped letters.
bool IsNetworkDrive(char letter);

}  // namespace quillon
