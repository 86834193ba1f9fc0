#include "platform/FileAttributes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "platform/DriveMap.h"
#include "platform/LastError.h"

namespace quillon {
namespace {

constexpr const char* kDosAttributeName = "user.DOSATTRIB";
constexpr uint32_t kKeptInExtendedAttribute = kAttributeHidden | kAttributeSystem | kAttributeArchive;
constexpr mode_t kWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// "0x" and hexadecimal digits. Other programs store a binary record after the text (behind a zero
// byte), so parsing stops at the first byte that is not a digit.
bool ParseDosAttribute(const char* value, size_t length, uint32_t& bits) {
    if (length < 3 || value[0] != '0' || (value[1] != 'x' && value[1] != 'X')) {
        return false;
    }
    uint64_t result = 0;
    size_t i = 2;
    for (; i < length && HexDigit(value[i]) >= 0; ++i) {
        result = result * 16 + static_cast<uint64_t>(HexDigit(value[i]));
        if (result > UINT32_MAX) {
            return false;
        }
    }
    if (i == 2) {
        return false;
    }
    bits = static_cast<uint32_t>(result);
    return true;
}

// getxattr, or lgetxattr when the path's last component must not be followed.
ssize_t GetAttribute(const std::string& nativePath, void* value, size_t size, bool follow) {
    return follow ? ::getxattr(nativePath.c_str(), kDosAttributeName, value, size)
                  : ::lgetxattr(nativePath.c_str(), kDosAttributeName, value, size);
}

// The stored attribute bits; false when the file has none (or the file system keeps none).
bool ReadDosAttribute(const std::string& nativePath, uint32_t& bits, bool follow = true) {
    char small[128];
    ssize_t length = GetAttribute(nativePath, small, sizeof small, follow);
    if (length >= 0) {
        return ParseDosAttribute(small, static_cast<size_t>(length), bits);
    }
    if (errno != ERANGE) {
        return false;  // ENODATA, ENOTSUP and the like: nothing stored
    }
    ssize_t needed = GetAttribute(nativePath, nullptr, 0, follow);
    if (needed <= 0) {
        return false;
    }
    std::vector<char> large(static_cast<size_t>(needed));
    length = GetAttribute(nativePath, large.data(), large.size(), follow);
    return length >= 0 && ParseDosAttribute(large.data(), static_cast<size_t>(length), bits);
}

bool WriteDosAttribute(const std::string& nativePath, uint32_t bits) {
    char text[16];
    int length = std::snprintf(text, sizeof text, "0x%x", bits);
    if (::lsetxattr(nativePath.c_str(), kDosAttributeName, text, static_cast<size_t>(length), 0) != 0) {
        SetLastErrorFromErrno(errno, nativePath);
        return false;
    }
    return true;
}

bool ChangeMode(const std::string& nativePath, mode_t mode) {
    if (::fchmodat(AT_FDCWD, nativePath.c_str(), mode, AT_SYMLINK_NOFOLLOW) != 0) {
        SetLastErrorFromErrno(errno, nativePath);
        return false;
    }
    return true;
}

}  // namespace

uint32_t AttributesOfNative(const std::string& nativePath, uint32_t mode) {
    uint32_t attributes = 0;
    if (S_ISDIR(mode)) {
        attributes |= kAttributeDirectory;
    }
    if ((mode & kWriteBits) == 0) {
        attributes |= kAttributeReadOnly;
    }
    uint32_t stored = 0;
    attributes |=
        ReadDosAttribute(nativePath, stored) ? stored & kKeptInExtendedAttribute : kAttributeArchive;
    return attributes;
}

bool ReadFileAttributes(const std::string& windowsPath, uint32_t& attributes) {
    std::string native;
    if (!ToNativePath(windowsPath, native)) {
        return false;
    }
    struct stat info;
    if (::stat(native.c_str(), &info) != 0) {
        SetLastErrorFromErrno(errno, native);
        return false;
    }
    attributes = AttributesOfNative(native, info.st_mode);
    return true;
}

bool WriteFileAttributes(const std::string& windowsPath, uint32_t attributes) {
    std::string native;
    if (!ToNativePath(windowsPath, native)) {
        return false;
    }
    // A link is never changed through: clearing READONLY on a link planted in a backup folder would
    // otherwise give write permission to whatever it points to. Links have no attributes of their own.
    struct stat info;
    if (::lstat(native.c_str(), &info) != 0) {
        SetLastErrorFromErrno(errno, native);
        return false;
    }
    if (S_ISLNK(info.st_mode)) {
        SetLastError(kErrorCantResolveFilename);
        return false;
    }
    bool ok = true;
    mode_t mode = info.st_mode & 07777;
    bool readOnly = (attributes & kAttributeReadOnly) != 0;
    // Write permission comes back first and goes last: without it the owner may not change the
    // extended attribute.
    if (!readOnly && (mode & kWriteBits) == 0) {
        ok = ChangeMode(native, mode | S_IWUSR);
    }
    uint32_t wanted = attributes & kKeptInExtendedAttribute;
    uint32_t stored = 0;
    if (ReadDosAttribute(native, stored, false)) {
        if ((stored & kKeptInExtendedAttribute) != wanted) {
            // Keep the bits other programs store there (DIRECTORY and the like).
            ok = WriteDosAttribute(native, (stored & ~kKeptInExtendedAttribute) | wanted) && ok;
        }
    } else if (wanted != kAttributeArchive) {
        // Nothing stored reads as ARCHIVE alone, so only other combinations need the attribute.
        ok = WriteDosAttribute(native, wanted) && ok;
    }
    if (readOnly && (mode & kWriteBits) != 0) {
        ok = ChangeMode(native, mode & ~kWriteBits) && ok;
    }
    return ok;
}

}  // namespace quillon
