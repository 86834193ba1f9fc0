#include "config/AppProfile.h"

#include "config/registrylit.h"
#include "platform/LastError.h"
#include "platform/RegistryHive.h"

namespace quillon {

std::string ProfileNameForInstance(int32_t instanceNumber) {
    if (instanceNumber >= 1 && instanceNumber <= 9) {
        return registrylit::kInstanceProfilePrefix + std::string(1, static_cast<char>('0' + instanceNumber));
    }
    return registrylit::kProfileName;
}

void CAppProfile::SetRegistryKey(const std::string& registryKey, const std::string& profileName) {
    profileKey_ = "Software\\" + registryKey + "\\" + profileName;
}

void CAppProfile::BindProfile(int32_t instanceNumber) {
    SetRegistryKey(registrylit::kCompanyKey, ProfileNameForInstance(instanceNumber));
}

std::string CAppProfile::SectionKey(const std::string& section) const {
    return section.empty() ? profileKey_ : profileKey_ + "\\" + section;
}

int32_t CAppProfile::ProfileReadError() const {
    RegistryKey key;
    int32_t error = OpenRegistryKey(HiveRoot::kCurrentUser, profileKey_, key);
    return error == kErrorFileNotFound ? kErrorSuccess : error;
}

int32_t CAppProfile::GetProfileInt(const std::string& section, const std::string& entry,
                                   int32_t defaultValue) const {
    if (!IsBound()) {
        return defaultValue;
    }
    RegistryKey key;
    if (OpenRegistryKey(HiveRoot::kCurrentUser, SectionKey(section), key) != kErrorSuccess) {
        return defaultValue;
    }
    uint32_t type = kRegNone;
    std::string data;
    if (ReadRegistryValue(key, entry, type, data) != kErrorSuccess || type != kRegDword || data.size() != 4) {
        return defaultValue;
    }
    auto byte = [&](int i) { return static_cast<uint32_t>(static_cast<unsigned char>(data[i])); };
    return static_cast<int32_t>(byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24);
}

std::string CAppProfile::GetProfileString(const std::string& section, const std::string& entry,
                                          const std::string& defaultText) const {
    if (!IsBound()) {
        return defaultText;
    }
    RegistryKey key;
    if (OpenRegistryKey(HiveRoot::kCurrentUser, SectionKey(section), key) != kErrorSuccess) {
        return defaultText;
    }
    uint32_t type = kRegNone;
    std::string data;
    if (ReadRegistryValue(key, entry, type, data) != kErrorSuccess ||
        (type != kRegSz && type != kRegExpandSz)) {
        return defaultText;
    }
    return data.substr(0, data.find('\0'));
}

bool CAppProfile::WriteProfileInt(const std::string& section, const std::string& entry, int32_t value) const {
    if (!IsBound()) {
        return false;
    }
    RegistryKey key;
    if (CreateRegistryKey(HiveRoot::kCurrentUser, SectionKey(section), key) != kErrorSuccess) {
        return false;
    }
    return SetRegistryValue(key, entry, kRegDword, RegistryDwordData(value)) == kErrorSuccess;
}

bool CAppProfile::WriteProfileEntries(const std::string& section,
                                      const std::vector<ProfileEntry>& entries) const {
    if (!IsBound()) {
        return false;
    }
    std::vector<RegistryChange> changes;
    changes.reserve(entries.size());
    for (const ProfileEntry& entry : entries) {
        changes.push_back(SetValueChange(HiveRoot::kCurrentUser, SectionKey(section), entry.Path, entry));
    }
    return ApplyRegistryChanges(changes) == kErrorSuccess;
}

bool CAppProfile::WriteProfileString(const std::string& section, const std::string& entry,
                                     const std::string& value) const {
    if (!IsBound()) {
        return false;
    }
    RegistryKey key;
    if (CreateRegistryKey(HiveRoot::kCurrentUser, SectionKey(section), key) != kErrorSuccess) {
        return false;
    }
    return SetRegistryValue(key, entry, kRegSz, RegistryTextData(value)) == kErrorSuccess;
}

}  // namespace quillon
