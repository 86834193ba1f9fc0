// Scoped changes of the process environment for one test: a variable, the time zone, the drive map.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "testing/TempDir.h"

namespace quillon {
class DriveMap;
}

namespace quillon::testing {

// Sets (or with nullopt unsets) an environment variable and restores it afterwards.
class ScopedEnv {
  public:
    ScopedEnv(std::string name, std::optional<std::string> value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    std::string name_;
    std::optional<std::string> old_;
};

// Sets TZ (for example "Europe/Berlin") and makes the C library reread it.
class ScopedTimeZone {
  public:
    explicit ScopedTimeZone(const std::string& zone);
    ~ScopedTimeZone();

  private:
    std::optional<ScopedEnv> env_;
};

// A drive map of its own for one test: "c:" is a fresh temporary folder, "z:" is "/".
// Further drives can be added with Map().
class ScopedDriveMap {
  public:
    ScopedDriveMap();
    ~ScopedDriveMap();
    ScopedDriveMap(const ScopedDriveMap&) = delete;
    ScopedDriveMap& operator=(const ScopedDriveMap&) = delete;

    // Native folder of drive C:.
    const std::string& DriveC() const { return driveC_; }
    // Native path of a Windows-form path on drive C: ("C:\a\b" -> DriveC() + "/a/b").
    std::string Native(const std::string& windowsPath) const;
    // The folder of drive links, for a library that reads its own map from QUILLON_DRIVES.
    const std::string& Folder() const { return folder_; }
    // Maps letter to nativeFolder and reloads the process-wide map.
    void Map(char letter, const std::string& nativeFolder);

  private:
    TempDir dir_;
    std::string folder_;
    std::string driveC_;
    std::shared_ptr<const DriveMap> previous_;
};

}  // namespace quillon::testing
