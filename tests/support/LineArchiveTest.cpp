#include "support/LineArchive.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <latch>
#include <set>
#include <thread>
#include <tuple>

#include "platform/LastError.h"
#include "testing/CaptureMessages.h"
#include "testing/CaptureTrace.h"
#include "testing/Environment.h"
#include "testing/FakeClock.h"
#include "testing/TempDir.h"

namespace quillon {
namespace {

using namespace std::string_literals;
using testing::CaptureTrace;
using testing::ScopedDriveMap;
using Lines = std::vector<std::pair<std::string, bool>>;  // each line with the end-of-file flag after it
using Messages = std::vector<std::pair<std::string, unsigned>>;
using Traced = std::vector<std::string>;

Lines ReadToEnd(CLineArchive& archive) {
    Lines lines;
    while (!archive.IsEof()) {
        std::string line;
        archive.ReadLine(line);
        lines.emplace_back(line, archive.IsEof());
    }
    return lines;
}

// Lines around the sizes 100, 200 and 400 grow the buffer of the pool, which is kept for later reads.
std::pair<std::string, Lines> LongLines() {
    std::pair<std::string, Lines> file;
    for (size_t length : {98, 99, 100, 101, 399, 401, 5}) {
        for (char c : {'a', 'b'}) {
            file.second.emplace_back(std::string(length, c), false);
            file.first += file.second.back().first + (c == 'a' ? "\r\n" : "\r");
        }
    }
    file.second.back().second = true;
    return file;
}

TEST(LineArchiveTest, ReadsLinesAndSetsEndOfFileWithTheLastOne) {
    const std::tuple<std::string, Lines> cases[] = {
        {"a\r\nb\r\n", {{"a", false}, {"b", true}}},
        {"a\r\nb", {{"a", false}, {"b", true}}},
        {"a\nb\n", {{"a\nb\n", true}}},  // LF alone is part of the line
        {"\r\n\r\n", {{"", false}, {"", true}}},
        {"a\rb\r", {{"a", false}, {"b", true}}},  // CR alone ends a line
        {"a\r\r\nb", {{"a", false}, {"", false}, {"b", true}}},
        {"a\r\n\nb\r\n", {{"a", false}, {"\nb", true}}},  // one LF belongs to the line end, no more
        {"x\0y\r\n\xE4\xFF"s, {{"x\0y"s, false}, {"\xE4\xFF", true}}},  // bytes pass unchanged
        {"", {}},
        {LongLines().first, LongLines().second},
    };
    ScopedDriveMap drives;
    FreeLineBuffers();
    for (const auto& [bytes, lines] : cases) {
        SCOPED_TRACE(::testing::PrintToString(bytes));
        testing::WriteFile(drives.DriveC() + "/Quillon.txt", bytes);
        CaptureTrace trace;
        CLineArchiveFile archive;
        ASSERT_TRUE(archive.Open("C:\\Quillon.txt", false));
        EXPECT_EQ(ReadToEnd(archive), lines);
        std::string line = "stale";
        archive.ReadLine(line);
        EXPECT_EQ(line, "") << "past the end";
        EXPECT_TRUE(archive.Close());
        EXPECT_EQ(trace.Records(), Traced(bytes.empty(), "-- L\xE4nge der Eingabedatei: 0 Bytes\n"));
    }
    EXPECT_EQ(LineBufferSize(0), 800);  // every read borrowed slot 0; 401 bytes and a zero need 800
    FreeLineBuffers();
}

// Each case replaces the file of the case before, which stays as it was until Close.
TEST(LineArchiveTest, WritesCrLfLinesAtCloseThatReadBackAsWritten) {
    const std::vector<std::string> cases[] = {
        {},  // creates an empty file
        {"", "  C:\\\xC4nderungen \xFC\xDF.doc  ", "with\nline\nfeeds", "nul\0inside"s, "\0"s, "\x80\xFF"},
        {std::string(29998, 'a'), "b"},  // fills the first block exactly
        {std::string(29999, 'a'), "b"},
        {std::string(29000, 'a'), std::string(100000, 'b'), "c"},  // longer than one growth step
        std::vector<std::string>(20000, "C:\\Data\\some\\file.txt"),
        {"x", "yz"},
    };
    ScopedDriveMap drives;
    const std::string native = drives.DriveC() + "/Quillon.txt";
    auto contents = [&] { return std::filesystem::exists(native) ? testing::ReadFile(native) : "<none>"; };
    // Room reserved after the first line (none, less than the block holds, more than all lines take)
    // must not change what is written.
    for (const int64_t reserve : {int64_t{0}, int64_t{40}, int64_t{1} << 20}) {
        for (const auto& lines : cases) {
            SCOPED_TRACE(::testing::Message() << "case " << &lines - cases << ", reserved " << reserve);
            const std::string before = contents();
            CLineArchiveFile archive;
            ASSERT_TRUE(archive.Open("C:\\Quillon.txt", true));
            std::string bytes;
            Lines expected;
            for (size_t i = 0; i < lines.size(); ++i) {
                archive.WriteLine(lines[i]);
                if (i == 0) {
                    archive.Reserve(reserve);
                }
                bytes += lines[i] + "\r\n";
                expected.emplace_back(lines[i], i + 1 == lines.size());
            }
            EXPECT_TRUE(contents() == before) << "written before Close";
            ASSERT_TRUE(archive.Close(true));
            EXPECT_TRUE(contents() == bytes);
            ASSERT_TRUE(archive.Open("C:\\Quillon.txt", false));
            EXPECT_TRUE(ReadToEnd(archive) == expected);
            archive.Close();
        }
    }
}

TEST(LineArchiveTest, AFileThatCannotBeCreatedIsReportedAtCloseAndNothingAppears) {
    ScopedDriveMap drives;
    testing::WriteFile(drives.DriveC() + "/plain.txt", "a regular file");
    // Below a regular file not even root can create anything.
    for (const char* path : {"C:\\plain.txt\\Quillon.TMP", "C:\\missing\\Quillon.TMP"}) {
        testing::CaptureMessages messages;
        CLineArchiveFile archive;
        ASSERT_TRUE(archive.Open(path, true)) << path;
        archive.WriteLine("x");
        EXPECT_EQ(messages.Shown, Messages{}) << path;
        EXPECT_EQ(archive.Close() ? 0 : GetLastError(), kErrorPathNotFound) << path;
        EXPECT_TRUE(archive.Close()) << "nothing left to write";
        EXPECT_EQ(messages.Shown,
                  (Messages{{"*** File "s + path + " could not be opened.", kMbOk | kMbIconExclamation}}));
    }
    EXPECT_EQ(testing::ReadFile(drives.DriveC() + "/plain.txt"), "a regular file");
    EXPECT_FALSE(std::filesystem::exists(drives.DriveC() + "/missing"));
}

TEST(LineBufferPoolTest, AFullPoolWaitsTenSecondsThenHandsOutAPrivateBufferNeverAHeldSlot) {
    testing::FakeClock clock;
    CaptureTrace trace;
    LineBufferPool pool;
    std::set<int> held;
    for (int i = 0; i < LineBufferPool::kSlots; ++i) {
        held.insert(pool.Acquire());
    }
    EXPECT_EQ(clock.Slept(), 0);
    std::memcpy(pool.Buffer(7), "in use", 7);
    int extra = pool.Acquire();
    EXPECT_EQ(held.count(extra), 0u) << extra;
    EXPECT_EQ(clock.Slept(), 10 * 1000);
    Traced expected;
    for (int i = 9; i >= 0; --i) {
        expected.push_back("*** Kein Buffer frei  (" + std::to_string(i) + ")\n");
    }
    expected.push_back("******** Buffer-Notausgang\n");
    EXPECT_EQ(trace.Records(), expected);
    // Freeing the pool's memory keeps the buffer of a held slot.
    pool.Release(extra);
    pool.FreeBuffers();
    EXPECT_STREQ(pool.Buffer(7), "in use");
}

TEST(LineBufferPoolTest, ConcurrentHoldersNeverShareASlot) {
    testing::FakeClock clock;  // the waits of a full pool pass at once
    CaptureTrace trace;
    LineBufferPool pool;
    constexpr int kThreads = 25;  // more than the pool has slots
    std::vector<int> slots(kThreads);
    std::latch allHeld(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 20; ++round) {
                int slot = pool.Acquire();
                char* buffer = pool.Size(slot) < 1000 ? pool.Grow(slot) : pool.Buffer(slot);
                std::string mine(static_cast<size_t>(pool.Size(slot)), static_cast<char>('a' + t));
                std::memcpy(buffer, mine.data(), mine.size());
                if (round == 0) {
                    slots[t] = slot;
                    allHeld.arrive_and_wait();  // all threads hold a buffer at the same moment
                }
                EXPECT_EQ(std::string(buffer, mine.size()), mine) << "thread " << t;
                pool.Release(slot);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(std::set<int>(slots.begin(), slots.end()).size(), static_cast<size_t>(kThreads));
}

}  // namespace
}  // namespace quillon
