// Registry hives of their own for one test: both hive files lie in a fresh temporary folder and do
// not exist until something writes them. A hive can be made unwritable (its file would lie below a
// regular file, which even root cannot create) or damaged (other bytes instead of a database).
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/RegistryHive.h"
#include "testing/Environment.h"
#include "testing/TempDir.h"

namespace quillon::testing {

class ScopedHives {
  public:
    ScopedHives()
        : machine_("QUILLON_MACHINE_HIVE", dir_ / "machine/machine.hive"),
          user_("QUILLON_USER_HIVE", dir_ / "user/user.hive") {
        WriteFile(dir_ / "blocker", "a regular file, so that nothing can be created below it");
    }

    std::string File(HiveRoot root) const { return HiveFilePath(root); }

    // Points the hive at a path below a regular file: reads find nothing, writes are denied.
    void MakeUnwritable(HiveRoot root) { Override(root, dir_ / "blocker/quillon/unwritable.hive"); }

    // Replaces the hive with a file of bytes that are no database and answers its path.
    std::string MakeDamaged(HiveRoot root) {
        std::string file =
            dir_ / (root == HiveRoot::kLocalMachine ? "damaged-machine.hive" : "damaged-user.hive");
        WriteFile(file, std::string(4096, '\x5A'));
        Override(root, file);
        return file;
    }

  private:
    void Override(HiveRoot root, const std::string& file) {
        std::optional<ScopedEnv>& env = root == HiveRoot::kLocalMachine ? machineOverride_ : userOverride_;
        env.reset();
        env.emplace(root == HiveRoot::kLocalMachine ? "QUILLON_MACHINE_HIVE" : "QUILLON_USER_HIVE", file);
    }

    TempDir dir_;
    ScopedEnv machine_;
    ScopedEnv user_;
    std::optional<ScopedEnv> machineOverride_;
    std::optional<ScopedEnv> userOverride_;
};

// Stores a value directly in one hive, as the configuration program would.
inline void StoreValue(HiveRoot root, const std::string& key, const std::string& name, uint32_t type,
                       const std::string& data) {
    RegistryKey handle;
    ASSERT_EQ(CreateRegistryKey(root, key, handle), 0) << key;
    ASSERT_EQ(SetRegistryValue(handle, name, type, data), 0) << key << "\\" << name;
}

// The value as stored in one hive: "<type>:<bytes>", or "missing".
inline std::string StoredValue(HiveRoot root, const std::string& key, const std::string& name) {
    RegistryKey handle;
    uint32_t type = 0;
    std::string data;
    if (OpenRegistryKey(root, key, handle) != 0 || ReadRegistryValue(handle, name, type, data) != 0) {
        return "missing";
    }
    return std::to_string(type) + ":" + data;
}

// A key path of the given number of nested keys named k, for the limits of nesting.
inline std::string Chain(int levels) {
    std::string path = "k";
    for (int i = 1; i < levels; ++i) {
        path += "\\k";
    }
    return path;
}

}  // namespace quillon::testing
