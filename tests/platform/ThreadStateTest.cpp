// What each thread has of its own: its last error and its priority; and trace records, which arrive
// whole from every thread.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "platform/LastError.h"
#include "platform/ThreadPriority.h"
#include "platform/Trace.h"
#include "testing/CaptureTrace.h"
#include "testing/TempDir.h"

namespace quillon {
namespace {

TEST(LastErrorTest, ErrnoMapsToWindowsNumbersAndEachThreadHasItsOwn) {
    const std::pair<int, int32_t> cases[] = {
        {0, 0},           {ENOTDIR, 3},        {EACCES, 5},   {EPERM, 5},   {ENOSPC, 112},  {EDQUOT, 112},
        {EROFS, 19},      {EBUSY, 32},         {ETXTBSY, 32}, {EIO, 30},    {EINVAL, 87},   {EEXIST, 183},
        {ENOTEMPTY, 145}, {ENAMETOOLONG, 206}, {EMFILE, 4},   {ESTALE, 55}, {ENETDOWN, 59}, {EPROTO, 31}};
    for (const auto& [err, windows] : cases) {
        EXPECT_EQ(WindowsErrorFromErrno(err), windows) << "errno " << err;
    }
    // A missing file is 2, a missing folder on the way to it 3.
    testing::TempDir dir;
    EXPECT_EQ(WindowsErrorFromErrno(ENOENT), kErrorFileNotFound);
    EXPECT_EQ(WindowsErrorFromErrno(ENOENT, dir / "missing.txt"), kErrorFileNotFound);
    EXPECT_EQ(WindowsErrorFromErrno(ENOENT, dir / "no/such/dir/missing.txt"), kErrorPathNotFound);

    SetLastError(112);
    int32_t seenByOther = -1;
    std::thread([&] {
        seenByOther = GetLastError();
        SetLastError(5);
    }).join();
    EXPECT_EQ(std::pair(seenByOther, GetLastError()), std::pair(0, 112));
}

int NiceOfThisThread() {
    return ::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()));
}

// The worker is lowered, never into the idle class (which starves it on a busy machine), and so are the
// threads it starts (the compressing threads); the calling thread of the test is left as it was.
TEST(ThreadPriorityTest, LowersTheCallingThreadAndWhatItStartsButNeverToIdle) {
    const int niceBefore = NiceOfThisThread();
    bool lowered = false;
    int workerNice = 0, workerPolicy = -1, childNice = 0;
    std::thread([&] {
        lowered = LowerThreadPriority();
        workerNice = NiceOfThisThread();
        workerPolicy = ::sched_getscheduler(0);
        std::thread([&] { childNice = NiceOfThisThread(); }).join();
    }).join();
    const int expected = niceBefore > 10 ? niceBefore : 10;  // never raised
    EXPECT_TRUE(lowered && workerNice == expected && childNice == expected && workerPolicy != SCHED_IDLE)
        << lowered << " nice " << workerNice << " and " << childNice << ", policy " << workerPolicy;
    EXPECT_EQ(NiceOfThisThread(), niceBefore);
}

TEST(TraceTest, RecordsArriveWholeAndExactlyAsFormattedFromEveryThread) {
    testing::CaptureTrace trace;
    const std::string longText(2000, 'x');  // longer than any fixed formatting buffer should be
    Trace("--- Pfad %d: %s\n", 3, "C:\\Daten");
    Trace("CLineArchive::CLineArchive: %ld statt %ld Bytes gelesen", 5L, 7L);
    Trace("%s", longText.c_str());
    EXPECT_EQ(trace.Records(),
              (std::vector<std::string>{"--- Pfad 3: C:\\Daten\n",
                                        "CLineArchive::CLineArchive: 5 statt 7 Bytes gelesen", longText}));
    trace.Clear();
    {
        std::vector<std::jthread> threads;  // joined as they go
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([t] {
                for (int i = 0; i < 200; ++i) {
                    Trace("thread %d line %d\n", t, i);
                }
            });
        }
    }
    auto records = trace.Records();
    ASSERT_EQ(records.size(), 800u);
    for (const auto& record : records) {
        EXPECT_TRUE(record.rfind("thread ", 0) == 0 && record.back() == '\n') << record;
    }
}

}  // namespace
}  // namespace quillon
