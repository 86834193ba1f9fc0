#include "files/PathDirectories.h"

#include <algorithm>

#include "platform/FileSystem.h"
#include "platform/LastError.h"

namespace quillon {

int32_t CreatePathDirectories(const std::string& path, int32_t start) {
    const int32_t length = static_cast<int32_t>(path.size());
    int32_t position = std::max(start, 2);
    while (position < length) {
        if (path[position] == '\\') {
            ++position;
        }
        while (position < length && path[position] != '\\') {
            ++position;
        }
        if (position < length && position > 3) {
            if (!CreateDirectory(path.substr(0, position)) && GetLastError() != kErrorAlreadyExists) {
                return -1;
            }
        }
    }
    return length;
}

}  // namespace quillon
