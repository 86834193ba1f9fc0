#include "platform/ThreadPriority.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <thread>

namespace quillon {
namespace {

int NiceOfThisThread() { return ::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid())); }

// The worker is lowered, never into the idle class (which starves it on a busy machine), and so are the
// threads it starts (the compressing threads); the calling thread of the test is left as it was.
TEST(ThreadPriorityTest, LowersTheCallingThreadAndWhatItStartsButNeverToIdle) {
    const int niceBefore = NiceOfThisThread();
    bool lowered = false;
    int workerNice = 0, workerPolicy = -1, childNice = 0;
    std::thread worker([&] {
        lowered = LowerThreadPriority();
        workerNice = NiceOfThisThread();
        workerPolicy = ::sched_getscheduler(0);
        std::thread child([&] { childNice = NiceOfThisThread(); });
        child.join();
    });
    worker.join();
    EXPECT_TRUE(lowered);
    const int expected = niceBefore > 10 ? niceBefore : 10;  // never raised
    EXPECT_EQ(workerNice, expected);
    EXPECT_NE(workerPolicy, SCHED_IDLE);
    EXPECT_EQ(childNice, expected);
    EXPECT_EQ(NiceOfThisThread(), niceBefore);
}

}  // namespace
}  // namespace quillon
