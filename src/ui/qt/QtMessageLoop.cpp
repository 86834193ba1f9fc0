#include "ui/qt/QtMessageLoop.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QObject>
#include <QTimerEvent>
#include <algorithm>
#include <limits>

#include "platform/BootClock.h"

namespace quillon {
namespace {

// Qt's timers run on the monotonic clock, which stands still while the computer sleeps; a long timer
// looks at the boot clock at least this often.
constexpr int64_t kLongestWaitMilliseconds = 60'000;

const QEvent::Type kThreadMessageEvent = static_cast<QEvent::Type>(QEvent::User + 1);
const QEvent::Type kTaskEvent = static_cast<QEvent::Type>(QEvent::User + 2);

class ThreadMessageEvent final : public QEvent {
  public:
    explicit ThreadMessageEvent(uint32_t message) : QEvent(kThreadMessageEvent), Message(message) {}
    const uint32_t Message;
};

}  // namespace

// The object on the loop's thread that receives the posted events and owns the Qt timers.
class QtMessageLoop::Receiver final : public QObject {
  public:
    explicit Receiver(QtMessageLoop& loop) : loop_(loop) {}

    bool event(QEvent* event) override {
        // Our events are made on other threads, under the loop's mutex; reading them under it too
        // makes the hand-over visible to the thread checker, which cannot see into Qt's event queue.
        QEvent::Type type;
        uint32_t message = 0;
        {
            std::lock_guard lock(loop_.mutex_);
            type = event->type();
            if (type == kThreadMessageEvent) {
                message = static_cast<ThreadMessageEvent*>(event)->Message;
            }
        }
        if (type == kThreadMessageEvent) {
            loop_.OnThreadMessage(message);
            return true;
        }
        if (type == kTaskEvent) {
            loop_.RunTasks();
            return true;
        }
        return QObject::event(event);
    }

  protected:
    void timerEvent(QTimerEvent* event) override { loop_.OnQtTimer(event->timerId()); }

  private:
    QtMessageLoop& loop_;
};

QtMessageLoop::QtMessageLoop()
    : owner_(std::this_thread::get_id()), receiver_(std::make_unique<Receiver>(*this)) {}

QtMessageLoop::~QtMessageLoop() {
    for (auto& [key, timer] : timers_) {
        receiver_->killTimer(timer.qtId);
    }
}

void QtMessageLoop::PostThreadMessage(uint32_t message) {
    // postEvent is safe from any thread; posted events of one receiver are delivered in order.
    std::lock_guard lock(mutex_);
    QCoreApplication::postEvent(receiver_.get(), new ThreadMessageEvent(message));
}

void QtMessageLoop::Arm(Timer& timer, int64_t now) {
    int64_t wait = std::clamp<int64_t>(timer.due - now, 1, kLongestWaitMilliseconds);
    timer.qtId = receiver_->startTimer(static_cast<int>(wait), Qt::PreciseTimer);
}

void QtMessageLoop::SetTimer(TimerWindow& window, uint32_t id, int64_t milliseconds) {
    KillTimer(window, id);
    int64_t now = BootMilliseconds();
    Timer timer{std::max<int64_t>(milliseconds, 1), 0, 0};
    timer.due = now + timer.interval;
    Arm(timer, now);
    timers_.emplace(Key{&window, id}, timer);
}

void QtMessageLoop::KillTimer(TimerWindow& window, uint32_t id) {
    auto found = timers_.find(Key{&window, id});
    if (found != timers_.end()) {
        receiver_->killTimer(found->second.qtId);
        timers_.erase(found);
    }
}

void QtMessageLoop::KillTimers(TimerWindow& window) {
    for (auto it = timers_.begin(); it != timers_.end();) {
        if (it->first.first == &window) {
            receiver_->killTimer(it->second.qtId);
            it = timers_.erase(it);
        } else {
            ++it;
        }
    }
}

void QtMessageLoop::OnQtTimer(int qtId) {
    auto found = std::find_if(timers_.begin(), timers_.end(),
                              [&](const auto& entry) { return entry.second.qtId == qtId; });
    if (found == timers_.end()) {
        receiver_->killTimer(qtId);
        return;
    }
    Key key = found->first;
    Timer& timer = found->second;
    int64_t now = BootMilliseconds();
    receiver_->killTimer(qtId);
    if (timer.due > now) {
        Arm(timer, now);  // a long wait, or the computer slept: look again later
        return;
    }
    timer.due = now + timer.interval;
    Arm(timer, now);
    // The window may kill or set its timers, or go away, in its handler: nothing of the entry is used
    // after the call.
    key.first->OnTimer(key.second);
}

void QtMessageLoop::OnThreadMessage(uint32_t message) {
    if (quitTaken_) {
        // The event loop drains what was already queued before it returns; a message behind WM_QUIT
        // waits for the next Run, as in a thread's message queue.
        leftOver_.push_back(message);
        return;
    }
    if (message == WM_QUIT) {
        quitTaken_ = true;
        {
            std::unique_lock lock(mutex_);
            calls_.End(lock);  // nobody may be left waiting for a loop that has gone
        }
        if (running_ != nullptr) {
            running_->exit(0);
        }
        return;
    }
    if (handler_ != nullptr) {
        (*handler_)(message);
    }
}

int QtMessageLoop::Run(const ThreadMessageHandler& handler) {
    QEventLoop eventLoop;
    {
        std::lock_guard lock(mutex_);
        calls_.Start();
    }
    handler_ = &handler;
    running_ = &eventLoop;
    quitTaken_ = false;
    // Messages left behind the last WM_QUIT come before anything posted since.
    std::vector<uint32_t> pending;
    pending.swap(leftOver_);
    for (uint32_t message : pending) {
        OnThreadMessage(message);
    }
    if (!quitTaken_) {
        eventLoop.exec();
    }
    running_ = nullptr;
    handler_ = nullptr;
    return 0;
}

void QtMessageLoop::RunTasks() {
    std::unique_lock lock(mutex_);
    calls_.RunAll(lock);
}

void QtMessageLoop::Invoke(const std::function<void()>& work) {
    if (std::this_thread::get_id() == owner_) {
        work();
        return;
    }
    std::unique_lock lock(mutex_);
    calls_.Call(lock, work, [this] { QCoreApplication::postEvent(receiver_.get(), new QEvent(kTaskEvent)); });
}

}  // namespace quillon
