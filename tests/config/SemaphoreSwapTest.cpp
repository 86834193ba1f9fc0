// The run semaphore's take between processes: TakeRegistryInt checks and writes in one transaction.
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

TEST(SemaphoreSwapTest, TakesOnlyAFreeSemaphore) {
    testing::ScopedHives hives;
    EXPECT_TRUE(TakeRegistryInt(HKEY_LOCAL_MACHINE, kSemaphore, 1));  // missing: free
    EXPECT_FALSE(TakeRegistryInt(HKEY_LOCAL_MACHINE, kSemaphore, 2));
    EXPECT_EQ(GetRegistryInt(HKEY_LOCAL_MACHINE, kSemaphore, -1), 1);
    WriteRegistryInt(HKEY_LOCAL_MACHINE, kSemaphore, -3);  // 0 or less: free
    EXPECT_TRUE(TakeRegistryInt(HKEY_LOCAL_MACHINE, kSemaphore, 4));
    EXPECT_EQ(GetRegistryInt(HKEY_LOCAL_MACHINE, kSemaphore, -1), 4);
    // Free as the wait reads it (a user-hive value, the machine hive without one) is free to take too:
    // were the take to expect the very value the wait saw, it would fail and retry for ever.
    RegistryKey machine;
    ASSERT_EQ(CreateRegistryKey(HKEY_LOCAL_MACHINE, "Software\\Norrow\\Quillon", machine), 0);
    ASSERT_EQ(DeleteRegistryValue(machine, "Semaphore"), 0);
    WriteRegistryInt(HKEY_CURRENT_USER, kSemaphore, -1);
    ASSERT_EQ(GetRegistryInt(HKEY_LOCAL_MACHINE, kSemaphore, 0), -1);
    EXPECT_TRUE(TakeRegistryInt(HKEY_LOCAL_MACHINE, kSemaphore, 5));
    EXPECT_EQ(GetRegistryInt(HKEY_LOCAL_MACHINE, kSemaphore, 0), 5);
    // A machine hive that cannot be written: the value lands in the user hive, as every write does.
    hives.MakeUnwritable(HKEY_LOCAL_MACHINE);
    EXPECT_TRUE(TakeRegistryInt(HKEY_LOCAL_MACHINE, kSemaphore, 7));
    EXPECT_EQ(GetRegistryInt(HKEY_CURRENT_USER, kSemaphore, -1), 7);
}

// Processes that take the semaphore only through TakeRegistryInt never hold it together: each
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
                while (!TakeRegistryInt(HKEY_LOCAL_MACHINE, kSemaphore, me)) {
                }
                int32_t count = GetRegistryInt(HKEY_LOCAL_MACHINE, kCounter, -1000);
                WriteRegistryInt(HKEY_LOCAL_MACHINE, kCounter, count + 1);
                if (GetRegistryInt(HKEY_LOCAL_MACHINE, kSemaphore, 0) != me) {
                    ::_exit(2);  // somebody else took it while this process held it
                }
                WriteRegistryInt(HKEY_LOCAL_MACHINE, kSemaphore, 0);
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
