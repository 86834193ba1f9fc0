// TerminationSignals: the system's requests to end the program (SIGTERM from kill or the service
// manager at logout, SIGINT from Ctrl-C, SIGHUP when the terminal closes) as calls of an ordinary
// function, instead of the default action that ends the process wherever it is.
//
// Made first thing in main, before any other thread exists: the constructor blocks the three signals
// in the calling thread, so that every thread started later inherits the block and none of them is
// ever interrupted by them; a watcher thread of its own then takes them from the kernel one at a time
// and calls the handler once per signal with its number. The block stays until the process ends
// (lifting it would let a signal that came late end the process after all); programs started from
// here get the ordinary mask back from the desktop's process launcher.
//
// Thread-safety: SetHandler from any thread. The handler runs on the watcher thread.
#pragma once

#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace quillon {

// Ends the process at once with status, without running destructors or exit handlers: the way out
// while another thread is still at work. Flushes the standard streams first.
[[noreturn]] void EndProcessNow(int status);

class TerminationSignals {
  public:
    using Handler = std::function<void(int signal)>;

    // Blocks the signals and starts the watcher. Should that fail (no thread, no descriptor), the
    // signals keep their default action, as in a program without this object; that is traced.
    TerminationSignals();
    // Stops and joins the watcher; the signals stay blocked.
    ~TerminationSignals();
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    // Installs handler (an empty one removes it). Signals that came while there was none are handed
    // to the new handler at once, in order. When SetHandler returns, the old handler is not running
    // and will not be called again.
    void SetHandler(Handler handler);

  private:
    void Watch();

    int signalFd_ = -1;
    int stopFd_ = -1;
    std::mutex mutex_;
    Handler handler_;        // guarded by mutex_
    std::vector<int> kept_;  // guarded by mutex_: signals that came without a handler
    std::thread watcher_;
};

}  // namespace quillon
