#include "files/CopyFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <tuple>

#include "files/FileStatus.h"
#include "files/FileTree.h"
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
using testing::Listing;
using testing::MakeTree;
using testing::ReadFile;
using testing::StatOf;
using testing::WriteFile;

constexpr int64_t k2003 = 1069692131;

class CopyFileTest : public ::testing::Test {
  protected:
    std::string C(const std::string& relative) { return drives.DriveC() + "/" + relative; }
    bool Copy(const std::string& from, const std::string& to, bool readOnly = false, int64_t bufferSize = 4) {
        buffer.assign(static_cast<size_t>(bufferSize), '\0');
        return CopyFileWithBuffer(from, to, readOnly, buffer.data(), bufferSize, &counter);
    }
    // A copy into a set below the trusted "C:\Set" (its first six characters), folders made on the way.
    bool CopyCreating(const std::string& from, const std::string& to, CopyBatch* batch = nullptr) {
        buffer.assign(64, '\0');
        return batch != nullptr ? batch->Copy(from, to, false, buffer.data(), 64, 6, &counter)
                                : CopyFileCreatingPath(from, to, false, buffer.data(), 64, 6, &counter);
    }

    testing::ScopedDriveMap drives;
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
        EXPECT_EQ(std::tuple(copy.st_mtime, copy.st_atime, ReadFile(C("dst.txt")), counter.load()),
                  std::tuple(expected, expected + access - modification, "0123456789", 110));
    }
}

// Appends to the file at each of the next `times` reads (a log written while it is backed up).
void GrowAtReads(const std::string& native, int times) {
    if (times > 0) {
        InjectHook(FileOperation::kRead, 1, [native, times] {
            std::ofstream(native, std::ios::binary | std::ios::app) << "more";
            GrowAtReads(native, times - 1);
        });
    }
}

// A source written while it is copied is copied again until one version stood still while it was read,
// or it fails with a read fault that concerns this file alone (the pass logs it and goes on). No torn
// mixture of versions ever takes the name, which keeps the copy that was whole, and no temporary stays.
TEST_F(CopyFileTest, ASourceWrittenWhileCopiedIsCopiedAgainOrReported) {
    // The reads at which the file grows, whether it loses its tail between the first and the second read,
    // and what is traced.
    const std::tuple<int, bool, std::vector<std::string>> cases[] = {
        {0, false, {}},
        {1, false, {}},
        {50, false, {"*** Datei C:\\log.txt hat sich beim Kopieren ge\xE4ndert\n"}},
        {0, true, {"*** Read Error bei File C:\\log.txt\n"}}};
    for (const auto& [growths, shrinks, traced] : cases) {
        SCOPED_TRACE(::testing::Message() << growths << (shrinks ? " shrinks" : ""));
        MakeTree(drives.DriveC(), {{"log.txt", "0123456789abcdef"}, {"out/copy.txt", "this morning's copy"}});
        ClearFaults();
        GrowAtReads(C("log.txt"), growths);
        if (shrinks) {
            InjectHook(FileOperation::kRead, 2, [&] { fs::resize_file(C("log.txt"), 6); });
        }
        testing::CaptureTrace trace;
        SetLastError(0);
        EXPECT_EQ(Copy("C:\\log.txt", "C:\\out\\copy.txt", false, 8), traced.empty());
        ClearFaults();
        EXPECT_EQ(Listing(C("out")),
                  "copy.txt=" + (traced.empty() ? ReadFile(C("log.txt")) : "this morning's copy") + "\n");
        EXPECT_EQ(trace.Records(), traced);
        EXPECT_EQ(GetLastError(), traced.empty() ? 0 : kErrorReadFault);
    }
}

TEST_F(CopyFileTest, ANameWithWildcardCharactersTakesItsOwnTimes) {
    // "a!b.txt" sorts before "a*b.txt" and matches it read as a pattern.
    MakeTree(drives.DriveC(), {{"a!b.txt", "other"}, {"a*b.txt", "mine"}});
    ASSERT_TRUE(SetFileTimes("C:\\a!b.txt", 1'000'000'000, 1'000'000'000));
    testing::SetModified(C("a*b.txt"), 1'100'000'000);
    ASSERT_TRUE(Copy("C:\\a*b.txt", "C:\\out.txt"));
    EXPECT_EQ(ReadFile(C("out.txt")), "mine");
    EXPECT_EQ(StatOf(C("out.txt")).st_mtime, 1'100'000'000);
}

// Copying a file onto itself under another name (a link, a hard link, a linked folder) must not
// truncate it.
TEST_F(CopyFileTest, FilesThatCannotBeOpenedAreTracedWithTheRightError) {
    MakeTree(drives.DriveC(), {{"Data/offer.doc", "precious"},
                               {"blocker", "a file where a directory should be"},
                               {"Data/link.doc", "-> " + C("Data/offer.doc")},
                               {"Alias", "-> " + C("Data")}});
    fs::create_hard_link(C("Data/offer.doc"), C("Data/hard.doc"));
    const std::string source = "C:\\Data\\offer.doc";
    const std::tuple<std::string, std::string, int32_t> cases[] = {
        {"C:\\missing", "C:\\dst", kErrorFileNotFound},
        {"C:\\no\\dir\\x", "C:\\dst", kErrorFileNotFound},
        {source, "C:\\blocker\\dst", kErrorPathNotFound},
        {source, source, kErrorSharingViolation},
        {source, "C:\\Data\\link.doc", kErrorSharingViolation},
        {source, "C:\\Data\\hard.doc", kErrorSharingViolation},
        {source, "C:\\Alias\\offer.doc", kErrorCantResolveFilename}};
    for (const auto& [from, to, error] : cases) {
        SCOPED_TRACE(from + " -> " + to);
        testing::CaptureTrace traced;
        SetLastError(0);
        EXPECT_EQ(Copy(from, to) ? 0 : GetLastError(), error);
        const std::string traceLine =
            from == source ? "*** Datei " + to + " konnte nicht zum Schreiben ge\366ffnet werden\n"
                           : "*** Datei " + from + " konnte nicht gelesen werden\n";
        EXPECT_EQ(traced.Records(), std::vector<std::string>{traceLine});
        EXPECT_EQ(ReadFile(C("Data/offer.doc")), "precious");
    }
    EXPECT_FALSE(fs::exists(C("dst")));
}

TEST_F(CopyFileTest, NoBufferOrAMissingRootFailsAndMyCopyFileHasItsOwn) {
    WriteFile(C("Data/a.txt"), "abc");
    EXPECT_FALSE(CopyFileWithBuffer("C:\\Data\\a.txt", "C:\\dst", false, nullptr, 0));  // would never advance
    EXPECT_EQ(GetLastError(), kErrorInvalidParameter);
    // A root that is missing below the start position is not created: the copy fails instead.
    EXPECT_FALSE(CopyCreating("C:\\Data\\a.txt", "C:\\Gone\\x\\a.txt"));
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
    counter = 0;
    ASSERT_TRUE(Copy("C:\\huge.img", "C:\\copy.img", false, 1'000'000));
    EXPECT_EQ(GetFileLength("C:\\copy.img"), size);
    EXPECT_EQ(counter, size);
    std::ifstream in(C("copy.img"), std::ios::binary);
    std::string text;
    for (auto [offset, count] : {std::pair<int64_t, size_t>{0, 5}, {fourGiB + 4, 8}, {size - 5, 5}}) {
        std::string bytes(count, '?');
        in.seekg(static_cast<std::streamoff>(offset)).read(bytes.data(), static_cast<std::streamsize>(count));
        text += bytes;
    }
    EXPECT_EQ(text, std::string("head\0\0middle\0\0tail", 18));
    EXPECT_LT(StatOf(C("copy.img")).st_blocks * 512, int64_t{64} << 20);  // the holes stayed holes
}

// Every single failing open, read and write ends in a clean false with the failing step's error, and
// leaves the source as it was: a database of the fault-injection kind for the copy.
TEST_F(CopyFileTest, EveryFailingStepIsACleanFailure) {
    MakeTree(drives.DriveC(), {{"src", "q1w2e3r4t5"}, {"out/", ""}});  // three chunks of 4 bytes: 4 + 4 + 2
    // The step, its errno, the error answered.
    const std::tuple<FileOperation, int, int32_t> operations[] = {
        {FileOperation::kOpen, EACCES, kErrorAccessDenied},
        {FileOperation::kOpen, ENOENT, kErrorFileNotFound},
        {FileOperation::kRead, EIO, kErrorReadFault},
        {FileOperation::kWrite, ENOSPC, kErrorDiskFull},
        {FileOperation::kWrite, EIO, kErrorReadFault}};
    for (auto [operation, err, error] : operations) {
        ClearFaults();
        ASSERT_TRUE(Copy("C:\\src", "C:\\out\\dst"));
        int calls = FaultCallCount(operation);
        ASSERT_GT(calls, 0);
        for (int nth = 1; nth <= calls; ++nth) {
            SCOPED_TRACE(::testing::Message() << static_cast<int>(operation) << " #" << nth);
            WriteFile(C("out/dst"), "earlier");
            ClearFaults();
            InjectFault(operation, nth, err);
            SetLastError(0);
            EXPECT_EQ(Copy("C:\\src", "C:\\out\\dst") ? 0 : GetLastError(), error);
            EXPECT_EQ(ReadFile(C("src")), "q1w2e3r4t5");
            // Nothing of the failed copy is seen under the name, and no temporary is left.
            EXPECT_EQ(Listing(C("out")), "dst=earlier\n");
        }
    }
}

TEST_F(CopyFileTest, ACopyKeepsPermissionsAndOwnerWithoutWideningThem) {
    // The source's mode, write-protected, the copy's: a private key stays private, a script executable,
    // and nothing is set-user-ID.
    const std::tuple<mode_t, bool, mode_t> cases[] = {{0600, false, 0600},  {0755, false, 0755},
                                                      {0640, false, 0640},  {0644, true, 0444},
                                                      {04755, false, 0755}, {0444, false, 0444}};
    // Run as root over other users' files: each copy keeps its owner and group.
    const uid_t owner = ::geteuid() == 0 ? 4321 : ::geteuid();
    const gid_t group = ::geteuid() == 0 ? 8765 : ::getegid();
    fs::create_directories(C("dst"));
    for (auto [mode, writeProtect, expected] : cases) {
        SCOPED_TRACE(::testing::Message() << std::oct << mode << (writeProtect ? " write-protected" : ""));
        WriteFile(C("src/file"), "content");
        ASSERT_EQ(::chown(C("src/file").c_str(), owner, group), 0);  // before the mode: it clears set-user-ID
        ASSERT_EQ(::chmod(C("src/file").c_str(), mode), 0);
        ASSERT_TRUE(Copy("C:\\src\\file", "C:\\dst\\file", writeProtect)) << GetLastError();
        struct stat copy = StatOf(C("dst/file"));
        EXPECT_EQ(std::tuple(copy.st_mode & 07777, copy.st_uid, copy.st_gid),
                  std::tuple(expected, owner, group));
        fs::remove(C("src/file"));
    }
    // Folders made for the copies take their source folder's bits and keep the owner's rwx.
    MakeTree(drives.DriveC(), {{"Data/private/key", "secret"}, {"Data/shared/readme", "text"}, {"Set/", ""}});
    ::chmod(C("Data/private").c_str(), 0700);
    ::chmod(C("Data/shared").c_str(), 0555);
    ASSERT_TRUE(CopyCreating("C:\\Data\\private\\key", "C:\\Set\\2003-11-24\\private\\key"));
    ASSERT_TRUE(CopyCreating("C:\\Data\\shared\\readme", "C:\\Set\\2003-11-24\\shared\\readme"));
    EXPECT_EQ(StatOf(C("Set/2003-11-24/private")).st_mode & 07777, 0700u);
    EXPECT_EQ(StatOf(C("Set/2003-11-24/shared")).st_mode & 07777, 0755u);
}

TEST_F(CopyFileTest, LinksAreCopiedAsLinksAndLinksInTheDestinationAreNeverFollowed) {
    testing::TempDir outside;
    WriteFile(outside / "secret", "outside");
    ::chmod((outside / "secret").c_str(), 0444);
    // Planted in the destination: a link at a copy's name and a folder that is a link.
    MakeTree(drives.DriveC(), {{"Data/file", "data"},
                               {"Data/out-link", "-> " + outside / "secret"},
                               {"Data/in-link", "-> file"},
                               {"Data/dir-link", "-> " + outside.Path()},
                               {"Data/sub/x", "x"},
                               {"Set/file", "-> " + outside / "secret"},
                               {"Set/sub", "-> " + outside.Path()}});
    for (const char* name : {"out-link", "in-link", "dir-link", "file"}) {
        ASSERT_TRUE(Copy("C:\\Data\\" + std::string(name), "C:\\Set\\" + std::string(name))) << name;
    }
    EXPECT_EQ(Copy("C:\\Data\\sub\\x", "C:\\Set\\sub\\x") ? 0 : GetLastError(), kErrorCantResolveFilename);
    EXPECT_EQ(CopyCreating("C:\\Data\\sub\\x", "C:\\Set\\sub\\x") ? 0 : GetLastError(),
              kErrorCantResolveFilename);
    EXPECT_EQ(Listing(C("Set")), "dir-link -> " + outside.Path() +
                                     "\nfile=data\nin-link -> file\nout-link -> " + outside / "secret" +
                                     "\nsub -> " + outside.Path() + "\n");
    EXPECT_EQ(Listing(outside.Path()), "secret=outside\n");
    EXPECT_EQ(StatOf(outside / "secret").st_mode & 07777, 0444u);
}

TEST_F(CopyFileTest, ABatchNamesItsCopiesOnlyWhenCommittedAndLeavesNoTemporary) {
    MakeTree(drives.DriveC(), {{"Data/a", "new a"}, {"Data/sub/b", "new b"}, {"Set/a", "old a"}});
    ::chmod(C("Set/a").c_str(), 0444);  // a write-protected copy of an earlier pass is replaced too
    {
        CopyBatch batch;
        ASSERT_TRUE(CopyCreating("C:\\Data\\a", "C:\\Set\\a", &batch));
        ASSERT_TRUE(CopyCreating("C:\\Data\\sub\\b", "C:\\Set\\sub\\b", &batch));
        EXPECT_FALSE(CopyCreating("C:\\Data\\gone", "C:\\Set\\gone", &batch));
        EXPECT_EQ(batch.Pending(), 2u);
        // Until the commit the set shows what it held; the temporaries carry names no stored file has.
        for (const auto& entry : fs::recursive_directory_iterator(C("Set"))) {
            std::string name = entry.path().filename();
            EXPECT_TRUE(name == "a" || name == "sub" || IsTemporaryCopyName(name)) << name;
        }
        EXPECT_EQ(ReadFile(C("Set/a")), "old a");
        EXPECT_TRUE(batch.Commit().empty());
        EXPECT_EQ(Listing(C("Set")), "a=new a\nsub/\nsub/b=new b\n");
    }
    // A copy whose name became a folder meanwhile fails alone, and its temporary goes.
    CopyBatch batch;
    ASSERT_TRUE(CopyCreating("C:\\Data\\a", "C:\\Set\\a", &batch));
    ASSERT_TRUE(CopyCreating("C:\\Data\\sub\\b", "C:\\Set\\sub\\b", &batch));
    fs::remove(C("Set/sub/b"));
    fs::create_directories(C("Set/sub/b/inside"));
    std::vector<CopyBatch::Failure> failures = batch.Commit();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].Index, 1u);
    EXPECT_EQ(Listing(C("Set")), "a=new a\nsub/\nsub/b/\nsub/b/inside/\n");
}

}  // namespace
}  // namespace quillon
