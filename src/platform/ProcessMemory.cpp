#include "platform/ProcessMemory.h"

#include <malloc.h>

namespace quillon {

void ShareOneMemoryArena() {
    ::mallopt(M_ARENA_MAX, 1);
}

void ReturnFreedMemory() {
    ::malloc_trim(0);
}

}  // namespace quillon
