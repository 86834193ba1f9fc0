#include "files/CopyFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <random>

#include "files/FileStatus.h"
#include "platform/FaultInjection.h"
#include "platform/FileAttributes.h"
#include "platform/FileSystem.h"
#include "platform/LastError.h"
#include "testing/CaptureTrace.h"
#include "testing/Environment.h"
#include "testing/TempDir.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using testing::CaptureTrace;
using testing::ReadFile;
using testing::ScopedDriveMap;
using testing::WriteFile;

constexpr int64_t k2003 = 1069692131;

std::string RandomBytes(size_t count, unsigned seed = 1) {
    std::mt19937 random(seed);
    std::string bytes(count, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(random() | 1);  // never a whole chunk of zeros
    }
    return bytes;
}

struct stat StatOf(const std::string& native) {
    struct stat info {};
    EXPECT_EQ(::stat(native.c_str(), &info), 0) << native;
    return info;
}

class CopyFileTest : public ::testing::Test {
  protected:
    std::string C(const std::string& relative) { return drives.DriveC() + "/" + relative; }
    bool Copy(const std::string& from, const std::string& to, bool readOnly = false, int64_t bufferSize = 4) {
        buffer.assign(static_cast<size_t>(bufferSize), '\0');
        return CopyFileWithBuffer(from, to, readOnly, buffer.data(), bufferSize, &counter);
    }

    ScopedDriveMap drives;
    ScopedFaults faults;
    std::vector<char> buffer;
    std::atomic<int64_t> counter{0};
};

TEST_F(CopyFileTest, CopiesDataAndTimesAndCountsBytes) {
    // Times before 1980 are raised to the end of 1979 (1979-12-31 22:06:18 UTC); an access time out of
    // range takes the modification time.
    const int64_t times[][3] = {{k2003, k2003 + 3600, k2003}, {157766400, 157766400, 315525978}};
    WriteFile(C("src.txt"), "0123456789");
    for (const auto& [modification, access, expected] : times) {
        ASSERT_TRUE(SetFileTimes("C:\\src.txt", modification, access));
        counter = 100;
        ASSERT_TRUE(Copy("C:\\src.txt", "C:\\dst.txt"));
        struct stat copy = StatOf(C("dst.txt"));  // before reading it, which may move its access time
        EXPECT_EQ(copy.st_mtime, expected) << modification;
        EXPECT_EQ(copy.st_atime, expected + access - modification) << access;
        EXPECT_EQ(ReadFile(C("dst.txt")), "0123456789");
        EXPECT_EQ(counter, 110);
    }
}

TEST_F(CopyFileTest, ASourceThatShrinksFailsAndKeepsTheWholeChunksWritten) {
    WriteFile(C("log.txt"), "0123456789");
    CaptureTrace trace;
    // The file loses its tail between the first and the second read.
    InjectHook(FileOperation::kRead, 2, [&] { fs::resize_file(C("log.txt"), 6); });
    EXPECT_FALSE(Copy("C:\\log.txt", "C:\\copy.txt"));
    EXPECT_EQ(GetLastError(), kErrorReadFault);  // concerns this file only: the pass goes on
    EXPECT_EQ(ReadFile(C("copy.txt")), "0123");
    EXPECT_EQ(counter, 4);
    EXPECT_TRUE(trace.Contains("*** Read Error bei File C:\\log.txt\n"));
}

// Copying a file onto itself under another name (a link, a hard link, a linked folder) must not
// truncate it.
TEST_F(CopyFileTest, FilesThatCannotBeOpenedAreTracedWithTheRightError) {
    WriteFile(C("Data/offer.doc"), "precious");
    WriteFile(C("blocker"), "a file where a directory should be");
    fs::create_symlink(C("Data/offer.doc"), C("Data/link.doc"));
    fs::create_hard_link(C("Data/offer.doc"), C("Data/hard.doc"));
    fs::create_directory_symlink(C("Data"), C("Alias"));
    const std::string source = "C:\\Data\\offer.doc";
    const std::pair<std::string, int32_t> unreadable[] = {{"C:\\missing", kErrorFileNotFound},
                                                          {"C:\\no\\dir\\x", kErrorFileNotFound}};
    const std::pair<std::string, int32_t> unwritable[] = {{"C:\\blocker\\dst", kErrorPathNotFound},
                                                          {source, kErrorSharingViolation},
                                                          {"C:\\Data\\link.doc", kErrorSharingViolation},
                                                          {"C:\\Data\\hard.doc", kErrorSharingViolation},
                                                          {"C:\\Alias\\offer.doc", kErrorSharingViolation}};
    auto check = [&](const std::string& from, const std::string& to, int32_t error,
                     const std::string& trace) {
        CaptureTrace traced;
        SetLastError(0);
        EXPECT_FALSE(Copy(from, to)) << from << " -> " << to;
        EXPECT_EQ(GetLastError(), error) << from << " -> " << to;
        EXPECT_EQ(traced.Records(), std::vector<std::string>{trace});
        EXPECT_EQ(ReadFile(C("Data/offer.doc")), "precious") << to;
    };
    for (const auto& [from, error] : unreadable) {
        check(from, "C:\\dst", error, "*** Datei " + from + " konnte nicht gelesen werden\n");
    }
    for (const auto& [to, error] : unwritable) {
        check(source, to, error,
              "*** Datei " + to +
                  " konnte nicht zum Schreiben ge\xF6"
                  "ffnet werden\n");
    }
    EXPECT_FALSE(fs::exists(C("dst")));
}

TEST_F(CopyFileTest, NoBufferOrAMissingRootFailsAndMyCopyFileHasItsOwn) {
    WriteFile(C("Data/a.txt"), "abc");
    EXPECT_FALSE(CopyFileWithBuffer("C:\\Data\\a.txt", "C:\\dst", false, nullptr, 0));  // would never advance
    EXPECT_EQ(GetLastError(), kErrorInvalidParameter);
    // A root that is missing below the start position is not created: the copy fails instead.
    buffer.assign(1000, '\0');
    EXPECT_FALSE(CopyFileCreatingPath("C:\\Data\\a.txt", "C:\\Gone\\x\\a.txt", false, buffer.data(), 1000, 7,
                                      &counter));
    EXPECT_FALSE(fs::exists(C("Gone")));
    EXPECT_TRUE(MyCopyFile("C:\\Data\\a.txt", "C:\\Quillon.txt", true));
    EXPECT_TRUE(GetFileAttribute("C:\\Quillon.txt", kAttributeReadOnly));
    EXPECT_EQ(ReadFile(C("Quillon.txt")), "abc");
}

TEST_F(CopyFileTest, HolesStayHolesAndTheLengthIsReachedBeyondFourGibibytes) {
    WriteFile(C("src"), std::string("data") + std::string(12, '\0'));  // trailing zero chunks are skipped
    ASSERT_TRUE(Copy("C:\\src", "C:\\dst"));
    EXPECT_EQ(ReadFile(C("dst")), std::string("data") + std::string(12, '\0'));

    const int64_t fourGiB = int64_t{4} << 30, size = fourGiB + 3 * 1'000'000 + 17;
    {
        std::ofstream out(C("huge.img"), std::ios::binary);
        out << "head";
        out.seekp(static_cast<std::streamoff>(fourGiB + 5)) << "middle";
        out.seekp(static_cast<std::streamoff>(size - 4)) << "tail";
    }
    buffer.assign(1'000'000, '\0');
    counter = 0;
    ASSERT_TRUE(
        CopyFileWithBuffer("C:\\huge.img", "C:\\copy.img", false, buffer.data(), 1'000'000, &counter));
    EXPECT_EQ(GetFileLength("C:\\copy.img"), size);
    EXPECT_EQ(counter, size);
    std::ifstream in(C("copy.img"), std::ios::binary);
    auto at = [&](int64_t offset, size_t count) {
        std::string bytes(count, '?');
        in.seekg(static_cast<std::streamoff>(offset));
        in.read(bytes.data(), static_cast<std::streamsize>(count));
        return bytes;
    };
    EXPECT_EQ(at(0, 5), std::string("head\0", 5));
    EXPECT_EQ(at(fourGiB + 4, 8), std::string("\0middle\0", 8));
    EXPECT_EQ(at(size - 5, 5), std::string("\0tail", 5));
    EXPECT_LT(StatOf(C("copy.img")).st_blocks * 512, int64_t{64} << 20);  // the holes stayed holes
}

// Every single failing open, read and write ends in a clean false with the failing step's error, and
// leaves the source as it was: a database of the fault-injection kind for the copy.
TEST_F(CopyFileTest, EveryFailingStepIsACleanFailure) {
    const std::string data = RandomBytes(10);  // three chunks of 4 bytes: 4 + 4 + 2
    WriteFile(C("src"), data);
    struct Operation {
        FileOperation operation;
        int err;
        int32_t error;
    } operations[] = {
        {FileOperation::kOpen, EACCES, kErrorAccessDenied},
        {FileOperation::kOpen, ENOENT, kErrorFileNotFound},
        {FileOperation::kRead, EIO, kErrorReadFault},
        {FileOperation::kWrite, ENOSPC, kErrorDiskFull},
        {FileOperation::kWrite, EIO, kErrorReadFault},
    };
    for (const auto& op : operations) {
        ClearFaults();
        ASSERT_TRUE(Copy("C:\\src", "C:\\dst"));
        int calls = FaultCallCount(op.operation);
        ASSERT_GT(calls, 0);
        for (int nth = 1; nth <= calls; ++nth) {
            fs::remove(C("dst"));
            ClearFaults();
            InjectFault(op.operation, nth, op.err);
            counter = 0;
            SetLastError(0);
            EXPECT_FALSE(Copy("C:\\src", "C:\\dst")) << static_cast<int>(op.operation) << " #" << nth;
            EXPECT_EQ(GetLastError(), op.error) << static_cast<int>(op.operation) << " #" << nth;
            EXPECT_EQ(ReadFile(C("src")), data);
            // What reached the destination is a prefix of whole chunks, as counted.
            std::string partial = ReadFile(C("dst"));
            EXPECT_EQ(partial, data.substr(0, partial.size()));
            EXPECT_LE(static_cast<int64_t>(partial.size()), counter.load());
        }
    }
    ClearFaults();
    EXPECT_TRUE(Copy("C:\\src", "C:\\dst"));
    EXPECT_EQ(ReadFile(C("dst")), data);
}

}  // namespace
}  // namespace quillon
