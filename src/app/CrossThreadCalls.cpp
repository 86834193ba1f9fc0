#include "app/CrossThreadCalls.h"

namespace quillon {

void CrossThreadCalls::Call(std::unique_lock<std::mutex>& lock, const std::function<void()>& work,
                            const std::function<void()>& wake) {
    if (ended_) {
        lock.unlock();
        work();
        return;
    }
    Pending pending{&work};
    queue_.push_back(&pending);
    wake();
    finished_.wait(lock, [&] { return pending.done; });
}

void CrossThreadCalls::RunAll(std::unique_lock<std::mutex>& lock) {
    while (!queue_.empty()) {
        Pending* pending = queue_.front();
        queue_.pop_front();
        lock.unlock();
        (*pending->work)();
        lock.lock();
        pending->done = true;
        finished_.notify_all();
    }
}

void CrossThreadCalls::End(std::unique_lock<std::mutex>& lock) {
    ended_ = true;
    RunAll(lock);
}

}  // namespace quillon
