// Which files a spec selects and how their entries are named.
#include <sys/stat.h>

#include "ibzip/IbZipHarness.h"

namespace quillon::testing {
namespace {

// The entries of the files directly in C:\src.
const char* const kTop = "a.txt b.TXT c.doc noext";

class FileCollectorTest : public IbZipTest {
  protected:
    void SetUp() override {
        IbZipTest::SetUp();
        // Every file holds its own path below C:\src, so that contents show which file an entry is.
        for (const char* name :
             {"a.txt", "b.TXT", "c.doc", "noext", "sub/d.txt", "sub/a.txt", "sub/deeper/e.txt"}) {
            WriteFile(Native(std::string("src/") + name), name);
        }
    }
};

// Spec, archive below C:\, recurse, stored names, result, and the entries as name=content, the content
// being the file's path below C:\src; nullptr where a failure changes nothing: no archive, no working
// file beside it, a damaged one left as it was. With names only, sub\a.txt would take the name of a.txt:
// the first stays, the answer warns.
TEST_F(FileCollectorTest, SpecsSelectFilesAndNameEntries) {
    std::filesystem::create_directories(Native("folder.zip"));
    WriteFile(Native("bad.zip"), "this is not a zip archive, and it stays as it is");
    const std::tuple<const char*, const char*, int, int, int32_t, const char*> cases[] = {
        {"C:\\src\\*.*", "out0.zip", 0, 2, 4, kTop},
        {"C:\\src\\*.txt", "out1.zip", 1, 2, 5, "a.txt b.TXT sub/a.txt sub/d.txt sub/deeper/e.txt"},
        {"C:\\src\\sub\\*.*", "out2.zip", 1, 1, 3,
         "src/sub/a.txt=sub/a.txt src/sub/d.txt=sub/d.txt src/sub/deeper/e.txt=sub/deeper/e.txt"},
        {"C:\\src\\?.doc", "out3.zip", 0, 2, 1, "c.doc"},
        {"C:\\src\\A.TXT", "out4.zip", 0, 2, 1, "a.txt"},
        {"C:\\src\\", "out5.zip", 0, 0, 4, kTop},
        {"C:/src/sub/deeper/e.txt", "out6.zip", 0, 2, 1, "e.txt=sub/deeper/e.txt"},
        {"C:\\src\\a.txt", "out7.zip", 1, 0, -25270, "a.txt"},
        {"C:\\missing\\*.*", "out.zip", 0, 2, -25154, nullptr},
        {"C:\\src\\missing.txt", "out.zip", 0, 2, -25172, nullptr},
        {"C:\\src\\sub", "out.zip", 0, 2, -25172, nullptr},  // a folder is not a file
        {"C:\\src\\*.none", "out.zip", 0, 2, 0, nullptr},
        {"*.*", "out.zip", 0, 2, -25154, nullptr},
        {"Q:\\src\\*.*", "out.zip", 0, 2, -25154, nullptr},  // an unmapped drive
        {"C:\\src\\*.*", "missing\\out.zip", 0, 2, -25154, nullptr},
        {"C:\\src\\*.*", "folder.zip", 0, 2, -25235, nullptr},
        {"C:\\src\\*.*", "bad.zip", 0, 2, -25139, nullptr},
    };
    for (const auto& [spec, archive, recurse, storedNames, result, entries] : cases) {
        SCOPED_TRACE(::testing::Message()
                     << spec << " into " << archive << " recurse " << recurse << " names " << storedNames);
        const Tree before = TreeOf(Native(""));
        EXPECT_EQ(Zip(spec, "C:\\" + std::string(archive), recurse, storedNames, 1), result);
        if (entries != nullptr) {
            ExpectArchive(Native(archive), Files(entries));
        } else {
            EXPECT_EQ(TreeOf(Native("")), before);
        }
    }
}

// Links are never followed: each is a link entry holding its target text, whatever it points to (a
// private file outside the tree would otherwise be packed with its content). Every entry carries its
// file's mode, and the archive, which mixes files of every mode, is its owner's alone. Info-ZIP
// restores the links as links and the modes as recorded.
TEST_F(FileCollectorTest, LinksAreLinkEntriesModesAreRecordedAndSpecialFilesLeftOut) {
    // Name, content (of a link: its target text) and mode (0: a link).
    const std::tuple<std::string, std::string, unsigned> files[] = {
        {"real.txt", "real", 0644},        {"script.sh", "#!/bin/sh\n", 0755},
        {"private.txt", "secret", 0600},   {"to-file", Native("src/c.doc"), 0},
        {"inside", "real.txt", 0},         {"to-folder", Native("src"), 0},
        {"dangling", Native("nowhere"), 0}};
    Tree expected;  // each entry as "content mode"
    for (const auto& [name, content, mode] : files) {
        if (mode == 0) {
            std::filesystem::create_symlink(content, Native("odd/" + name));
        } else {
            WriteFile(Native("odd/" + name), content);
            ASSERT_EQ(::chmod(Native("odd/" + name).c_str(), mode), 0);
        }
        expected[name] = content + " " + std::to_string(mode == 0 ? 0120777 : 0100000 | mode);
    }
    ASSERT_EQ(::mkfifo(Native("odd/fifo").c_str(), 0600), 0);  // never opened: the call must not hang

    EXPECT_EQ(Zip("C:\\odd\\*.*", "C:\\odd.zip", 1, 2, 1), -25270);  // the FIFO is left out
    EXPECT_EQ(StatOf(Native("odd.zip")).st_mode & 07777, 0600u);
    EXPECT_TRUE(UnzipTestPasses(Native("odd.zip")));
    // The Unix mode lies in the upper half of the external attributes.
    EXPECT_EQ(ReadWithPython(Native("odd.zip"), "z.read(i) + b' %d' % (i.external_attr >> 16)"), expected);
    ASSERT_TRUE(InfoZipExtract(Native("odd.zip"), Native("x")));
    EXPECT_EQ(std::filesystem::read_symlink(Native("x/inside")), "real.txt");
    EXPECT_EQ(StatOf(Native("x/script.sh")).st_mode & 0777, 0755u);
}

TEST_F(FileCollectorTest, ArchiveInsideTheSelectedFolderIsNotPackedIntoItself) {
    EXPECT_EQ(Zip("C:\\src\\*.*", "C:\\src\\self.zip", 0, 2, 1), 4);
    EXPECT_EQ(Zip("C:\\src\\*.*", "C:\\src\\self.zip", 0, 2, 1), 4);
    ExpectArchive(Native("src/self.zip"), Files(kTop));
}

}  // namespace
}  // namespace quillon::testing
