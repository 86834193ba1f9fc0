// Reading archives with IB_UnZip: the control file of a set, patterns, and archives that try to write
// outside the extract folder.
#include <zip.h>

#include "ibzip/IbZipHarness.h"

namespace quillon::testing {
namespace {

struct RawEntry {
    std::string name;
    std::string content;
    uint32_t unixMode = 0;  // 0: no Unix attributes
};

// Writes an archive with exactly these entry names, as a hostile or foreign tool could.
void WriteRawArchive(const std::string& path, const std::vector<RawEntry>& entries) {
    int error = 0;
    zip_t* zip = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_NE(zip, nullptr);
    for (const RawEntry& entry : entries) {
        zip_source_t* source = zip_source_buffer(zip, entry.content.data(), entry.content.size(), 0);
        zip_int64_t index = zip_file_add(zip, entry.name.c_str(), source, ZIP_FL_ENC_RAW);
        ASSERT_GE(index, 0) << entry.name;
        if (entry.unixMode != 0) {
            zip_file_set_external_attributes(zip, static_cast<zip_uint64_t>(index), 0, ZIP_OPSYS_UNIX,
                                             entry.unixMode << 16);
        }
    }
    ASSERT_EQ(zip_close(zip), 0);
}

using ArchiveExtractorTest = IbZipTest;

TEST_F(ArchiveExtractorTest, OpeningAndExtractingFailuresAreCodes) {
    WriteFile(Native("text.zip"), "PK but not really an archive");
    WriteRawArchive(Native("good.zip"), {{"a.txt", "a"}});
    std::string truncated = ReadFile(Native("good.zip"));
    WriteFile(Native("truncated.zip"), truncated.substr(0, truncated.size() - 10));
    const std::pair<const char*, int32_t> cases[] = {
        {"C:\\missing.zip", -25172}, {"C:\\nofolder\\missing.zip", -25154}, {"Q:\\x.zip", -25154},
        {"C:\\text.zip", -25139},    {"C:\\truncated.zip", -25139},         {"C:\\", -25235},
        {"C:\\good.zip", 2}};
    for (const auto& [archive, opened] : cases) {
        SCOPED_TRACE(archive);
        EXPECT_EQ(Ib("IB_UnZipArchiveFile", archive), opened);
        EXPECT_EQ(Unzip(archive, "C:\\", "*.*", 1, 1), opened < 0 ? opened : 1);
    }
    EXPECT_EQ(Unzip("C:\\good.zip", "C:\\nofolder", "*.*", 1, 1), -25154);
}

TEST_F(ArchiveExtractorTest, PatternsSelectEntriesByWholeName) {
    std::vector<RawEntry> entries;
    for (const char* name : {"Quillon.txt", "sub/Quillon.txt", "A.TXT", "b.doc", "sub/c.txt", "empty/"}) {
        entries.push_back({name, name[std::string(name).size() - 1] == '/' ? "" : name});
    }
    WriteRawArchive(Native("set.zip"), entries);
    // The spec, whether stored folders are used, the number of files extracted and what lies in the folder.
    const std::tuple<const char*, int, int32_t, const char*> cases[] = {
        {"Quillon.txt", 1, 1, "Quillon.txt"},
        {"quillon.TXT", 1, 1, "Quillon.txt"},
        {"*.txt", 1, 4, "Quillon.txt sub/ sub/Quillon.txt A.TXT sub/c.txt"},
        {"sub\\*", 1, 2, "sub/ sub/Quillon.txt sub/c.txt"},
        {"?.doc", 1, 1, "b.doc"},
        {"sub/c.txt", 0, 1, "c.txt=sub/c.txt"},
        {"*.*", 1, 5, "Quillon.txt sub/ sub/Quillon.txt A.TXT b.doc sub/c.txt empty/"}};
    int number = 0;
    for (const auto& [spec, storedDirs, extracted, names] : cases) {
        SCOPED_TRACE(::testing::Message() << spec << " stored dirs " << storedDirs);
        std::string folder = "out" + std::to_string(number++);
        std::filesystem::create_directories(Native(folder));
        EXPECT_EQ(Unzip("C:\\set.zip", "C:\\" + folder, spec, storedDirs, 1), extracted);
        EXPECT_EQ(TreeOf(Native(folder)), Files(names));
    }
}

TEST_F(ArchiveExtractorTest, HostileEntriesAreNeverWrittenOutside) {
    std::string outside = Native("outside");
    MakeTree(Native(""), {{"outside/", ""}, {"jail/deep/", ""}, {"jail/through", "-> " + outside}});
    // "through/x" passes a link below the extract folder; "link" is a symbolic link entry. The names that
    // climb out hold their number, 1 to 8.
    std::vector<RawEntry> entries = {
        {"link", outside, 0120777}, {"fifo", "", 0010644}, {"deep/ok.txt", "fine"}};
    for (const char* name : {"../x", "deep/../../x", "..\\x", "/abs", "\\abs", "C:\\x", "c:x", "through/x"}) {
        entries.push_back({name, std::to_string(entries.size() - 2)});
    }
    WriteRawArchive(Native("hostile.zip"), entries);
    // With names only the files land in the folder itself (beside what the run before left), "through\x"
    // as "x" beside the link.
    const char* expected[] = {"deep/ deep/ok.txt=fine ok.txt=fine x=8", "deep/ deep/ok.txt=fine"};
    for (int storedDirs : {1, 0}) {
        SCOPED_TRACE(::testing::Message() << "stored dirs " << storedDirs);
        EXPECT_EQ(Unzip("C:\\hostile.zip", "C:\\jail", "*.*", storedDirs, 1), -25270);
        EXPECT_TRUE(std::filesystem::is_empty(outside));
        EXPECT_FALSE(std::filesystem::exists(Native("x")));
        EXPECT_FALSE(std::filesystem::exists("/abs"));
        Tree tree = Files(expected[storedDirs]);
        tree["through"] = "-> " + outside;
        EXPECT_EQ(TreeOf(Native("jail")), tree);
    }
    EXPECT_EQ(Unzip("C:\\hostile.zip", "C:\\jail", "../x", 1, 1), 0);
}

TEST_F(ArchiveExtractorTest, ExistingFilesStayWithoutOverwrite) {
    WriteRawArchive(Native("set.zip"), {{"a.txt", "new a"}, {"b.txt", "new b"}});
    WriteFile(Native("out/a.txt"), "old a");
    EXPECT_EQ(Unzip("C:\\set.zip", "C:\\out", "*.*", 1, 0), -25270);
    EXPECT_EQ(TreeOf(Native("out")), (Tree{{"a.txt", "old a"}, {"b.txt", "new b"}}));
    EXPECT_EQ(Unzip("C:\\set.zip", "C:\\out", "*.*", 1, 1), 2);
    EXPECT_EQ(TreeOf(Native("out")), (Tree{{"a.txt", "new a"}, {"b.txt", "new b"}}));
}

// IB_CRCCheck reads the data of the matching entries without writing anything: a sound archive answers
// its entry count, one whose stored bytes of an entry were changed answers kIbDamagedArchive, also when
// only that entry is asked for, and the other entries still read as sound one by one.
TEST_F(ArchiveExtractorTest, CrcCheckFindsTheDamagedEntry) {
    const std::string second = "second entry, stored uncompressed by libzip only when it is small";
    WriteRawArchive(Native("set.zip"), {{"d/first.txt", std::string(4000, 'a')}, {"second.txt", second}});
    std::string bytes = ReadFile(Native("set.zip"));
    WriteFile(Native("copy.zip"), bytes);
    // The data of the last entry ends where the central directory, its first record, begins.
    const size_t directory = bytes.find("PK\x01\x02");
    ASSERT_TRUE(directory != std::string::npos && directory > 2);
    bytes[directory - 2] = static_cast<char>(bytes[directory - 2] ^ 0x55);
    WriteFile(Native("set.zip"), bytes);

    const std::tuple<const char*, const char*, int32_t> cases[] = {{"C:\\copy.zip", "*", 2},
                                                                   {"C:\\set.zip", "*", -25139},
                                                                   {"C:\\set.zip", "second.txt", -25139},
                                                                   {"C:\\set.zip", "d/first.txt", 1},
                                                                   {"C:\\missing.zip", "*", -25172}};
    for (const auto& [archive, spec, answer] : cases) {
        SCOPED_TRACE(std::string(archive) + " " + spec);
        Ib("IB_UnZipArchiveFile", archive);
        Ib("IB_UnZipFileSpec", spec);
        EXPECT_EQ(Ib("IB_CRCCheck", 0), answer);
    }
    EXPECT_FALSE(std::filesystem::exists(Native("d")));  // nothing extracted
}

// Link entries are refused unless IB_UnZipLinks asks for them; then each becomes a link with the
// entry's content as its target text, and an entry behind such a link is still refused. Without links
// "up" is no link, so the entry below it makes a real folder of that name.
TEST_F(ArchiveExtractorTest, LinkEntriesOnlyWhenAsked) {
    WriteRawArchive(Native("links.zip"), {{"plain.txt", "x"},
                                          {"up", "../outside", 0120777},
                                          {"d/abs", "/etc/passwd", 0120777},
                                          {"up/through.txt", "inside", 0100644}});
    const Tree trees[] = {
        Files("plain.txt=x up/ up/through.txt=inside"),
        {{"plain.txt", "x"}, {"up", "-> ../outside"}, {"d/", ""}, {"d/abs", "-> /etc/passwd"}}};
    for (int links : {0, 1}) {
        SCOPED_TRACE(links);
        std::filesystem::remove_all(Native("out"));
        std::filesystem::create_directories(Native("out"));
        Ib("IB_UnZipLinks", links);
        EXPECT_EQ(Unzip("C:\\links.zip", "C:\\out", "*", 1, 1), -25270);
        EXPECT_EQ(TreeOf(Native("out")), trees[links]);
    }
    Ib("IB_UnZipLinks", 0);
    EXPECT_FALSE(std::filesystem::exists(Native("outside")));
}

}  // namespace
}  // namespace quillon::testing
