#include "testing/Environment.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>

#include "platform/DriveMap.h"
#include "platform/LocalTime.h"

namespace quillon::testing {

namespace {

void SetOrUnset(const std::string& name, const std::optional<std::string>& value) {
    if (value) {
        ::setenv(name.c_str(), value->c_str(), 1);
    } else {
        ::unsetenv(name.c_str());
    }
}

}  // namespace

ScopedEnv::ScopedEnv(std::string name, std::optional<std::string> value) : name_(std::move(name)) {
    if (const char* old = std::getenv(name_.c_str())) {
        old_ = old;
    }
    SetOrUnset(name_, value);
}

ScopedEnv::~ScopedEnv() {
    SetOrUnset(name_, old_);
}

ScopedTimeZone::ScopedTimeZone(const std::string& zone) {
    env_.emplace("TZ", zone);
    ReloadTimeZone();
}

ScopedTimeZone::~ScopedTimeZone() {
    env_.reset();
    ReloadTimeZone();
}

ScopedDriveMap::ScopedDriveMap() : folder_(dir_ / "dosdevices"), driveC_(dir_ / "drive_c") {
    std::filesystem::create_directories(folder_);
    std::filesystem::create_directories(driveC_);
    std::filesystem::create_directory_symlink(driveC_, folder_ + "/c:");
    std::filesystem::create_directory_symlink("/", folder_ + "/z:");
    previous_ = SetDrives(std::make_shared<const DriveMap>(DriveMap::Load(folder_)));
}

ScopedDriveMap::~ScopedDriveMap() {
    SetDrives(previous_);
}

std::string ScopedDriveMap::Native(const std::string& windowsPath) const {
    std::string native;
    EXPECT_TRUE(Drives().ToNative(windowsPath, native)) << windowsPath;
    return native;
}

void ScopedDriveMap::Map(char letter, const std::string& nativeFolder) {
    std::string link = folder_ + "/" + static_cast<char>(std::tolower(letter)) + ":";
    std::filesystem::remove(link);
    std::filesystem::create_directory_symlink(nativeFolder, link);
    SetDrives(std::make_shared<const DriveMap>(DriveMap::Load(folder_)));
}

}  // namespace quillon::testing
