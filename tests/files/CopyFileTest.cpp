#include "files/CopyFile.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

#include "files/DeleteTree.h"
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

struct Stat {
    explicit Stat(const std::string& native) { EXPECT_EQ(::stat(native.c_str(), &info), 0) << native; }
    struct stat info {};
};

uint32_t AttributesOf(const std::string& windowsPath) {
    uint32_t attributes = 0;
    EXPECT_TRUE(ReadFileAttributes(windowsPath, attributes)) << windowsPath;
    return attributes;
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

TEST_F(CopyFileTest, CopiesDataTimesAndCountsBytes) {
    WriteFile(C("src.txt"), "0123456789");
    ASSERT_TRUE(SetFileTimes("C:\\src.txt", k2003, k2003 + 3600));
    counter = 100;
    ASSERT_TRUE(Copy("C:\\src.txt", "C:\\dst.txt"));
    Stat copy(C("dst.txt"));  // before reading it, which may move its access time
    EXPECT_EQ(copy.info.st_mtime, k2003);
    EXPECT_EQ(copy.info.st_atime, k2003 + 3600);
    EXPECT_EQ(ReadFile(C("dst.txt")), "0123456789");
    EXPECT_EQ(counter, 110);
    EXPECT_EQ(AttributesOf("C:\\dst.txt"), kAttributeArchive);

    // Times before 1980 are raised to the end of 1979; an access time out of range takes the result.
    ASSERT_TRUE(SetFileTimes("C:\\src.txt", 157766400, 157766400));
    ASSERT_TRUE(Copy("C:\\src.txt", "C:\\old.txt"));
    Stat old(C("old.txt"));
    EXPECT_EQ(old.info.st_mtime, 315525978);  // 1979-12-31 22:06:18 UTC
    EXPECT_EQ(old.info.st_atime, 315525978);
}

// Each round overwrites the copy of the round before, read-only or not.
TEST_F(CopyFileTest, CopiesLoseHiddenAndSystemAndGainArchive) {
    struct Case {
        uint32_t source;
        bool markReadOnly;
        uint32_t copy;
    } cases[] = {
        {kAttributeArchive, false, kAttributeArchive},
        {0, false, kAttributeArchive},
        {kAttributeHidden | kAttributeSystem, false, kAttributeArchive},
        {kAttributeHidden | kAttributeArchive, true, kAttributeReadOnly | kAttributeArchive},
        {kAttributeReadOnly, false, kAttributeReadOnly | kAttributeArchive},  // read-only stays so
        {kAttributeReadOnly | kAttributeSystem, true, kAttributeReadOnly | kAttributeArchive},
    };
    for (const auto& c : cases) {
        fs::remove(C("src"));
        WriteFile(C("src"), "data");
        ASSERT_TRUE(WriteFileAttributes("C:\\src", c.source));
        ASSERT_TRUE(Copy("C:\\src", "C:\\dst", c.markReadOnly)) << c.source;
        EXPECT_EQ(AttributesOf("C:\\dst"), c.copy) << c.source << " " << c.markReadOnly;
        EXPECT_EQ(AttributesOf("C:\\src"), c.source) << "the source is not touched";
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

TEST_F(CopyFileTest, OpeningFailuresAreTracedWithTheRightError) {
    WriteFile(C("src"), "x");
    WriteFile(C("blocker"), "a file where a directory should be");
    ::mkfifo(C("pipe").c_str(), 0600);
    struct Case {
        const char* source;
        const char* destination;
        int32_t error;
        const char* trace;
    } cases[] = {
        {"C:\\missing", "C:\\dst", kErrorFileNotFound, "*** Datei C:\\missing konnte nicht gelesen werden\n"},
        {"C:\\no\\dir\\x", "C:\\dst", kErrorFileNotFound,
         "*** Datei C:\\no\\dir\\x konnte nicht gelesen werden\n"},
        {"C:\\pipe", "C:\\dst", kErrorAccessDenied, "*** Datei C:\\pipe konnte nicht gelesen werden\n"},
        {"C:\\src", "C:\\blocker\\dst", kErrorPathNotFound,
         "*** Datei C:\\blocker\\dst konnte nicht zum Schreiben ge\xF6"
         "ffnet werden\n"},
        {"C:\\src", "C:\\src", kErrorSharingViolation,
         "*** Datei C:\\src konnte nicht zum Schreiben ge\xF6"
         "ffnet werden\n"},
    };
    for (const auto& c : cases) {
        CaptureTrace trace;
        SetLastError(0);
        EXPECT_FALSE(Copy(c.source, c.destination)) << c.source << " -> " << c.destination;
        EXPECT_EQ(GetLastError(), c.error) << c.source << " -> " << c.destination;
        EXPECT_EQ(trace.Records(), std::vector<std::string>{c.trace});
    }
    EXPECT_FALSE(fs::exists(C("dst")));
    EXPECT_EQ(ReadFile(C("src")), "x");
}

TEST_F(CopyFileTest, CopyingAFileOntoItselfUnderAnotherNameLeavesItWhole) {
    WriteFile(C("Data/offer.doc"), "precious");
    fs::create_symlink(C("Data/offer.doc"), C("Data/link.doc"));
    fs::create_hard_link(C("Data/offer.doc"), C("Data/hard.doc"));
    fs::create_directory_symlink(C("Data"), C("Alias"));
    for (const char* destination : {"C:\\Data\\link.doc", "C:\\Data\\hard.doc", "C:\\Alias\\offer.doc"}) {
        EXPECT_FALSE(Copy("C:\\Data\\offer.doc", destination)) << destination;
        EXPECT_EQ(GetLastError(), kErrorSharingViolation);
        EXPECT_EQ(ReadFile(C("Data/offer.doc")), "precious") << destination;
    }
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

TEST_F(CopyFileTest, FilesBeyondFourGibibytesAreCopiedWholeAndStaySparse) {
    const int64_t size = (int64_t{4} << 30) + 3 * 1'000'000 + 17;
    {
        std::ofstream out(C("huge.img"), std::ios::binary);
        out << "head";
        out.seekp(static_cast<std::streamoff>((int64_t{4} << 30) + 5));
        out << "middle";
    }
    fs::resize_file(C("huge.img"), static_cast<uintmax_t>(size));
    {
        std::fstream out(C("huge.img"), std::ios::binary | std::ios::in | std::ios::out);
        out.seekp(static_cast<std::streamoff>(size - 4));
        out << "tail";
    }
    buffer.assign(1'000'000, '\0');
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
    EXPECT_EQ(at((int64_t{4} << 30) + 4, 8), std::string("\0middle\0", 8));
    EXPECT_EQ(at(size - 5, 5), std::string("\0tail", 5));
    Stat copy(C("copy.img"));
    EXPECT_LT(copy.info.st_blocks * 512, int64_t{64} << 20);  // the holes stayed holes
}

TEST_F(CopyFileTest, TrailingZerosStillReachTheFullLength) {
    WriteFile(C("src"), std::string("data") + std::string(12, '\0'));
    ASSERT_TRUE(Copy("C:\\src", "C:\\dst"));
    EXPECT_EQ(ReadFile(C("dst")), std::string("data") + std::string(12, '\0'));
}

// Every single failing open, read and write ends in a clean false with the failing step's error, and
// leaves the source as it was: a database of the fault-injection kind for the copy.
TEST_F(CopyFileTest, EveryFailingStepIsACleanFailure) {
    const std::string data = RandomBytes(10);  // three chunks of 4 bytes: 4 + 4 + 2
    WriteFile(C("src"), data);
    ClearFaults();
    ASSERT_TRUE(Copy("C:\\src", "C:\\dst"));
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

// Runs a test of this program again inside a private mount namespace, where a 1 MiB tmpfs is mounted
// at a temporary folder; answers the child's output, or "" with skip set when that is not permitted.
std::string RunOnSmallDisk(const std::string& testName, const std::string& mountPoint, bool& skip) {
    skip = false;
    std::string self = fs::read_symlink("/proc/self/exe").string();
    std::string unshare;
    for (const char* candidate : {"unshare -m", "unshare -rm"}) {
        std::string probe = std::string(candidate) + " sh -c 'mount -t tmpfs -o size=1m quillon-probe " +
                            mountPoint + "' >/dev/null 2>&1";
        if (std::system(probe.c_str()) == 0) {
            unshare = candidate;
            break;
        }
    }
    if (unshare.empty()) {
        skip = true;
        return "";
    }
    std::string command = unshare + " sh -c 'mount -t tmpfs -o size=1m quillon-small " + mountPoint +
                          " && QUILLON_SMALL_DISK=" + mountPoint + " exec \"$0\" --gtest_filter=" + testName +
                          "' " + self + " 2>&1";
    std::string output;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char chunk[4096];
        while (size_t n = std::fread(chunk, 1, sizeof chunk, pipe)) {
            output.append(chunk, n);
        }
        output += "\nexit status " + std::to_string(::pclose(pipe));
    }
    return output;
}

TEST(CopyFileDiskFullTest, AFullDiskFailsTheCopyWithDiskFull) {
    testing::TempDir mountPoint;
    bool skip = false;
    std::string output = RunOnSmallDisk("CopyFileDiskFullTest.InsideASmallDisk", mountPoint.Path(), skip);
    if (skip) {
        GTEST_SKIP() << "mounting a tmpfs in a private mount namespace is not permitted here";
    }
    EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
    EXPECT_EQ(output.find("SKIPPED"), std::string::npos) << output;
    EXPECT_NE(output.find("exit status 0"), std::string::npos) << output;
}

TEST(CopyFileDiskFullTest, InsideASmallDisk) {
    const char* small = std::getenv("QUILLON_SMALL_DISK");
    if (small == nullptr) {
        GTEST_SKIP() << "runs only inside AFullDiskFailsTheCopyWithDiskFull";
    }
    ScopedDriveMap drives;
    drives.Map('E', small);
    WriteFile(drives.DriveC() + "/small.bin", RandomBytes(100'000, 2));
    const std::string big = RandomBytes(3 << 20, 3);
    WriteFile(drives.DriveC() + "/big.bin", big);
    std::vector<char> buffer(1'000'000);
    std::atomic<int64_t> counter{0};

    ASSERT_TRUE(CopyFileCreatingPath("C:\\small.bin", "E:\\2003-11-24\\small.bin", false, buffer.data(),
                                     1'000'000, 2, &counter));
    SetLastError(0);
    EXPECT_FALSE(CopyFileCreatingPath("C:\\big.bin", "E:\\2003-11-24\\big.bin", false, buffer.data(),
                                      1'000'000, 2, &counter));
    EXPECT_EQ(GetLastError(), kErrorDiskFull);
    std::string partial = ReadFile(std::string(small) + "/2003-11-24/big.bin");
    EXPECT_LT(partial.size(), big.size());
    EXPECT_EQ(partial, big.substr(0, partial.size()));

    // The incomplete set is removed, and the space is there again.
    std::vector<std::string> lines;
    EXPECT_TRUE(DeleteDatedDirectory("E:\\2003-11-24", &lines));
    EXPECT_TRUE(lines.empty());
    EXPECT_TRUE(CopyFileCreatingPath("C:\\small.bin", "E:\\2003-11-25\\small.bin", false, buffer.data(),
                                     1'000'000, 2, &counter));
}

}  // namespace
}  // namespace quillon
