// QtMessageLoop: the MessageLoop of the desktop program, on the Qt event loop of the user-interface
// thread, so that the program's timers and thread messages and the dialogs' own events share one loop.
//
// Thread messages become posted events; a window's timer, told apart by (window, id), is a Qt timer
// of a helper object that lives on the loop's thread. Like TimerLoop it measures due times on the boot
// clock (platform/BootClock.h): a long timer re-arms itself at most a minute at a time, so one due
// while the computer slept fires soon after the resume instead of a whole suspend later.
//
// Thread rules as for MessageLoop: the thread that constructs the loop is the loop's thread, and a
// QApplication must exist on it before Run.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "app/CrossThreadCalls.h"
#include "app/MessageLoop.h"

class QEventLoop;

namespace quillon {

class QtMessageLoop final : public MessageLoop {
  public:
    QtMessageLoop();
    ~QtMessageLoop() override;
    QtMessageLoop(const QtMessageLoop&) = delete;
    QtMessageLoop& operator=(const QtMessageLoop&) = delete;

    void PostThreadMessage(uint32_t message) override;
    void SetTimer(TimerWindow& window, uint32_t id, int64_t milliseconds) override;
    void KillTimer(TimerWindow& window, uint32_t id) override;
    void KillTimers(TimerWindow& window) override;
    int Run(const ThreadMessageHandler& handler) override;
    void Invoke(const std::function<void()>& work) override;

    // How many timers are running (for tests).
    size_t TimerCount() const { return timers_.size(); }

  private:
    class Receiver;
    struct Timer {
        int64_t interval;
        int64_t due;  // boot milliseconds
        int qtId;     // the Qt timer of the helper object
    };
    using Key = std::pair<TimerWindow*, uint32_t>;

    // Called by the helper object on the loop's thread.
    void OnThreadMessage(uint32_t message);
    void OnQtTimer(int qtId);
    void RunTasks();
    void Arm(Timer& timer, int64_t now);

    const std::thread::id owner_;
    std::unique_ptr<Receiver> receiver_;
    const ThreadMessageHandler* handler_ = nullptr;
    std::map<Key, Timer> timers_;  // loop's thread only
    QEventLoop* running_ = nullptr;
    bool quitTaken_ = false;          // WM_QUIT was taken; Run is about to return
    std::vector<uint32_t> leftOver_;  // messages posted behind WM_QUIT, for the next Run

    std::mutex mutex_;        // also held while an event is posted to the receiver and while it reads one
    CrossThreadCalls calls_;  // guarded by mutex_
};

}  // namespace quillon
