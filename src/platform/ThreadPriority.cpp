#include "platform/ThreadPriority.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

namespace quillon {

bool LowerThreadPriority() {
    sched_param param{};
    param.sched_priority = 0;
    if (::pthread_setschedparam(::pthread_self(), SCHED_IDLE, &param) == 0) {
        return true;
    }
    // On Linux the nice value belongs to the thread named by its id, not to the whole process.
    return ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 19) == 0;
}

}  // namespace quillon
