// The run semaphore's take between processes: SwapRegistryInt is a compare-and-swap in the hive.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "config/Registrierung.h"
#include "testing/ScopedHives.h"

namespace quillon {
namespace {

const std::string kSemaphore = "Software\\Norrow\\Quillon\\Semaphore";
const std::string kCounter = "Software\\Norrow\\Quillon\\Counter";

TEST(SemaphoreSwapTest, SwapsOnlyFromTheExpectedValue) {
    testing::ScopedHives hives;
    EXPECT_FALSE(SwapRegistryInt(HKEY_LOCAL_MACHINE, kSemaphore, 5, 1));  // missing reads as 0
    EXPECT_TRUE(SwapRegistryInt(HKEY_LOCAL_MACHINE, kSemaphore, 0, 1));
    EXPECT_FALSE(SwapRegistryInt(HKEY_LOCAL_MACHINE, kSemaphore, 0, 2));
    EXPECT_EQ(GetRegistryInt(HKEY_LOCAL_MACHINE, kSemaphore, -1), 1);
    EXPECT_TRUE(SwapRegistryInt(HKEY_LOCAL_MACHINE, kSemaphore, 1, 0));
    // A machine hive that cannot be written: the value lands in the user hive, as every write does.
    hives.MakeUnwritable(HKEY_LOCAL_MACHINE);
    EXPECT_TRUE(SwapRegistryInt(HKEY_LOCAL_MACHINE, kSemaphore, 0, 7));
    EXPECT_EQ(GetRegistryInt(HKEY_CURRENT_USER, kSemaphore, -1), 7);
}

// Processes that take the semaphore only through the swap are never inside at the same time: each
// increments a counter with a plain read and write while it holds the semaphore, and no increment is
// lost. (Read-then-write taking, as before, loses increments here.)
TEST(SemaphoreSwapTest, ProcessesTakingItAtOnceNeverHoldItTogether) {
    testing::ScopedHives hives;
    constexpr int kProcesses = 3;
    constexpr int kRounds = 25;
    WriteRegistryInt(HKEY_LOCAL_MACHINE, kCounter, 0);
    pid_t children[kProcesses];
    for (pid_t& child : children) {
        child = ::fork();
        if (child == 0) {
            const int32_t me = static_cast<int32_t>(::getpid());
            for (int round = 0; round < kRounds; ++round) {
                while (!SwapRegistryInt(HKEY_LOCAL_MACHINE, kSemaphore, 0, me)) {
                }
                int32_t count = GetRegistryInt(HKEY_LOCAL_MACHINE, kCounter, -1000);
                WriteRegistryInt(HKEY_LOCAL_MACHINE, kCounter, count + 1);
                if (!SwapRegistryInt(HKEY_LOCAL_MACHINE, kSemaphore, me, 0)) {
                    ::_exit(2);  // somebody else took it while this process held it
                }
            }
            ::_exit(0);
        }
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    EXPECT_EQ(GetRegistryInt(HKEY_LOCAL_MACHINE, kCounter, -1), kProcesses * kRounds);
    EXPECT_EQ(GetRegistryInt(HKEY_LOCAL_MACHINE, kSemaphore, -1), 0);
}

}  // namespace
}  // namespace quillon
