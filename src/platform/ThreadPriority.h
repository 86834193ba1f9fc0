// ThreadPriority: puts the calling thread at a low priority, so that a backup running in the
// background does not slow the user's own work, yet still ends on a machine that is never idle.
//
// Any thread; it changes only the calling thread (threads it starts afterwards inherit the value).
#pragma once

namespace quillon {

// Gives the calling thread the nice value 10. Not the idle class (SCHED_IDLE) nor nice 19: an
// idle-class thread gets no processor at all while other work keeps every core busy, and at nice 19 a
// few percent of one; a backup of a busy machine would take hours or never end. At nice 10 it gets about
// a tenth of a core against ordinary work. A thread that is already as low keeps its value. Answers
// false when it could not be set; the thread then keeps its priority.
bool LowerThreadPriority();

}  // namespace quillon
