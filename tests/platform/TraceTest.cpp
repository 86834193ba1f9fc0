#include "platform/Trace.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "testing/CaptureTrace.h"
#include "testing/TempDir.h"

namespace quillon {
namespace {

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
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 200; ++i) {
                Trace("thread %d line %d\n", t, i);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    auto records = trace.Records();
    ASSERT_EQ(records.size(), 800u);
    for (const auto& record : records) {
        EXPECT_EQ(record.rfind("thread ", 0), 0u) << record;
        EXPECT_EQ(record.back(), '\n');
    }
}

// The environment's destination is chosen once per process, so it is checked in a child process.
TEST(TraceTest, QuillonTraceFileCollectsWholeLines) {
    testing::TempDir dir;
    std::string file = dir / "trace.txt";
    testing::WriteFile(file, "earlier\n");
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        setenv("QUILLON_TRACE", file.c_str(), 1);
        Trace("ohne Zeilenende");
        Trace("mit Zeilenende\n");
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_EQ(testing::ReadFile(file), "earlier\nohne Zeilenende\nmit Zeilenende\n");
}

}  // namespace
}  // namespace quillon
