// A temporary folder for one test, removed with everything in it when the object goes.
#pragma once

#include <string>

namespace quillon::testing {

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // Native path of the folder, without a trailing slash.
    const std::string& Path() const { return path_; }
    // Path() + "/" + relative.
    std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

  private:
    std::string path_;
};

// Writes bytes to a native file (creating parent folders); reads one back whole.
void WriteFile(const std::string& nativePath, const std::string& bytes);
std::string ReadFile(const std::string& nativePath);

}  // namespace quillon::testing
