// Trees of the file tests written from rows and read back as one text, so that a test sets up what it
// needs in a few rows and compares everything a folder holds in one assert.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "testing/TempDir.h"

namespace quillon::testing {

// Below root, parents made as needed: "name/" a folder; {"name", "-> target"} a link to target as
// written; {"name", "|"} a FIFO; any other row a file of those bytes.
inline void MakeTree(const std::string& root, const std::vector<std::pair<std::string, std::string>>& rows) {
    namespace fs = std::filesystem;
    for (const auto& [name, what] : rows) {
        const std::string path = root + "/" + name;
        fs::create_directories(fs::path(path).parent_path());
        if (name.back() == '/') {
            fs::create_directories(path);
        } else if (what.rfind("-> ", 0) == 0) {
            fs::create_symlink(what.substr(3), path);
        } else if (what == "|") {
            ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0) << path;
        } else {
            WriteFile(path, what);
        }
    }
}

// The status of one entry, a link itself rather than its target.
inline struct stat StatOf(const std::string& native) {
    struct stat info {};
    EXPECT_EQ(::lstat(native.c_str(), &info), 0) << native;
    return info;
}

// Sets the modification and access time of one entry, a link itself rather than its target.
inline void SetModified(const std::string& native, time_t modified) {
    const timespec times[2] = {{modified, 0}, {modified, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, native.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << native;
}

// Everything below root in name order, one entry a line: "a/b=bytes" for a file, "a/" for a folder,
// "a -> target" for a link (not followed), "a |" for anything else. A temporary left behind shows with its
// line break.
inline std::string Listing(const std::string& root) {
    namespace fs = std::filesystem;
    std::set<std::string> lines;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        std::string name = it->path().lexically_relative(root).string();
        if (it->is_symlink()) {
            lines.insert(name + " -> " + fs::read_symlink(it->path()).string());
        } else if (it->is_directory()) {
            lines.insert(name + "/");
        } else if (!it->is_regular_file()) {
            lines.insert(name + " |");
        } else {
            lines.insert(name + "=" + ReadFile(it->path()));
        }
    }
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\n";
    }
    return text;
}

}  // namespace quillon::testing
