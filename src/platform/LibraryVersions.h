// The versions of the system libraries the program runs with, as --version shows them. Any thread.
#pragma once

#include <string>
#include <vector>

namespace quillon {

// "SQLite 3.40.1", "glibc 2.36": the libraries in use at run time, not those built against.
std::vector<std::string> LibraryVersions();

}  // namespace quillon
