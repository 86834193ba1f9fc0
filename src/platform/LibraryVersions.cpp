#include "platform/LibraryVersions.h"

#include <gnu/libc-version.h>
#include <sqlite3.h>

namespace quillon {

std::vector<std::string> LibraryVersions() {
    return {std::string("SQLite ") + sqlite3_libversion(), std::string("glibc ") + gnu_get_libc_version()};
}

}  // namespace quillon
