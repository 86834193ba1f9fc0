#include "platform/PrivateDriveMap.h"

#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <vector>

#include "platform/DriveMap.h"
#include "platform/LastError.h"

namespace quillon {

PrivateDriveMap::~PrivateDriveMap() {
    if (installed_) {
        SetDrives(previous_);
    }
    if (!folder_.empty()) {
        ::unlink((folder_ + "/z:").c_str());
        ::rmdir(folder_.c_str());
    }
}

bool PrivateDriveMap::Create() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern =
        (tmp != nullptr && *tmp == '/' ? std::string(tmp) : std::string("/tmp")) + "/quillon-drives.XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (::mkdtemp(name.data()) == nullptr) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    folder_ = name.data();
    if (::symlink("/", (folder_ + "/z:").c_str()) != 0 ||
        ::setenv("QUILLON_DRIVES", folder_.c_str(), 1) != 0) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    previous_ = SetDrives(std::make_shared<const DriveMap>(DriveMap::Load(folder_)));
    installed_ = true;
    return true;
}

}  // namespace quillon

namespace quillon {

bool AbsoluteNativePath(const std::string& path, std::string& absolute) {
    std::error_code error;
    std::filesystem::path whole = std::filesystem::absolute(path, error);
    if (error) {
        SetLastErrorFromErrno(error.value());
        return false;
    }
    absolute = whole.lexically_normal().string();
    while (absolute.size() > 1 && absolute.back() == '/') {
        absolute.pop_back();
    }
    return true;
}

}  // namespace quillon
