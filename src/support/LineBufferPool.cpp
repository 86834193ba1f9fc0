#include "support/LineBufferPool.h"

#include <cassert>
#include <cstring>

#include "platform/Clock.h"
#include "platform/Trace.h"

namespace quillon {

LineBufferPool::LineBufferPool() = default;
LineBufferPool::~LineBufferPool() = default;

LineBufferPool::Slot& LineBufferPool::SlotAt(int slot) {
    assert(slot >= 0 && slot < kSlots + static_cast<int>(extra_.size()));
    return slot < kSlots ? slots_[slot] : extra_[slot - kSlots];
}

const LineBufferPool::Slot& LineBufferPool::SlotAt(int slot) const {
    assert(slot >= 0 && slot < kSlots + static_cast<int>(extra_.size()));
    return slot < kSlots ? slots_[slot] : extra_[slot - kSlots];
}

void LineBufferPool::Take(Slot& slot) {
    if (!slot.buffer) {
        slot.buffer = std::make_unique<char[]>(kInitialSize);
        slot.size = kInitialSize;
    }
    slot.inUse = true;
}

int LineBufferPool::Acquire() {
    for (int attempt = kAttempts - 1; attempt >= 0; --attempt) {
        {
            std::lock_guard lock(mutex_);
            for (int i = 0; i < kSlots; ++i) {
                if (!slots_[i].inUse) {
                    Take(slots_[i]);
                    return i;
                }
            }
        }
        Trace("*** Kein Buffer frei  (%d)\n", attempt);
        WaitMilliseconds(kAttemptWaitMilliseconds);
    }
    Trace("%s", "******** Buffer-Notausgang\n");
    // Every slot has been held for ten seconds. A held slot must never be shared (two readers would
    // write into the same buffer), so the caller gets a buffer of its own instead.
    std::lock_guard lock(mutex_);
    for (size_t i = 0; i < extra_.size(); ++i) {
        if (!extra_[i].inUse) {
            Take(extra_[i]);
            return kSlots + static_cast<int>(i);
        }
    }
    extra_.emplace_back();
    Take(extra_.back());
    return kSlots + static_cast<int>(extra_.size()) - 1;
}

char* LineBufferPool::Buffer(int slot) const {
    std::lock_guard lock(mutex_);
    return SlotAt(slot).buffer.get();
}

int64_t LineBufferPool::Size(int slot) const {
    std::lock_guard lock(mutex_);
    return SlotAt(slot).size;
}

char* LineBufferPool::Grow(int slot) {
    std::lock_guard lock(mutex_);
    Slot& held = SlotAt(slot);
    assert(held.inUse);
    int64_t grownSize = held.size * 2;
    auto grown = std::make_unique<char[]>(static_cast<size_t>(grownSize));
    std::memcpy(grown.get(), held.buffer.get(), static_cast<size_t>(held.size));
    held.buffer = std::move(grown);
    held.size = grownSize;
    return held.buffer.get();
}

void LineBufferPool::Release(int slot) {
    std::lock_guard lock(mutex_);
    Slot& held = SlotAt(slot);
    assert(held.inUse);
    held.inUse = false;
    if (slot >= kSlots) {
        held.buffer.reset();
        held.size = 0;
    }
}

void LineBufferPool::FreeBuffers() {
    std::lock_guard lock(mutex_);
    for (Slot& slot : slots_) {
        if (!slot.inUse) {
            slot.buffer.reset();
            slot.size = 0;
        }
    }
    while (!extra_.empty() && !extra_.back().inUse) {
        extra_.pop_back();
    }
}

LineBufferPool& LineBuffers() {
    // Never destroyed: a thread that still reads while the program ends must not find the pool gone.
    static LineBufferPool* pool = new LineBufferPool;
    return *pool;
}

int AcquireLineBuffer() {
    return LineBuffers().Acquire();
}

char* GrowLineBuffer(int slot) {
    return LineBuffers().Grow(slot);
}

void ReleaseLineBuffer(int slot) {
    LineBuffers().Release(slot);
}

char* LineBuffer(int slot) {
    return LineBuffers().Buffer(slot);
}

int64_t LineBufferSize(int slot) {
    return LineBuffers().Size(slot);
}

void FreeLineBuffers() {
    LineBuffers().FreeBuffers();
}

void WaitMilliseconds(int32_t milliseconds) {
    SleepMilliseconds(milliseconds);
}

}  // namespace quillon
