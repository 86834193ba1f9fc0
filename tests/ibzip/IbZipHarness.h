// Test harness for the compression library: loads libib-zip.so the way the program does (dlopen, every
// export looked up by name), gives it a drive map of its own (C: is a temporary folder) and reads the
// archives it writes with independent tools: `unzip -t` and Python's zipfile.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdio.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <sstream>
#include <string>

#include "files/FileTree.h"
#include "testing/Environment.h"
#include "testing/TempDir.h"

namespace quillon::testing {

using Tree = std::map<std::string, std::string>;

inline void* IbZipLibrary() {
    static void* handle = [] {
        const char* bin = std::getenv("QUILLON_TEST_BIN_DIR");
        std::string path = std::string(bin != nullptr ? bin : ".") + "/libib-zip.so";
        return ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    }();
    return handle;
}

// Calls an export by name, as the binding does.
inline int32_t Ib(const char* name, intptr_t argument) {
    auto* function = reinterpret_cast<int32_t (*)(intptr_t)>(::dlsym(IbZipLibrary(), name));
    EXPECT_NE(function, nullptr) << name;
    return function != nullptr ? function(argument) : INT32_MIN;
}

inline int32_t Ib(const char* name, const std::string& text) {
    return Ib(name, reinterpret_cast<intptr_t>(text.c_str()));
}

// Runs a shell command and returns its standard output, or nullopt when it exits unsuccessfully.
inline std::optional<std::string> RunCommand(const std::string& command) {
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return std::nullopt;
    }
    std::string output;
    char buffer[4096];
    while (size_t got = fread(buffer, 1, sizeof buffer, pipe)) {
        output.append(buffer, got);
    }
    return ::pclose(pipe) == 0 ? std::optional(output) : std::nullopt;
}

// Every entry of an archive by its raw name bytes, through Python's zipfile (which checks each CRC
// while reading), with the bytes of a Python expression over the ZipFile z and its entry i: by default
// the entry's content. Empty, and a failure, when zipfile rejects the archive.
inline Tree ReadWithPython(const std::string& archive, const std::string& value = "z.read(i)") {
    const std::string script =
        "import sys, zipfile\n"
        "z = zipfile.ZipFile(sys.argv[1])\n"
        "for i in z.infolist():\n"
        "    raw = i.filename.encode('utf-8' if i.flag_bits & 0x800 else 'cp437')\n"
        "    print(raw.hex(), (" +
        value + ").hex() or '-')\n";
    auto output = RunCommand("python3 -c \"" + script + "\" '" + archive + "'");
    EXPECT_TRUE(output) << "zipfile rejects " << archive;
    auto unhex = [](const std::string& hex) {
        std::string bytes;
        for (size_t i = 0; i + 1 < hex.size(); i += 2) {
            bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
        }
        return bytes;
    };
    Tree entries;
    std::istringstream lines(output.value_or(""));
    for (std::string name, value; lines >> name >> value;) {
        entries[unhex(name)] = unhex(value);
    }
    return entries;
}

inline bool UnzipTestPasses(const std::string& archive) {
    return RunCommand("unzip -tqq '" + archive + "' >/dev/null 2>&1").has_value();
}

inline bool InfoZipExtract(const std::string& archive, const std::string& folder) {
    std::filesystem::create_directories(folder);
    return RunCommand("cd '" + folder + "' && unzip -qq '" + archive + "'").has_value();
}

// Checks an archive with both tools: `unzip -t` passes and zipfile reads exactly names -> contents.
inline void ExpectArchive(const std::string& archive, const Tree& expected) {
    EXPECT_TRUE(UnzipTestPasses(archive)) << archive;
    EXPECT_EQ(ReadWithPython(archive), expected) << archive;
}

// Every entry below folder as relative path -> content ("name/" for a folder, "-> target" for a link).
inline Tree TreeOf(const std::string& folder) {
    Tree tree;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        std::string relative = entry.path().lexically_relative(folder).string();
        if (entry.is_symlink()) {
            tree[relative] = "-> " + std::filesystem::read_symlink(entry.path()).string();
        } else if (entry.is_directory()) {
            tree[relative + "/"] = "";
        } else {
            tree[relative] = ReadFile(entry.path().string());
        }
    }
    return tree;
}

// A tree from words "name" or "name=content": a bare name holds itself as content, "name/" is a folder.
inline Tree Files(const std::string& words) {
    Tree tree;
    std::istringstream in(words);
    for (std::string word; in >> word;) {
        size_t equals = word.find('=');
        tree[word.substr(0, equals)] = equals != std::string::npos ? word.substr(equals + 1)
                                       : word.back() == '/'        ? ""
                                                                   : word;
    }
    return tree;
}

// The library reads its drive map from QUILLON_DRIVES: C: is a temporary folder, Z: is '/'.
class IbZipTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_NE(IbZipLibrary(), nullptr) << ::dlerror(); }

    // Native path of "C:\" + relative (relative with '\' or '/').
    std::string Native(const std::string& relative) const { return drives_.Native("C:\\" + relative); }

    // Settings for writing; the others stay as they were.
    int32_t Zip(const std::string& spec, const std::string& archive, int recurse, int storedNames,
                int overwrite) {
        Ib("IB_ZipFileSpec", spec);
        Ib("IB_ZipArchiveFile", archive);
        Ib("IB_ZipRecurseDirs", recurse);
        Ib("IB_ZipStoredDirNames", storedNames);
        Ib("IB_Overwrite", overwrite);
        return Ib("IB_Zip", 0);
    }

    int32_t Unzip(const std::string& archive, const std::string& folder, const std::string& spec,
                  int storedDirs, int overwrite) {
        Ib("IB_UnZipArchiveFile", archive);
        Ib("IB_UnZipExtractDir", folder);
        Ib("IB_UnZipFileSpec", spec);
        Ib("IB_UnZipUseStoredDirs", storedDirs);
        Ib("IB_Overwrite", overwrite);
        return Ib("IB_UnZip", 0);
    }

  private:
    ScopedDriveMap drives_;
    ScopedEnv env_{"QUILLON_DRIVES", drives_.Folder()};
};

}  // namespace quillon::testing
