// The memory allocator's behaviour for the whole process.
#pragma once

namespace quillon {

// Makes every thread allocate from the one shared arena. The C library otherwise gives a thread that
// allocates its own arena and grows it a page at a time, with a system call per page (a pass over
// 100 000 files made more than 10 000 of them); the shared arena grows in large steps. The threads of
// the program allocate little at once, so they hardly ever wait for each other's allocations. Call at
// start-up, before any other thread exists.
void ShareOneMemoryArena();

// Hands memory that was freed back to the system, wherever in the arenas it lies. Freed memory below
// memory still in use otherwise stays with the process: a pass that has dropped one large list keeps
// its pages while it builds the next.
void ReturnFreedMemory();

}  // namespace quillon
