// CrossThreadCalls: the calls other threads hand to a message loop's thread (MessageLoop::Invoke).
//
// Each caller waits until its call has run on the loop's thread. Once the loop has ended, a call runs at
// once on the caller's own thread: nobody may wait for a loop that has gone. Every member is used with
// the owning loop's mutex held, through the lock passed in; the loop wakes its thread in its own way.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace quillon {

class CrossThreadCalls {
  public:
    // Queues work, calls wake (the lock held) so that the loop's thread runs RunAll, and waits until
    // work has run; after End it runs work at once, the lock open.
    void Call(std::unique_lock<std::mutex>& lock, const std::function<void()>& work,
              const std::function<void()>& wake);
    // Runs the queued calls in order, the lock open while each runs.
    void RunAll(std::unique_lock<std::mutex>& lock);
    // The loop has ended: what is queued runs now, later calls run on their callers' threads.
    void End(std::unique_lock<std::mutex>& lock);
    // The loop runs (again).
    void Start() { ended_ = false; }
    bool Empty() const { return queue_.empty(); }

  private:
    struct Pending {
        const std::function<void()>* work;
        bool done = false;
    };

    std::condition_variable finished_;  // a queued call has run
    std::deque<Pending*> queue_;
    bool ended_ = false;
};

}  // namespace quillon
