#include "platform/Clock.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace quillon {
namespace {

class SystemClock : public Clock {
  public:
    int64_t Now() override {
        using namespace std::chrono;
        return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
    }
    void Sleep(int64_t milliseconds) override {
        if (milliseconds > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
        }
    }
};

SystemClock systemClock;
std::atomic<Clock*> installedClock{nullptr};

Clock& Current() {
    Clock* clock = installedClock.load(std::memory_order_acquire);
    return clock != nullptr ? *clock : systemClock;
}

}  // namespace

int64_t NowSeconds() {
    return Current().Now();
}

void SleepMilliseconds(int64_t milliseconds) {
    Current().Sleep(milliseconds);
}

Clock* SetClock(Clock* clock) {
    return installedClock.exchange(clock, std::memory_order_acq_rel);
}

}  // namespace quillon
