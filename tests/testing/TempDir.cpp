#include "testing/TempDir.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace quillon::testing {

TempDir::TempDir() {
    std::string base = std::filesystem::temp_directory_path().string() + "/quillon-test-XXXXXX";
    if (::mkdtemp(base.data()) == nullptr) {
        ADD_FAILURE() << "mkdtemp failed";
    }
    path_ = base;
}

TempDir::~TempDir() {
    std::error_code error;
    // Restore write permission on everything first: tests make folders read-only.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        if (it->is_directory(error) && !it->is_symlink(error)) {
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, error);
        }
    }
    std::filesystem::remove_all(path_, error);
}

void WriteFile(const std::string& nativePath, const std::string& bytes) {
    std::filesystem::create_directories(std::filesystem::path(nativePath).parent_path());
    std::ofstream out(nativePath, std::ios::binary | std::ios::trunc);
    out << bytes;
    ASSERT_TRUE(out.good()) << nativePath;
}

std::string ReadFile(const std::string& nativePath) {
    std::ifstream in(nativePath, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace quillon::testing
