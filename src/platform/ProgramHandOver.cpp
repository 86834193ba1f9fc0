#include "platform/ProgramHandOver.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace quillon {

std::string ReplaceProgram(const std::string& nativeProgram, char* const* argv) {
    // What this program wrote so far must not be lost, nor written twice by the next one.
    std::fflush(nullptr);
    ::execv(nativeProgram.c_str(), argv);
    return std::strerror(errno);
}

}  // namespace quillon
