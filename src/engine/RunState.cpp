#include "engine/RunState.h"

#include <chrono>

namespace quillon {

RunState::RunState() : LatestSetDate(MakeTime(1990, 1, 1, 0, 0, 0)) {}

bool RunState::HoldAtNextTick(int64_t milliseconds) {
    std::unique_lock lock(holdMutex_);
    holdRequested_.store(true, std::memory_order_relaxed);
    // The mutex hands over what the worker wrote before it entered Hold.
    return holdChanged_.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return held_; });
}

void RunState::ReleaseHold() {
    std::lock_guard lock(holdMutex_);
    holdRequested_.store(false, std::memory_order_relaxed);
    holdChanged_.notify_all();
}

void RunState::Hold() {
    std::unique_lock lock(holdMutex_);
    if (!holdRequested_.load(std::memory_order_relaxed)) {
        return;
    }
    held_ = true;
    holdChanged_.notify_all();
    holdChanged_.wait(lock, [this] { return !holdRequested_.load(std::memory_order_relaxed); });
    held_ = false;
}

}  // namespace quillon
