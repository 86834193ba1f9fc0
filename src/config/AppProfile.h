// CAppProfile: the application profile, the per-user settings organised as section and entry.
//
// The profile lives in the user hive under Software\<registry key>\<profile name>\<section>, one value
// per entry; integers are REG_DWORD, strings REG_SZ. Start-up binds it once, before any access, to the
// registry key "Norrow" and the profile name of the instance ("Quillon", or "QuillonApp3" for instance
// 3), so that each numbered instance has a complete profile of its own.
//
// The application object owns the profile (it may simply derive from this class). After binding the
// profile does not change, so the user-interface thread and the worker thread may use it at once;
// each operation opens and closes its own key.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "config/Registrierung.h"

namespace quillon {

// "Quillon" for instance 0, "QuillonApp" followed by the digit for instances 1 to 9.
std::string ProfileNameForInstance(int32_t instanceNumber);

// One entry for CAppProfile::WriteProfileEntries: a REG_DWORD or a REG_SZ, its Path the entry's name within
// the section.
using ProfileEntry = RegistryWrite;

class CAppProfile {
  public:
    // Binds the profile to HKEY_CURRENT_USER\Software\<registryKey>\<profileName>. Call once at
    // start-up, before any other thread exists.
    void SetRegistryKey(const std::string& registryKey, const std::string& profileName);
    // Binds to "Norrow" and the profile name of instanceNumber.
    void BindProfile(int32_t instanceNumber);

    bool IsBound() const { return !profileKey_.empty(); }
    // "Software\Norrow\Quillon" and the like; empty before binding.
    const std::string& ProfileKey() const { return profileKey_; }

    // The stored REG_DWORD of exactly 4 bytes, read as unsigned and answered as signed (a stored
    // 0xFFFFFFFF is -1). defaultValue when the section or entry is missing, the entry is of another
    // type or size, or the profile is not bound.
    int32_t GetProfileInt(const std::string& section, const std::string& entry, int32_t defaultValue) const;

    // The stored REG_SZ or REG_EXPAND_SZ text up to its first zero, of any length. defaultText when
    // missing, of another type, or not bound.
    std::string GetProfileString(const std::string& section, const std::string& entry,
                                 const std::string& defaultText) const;

    // Create the section when it is missing and store the entry. False when it could not be stored
    // (the user hive cannot be written, or the profile is not bound).
    bool WriteProfileInt(const std::string& section, const std::string& entry, int32_t value) const;
    bool WriteProfileString(const std::string& section, const std::string& entry,
                            const std::string& value) const;

    // Stores the entries of one section as WriteProfileInt and WriteProfileString would, in one
    // change of the hive: each change is forced to the disk on its own, which costs far more than the
    // writing. All entries are stored, or none (false).
    bool WriteProfileEntries(const std::string& section, const std::vector<ProfileEntry>& entries) const;

    // Whether the profile can be read at all: 0 when it can, also when it does not exist yet (a first
    // run); otherwise the hive's error, 1009 for a damaged hive file, 5 for one that cannot be read (a
    // folder or a FIFO in its place). Every read of an unreadable profile answers its default, so a
    // caller that must not mistake such a profile for an empty one asks here first.
    int32_t ProfileReadError() const;

    // The section's key below the user hive ("Software\Norrow\Quillon\Path000").
    std::string SectionKey(const std::string& section) const;

  private:
    std::string profileKey_;
};

}  // namespace quillon
