// MessageLoop: the seam between the program's logic and whatever drives the user-interface thread.
//
// The program is driven as a windowed program is: thread messages posted to the user-interface thread
// (WM_SCHEDULE_WAIT, WM_START_RUN, WM_QUIT), timers that belong to a window and are told apart by their
// id, and one loop that dispatches both. Two implementations exist: TimerLoop (app/TimerLoop.h), ours,
// in real time for the console program and in virtual time for tests; and one on the GUI toolkit's
// event loop for the desktop.
//
// Thread rules: Run, SetTimer, KillTimer and KillTimers belong to the loop's thread (the thread that
// made the loop). PostThreadMessage and Invoke may be called from any thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "support/MessageBox.h"

namespace quillon {

// Thread messages, with the values of their Windows originals.
inline constexpr uint32_t WM_QUIT = 0x0012;
inline constexpr uint32_t WM_USER = 0x0400;
inline constexpr uint32_t WM_SCHEDULE_WAIT = WM_USER + 1;  // wait for the scheduled run time
inline constexpr uint32_t WM_START_RUN = WM_USER + 2;      // start a run now
// The system asks the program to end (a signal). Windows has no such message: there the framework
// itself closes the program at the end of the session.
inline constexpr uint32_t WM_END_REQUEST = WM_USER + 3;
// The worker has ended its run: the progress dialog finishes it now rather than at its next tick.
inline constexpr uint32_t WM_WORKER_ENDED = WM_USER + 4;

// Something that owns timers: the wait window, the progress dialog. A window kills its timers
// (MessageLoop::KillTimers) before it goes away.
class TimerWindow {
  public:
    // Called on the loop's thread each time one of the window's timers is due.
    virtual void OnTimer(uint32_t id) = 0;

  protected:
    ~TimerWindow() = default;
};

class MessageLoop {
  public:
    using ThreadMessageHandler = std::function<void(uint32_t message)>;

    virtual ~MessageLoop() = default;

    // Queues message for the loop's thread. Posted messages are handled in order, before any timer.
    virtual void PostThreadMessage(uint32_t message) = 0;

    // Starts timer id of window: window.OnTimer(id) every milliseconds until the timer is killed.
    // Setting a running timer again restarts it with the new interval.
    virtual void SetTimer(TimerWindow& window, uint32_t id, int64_t milliseconds) = 0;
    // Stops timer id of window; nothing happens when it is not running.
    virtual void KillTimer(TimerWindow& window, uint32_t id) = 0;
    // Stops every timer of window.
    virtual void KillTimers(TimerWindow& window) = 0;

    // Dispatches posted messages (WM_QUIT excepted) to handler and due timers to their windows until
    // WM_QUIT is taken from the queue; answers the exit code 0.
    virtual int Run(const ThreadMessageHandler& handler) = 0;

    // Runs work on the loop's thread and returns when it has finished. On the loop's thread itself,
    // and once the loop has ended, work runs at once on the calling thread.
    virtual void Invoke(const std::function<void()>& work) = 0;
};

// A message box presenter that shows every box on the loop's thread, whichever thread asks: the boxes
// of the engine's worker then belong to the user-interface thread like all the others.
inline MessageBoxPresenter MessageBoxesOnLoopThread(MessageLoop& loop, MessageBoxPresenter boxes) {
    return [&loop, boxes = std::move(boxes)](const std::string& text, unsigned style) {
        int answer = DefaultAnswer(style);
        loop.Invoke([&] { answer = boxes(text, style); });
        return answer;
    };
}

}  // namespace quillon
