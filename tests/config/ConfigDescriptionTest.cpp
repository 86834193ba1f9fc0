#include "config/ConfigDescription.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <variant>

#include "config/AppProfile.h"
#include "testing/Environment.h"
#include "testing/ScopedHives.h"

namespace quillon {
namespace {

using testing::ScopedHives;
using Problems = std::vector<std::string>;

// An entry as the user stores it: a text or a number.
struct Entry {
    const char* section;
    const char* name;
    std::variant<int32_t, std::string> value;
};

class ConfigDescriptionTest : public ::testing::Test {
  protected:
    ConfigDescriptionTest() {
        profile_.BindProfile(0);
        std::filesystem::create_directories(drives_.Native("C:\\Documents"));
        std::filesystem::create_directories(drives_.Native("C:\\Backup"));
    }
    void Store(const Entry& entry) {
        if (const auto* text = std::get_if<std::string>(&entry.value)) {
            ASSERT_TRUE(profile_.WriteProfileString(entry.section, entry.name, *text));
        } else {
            ASSERT_TRUE(profile_.WriteProfileInt(entry.section, entry.name, std::get<int32_t>(entry.value)));
        }
    }
    // A path whose folders exist, written in native form as a user on Linux writes it.
    void GoodPath(const char* section) {
        Store({section, "SourcePath", drives_.Native("C:\\Documents")});
        Store({section, "DestPath", drives_.Native("C:\\Backup")});
    }
    Problems AllProblems() {
        ConfigDescription description = DescribeConfiguration(profile_);
        Problems all = description.problems;
        for (const PathDescription& path : description.paths) {
            all.insert(all.end(), path.problems.begin(), path.problems.end());
        }
        EXPECT_EQ(all.size(), description.ProblemCount());
        return all;
    }

    testing::ScopedDriveMap drives_;
    ScopedHives hives_;
    CAppProfile profile_;
};

// Each configuration a user may get wrong beside a good Path000, and the one problem that names it.
TEST_F(ConfigDescriptionTest, EachMistakeIsNamedInWords) {
    EXPECT_EQ(AllProblems(), Problems{"no backup path is configured"});
    const std::string c = drives_.DriveC();
    // The entries stored and the beginning of the problem.
    const std::pair<std::vector<Entry>, std::string> cases[] = {
        {{{"Path002", "SourcePath", c + "/Documents"}, {"Path002", "DestPath", c + "/Backup"}},
         "Path002 is not read because Path001 is missing"},
        {{{"Path001", "DestPath", "C:\\Backup"}}, "Path001 is not read because its SourcePath is missing"},
        {{{"Path001", "SourcePath", c + "/Documents"}},
         "Path001 (" + c + "/Documents) is not read because its DestPath is missing"},
        {{{"Path1", "SourcePath", "C:\\Documents"}, {"Path1", "DestPath", "C:\\Backup"}},
         "Path1 is not read: path sections are named Path000, Path001, ..."},
        {{{"Setting", "RunAtTime", 1}}, "Setting: did you mean Settings?"},
        {{{"Path000", "Flags", "0x826"}},
         "Flags is stored as text (REG_SZ) and is ignored: it must be a REG_DWORD"},
        {{{"Path000", "Exclude000", 5}},
         "Exclude000 is stored as REG_DWORD and is ignored: it must be text (REG_SZ)"},
        {{{"Path000", "DestPth", "C:\\Other"}}, "DestPth: did you mean DestPath?"},
        {{{"Path000", "Colour", 3}}, "Colour: unknown entry, not read"},
        {{{"Path000", "Exclude000", "*.tmp"}, {"Path000", "Exclude002", "*.bak"}},
         "Exclude002 is not read because Exclude001 is missing"},
        {{{"Path000", "Force000", "cache/*"}},
         "the force pattern cache/* cannot match any file below C:\\Documents: patterns are matched against "
         "whole paths; write *\\cache\\* to match it at any depth"},
        {{{"Path000", "SourcePath", c + "/Typo"}}, "the source folder " + c + "/Typo does not exist"},
        {{{"Path000", "DestPath", c + "/media/disk/Backup"}},
         "the destination's parent folder " + c + "/media/disk does not exist"},
        {{{"Path000", "SourcePath", "Q:\\Data"}},
         "the source Q:\\Data is not a path on a drive of the drive map"},
    };
    for (const auto& [entries, problem] : cases) {
        SCOPED_TRACE(problem);
        ScopedHives hives;
        GoodPath("Path000");
        for (const Entry& entry : entries) {
            Store(entry);
        }
        Problems problems = AllProblems();
        ASSERT_EQ(problems.size(), 1u) << (problems.empty() ? "" : problems[0] + " / " + problems.back());
        EXPECT_EQ(problems[0].substr(0, problem.size()), problem);
    }
}

// A hive that cannot be read is a problem, not an empty configuration. A damaged machine hive is passed
// over by every read: the programs no longer see each other's runs.
TEST_F(ConfigDescriptionTest, AnUnreadableHiveIsAProblemNotAnEmptyConfiguration) {
    GoodPath("Path000");
    std::string file = hives_.MakeDamaged(HiveRoot::kCurrentUser);
    EXPECT_EQ(AllProblems(),
              Problems{"the user hive " + file + " cannot be read: it is damaged or not a hive"});
    ScopedHives folder;
    std::filesystem::create_directories(folder.File(HiveRoot::kCurrentUser));
    EXPECT_EQ(AllProblems(), Problems{"the user hive " + folder.File(HiveRoot::kCurrentUser) +
                                      " cannot be read: it is not a readable file"});
    ScopedHives machine;
    GoodPath("Path000");
    file = machine.MakeDamaged(HiveRoot::kLocalMachine);
    EXPECT_EQ(AllProblems(),
              Problems{"the machine hive " + file + " cannot be read: it is damaged or not a hive"});
}

TEST_F(ConfigDescriptionTest, ACleanPathIsToldInWordsWithTheEntriesBehindEachLine) {
    GoodPath("Path000");
    for (const Entry& entry : std::vector<Entry>{{"Path000", "Flags", 0x826},  // zip, protected, bit, full
                                                 {"Path000", "KeepBackups", 10},
                                                 {"Path000", "DelAfterDays", 90},
                                                 {"Path000", "Exclude000", "*.tmp"}}) {
        Store(entry);
    }
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
    const std::pair<const char*, const char*> names[] = {{"DestPth", "DestPath"},
                                                         {"sourcepath", "SourcePath"},
                                                         {"Exclude1", "Exclude001"},
                                                         {"force12", "Force012"},
                                                         {"KeepBackup", "KeepBackups"},
                                                         {"Colour", ""},
                                                         {"X", ""},
                                                         {"FullBackupSepTag", "FullBackupSepTage"}};
    for (auto [name, nearest] : names) {
        EXPECT_EQ(NearestPathEntryName(name), nearest) << name;
    }
    const std::pair<const char*, bool> patterns[] = {
        {"*.tmp", true},        {"C:\\Data\\cache\\*", true}, {"c:\\data", true},
        {"C:\\Da*", true},      {"C:\\Database\\*", false},   {"cache/*", false},
        {"D:\\Data\\*", false}, {"C:\\Data\\x.doc", true},
    };
    for (auto [pattern, matches] : patterns) {
        EXPECT_EQ(PatternCanMatchBelow(pattern, "C:\\Data"), matches) << pattern;
    }
}

}  // namespace
}  // namespace quillon
