#include "config/PathConfig.h"

#include <gtest/gtest.h>

#include "config/AppProfile.h"
#include "support/TextCase.h"
#include "testing/CaptureTrace.h"
#include "testing/Environment.h"
#include "testing/ScopedHives.h"

namespace quillon {
namespace {

using Texts = std::vector<std::string>;

class PathConfigTest : public ::testing::Test {
  protected:
    PathConfigTest() { profile_.BindProfile(0); }

    void Int(const std::string& section, const std::string& entry, int32_t value) {
        ASSERT_TRUE(profile_.WriteProfileInt(section, entry, value));
    }
    void Text(const std::string& section, const std::string& entry, const std::string& value) {
        ASSERT_TRUE(profile_.WriteProfileString(section, entry, value));
    }
    void Path(int index, const std::string& source) {
        std::string section = "Path00" + std::to_string(index);
        Text(section, "SourcePath", source);
        Text(section, "DestPath", "D:\\Backup" + std::to_string(index));
    }
    // Loads the records, each as "<index> <source> <SOURCE> <dest>".
    Texts Load(const CAppProfile& profile) {
        LoadPathConfig(profile, config_, activity_);
        Texts records;
        for (int32_t i = 0; i < config_.PathRecords.Count(); ++i) {
            const SourcePathRecord& r = *config_.PathRecords.Get(i);
            records.push_back(std::to_string(r.PathIndex) + " " + r.SourcePath + " " + r.SourcePathUpper +
                              " " + r.DestPath);
        }
        return records;
    }
    const SourcePathRecord& LoadOne() {
        LoadPathConfig(profile_, config_, activity_);
        EXPECT_GE(config_.PathRecords.Count(), 1);
        return *config_.PathRecords.Get(0);
    }
    // The record of a Path000 alone in fresh hives, with the given numbers stored beside its paths.
    const SourcePathRecord& LoadWith(const std::vector<std::pair<const char*, int32_t>>& numbers) {
        testing::ScopedHives hives;
        Path(0, "C:\\Daten");
        for (const auto& [entry, value] : numbers) {
            Int("Path000", entry, value);
        }
        return LoadOne();
    }
    // A pattern list as "<pattern>|<PATTERN>" texts.
    static Texts Patterns(const PArray<PatternEntry>& list) {
        Texts patterns;
        for (int32_t i = 0; i < list.Count(); ++i) {
            patterns.push_back(list.Get(i)->Pattern + "|" + list.Get(i)->PatternUpper);
        }
        return patterns;
    }

    testing::ScopedHives hives_;
    CAppProfile profile_;
    PathConfig config_;
    std::atomic<int32_t> activity_{0};
};

// The list ends at the first gap or missing DestPath; every reload starts afresh, with the
// application-wide settings, and another instance loads the paths of its own profile.
TEST_F(PathConfigTest, EveryLoadReadsTheListUpToItsEndAndTheApplicationWideSettings) {
    Path(0, "C:\\Daten");
    Path(1, "C:\\Mail");
    Path(3, "C:\\Unreached");
    EXPECT_EQ(Load(profile_),
              (Texts{"0 C:\\Daten C:\\DATEN D:\\Backup0", "1 C:\\Mail C:\\MAIL D:\\Backup1"}));
    EXPECT_EQ(std::make_tuple(config_.OnlyOncePerDay, config_.Vortagsdatum, config_.TotalFullBackup),
              std::make_tuple(1, 1, 0));

    config_.CurrentPath = config_.PathRecords.Get(1);
    Text("Path001", "DestPath", "");
    Path(2, "C:\\Complete");
    Int("Settings", "OnlyOncePerDay", 0);
    Int("Settings", "Vortagsdatum", 0);
    Int("DynData", "TotalFullBackup", 1);
    testing::CaptureTrace trace;
    EXPECT_EQ(Load(profile_), Texts{"0 C:\\Daten C:\\DATEN D:\\Backup0"});
    EXPECT_EQ(trace.Records(), Texts{"** DestPath zu C:\\Mail fehlt\n"});
    EXPECT_EQ(config_.CurrentPath.load(), nullptr) << "no pointer to a deleted record survives";
    EXPECT_EQ(activity_.load(), 2);
    EXPECT_EQ(std::make_tuple(config_.OnlyOncePerDay, config_.Vortagsdatum, config_.TotalFullBackup),
              std::make_tuple(0, 0, 1));
    ClearPathConfig(config_);
    EXPECT_TRUE(config_.PathRecords.IsEmpty());

    CAppProfile third;
    third.BindProfile(3);
    ASSERT_TRUE(third.WriteProfileString("Path000", "SourcePath", "C:\\Third"));
    ASSERT_TRUE(third.WriteProfileString("Path000", "DestPath", "D:\\Third"));
    EXPECT_EQ(Load(third), Texts{"0 C:\\Third C:\\THIRD D:\\Third"});
}

// The flags decoded from "Flags", in a fixed order, as a text of 0 and 1.
std::string FlagText(const SourcePathRecord& r) {
    std::string text;
    for (bool flag :
         {r.FullBackupScheduled, r.FullBackupByDays, r.FullBackupIfUnchanged, r.PathActive, r.IncludeSubdirs,
          r.Compress, r.WriteProtectCopies, r.ResetArchiveBit, r.CopyOnFirstRun}) {
        text += flag ? '1' : '0';
    }
    return text;
}

TEST_F(PathConfigTest, FlagsDecodeBitByBit) {
    // Order: Scheduled ByDays IfUnchanged Active Subdirs Compress WriteProtect ResetArchive CopyOnFirstRun.
    // Flags -2 stands for no entry.
    const std::pair<int32_t, const char*> cases[] = {
        {-2, "100111111"},    {0, "000110001"},     {-1, "100111111"},   {0x20, "100110001"},
        {0x80, "010110001"},  {0x100, "001110001"}, {0x40, "000010001"}, {0x200, "000100001"},
        {0x800, "000111001"}, {0x02, "000110101"},  {0x04, "000110011"}, {0x400, "000110000"},
        {0xFFF, "111001110"}, {0x1000, "000110001"}};
    for (const auto& [flags, expected] : cases) {
        EXPECT_EQ(FlagText(flags == -2 ? LoadWith({}) : LoadWith({{"Flags", flags}})), expected) << flags;
    }
}

// Deletion flags and values, as "<enabled><6 rules><only archived> values".
std::string DeleteText(const SourcePathRecord& r) {
    std::string text;
    for (bool flag : {r.DeleteEnabled, r.DelAfterBackupsActive, r.DelAfterDaysActive, r.DelAfterMemoryActive,
                      r.KeepBackupsActive, r.KeepDaysActive, r.KeepFullBackupsActive, r.DeleteOnlyArchived}) {
        text += flag ? '1' : '0';
    }
    for (int32_t value : {r.DelAfterBackups, r.DelAfterDays, r.DelAfterMemory, r.KeepDays, r.KeepBackups,
                          r.KeepFullBackups}) {
        text += " " + std::to_string(value);
    }
    return text;
}

TEST_F(PathConfigTest, DeletionRulesAndTheirBitField) {
    const std::tuple<const char*, std::vector<std::pair<const char*, int32_t>>, const char*> cases[] = {
        {"nothing stored", {}, "00000000 20 90 500 7 10 1"},
        {"only DelAfterDays", {{"DelAfterDays", 30}}, "10100000 20 30 500 7 10 1"},
        {"keep rules alone do not enable deleting",
         {{"KeepDays", 0}, {"KeepBackups", 4}, {"KeepFullBackups", 2}},
         "00001110 20 90 500 0 4 2"},  // 0 is a value
        {"a stored -1 is absent", {{"DelAfterMemory", -1}}, "00000000 20 90 500 7 10 1"},
        {"DeleteFlags 0 wins over a stored rule",
         {{"DelAfterDays", 30}, {"DeleteFlags", 0}},
         "00000000 20 30 500 7 10 1"},
        {"DeleteFlags switches on rules without values",
         {{"DeleteFlags", 0xFF}},
         "11111111 20 90 500 7 10 1"},
        {"DeleteFlags -1 is absent",
         {{"DelAfterBackups", 5}, {"DeleteFlags", -1}},
         "11000000 5 90 500 7 10 1"},
        {"each bit", {{"DeleteFlags", 0x01 | 0x08 | 0x20 | 0x80}}, "10010101 20 90 500 7 10 1"},
    };
    for (const auto& [what, entries, expected] : cases) {
        EXPECT_EQ(DeleteText(LoadWith(entries)), expected) << what;
    }
}

TEST_F(PathConfigTest, FullBackupIntervalsAndTimes) {
    const std::tuple<int32_t, int32_t, int32_t> intervals[] = {
        {-2, 20, 28}, {0, 1, 1}, {5, 5, 5}, {-5, -5, -5}};
    for (const auto& [stored, sep, sepTage] : intervals) {  // stored -2: absent
        const SourcePathRecord& record =
            stored == -2 ? LoadWith({})
                         : LoadWith({{"FullBackupSep", stored}, {"FullBackupSepTage", stored}});
        EXPECT_EQ(std::pair(record.FullBackupSep, record.FullBackupSepTage), std::pair(sep, sepTage))
            << stored;
    }
    testing::ScopedTimeZone zone("Europe/Berlin");
    Path(0, "C:\\Daten");
    Int("Path000", "FullBackupNext", 2);
    Text("Path000", "NextRunTime", "2003-11-24 05:40");
    Text("Path000", "LastRunTime", "2003-11-24 05:40");  // minute form where the second form belongs
    Text("Path000", "FB_NextTime", "2003-12-01 00:00");
    const SourcePathRecord& r = LoadOne();  // LatestSaveDate absent
    EXPECT_EQ(std::tuple(r.FullBackupNext, r.NextRunTime, r.LastRunTime, r.LatestSaveDate, r.FB_NextTime),
              std::tuple(true, MakeTime(2003, 11, 24, 5, 40, 0), TimeValue(0), TimeValue(0),
                         MakeTime(2003, 12, 1, 0, 0, 0)));
    Text("Path000", "LastRunTime", "2003/11/24 05:40:00");
    testing::CaptureTrace trace;
    EXPECT_EQ(LoadOne().LastRunTime, MakeTime(1980, 1, 1, 0, 0, 0));
    EXPECT_EQ(trace.Records().size(), 1u) << "the malformed text is traced";
}

// The registry keeps code page 1252 (\xE4 is a-umlaut, \x80 the euro sign); the disk names files in UTF-8.
// Patterns are trimmed; each list ends at its first gap.
TEST_F(PathConfigTest, PathsAndPatternsArriveTrimmedInTheFormOfNamesOnDisk) {
    Text("Path000", "SourcePath", "C:\\Dokumente \xE4\x80");
    Text("Path000", "DestPath", "D:\\Sicherung \xFC");
    Text("Path000", "Exclude000", "  *.tmp ");
    Text("Path000", "Exclude001", "*\\\xC4rger*");
    Text("Path000", "Exclude003", "*.unreached");
    Text("Path000", "Force000", "*.doc");
    Text("Path000", "Force002", "*.unreached");
    EXPECT_EQ(Load(profile_), Texts{"0 C:\\Dokumente \xC3\xA4\xE2\x82\xAC C:\\DOKUMENTE \xC3\xA4\xE2\x82\xAC "
                                    "D:\\Sicherung \xC3\xBC"});
    const SourcePathRecord& record = *config_.PathRecords.Get(0);
    EXPECT_EQ(Patterns(record.ExcludeList), (Texts{"*.tmp|*.TMP", "*\\\xC3\x84rger*|*\\\xC3\x84RGER*"}));
    EXPECT_EQ(Patterns(record.ForceList), Texts{"*.doc|*.DOC"});
}

// A user on Linux writes native paths; the run works with their Windows form, so that control files
// and error lines stay as they are. Windows-form values and texts no drive holds pass unchanged.
TEST_F(PathConfigTest, NativePathsAreReadInTheirWindowsForm) {
    testing::ScopedDriveMap drives;
    const std::string c = drives.DriveC();
    const std::pair<std::string, std::string> cases[] = {
        {c + "/Documents", "C:\\Documents"},
        {c + "/Documents/", "C:\\Documents"},
        {c, "C:\\"},
        {"/srv/data", "Z:\\srv\\data"},
        {"C:\\Documents", "C:\\Documents"},
        {"/srv/odd\\name", "/srv/odd\\name"},
        {c + "/Documents/cache/*", "C:\\Documents\\cache\\*"},
    };
    for (const auto& [stored, loaded] : cases) {
        SCOPED_TRACE(stored);
        for (const char* entry : {"SourcePath", "DestPath", "Exclude000"}) {
            Text("Path000", entry, stored);
        }
        EXPECT_EQ(Load(profile_), Texts{"0 " + loaded + " " + ToUpperPath(loaded) + " " + loaded});
        EXPECT_EQ(Patterns(config_.PathRecords.Get(0)->ExcludeList),
                  Texts{loaded + "|" + ToUpperPath(loaded)});
    }
}

}  // namespace
}  // namespace quillon
