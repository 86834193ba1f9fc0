// The line buffer pool: a few reusable, growable character buffers through which the line archive
// copies each line out of its memory block, so that reading thousands of lines does not allocate a
// buffer per line. A slot's buffer keeps the largest size a line has needed.
//
// Thread-safety: every function may be called from any thread. Both the worker thread and the
// user-interface thread read line archives, so slots are taken and given back under a lock, and a slot
// is never handed to two holders at once. Between Acquire and Release the slot and its buffer belong to
// the caller alone; only the holder may grow or release it.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace quillon {

class LineBufferPool {
  public:
    static constexpr int kSlots = 20;
    static constexpr int32_t kInitialSize = 100;
    // Attempts to find a free slot before the pool gives up waiting; one second between attempts.
    static constexpr int kAttempts = 10;
    static constexpr int32_t kAttemptWaitMilliseconds = 1000;

    LineBufferPool();
    ~LineBufferPool();
    LineBufferPool(const LineBufferPool&) = delete;
    LineBufferPool& operator=(const LineBufferPool&) = delete;

    // Takes the first free slot (0 to kSlots - 1), giving it a buffer of kInitialSize bytes when it has
    // none. When all slots are held it traces "*** Kein Buffer frei  (%d)\n" (attempt number 9 down to 0)
    // and waits a second (WaitMilliseconds) before trying again. After the last attempt it traces
    // "******** Buffer-Notausgang\n" and hands out a private buffer of kInitialSize bytes with an index of
    // kSlots or more: it works like a slot, but its buffer is freed on release.
    int Acquire();

    // The slot's buffer and its size in bytes. The pointer stays valid until the holder grows or
    // releases the slot.
    char* Buffer(int slot) const;
    int64_t Size(int slot) const;

    // Doubles the slot's buffer, keeping its contents, and answers the new buffer. The old pointer is
    // invalid afterwards. Throws std::bad_alloc when the memory is exhausted; the slot keeps its old buffer.
    char* Grow(int slot);

    // Gives the slot back; a pool slot keeps its buffer for the next holder.
    void Release(int slot);

    // Frees the buffers of all slots that nobody holds (a held slot keeps its buffer until it is released).
    void FreeBuffers();

  private:
    struct Slot {
        bool inUse = false;
        int64_t size = 0;
        std::unique_ptr<char[]> buffer;
    };
    Slot& SlotAt(int slot);
    const Slot& SlotAt(int slot) const;
    static void Take(Slot& slot);

    mutable std::mutex mutex_;
    Slot slots_[kSlots];  // guarded by mutex_
    std::vector<Slot>
        extra_;  // the private buffers after a failed wait (index kSlots + i); guarded by mutex_
};

// The process-wide pool that all line archives share.
LineBufferPool& LineBuffers();

// The process-wide pool's operations (see LineBufferPool).
int AcquireLineBuffer();
char* GrowLineBuffer(int slot);
void ReleaseLineBuffer(int slot);
char* LineBuffer(int slot);
int64_t LineBufferSize(int slot);

// Frees the buffers of the process-wide pool; called once when the program ends.
void FreeLineBuffers();

// Blocks the calling thread for the given time (through the installed clock, so tests do not wait).
// Stateless; any thread may call.
void WaitMilliseconds(int32_t milliseconds);

}  // namespace quillon
