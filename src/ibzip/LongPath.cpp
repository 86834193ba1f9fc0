#include "ibzip/LongPath.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace quillon::ibzip {

int OpenAnyLength(const std::string& path, int flags) {
    if (path.size() < PATH_MAX) {
        return ::open(path.c_str(), flags | O_CLOEXEC);
    }
    // The longest piece that ends at a separator and fits, opened as a folder; then the rest the same
    // way relative to it.
    int folder = AT_FDCWD;
    size_t start = 0;
    while (path.size() - start >= PATH_MAX) {
        const size_t cut = path.rfind('/', start + PATH_MAX - 1);
        if (cut == std::string::npos || cut <= start) {
            if (folder != AT_FDCWD) {
                ::close(folder);
            }
            errno = ENAMETOOLONG;  // one component alone is too long
            return -1;
        }
        const std::string piece = path.substr(start, cut - start);
        const int next =
            ::openat(folder, piece.empty() ? "/" : piece.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        const int err = errno;
        if (folder != AT_FDCWD) {
            ::close(folder);
        }
        if (next < 0) {
            errno = err;
            return -1;
        }
        folder = next;
        start = cut + 1;
    }
    const int fd = ::openat(folder, path.c_str() + start, flags | O_CLOEXEC);
    const int err = errno;
    if (folder != AT_FDCWD) {
        ::close(folder);
    }
    errno = err;
    return fd;
}

}  // namespace quillon::ibzip
