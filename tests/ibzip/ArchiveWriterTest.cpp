// Archives written by IB_Zip: contents, names, times, updates, and failures that keep the old archive.
#include <sched.h>
#include <sys/mount.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <fstream>
#include <random>
#include <thread>
#include <utility>
#include <vector>

#include "ibzip/IbZipHarness.h"

namespace quillon::testing {
namespace {

// Mixed data: compressible text and random bytes, so that pieces deflate to different sizes.
std::string MixedBytes(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes;
    while (bytes.size() < size) {
        if (random() % 2 == 0) {
            bytes += "line " + std::to_string(bytes.size()) + " of some text that repeats\n";
        } else {
            for (int i = 0; i < 300; ++i) {
                bytes.push_back(static_cast<char>(random()));
            }
        }
    }
    bytes.resize(size);
    return bytes;
}

time_t LocalTime(const char* text) {
    std::tm local{};
    ::strptime(text, "%Y-%m-%d %H:%M:%S", &local);
    local.tm_isdst = -1;
    return std::mktime(&local);
}

using ArchiveWriterTest = IbZipTest;

TEST_F(ArchiveWriterTest, SettingsRefuseNullTextsAndUnknownModes) {
    for (const char* name : {"IB_ZipFileSpec", "IB_ZipArchiveFile", "IB_UnZipArchiveFile",
                             "IB_UnZipExtractDir", "IB_UnZipFileSpec"}) {
        EXPECT_EQ(Ib(name, intptr_t{0}), -25151) << name;
    }
    EXPECT_EQ(Ib("IB_ZipStoredDirNames", 3), -25151);
    EXPECT_EQ(Ib("IB_ZipStoredDirNames", -1), -25151);
    EXPECT_EQ(Ib("IB_ZipStoredDirNames", 2), 0);
}

// Names are UTF-8 flagged only where they are not ASCII; the DOS time counts in 2 seconds, while
// Info-ZIP restores the exact time from the extended timestamp field.
TEST_F(ArchiveWriterTest, PacksContentsNamesAndTimes) {
    const std::string large = MixedBytes(3'500'000, 1);  // four pieces, deflated on several threads
    const std::string umlautName =
        "M\xC3\xBCller/Gr\xC3\xBC\xC3\x9F"
        "e.txt";
    WriteFile(Native("src/large.bin"), large);
    WriteFile(Native("src/empty"), "");
    WriteFile(Native("src/" + umlautName), "hallo");
    WriteFile(Native("src/with space.txt"), "x");
    SetModified(Native("src/with space.txt"), LocalTime("2003-11-24 10:20:31"));

    EXPECT_EQ(Zip("C:\\src\\*.*", "C:\\set\\QuillonData_000.Zip", 1, 2, 1), -25154);  // no folder yet
    std::filesystem::create_directories(Native("set"));
    EXPECT_EQ(Zip("C:\\src\\*.*", "C:\\set\\QuillonData_000.Zip", 1, 2, 1), 4);

    std::string archive = Native("set/QuillonData_000.Zip");
    ExpectArchive(archive,
                  {{"large.bin", large}, {"empty", ""}, {umlautName, "hallo"}, {"with space.txt", "x"}});
    EXPECT_EQ(TreeOf(Native("set")).size(), 1u) << "no working file is left beside the archive";
    auto entries = ReadWithPython(archive);
    EXPECT_EQ(entries[umlautName].flags & 0x800, 0x800);
    EXPECT_EQ(entries["large.bin"].flags & 0x800, 0);
    EXPECT_EQ(entries["with space.txt"].time, "2003-11-24 10:20:30");
    ASSERT_TRUE(RunCommand("cd '" + Native("") + "' && mkdir x && cd x && unzip -qq '" + archive + "'"));
    struct stat info;
    ASSERT_EQ(::stat(Native("x/with space.txt").c_str(), &info), 0);
    EXPECT_EQ(info.st_mtime, LocalTime("2003-11-24 10:20:31"));
}

TEST_F(ArchiveWriterTest, UpdatesReplaceOrKeepEntriesAndAddTheControlFile) {
    const std::string archive = "C:\\set\\QuillonData_000.Zip";
    WriteFile(Native("stage/a.txt"), "a1");
    WriteFile(Native("stage/sub/b.txt"), "b1");
    std::filesystem::create_directories(Native("set"));
    ASSERT_EQ(Zip("C:\\stage\\*.*", archive, 1, 2, 1), 2);

    WriteFile(Native("stage/a.txt"), "a2");
    WriteFile(Native("stage/c.txt"), "c1");
    EXPECT_EQ(Zip("C:\\stage\\*.*", archive, 0, 2, 1), 2) << "a.txt replaced, c.txt added";
    ExpectArchive(Native("set/QuillonData_000.Zip"), {{"a.txt", "a2"}, {"sub/b.txt", "b1"}, {"c.txt", "c1"}});

    WriteFile(Native("stage/a.txt"), "a3");
    WriteFile(Native("stage/d.txt"), "d1");
    EXPECT_EQ(Zip("C:\\stage\\*.*", archive, 0, 2, 0), -25270) << "a.txt and c.txt kept, d.txt added";
    EXPECT_EQ(Zip("C:\\stage\\*.txt", archive, 0, 2, 0), 0) << "every name taken: nothing written";

    // The control file, as a backup pass adds it after every pass: exactly one file each time.
    WriteFile(Native("dest/2003-11-24/Quillon.txt"), "not this one");
    for (const char* content : {"control 1", "control 2"}) {
        WriteFile(Native("dest/Quillon.txt"), content);
        EXPECT_EQ(Zip("C:\\dest\\Quillon.txt", archive, 0, 2, 1), 1);
    }
    ExpectArchive(Native("set/QuillonData_000.Zip"), {{"a.txt", "a2"},
                                                      {"sub/b.txt", "b1"},
                                                      {"c.txt", "c1"},
                                                      {"d.txt", "d1"},
                                                      {"Quillon.txt", "control 2"}});
}

std::string RandomBytes(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(random());
    }
    return bytes;
}

TEST_F(ArchiveWriterTest, RandomBlocksAreStoredWhileTextAndRepeatsAreStillDeflated) {
    std::string text;
    while (text.size() < 300'000) {
        text += "line " + std::to_string(text.size() % 977) + " of some text that repeats\n";
    }
    // Random bytes, then text from within the second piece on, then random again; and random bytes that
    // repeat within deflate's window, which look random byte by byte.
    const std::string mixed = RandomBytes(1'100'000, 4) + text + RandomBytes(100'000, 5);
    std::string repeated;
    for (const std::string block = RandomBytes(8192, 6); repeated.size() < 512 * 1024;) {
        repeated += block;
    }
    WriteFile(Native("src/mixed.bin"), mixed);
    WriteFile(Native("src/repeated.bin"), repeated);
    std::filesystem::create_directories(Native("set"));

    ASSERT_EQ(Zip("C:\\src\\*.*", "C:\\set\\a.zip", 1, 2, 1), 2);
    ExpectArchive(Native("set/a.zip"), {{"mixed.bin", mixed}, {"repeated.bin", repeated}});
    // Only the random bytes stay their size: the text and the repeats shrink.
    EXPECT_LT(std::filesystem::file_size(Native("set/a.zip")), 1'200'000u + 150'000u);
}

// A source list as IB_ZipSourceList takes it: path and entry name, each text ended by a zero byte.
std::string SourceList(const std::vector<std::pair<std::string, std::string>>& files) {
    std::string list;
    for (const auto& [source, name] : files) {
        list.append(source).push_back('\0');
        list.append(name).push_back('\0');
    }
    return list;
}

TEST_F(ArchiveWriterTest, ASourceListPacksFilesWhereTheyAreAndLeavesOutAloneWhatCannotBePacked) {
    const std::string large = MixedBytes(2'500'000, 2);
    WriteFile(Native("src/a.txt"), "a");
    WriteFile(Native("src/deep/large.bin"), large);
    std::filesystem::create_symlink("a.txt", Native("src/link"));
    ASSERT_EQ(::mkfifo(Native("src/fifo").c_str(), 0600), 0);
    std::filesystem::create_directories(Native("set"));
    Ib("IB_ZipFileSpec", "C:\\nothing\\*.*");  // the list takes the place of the spec's walk
    Ib("IB_ZipArchiveFile", "C:\\set\\QuillonData_001.Zip");
    Ib("IB_Overwrite", 1);

    EXPECT_EQ(Ib("IB_ZipSourceList", std::string("C:\\src\\a.txt\0", 14)), -25151)
        << "a path without its name";
    ASSERT_EQ(Ib("IB_ZipSourceList", SourceList({{"C:\\src\\a.txt", "a.txt"},
                                                 {"C:\\src\\missing", "missing"},
                                                 {"C:\\src\\deep\\large.bin", "deep/large.bin"},
                                                 {"C:\\src\\fifo", "fifo"},
                                                 {"C:\\src\\link", "sub/link"},
                                                 {"C:\\src\\a.txt", "a.txt"}})),
              0);
    EXPECT_EQ(Ib("IB_Zip", 0), 3);
    const int32_t expected[] = {1, -25172, 1, -25235, 1, -25151, 0};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(Ib("IB_ZipSourceResult", i), expected[i]) << i;
    }
    ASSERT_TRUE(UnzipTestPasses(Native("set/QuillonData_001.Zip")));
    ASSERT_TRUE(RunCommand("cd '" + Native("") + "' && mkdir x && cd x && unzip -qq '" +
                           Native("set/QuillonData_001.Zip") + "'"));
    EXPECT_EQ(TreeOf(Native("x")), (std::map<std::string, std::string>{{"a.txt", "a"},
                                                                       {"deep/", ""},
                                                                       {"deep/large.bin", large},
                                                                       {"sub/", ""},
                                                                       {"sub/link", "-> a.txt"}}));

    // The list served that call alone: the next one walks its spec again.
    EXPECT_EQ(Ib("IB_Zip", 0), -25154);
}

TEST_F(ArchiveWriterTest, AListedFileThatNeverHoldsStillIsLeftOutAfterThreeBuilds) {
    WriteFile(Native("src/steady.txt"), "steady");
    WriteFile(Native("src/log.txt"), MixedBytes(3'000'000, 3));
    std::filesystem::create_directories(Native("set"));
    std::atomic<bool> done{false};
    std::thread writer([&] {
        std::ofstream log(Native("src/log.txt"), std::ios::binary | std::ios::app);
        while (!done) {
            log << "one more line\n" << std::flush;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    Ib("IB_ZipArchiveFile", "C:\\set\\QuillonData_001.Zip");
    Ib("IB_ZipSourceList",
       SourceList({{"C:\\src\\log.txt", "log.txt"}, {"C:\\src\\steady.txt", "steady.txt"}}));
    const int32_t written = Ib("IB_Zip", 0);
    done = true;
    writer.join();

    EXPECT_EQ(written, 1);
    EXPECT_EQ(Ib("IB_ZipSourceResult", 0), -25236);
    EXPECT_EQ(Ib("IB_ZipSourceResult", 1), 1);
    ExpectArchive(Native("set/QuillonData_001.Zip"), {{"steady.txt", "steady"}});
    EXPECT_EQ(TreeOf(Native("set")).size(), 1u) << "no working file is left beside the archive";
}

// A time before 1980 and a name that is not UTF-8 are warned about, and the file is stored anyway.
TEST_F(ArchiveWriterTest, WarningsStillStoreTheFile) {
    const std::tuple<std::string, time_t, std::string> cases[] = {
        {"old.txt", LocalTime("1975-06-01 12:00:00"), "1980-1-1 0:0:0"},
        {"bad\xFF.txt", LocalTime("2010-01-02 03:04:06"), "2010-1-2 3:4:6"}};
    for (const auto& [name, modified, dosTime] : cases) {
        SCOPED_TRACE(dosTime);
        const std::string folder = "w" + dosTime.substr(0, 4);
        WriteFile(Native(folder + "/" + name), "content");
        SetModified(Native(folder + "/" + name), modified);
        EXPECT_EQ(Zip("C:\\" + folder + "\\*.*", "C:\\" + folder + ".zip", 0, 2, 1), -25270);
        ExpectArchive(Native(folder + ".zip"), {{name, "content"}});
        auto entries = ReadWithPython(Native(folder + ".zip"));
        EXPECT_EQ(entries[name].time, dosTime);
        EXPECT_EQ(entries[name].flags & 0x800, 0);
    }
}

TEST_F(ArchiveWriterTest, ManyEntriesGetZip64Records) {
    // More entries than the classic end record can count: the archive needs its Zip64 records.
    constexpr int kEntries = 65'600;
    std::string folder = Native("many");
    std::filesystem::create_directories(folder);
    for (int i = 0; i < kEntries; ++i) {
        int fd = ::open((folder + "/" + std::to_string(i)).c_str(), O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(fd, 0);
        ::close(fd);
    }
    ASSERT_EQ(Zip("C:\\many\\*.*", "C:\\many.zip", 0, 2, 1), kEntries);
    EXPECT_TRUE(UnzipTestPasses(Native("many.zip")));
    auto count = RunCommand(
        "python3 -c \"import sys, zipfile; print(len(zipfile.ZipFile(sys.argv[1]).namelist()))\" '" +
        Native("many.zip") + "'");
    EXPECT_EQ(std::stoi(count.value_or("0")), kEntries);
}

TEST_F(ArchiveWriterTest, LargeSparseFileNeedsZip64Sizes) {
    if (std::getenv("QUILLON_SLOW_TESTS") == nullptr) {
        GTEST_SKIP() << "deflating 4 GiB takes a minute; set QUILLON_SLOW_TESTS=1";
    }
    std::string path = Native("big/sparse.bin");
    WriteFile(path, "");
    std::filesystem::resize_file(path, (4ull << 30) + 12345);  // a hole: costs no disk space
    WriteFile(Native("big/small.txt"), "after the big one");
    EXPECT_EQ(Zip("C:\\big\\*.*", "C:\\big.zip", 0, 2, 1), 2);
    EXPECT_TRUE(UnzipTestPasses(Native("big.zip")));
}

// Runs the rest of the test in a mount namespace of its own with a small tmpfs at folder; false when
// the system does not allow that (no privileges).
bool MountSmallTmpfs(const std::string& folder) {
    if (::unshare(CLONE_NEWNS) != 0 || ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        return false;
    }
    std::filesystem::create_directories(folder);
    return ::mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=256k") == 0;
}

TEST_F(ArchiveWriterTest, FullDiskKeepsTheOldArchiveAndLeavesNothingBehind) {
    std::string full = Native("full");
    if (!MountSmallTmpfs(full)) {
        GTEST_SKIP() << "cannot mount a tmpfs here";
    }
    WriteFile(Native("stage/small.txt"), "small");
    ASSERT_EQ(Zip("C:\\stage\\*.*", "C:\\full\\QuillonData_000.Zip", 0, 2, 1), 1);
    std::string old = ReadFile(Native("full/QuillonData_000.Zip"));

    WriteFile(Native("stage/random.bin"), MixedBytes(1'000'000, 2));
    for (const char* archive : {"C:\\full\\QuillonData_000.Zip", "C:\\full\\QuillonData_001.Zip"}) {
        SCOPED_TRACE(archive);
        EXPECT_EQ(Zip("C:\\stage\\*.*", archive, 0, 2, 1), -25156);
        EXPECT_EQ(TreeOf(full), (Tree{{"QuillonData_000.Zip", old}}));
    }
    ::umount2(full.c_str(), MNT_DETACH);
}

TEST_F(ArchiveWriterTest, DamagedArchiveIsNotUpdated) {
    WriteFile(Native("stage/a.txt"), "a");
    WriteFile(Native("bad.zip"), "this is not a zip archive, and it stays as it is");
    EXPECT_EQ(Zip("C:\\stage\\*.*", "C:\\bad.zip", 0, 2, 1), -25139);
    EXPECT_EQ(ReadFile(Native("bad.zip")), "this is not a zip archive, and it stays as it is");
    EXPECT_FALSE(std::filesystem::exists(Native("bad.zip.part")));
}

}  // namespace
}  // namespace quillon::testing
