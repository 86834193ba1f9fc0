#include "platform/Trace.h"

#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

#include "testing/CaptureTrace.h"

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

}  // namespace
}  // namespace quillon
