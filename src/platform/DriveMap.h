// Drive map: turns the Windows-form paths the program works with ("C:\Data\offer.doc") into native
// paths and back.
//
// A folder of symbolic links named "c:", "z:", ... (a lower-case letter and a colon) maps each drive
// letter to a directory, as Wine's dosdevices do. The folder is QUILLON_DRIVES, by default
// ${XDG_DATA_HOME:-$HOME/.local/share}/quillon/dosdevices. When it does not exist it is created with
// "c:" -> .../quillon/drive_c (created too) and "z:" -> "/".
//
// Paths stay in Windows form everywhere above the platform layer; only the file layer translates.
// Names pass through byte for byte: nothing here changes the case or the encoding of a name.
//
// Thread-safety: a DriveMap is immutable once loaded. The process-wide map is loaded on first use;
// SetDrives may replace it only while no other thread uses it (start-up and tests).
#pragma once

#include <array>
#include <memory>
#include <string>
#include <string_view>

namespace quillon {

class DriveMap {
  public:
    // An empty map: every translation fails.
    DriveMap() = default;

    // Reads the links of folder. Links that do not point anywhere absolute are resolved against the
    // folder, as the file system would resolve them.
    static DriveMap Load(const std::string& folder);

    // The map named by the environment, creating the default folder when it is missing.
    static DriveMap FromEnvironment();

    // The folder FromEnvironment reads (QUILLON_DRIVES, or the default), whether it exists or not.
    static std::string EnvironmentFolder();

    // "X:\a\b" becomes the target of "x:" plus "/a/b"; '/' counts as a separator too. A path with an
    // unmapped drive letter, a relative path or a UNC path fails.
    bool ToNative(std::string_view windowsPath, std::string& native) const;

    // An absolute native path becomes the drive whose target is its longest prefix plus the rest
    // ("/home/u/x" is "Z:\home\u\x" with the default map). A relative path, a path below no drive, or a
    // path with a backslash inside a name (which no Windows-form path can express) fails.
    bool ToWindows(std::string_view nativePath, std::string& windows) const;

    // The directory of a drive letter (either case), or "" when the letter is not mapped.
    const std::string& Target(char letter) const;

    const std::string& Folder() const { return folder_; }

  private:
    std::string folder_;
    std::array<std::string, 26> targets_;
};

// The process-wide map (loaded from the environment on first use).
const DriveMap& Drives();

// Replaces the process-wide map; returns the previous one. For start-up and tests.
std::shared_ptr<const DriveMap> SetDrives(std::shared_ptr<const DriveMap> map);

// Translations through the process-wide map. On failure they set the last-error value to 3 (path not
// found), or 123 (invalid name) for a native name that holds a backslash.
bool ToNativePath(std::string_view windowsPath, std::string& native);
bool ToWindowsPath(std::string_view nativePath, std::string& windows);

}  // namespace quillon
