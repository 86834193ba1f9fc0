#include "platform/DriveMap.h"

#include <limits.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <filesystem>
#include <mutex>

#include "platform/LastError.h"
#include "platform/Trace.h"

namespace quillon {
namespace {

const std::string kEmpty;

std::string WithoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

std::string LexicallyNormal(const std::string& path) {
    return WithoutTrailingSlash(std::filesystem::path(path).lexically_normal().string());
}

std::string HomeDirectory() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home != '\0') {
        return home;
    }
    const passwd* entry = ::getpwuid(::getuid());
    return entry != nullptr && entry->pw_dir != nullptr ? entry->pw_dir : "/";
}

std::string DataHome() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg != nullptr && *xdg == '/') {
        return xdg;
    }
    return HomeDirectory() + "/.local/share";
}

bool MakeDirectories(const std::string& path) {
    std::error_code error;
    std::filesystem::create_directories(path, error);
    return !error;
}

// Creates the default map: "c:" -> .../quillon/drive_c, "z:" -> "/".
void CreateDefaultFolder(const std::string& folder) {
    std::string driveC = DataHome() + "/quillon/drive_c";
    if (!MakeDirectories(folder) || !MakeDirectories(driveC)) {
        Trace("*** Laufwerkszuordnung %s kann nicht angelegt werden\n", folder.c_str());
        return;
    }
    if (::symlink(driveC.c_str(), (folder + "/c:").c_str()) != 0 && errno != EEXIST) {
        Trace("*** Laufwerk c: kann nicht angelegt werden\n");
    }
    if (::symlink("/", (folder + "/z:").c_str()) != 0 && errno != EEXIST) {
        Trace("*** Laufwerk z: kann nicht angelegt werden\n");
    }
}

bool IsDriveSpec(std::string_view path) {
    return path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
}

bool IsBelow(std::string_view path, const std::string& target) {
    if (target.empty()) {
        return false;
    }
    if (target == "/") {
        return !path.empty() && path[0] == '/';
    }
    return path.substr(0, target.size()) == target &&
           (path.size() == target.size() || path[target.size()] == '/');
}

std::mutex drivesMutex;
std::shared_ptr<const DriveMap> currentDrives;  // guarded by drivesMutex

}  // namespace

DriveMap DriveMap::Load(const std::string& folder) {
    DriveMap map;
    map.folder_ = WithoutTrailingSlash(folder);
    for (int i = 0; i < 26; ++i) {
        std::string link = map.folder_ + "/" + static_cast<char>('a' + i) + ":";
        char buffer[PATH_MAX];
        ssize_t length = ::readlink(link.c_str(), buffer, sizeof buffer - 1);
        if (length <= 0) {
            continue;
        }
        std::string target(buffer, static_cast<size_t>(length));
        if (target[0] != '/') {
            target = map.folder_ + "/" + target;
        }
        map.targets_[i] = LexicallyNormal(target);
    }
    return map;
}

std::string DriveMap::EnvironmentFolder() {
    const char* configured = std::getenv("QUILLON_DRIVES");
    return configured != nullptr && *configured != '\0' ? std::string(configured)
                                                        : DataHome() + "/quillon/dosdevices";
}

DriveMap DriveMap::FromEnvironment() {
    std::string folder = EnvironmentFolder();
    struct stat info;
    if (::stat(folder.c_str(), &info) != 0) {
        CreateDefaultFolder(folder);
    }
    return Load(folder);
}

const std::string& DriveMap::Target(char letter) const {
    int index = std::tolower(static_cast<unsigned char>(letter)) - 'a';
    return index >= 0 && index < 26 ? targets_[index] : kEmpty;
}

bool DriveMap::ToNative(std::string_view windowsPath, std::string& native) const {
    if (!IsDriveSpec(windowsPath)) {
        return false;  // relative or UNC
    }
    const std::string& target = Target(windowsPath[0]);
    std::string_view rest = windowsPath.substr(2);
    if (target.empty() || (!rest.empty() && rest[0] != '\\' && rest[0] != '/')) {
        return false;  // unmapped letter, or a drive-relative path such as "C:foo"
    }
    native = target == "/" && !rest.empty() ? std::string() : target;
    for (char c : rest) {
        native.push_back(c == '\\' ? '/' : c);
    }
    return true;
}

bool DriveMap::ToWindows(std::string_view nativePath, std::string& windows) const {
    if (nativePath.empty() || nativePath[0] != '/') {
        return false;
    }
    int best = -1;
    for (int i = 0; i < 26; ++i) {
        if (IsBelow(nativePath, targets_[i]) && (best < 0 || targets_[i].size() > targets_[best].size())) {
            best = i;
        }
    }
    if (best < 0) {
        return false;
    }
    const std::string& target = targets_[best];
    std::string_view rest = target == "/" ? nativePath : nativePath.substr(target.size());
    if (rest.find('\\') != std::string_view::npos) {
        return false;
    }
    windows.assign(1, static_cast<char>('A' + best));
    windows += ':';
    if (rest.empty()) {
        windows += '\\';
    }
    for (char c : rest) {
        windows.push_back(c == '/' ? '\\' : c);
    }
    return true;
}

const DriveMap& Drives() {
    std::lock_guard lock(drivesMutex);
    if (!currentDrives) {
        currentDrives = std::make_shared<const DriveMap>(DriveMap::FromEnvironment());
    }
    return *currentDrives;
}

std::shared_ptr<const DriveMap> SetDrives(std::shared_ptr<const DriveMap> map) {
    std::lock_guard lock(drivesMutex);
    std::swap(currentDrives, map);
    return map;
}

bool ToNativePath(std::string_view windowsPath, std::string& native) {
    if (Drives().ToNative(windowsPath, native)) {
        return true;
    }
    SetLastError(kErrorPathNotFound);
    return false;
}

bool ToWindowsPath(std::string_view nativePath, std::string& windows) {
    if (Drives().ToWindows(nativePath, windows)) {
        return true;
    }
    SetLastError(nativePath.find('\\') != std::string_view::npos ? kErrorInvalidName : kErrorPathNotFound);
    return false;
}

}  // namespace quillon
