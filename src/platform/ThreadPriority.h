// ThreadPriority: puts the calling thread at the lowest priority the system grants, so that a backup
// running in the background never slows the user's own work.
//
// Any thread; it changes only the calling thread.
#pragma once

namespace quillon {

// Makes the calling thread an idle-class thread (SCHED_IDLE), or, where the system refuses that, gives
// it the nice value 19. Answers false when neither could be set; the thread then keeps its priority.
bool LowerThreadPriority();

}  // namespace quillon
