// Archives written by IB_Zip: contents, names, times, updates, and failures that keep the old archive.
#include <sched.h>
#include <sys/mount.h>

#include <algorithm>
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

// Random bytes, which deflate cannot shrink.
std::string RandomBytes(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    std::generate(bytes.begin(), bytes.end(), [&] { return static_cast<char>(random()); });
    return bytes;
}

// Text that deflates well: numbered lines that repeat within deflate's window.
std::string Text(size_t size) {
    std::string text;
    while (text.size() < size) {
        text += "line " + std::to_string(text.size() % 977) + " of some text that repeats\n";
    }
    text.resize(size);
    return text;
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
// Info-ZIP restores the exact time from the extended timestamp field. A time before 1980 and a name
// that is not UTF-8 are warned about, and the file is stored anyway. Random blocks are stored, while
// text and random bytes that repeat within deflate's window (random byte by byte) still shrink.
TEST_F(ArchiveWriterTest, PacksContentsNamesAndTimes) {
    // Random bytes, then text from within the second piece on, then random again: four pieces,
    // deflated on several threads.
    const std::string large = RandomBytes(1'100'000, 4) + Text(300'000) + RandomBytes(2'100'000, 5);
    std::string repeated;
    for (const std::string block = RandomBytes(8192, 6); repeated.size() < 512 * 1024;) {
        repeated += block;
    }
    const std::string umlautName = "M\303\274ller/Gr\303\274\303\237e.txt";
    const Tree files = {{"large.bin", large},  {"repeated.bin", repeated}, {"empty", ""},
                        {umlautName, "hallo"}, {"with space.txt", "x"},    {"old.txt", "old"},
                        {"bad\xFF.txt", "bad"}};
    for (const auto& [name, content] : files) {
        WriteFile(Native("src/" + name), content);
        SetModified(Native("src/" + name), LocalTime("2010-01-02 03:04:06"));
    }
    SetModified(Native("src/with space.txt"), LocalTime("2003-11-24 10:20:31"));
    SetModified(Native("src/old.txt"), LocalTime("1975-06-01 12:00:00"));

    EXPECT_EQ(Zip("C:\\src\\*.*", "C:\\set\\QuillonData_000.Zip", 1, 2, 1), -25154);  // no folder yet
    std::filesystem::create_directories(Native("set"));
    EXPECT_EQ(Zip("C:\\src\\*.*", "C:\\set\\QuillonData_000.Zip", 1, 2, 1), -25270);

    std::string archive = Native("set/QuillonData_000.Zip");
    ExpectArchive(archive, files);
    EXPECT_EQ(TreeOf(Native("set")).size(), 1u) << "no working file is left beside the archive";
    EXPECT_LT(std::filesystem::file_size(archive), 3'200'000u + 150'000u);  // only the random bytes stay
    // The UTF-8 flag and the DOS time of each entry.
    const std::string stamp = "b'%d %d-%d-%d %d:%d:%d' % ((i.flag_bits & 0x800,) + i.date_time)";
    const std::string dos = "0 2010-1-2 3:4:6";
    EXPECT_EQ(ReadWithPython(archive, stamp), (Tree{{"large.bin", dos},
                                                    {"repeated.bin", dos},
                                                    {"empty", dos},
                                                    {umlautName, "2048 2010-1-2 3:4:6"},
                                                    {"with space.txt", "0 2003-11-24 10:20:30"},
                                                    {"old.txt", "0 1980-1-1 0:0:0"},
                                                    {"bad\xFF.txt", dos}}));
    ASSERT_TRUE(InfoZipExtract(archive, Native("x")));
    EXPECT_EQ(StatOf(Native("x/with space.txt")).st_mtime, LocalTime("2003-11-24 10:20:31"));
}

TEST_F(ArchiveWriterTest, UpdatesReplaceOrKeepEntriesAndAddTheControlFile) {
    const std::string archive = "C:\\set\\QuillonData_000.Zip";
    MakeTree(Native(""), {{"stage/a.txt", "a1"}, {"stage/sub/b.txt", "b1"}, {"set/", ""}});
    ASSERT_EQ(Zip("C:\\stage\\*.*", archive, 1, 2, 1), 2);

    MakeTree(Native("stage"), {{"a.txt", "a2"}, {"c.txt", "c1"}});
    EXPECT_EQ(Zip("C:\\stage\\*.*", archive, 0, 2, 1), 2) << "a.txt replaced, c.txt added";

    MakeTree(Native("stage"), {{"a.txt", "a3"}, {"d.txt", "d1"}});
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
    const std::string large = RandomBytes(500'000, 2) + Text(2'000'000);
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
    ASSERT_TRUE(InfoZipExtract(Native("set/QuillonData_001.Zip"), Native("x")));
    const Tree extracted = {
        {"a.txt", "a"}, {"deep/", ""}, {"deep/large.bin", large}, {"sub/", ""}, {"sub/link", "-> a.txt"}};
    EXPECT_EQ(TreeOf(Native("x")), extracted);

    // The list served that call alone: the next one walks its spec again.
    EXPECT_EQ(Ib("IB_Zip", 0), -25154);
}

TEST_F(ArchiveWriterTest, AListedFileThatNeverHoldsStillIsLeftOutAfterThreeBuilds) {
    MakeTree(Native(""), {{"src/steady.txt", "steady"},
                          {"src/log.txt", RandomBytes(1'000'000, 3) + Text(2'000'000)},
                          {"set/", ""}});
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

    EXPECT_EQ(std::tuple(written, Ib("IB_ZipSourceResult", 0), Ib("IB_ZipSourceResult", 1)),
              std::tuple(1, -25236, 1));
    ExpectArchive(Native("set/QuillonData_001.Zip"), {{"steady.txt", "steady"}});
    EXPECT_EQ(TreeOf(Native("set")).size(), 1u) << "no working file is left beside the archive";
}

TEST_F(ArchiveWriterTest, ManyEntriesGetZip64Records) {
    // More entries than the classic end record can count: the archive needs its Zip64 records.
    constexpr int kEntries = 65'600;
    for (int i = 0; i < kEntries; ++i) {
        WriteFile(Native("many/" + std::to_string(i)), "");
    }
    ASSERT_EQ(Zip("C:\\many\\*.*", "C:\\many.zip", 0, 2, 1), kEntries);
    EXPECT_TRUE(UnzipTestPasses(Native("many.zip")));
    const std::string count = "import sys, zipfile; print(len(zipfile.ZipFile(sys.argv[1]).namelist()))";
    EXPECT_EQ(RunCommand("python3 -c '" + count + "' '" + Native("many.zip") + "'"),
              std::to_string(kEntries) + "\n");
}

TEST_F(ArchiveWriterTest, FullDiskKeepsTheOldArchiveAndLeavesNothingBehind) {
    // The rest of the test runs in a mount namespace of its own with a small tmpfs, where the system
    // allows that (privileges).
    std::string full = Native("full");
    std::filesystem::create_directories(full);
    if (::unshare(CLONE_NEWNS) != 0 || ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("tmpfs", full.c_str(), "tmpfs", 0, "size=256k") != 0) {
        GTEST_SKIP() << "cannot mount a tmpfs here";
    }
    WriteFile(Native("stage/small.txt"), "small");
    ASSERT_EQ(Zip("C:\\stage\\*.*", "C:\\full\\QuillonData_000.Zip", 0, 2, 1), 1);
    std::string old = ReadFile(Native("full/QuillonData_000.Zip"));

    WriteFile(Native("stage/random.bin"), RandomBytes(1'000'000, 2));
    for (const char* archive : {"C:\\full\\QuillonData_000.Zip", "C:\\full\\QuillonData_001.Zip"}) {
        SCOPED_TRACE(archive);
        EXPECT_EQ(Zip("C:\\stage\\*.*", archive, 0, 2, 1), -25156);
        EXPECT_EQ(TreeOf(full), (Tree{{"QuillonData_000.Zip", old}}));
    }
    ::umount2(full.c_str(), MNT_DETACH);
}

}  // namespace
}  // namespace quillon::testing
