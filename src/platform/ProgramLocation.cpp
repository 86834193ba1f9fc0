#include "platform/ProgramLocation.h"

#include <limits.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace quillon {

std::string NativeProgramDirectory() {
    char buffer[PATH_MAX];
    ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0) {
        return "";
    }
    std::string path(buffer, static_cast<size_t>(length));
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "" : path.substr(0, slash == 0 ? 1 : slash);
}

bool NativeProgramIsInstalled() {
    // The folder cmake/Install.cmake puts the program in.
    static const std::string kPrivateFolder = "/lib/quillon";
    const std::string folder = NativeProgramDirectory();
    return folder.size() > kPrivateFolder.size() &&
           folder.compare(folder.size() - kPrivateFolder.size(), kPrivateFolder.size(), kPrivateFolder) == 0;
}

bool IsNativeRegularFile(const std::string& nativePath) {
    struct stat status {};
    return ::stat(nativePath.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

std::string NativeStateDirectory() {
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr && *state == '/') {
        return std::string(state) + "/quillon";
    }
    const char* home = std::getenv("HOME");
    std::string base = home != nullptr && *home != '\0' ? home : "";
    if (base.empty()) {
        const passwd* entry = ::getpwuid(::getuid());
        base = entry != nullptr && entry->pw_dir != nullptr ? entry->pw_dir : "/";
    }
    return base + "/.local/state/quillon";
}

}  // namespace quillon
