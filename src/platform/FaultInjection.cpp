#include "platform/FaultInjection.h"

#include <array>
#include <atomic>
#include <mutex>

namespace quillon {
namespace {

constexpr int kOperations = static_cast<int>(FileOperation::kOpenFolder) + 1;

struct Plan {
    int calls = 0;
    int failAt = 0;  // 0: no fault armed
    int err = 0;
    bool sticky = false;
    int hookAt = 0;  // 0: no hook armed
    std::function<void()> hook;
};

std::mutex planMutex;
std::array<Plan, kOperations> plans;  // guarded by planMutex

// Counting is cheap but not free; the flag spares the lock while no test is looking.
std::atomic<bool> watching{false};

Plan& PlanOf(FileOperation operation) {
    return plans[static_cast<int>(operation)];
}

}  // namespace

void InjectFault(FileOperation operation, int nth, int err, bool sticky) {
    std::lock_guard lock(planMutex);
    Plan& plan = PlanOf(operation);
    plan.failAt = nth > 0 ? plan.calls + nth : 0;
    plan.err = err;
    plan.sticky = sticky;
    watching = true;
}

void InjectHook(FileOperation operation, int nth, std::function<void()> action) {
    std::lock_guard lock(planMutex);
    Plan& plan = PlanOf(operation);
    plan.hookAt = nth > 0 ? plan.calls + nth : 0;
    plan.hook = std::move(action);
    watching = true;
}

void ClearFaults() {
    std::lock_guard lock(planMutex);
    plans = {};
    // Keep counting after the first ClearFaults: a test that clears and then asks FaultCallCount
    // expects real numbers.
    watching = true;
}

int FaultCallCount(FileOperation operation) {
    std::lock_guard lock(planMutex);
    return PlanOf(operation).calls;
}

bool CheckFault(FileOperation operation, int& err) {
    if (!watching.load(std::memory_order_relaxed)) {
        return false;
    }
    std::function<void()> hook;
    bool fail = false;
    {
        std::lock_guard lock(planMutex);
        Plan& plan = PlanOf(operation);
        ++plan.calls;
        if (plan.hookAt != 0 && plan.calls == plan.hookAt) {
            hook = std::move(plan.hook);
            plan.hookAt = 0;
        }
        if (plan.failAt != 0 && (plan.calls == plan.failAt || (plan.sticky && plan.calls > plan.failAt))) {
            fail = true;
            err = plan.err;
        }
    }
    // Outside the lock: the hook may itself use the file layer.
    if (hook) {
        hook();
    }
    return fail;
}

}  // namespace quillon
