#include "platform/ThreadPriority.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <thread>

namespace quillon {
namespace {

TEST(ThreadPriorityTest, LowersOnlyTheCallingThread) {
    int before = ::sched_getscheduler(0);
    bool lowered = false;
    bool idleOrNice19 = false;
    std::thread worker([&] {
        lowered = LowerThreadPriority();
        idleOrNice19 = ::sched_getscheduler(0) == SCHED_IDLE ||
                       ::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid())) == 19;
    });
    worker.join();
    EXPECT_TRUE(lowered);
    EXPECT_TRUE(idleOrNice19);
    EXPECT_EQ(::sched_getscheduler(0), before);
}

}  // namespace
}  // namespace quillon
