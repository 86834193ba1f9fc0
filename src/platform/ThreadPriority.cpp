#include "platform/ThreadPriority.h"

#include <sys/resource.h>
#include <unistd.h>

namespace quillon {

bool LowerThreadPriority() {
    // On Linux the nice value belongs to the thread named by its id, not to the whole process.
    const id_t thread = static_cast<id_t>(::gettid());
    constexpr int kNice = 10;
    if (::getpriority(PRIO_PROCESS, thread) >= kNice) {
        return true;  // already as low (started under nice): never raised
    }
    return ::setpriority(PRIO_PROCESS, thread, kNice) == 0;
}

}  // namespace quillon
