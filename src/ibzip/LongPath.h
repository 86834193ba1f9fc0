// Opening files whose native path is longer than the system takes in one call (PATH_MAX): such a path
// is opened a piece at a time, each folder relative to the one before. A tree copied relative to open
// folders may well hold such paths, and its archive must still take them.
//
// Stateless, safe on any thread.
#pragma once

#include <string>

namespace quillon::ibzip {

// open(2) of path with flags (O_CLOEXEC added), whatever its length; -1 with errno set on failure.
// Only the last component is subject to flags such as O_NOFOLLOW; the folders on the way are opened as
// open(2) would walk them.
int OpenAnyLength(const std::string& path, int flags);

}  // namespace quillon::ibzip
