#include "config/ConfigDescription.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "config/AppProfile.h"
#include "testing/Environment.h"
#include "testing/ScopedHives.h"

namespace quillon {
namespace {

using testing::ScopedDriveMap;
using testing::ScopedHives;
using testing::StoreValue;

class ConfigDescriptionTest : public ::testing::Test {
  public:  // the table of cases sets up through the fixture
    ConfigDescriptionTest() {
        profile_.BindProfile(0);
        std::filesystem::create_directories(drives_.Native("C:\\Documents"));
        std::filesystem::create_directories(drives_.Native("C:\\Backup"));
    }
    void Text(const std::string& section, const std::string& entry, const std::string& value) {
        ASSERT_TRUE(profile_.WriteProfileString(section, entry, value));
    }
    void Int(const std::string& section, const std::string& entry, int32_t value) {
        ASSERT_TRUE(profile_.WriteProfileInt(section, entry, value));
    }
    // A path whose folders exist, written in native form as a user on Linux writes it.
    void GoodPath(const std::string& section) {
        Text(section, "SourcePath", drives_.Native("C:\\Documents"));
        Text(section, "DestPath", drives_.Native("C:\\Backup"));
    }
    std::vector<std::string> AllProblems() {
        ConfigDescription description = DescribeConfiguration(profile_);
        std::vector<std::string> all = description.problems;
        for (const PathDescription& path : description.paths) {
            all.insert(all.end(), path.problems.begin(), path.problems.end());
        }
        EXPECT_EQ(all.size(), description.ProblemCount());
        return all;
    }

    ScopedDriveMap drives_;
    ScopedHives hives_;
    CAppProfile profile_;
};

// Each configuration a user may get wrong, and the one problem that names it.
TEST_F(ConfigDescriptionTest, EachMistakeIsNamedInWords) {
    const std::string c = drives_.DriveC();
    const struct {
        const char* what;
        std::function<void(ConfigDescriptionTest&)> setUp;
        std::string problem;
    } cases[] = {
        {"nothing configured", [](auto&) {}, "no backup path is configured"},
        {"a gap in the numbering",
         [](auto& t) {
             t.GoodPath("Path000");
             t.GoodPath("Path002");
         },
         "Path002 is not read because Path001 is missing"},
        {"a section without a source",
         [](auto& t) {
             t.GoodPath("Path000");
             t.Text("Path001", "DestPath", "C:\\Backup");
         },
         "Path001 is not read because its SourcePath is missing"},
        {"a section without a destination",
         [&](auto& t) {
             t.GoodPath("Path000");
             t.Text("Path001", "SourcePath", c + "/Documents");
         },
         "Path001 (" + c + "/Documents) is not read because its DestPath is missing"},
        {"a section named in another form",
         [](auto& t) {
             t.GoodPath("Path000");
             t.GoodPath("Path1");
         },
         "Path1 is not read: path sections are named Path000, Path001, ..."},
        {"a misspelt section",
         [](auto& t) {
             t.GoodPath("Path000");
             t.Int("Setting", "RunAtTime", 1);
         },
         "Setting: did you mean Settings?"},
        {"Flags stored as text",
         [](auto& t) {
             t.GoodPath("Path000");
             t.Text("Path000", "Flags", "0x826");
         },
         "Flags is stored as text (REG_SZ) and is ignored: it must be a REG_DWORD"},
        {"a source stored as a number",
         [](auto& t) {
             t.GoodPath("Path000");
             t.Int("Path000", "Exclude000", 5);
         },
         "Exclude000 is stored as REG_DWORD and is ignored: it must be text (REG_SZ)"},
        {"a misspelt entry",
         [](auto& t) {
             t.GoodPath("Path000");
             t.Text("Path000", "DestPth", "C:\\Other");
         },
         "DestPth: did you mean DestPath?"},
        {"an entry far from any known one",
         [](auto& t) {
             t.GoodPath("Path000");
             t.Int("Path000", "Colour", 3);
         },
         "Colour: unknown entry, not read"},
        {"a gap among the patterns",
         [](auto& t) {
             t.GoodPath("Path000");
             t.Text("Path000", "Exclude000", "*.tmp");
             t.Text("Path000", "Exclude002", "*.bak");
         },
         "Exclude002 is not read because Exclude001 is missing"},
        {"a relative pattern",
         [](auto& t) {
             t.GoodPath("Path000");
             t.Text("Path000", "Force000", "cache/*");
         },
         "the force pattern cache/* cannot match any file below C:\\Documents: patterns are matched against "
         "whole paths; write *\\cache\\* to match it at any depth"},
        {"a missing source folder",
         [&](auto& t) {
             t.GoodPath("Path000");
             t.Text("Path000", "SourcePath", c + "/Typo");
         },
         "the source folder " + c + "/Typo does not exist"},
        {"a destination on a disk not mounted",
         [&](auto& t) {
             t.GoodPath("Path000");
             t.Text("Path000", "DestPath", c + "/media/disk/Backup");
         },
         "the destination's parent folder " + c + "/media/disk does not exist"},
        {"a source on a drive not mapped",
         [&](auto& t) {
             t.GoodPath("Path000");
             t.Text("Path000", "SourcePath", "Q:\\Data");
         },
         "the source Q:\\Data is not a path on a drive of the drive map"},
    };
    for (const auto& each : cases) {
        SCOPED_TRACE(each.what);
        ScopedHives hives;
        each.setUp(*this);
        std::vector<std::string> problems = AllProblems();
        ASSERT_EQ(problems.size(), 1u) << (problems.empty() ? "" : problems[0] + " / " + problems.back());
        EXPECT_EQ(problems[0].substr(0, each.problem.size()), each.problem);
    }
}

TEST_F(ConfigDescriptionTest, AnUnreadableHiveIsAProblemNotAnEmptyConfiguration) {
    hives_.MakeDamaged(HiveRoot::kCurrentUser);
    std::vector<std::string> problems = AllProblems();
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("cannot be read: it is damaged or not a hive"), std::string::npos)
        << problems[0];

    ScopedHives folder;
    std::filesystem::create_directories(folder.File(HiveRoot::kCurrentUser));
    problems = AllProblems();
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("cannot be read: it is not a readable file"), std::string::npos)
        << problems[0];

    // A damaged machine hive is passed over by every read: the programs no longer see each other's runs.
    ScopedHives machine;
    GoodPath("Path000");
    std::string file = machine.MakeDamaged(HiveRoot::kLocalMachine);
    problems = AllProblems();
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0], "the machine hive " + file + " cannot be read: it is damaged or not a hive");
}

TEST_F(ConfigDescriptionTest, ACleanPathIsToldInWordsWithTheEntriesBehindEachLine) {
    GoodPath("Path000");
    Int("Path000", "Flags", 0x826);  // compressed, write-protected, archive bit cleared, full backups
    Int("Path000", "KeepBackups", 10);
    Int("Path000", "DelAfterDays", 90);
    Text("Path000", "Exclude000", "*.tmp");
    ConfigDescription description = DescribeConfiguration(profile_);
    EXPECT_EQ(description.ProblemCount(), 0u);
    ASSERT_EQ(description.paths.size(), 1u);
    std::string words = FormatPathDescription(description.paths[0], true);
    for (const std::string& expected : std::vector<std::string>{
             std::string("Path 1 (Path000)\n"),
             "  Source:        " + drives_.DriveC() + "/Documents\n",
             "  Storage:       compressed into zip archives\n",
             "                   from Flags = 0x00000826, bit 0x800 set\n",
             "  Full backups:  every 20 runs\n",
             "FullBackupSep absent: default 20\n",
             "  Old backups:   deleted by the rules below\n",
             "  Delete:        backups older than 90 days\n",
             "  Keep:          at least the newest 10 backups\n",
             "                   from KeepBackups = 10\n",
             "  Excluded:      *.tmp\n",
             "  Last run:      never\n",
         }) {
        EXPECT_NE(words.find(expected), std::string::npos) << expected << "\nin\n" << words;
    }
    EXPECT_EQ(words.find("Problem"), std::string::npos) << words;
    EXPECT_NE(FormatConfigDescription(description).find("\nNo problem found.\n"), std::string::npos);
}

TEST_F(ConfigDescriptionTest, NearestNamesAndPatternReach) {
    const struct {
        const char* name;
        const char* nearest;
    } names[] = {
        {"DestPth", "DestPath"},
        {"sourcepath", "SourcePath"},
        {"Exclude1", "Exclude001"},
        {"force12", "Force012"},
        {"KeepBackup", "KeepBackups"},
        {"FullBackupSepTag", "FullBackupSepTage"},
        {"Colour", ""},
        {"X", ""},
    };
    for (const auto& each : names) {
        EXPECT_EQ(NearestPathEntryName(each.name), each.nearest) << each.name;
    }
    const struct {
        const char* pattern;
        bool matches;
    } patterns[] = {
        {"*.tmp", true},        {"C:\\Data\\cache\\*", true}, {"c:\\data", true},
        {"C:\\Da*", true},      {"C:\\Database\\*", false},   {"cache/*", false},
        {"D:\\Data\\*", false}, {"C:\\Data\\x.doc", true},
    };
    for (const auto& each : patterns) {
        EXPECT_EQ(PatternCanMatchBelow(each.pattern, "C:\\Data"), each.matches) << each.pattern;
    }
}

}  // namespace
}  // namespace quillon
