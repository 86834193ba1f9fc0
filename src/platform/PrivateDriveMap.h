// PrivateDriveMap: a drive map of the process's own, for tools that must work on a machine where no
// drive map was ever made (a rescue system with nothing but the backup disk).
//
// It lives in a fresh folder below $TMPDIR (or /tmp) and maps "z:" to "/" alone, so every absolute
// native path has the Windows form "Z:\...". Create makes it the process-wide map and points
// QUILLON_DRIVES at it, so that the compression library, which reads the map named there afresh,
// translates alike; nothing is written to the user's own drive map folder. The folder goes with the
// object. Create and the destructor belong to start-up and the end of the program (one thread).
#pragma once

#include <memory>
#include <string>

namespace quillon {

class DriveMap;

class PrivateDriveMap {
  public:
    PrivateDriveMap() = default;
    ~PrivateDriveMap();
    PrivateDriveMap(const PrivateDriveMap&) = delete;
    PrivateDriveMap& operator=(const PrivateDriveMap&) = delete;

    // Makes the folder and its link and installs the map. False (last error set) when it cannot.
    bool Create();

    // The native folder of the map; "" before Create.
    const std::string& Folder() const { return folder_; }

  private:
    std::string folder_;
    std::shared_ptr<const DriveMap> previous_;
    bool installed_ = false;
};

}  // namespace quillon

namespace quillon {

// The absolute, lexically normal form of a native path given on a command line (relative paths are
// taken from the working folder). False when the working folder cannot be had.
bool AbsoluteNativePath(const std::string& path, std::string& absolute);

}  // namespace quillon
