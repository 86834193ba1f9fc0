#include "config/PathConfig.h"

#include <gtest/gtest.h>

#include "config/AppProfile.h"
#include "support/TextCase.h"
#include "testing/CaptureTrace.h"
#include "testing/Environment.h"
#include "testing/ScopedHives.h"

namespace quillon {
namespace {

using testing::CaptureTrace;
using testing::ScopedHives;

class PathConfigTest : public ::testing::Test {
  protected:
    PathConfigTest() { profile_.BindProfile(0); }

    void Int(const std::string& section, const std::string& entry, int32_t value) {
        ASSERT_TRUE(profile_.WriteProfileInt(section, entry, value));
    }
    void Text(const std::string& section, const std::string& entry, const std::string& value) {
        ASSERT_TRUE(profile_.WriteProfileString(section, entry, value));
    }
    // A complete path section.
    void Path(int index, const std::string& source) {
        std::string section = "Path00" + std::to_string(index);
        Text(section, "SourcePath", source);
        Text(section, "DestPath", "D:\\Backup" + std::to_string(index));
    }
    // Loads and answers the first record, which must exist.
    const SourcePathRecord& LoadOne() {
        LoadPathConfig(profile_, config_, activity_);
        EXPECT_GE(config_.PathRecords.Count(), 1);
        return *config_.PathRecords.Get(0);
    }

    ScopedHives hives_;
    CAppProfile profile_;
    PathConfig config_;
    std::atomic<int32_t> activity_{0};
};

TEST_F(PathConfigTest, TheListEndsAtTheFirstGapOrMissingDestPath) {
    Path(0, "C:\\Daten");
    Path(1, "C:\\Mail");
    Path(3, "C:\\Unreached");
    LoadPathConfig(profile_, config_, activity_);
    ASSERT_EQ(config_.PathRecords.Count(), 2);
    EXPECT_EQ(config_.PathRecords.Get(0)->SourcePath, "C:\\Daten");
    EXPECT_EQ(config_.PathRecords.Get(0)->DestPath, "D:\\Backup0");
    EXPECT_EQ(config_.PathRecords.Get(1)->PathIndex, 1);
    EXPECT_EQ(config_.PathRecords.Get(1)->SourcePathUpper, "C:\\MAIL");

    Text("Path001", "DestPath", "");
    Path(2, "C:\\Complete");
    CaptureTrace trace;
    LoadPathConfig(profile_, config_, activity_);
    EXPECT_EQ(config_.PathRecords.Count(), 1);
    EXPECT_EQ(trace.Records(), std::vector<std::string>{"** DestPath zu C:\\Mail fehlt\n"});
}

TEST_F(PathConfigTest, EveryReloadStartsAfreshWithTheApplicationWideSettings) {
    Path(0, "C:\\A");
    Path(1, "C:\\B");
    LoadPathConfig(profile_, config_, activity_);
    EXPECT_EQ(config_.OnlyOncePerDay, 1);
    EXPECT_EQ(config_.Vortagsdatum, 1);
    EXPECT_EQ(config_.TotalFullBackup, 0);
    config_.CurrentPath = config_.PathRecords.Get(1);
    Text("Path001", "SourcePath", "");
    Int("Settings", "OnlyOncePerDay", 0);
    Int("Settings", "Vortagsdatum", 0);
    Int("DynData", "TotalFullBackup", 1);
    LoadPathConfig(profile_, config_, activity_);
    EXPECT_EQ(config_.PathRecords.Count(), 1);
    EXPECT_EQ(config_.CurrentPath.load(), nullptr) << "no pointer to a deleted record survives";
    EXPECT_EQ(activity_.load(), 2);
    EXPECT_EQ(config_.OnlyOncePerDay, 0);
    EXPECT_EQ(config_.Vortagsdatum, 0);
    EXPECT_EQ(config_.TotalFullBackup, 1);
    ClearPathConfig(config_);
    EXPECT_TRUE(config_.PathRecords.IsEmpty());

    // Another instance loads the paths of its own profile.
    CAppProfile third;
    third.BindProfile(3);
    ASSERT_TRUE(third.WriteProfileString("Path000", "SourcePath", "C:\\Third"));
    ASSERT_TRUE(third.WriteProfileString("Path000", "DestPath", "D:\\Third"));
    LoadPathConfig(third, config_, activity_);
    ASSERT_EQ(config_.PathRecords.Count(), 1);
    EXPECT_EQ(config_.PathRecords.Get(0)->SourcePath, "C:\\Third");
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
    // Order: Scheduled ByDays IfUnchanged Active Subdirs Compress WriteProtect ResetArchive CopyOnFirstRun
    struct Case {
        int64_t flags;  // -2: entry absent
        const char* expected;
    } cases[] = {{-2, "100111111"},    {0, "000110001"},     {-1, "100111111"},   {0x20, "100110001"},
                 {0x80, "010110001"},  {0x100, "001110001"}, {0x40, "000010001"}, {0x200, "000100001"},
                 {0x800, "000111001"}, {0x02, "000110101"},  {0x04, "000110011"}, {0x400, "000110000"},
                 {0xFFF, "111001110"}, {0x1000, "000110001"}};
    for (const auto& c : cases) {
        ScopedHives hives;
        Path(0, "C:\\Daten");
        if (c.flags != -2) {
            Int("Path000", "Flags", static_cast<int32_t>(c.flags));
        }
        EXPECT_EQ(FlagText(LoadOne()), c.expected) << "Flags = " << c.flags;
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
    struct Case {
        const char* what;
        std::vector<std::pair<const char*, int32_t>> entries;
        const char* expected;
    } cases[] = {
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
    for (const Case& c : cases) {
        ScopedHives hives;
        Path(0, "C:\\Daten");
        for (const auto& [entry, value] : c.entries) {
            Int("Path000", entry, value);
        }
        EXPECT_EQ(DeleteText(LoadOne()), c.expected) << c.what;
    }
}

TEST_F(PathConfigTest, FullBackupIntervalsAndTimes) {
    const std::tuple<int64_t, int32_t, int32_t> intervals[] = {
        {-2, 20, 28}, {0, 1, 1}, {5, 5, 5}, {-5, -5, -5}};
    for (const auto& [stored, sep, sepTage] : intervals) {  // stored -2: absent
        ScopedHives hives;
        Path(0, "C:\\Daten");
        if (stored != -2) {
            Int("Path000", "FullBackupSep", static_cast<int32_t>(stored));
            Int("Path000", "FullBackupSepTage", static_cast<int32_t>(stored));
        }
        const SourcePathRecord& record = LoadOne();
        EXPECT_EQ(record.FullBackupSep, sep) << stored;
        EXPECT_EQ(record.FullBackupSepTage, sepTage) << stored;
    }
    testing::ScopedTimeZone zone("Europe/Berlin");
    Path(0, "C:\\Daten");
    Int("Path000", "FullBackupNext", 2);
    Text("Path000", "NextRunTime", "2003-11-24 05:40");
    Text("Path000", "LastRunTime", "2003-11-24 05:40");  // minute form where the second form belongs
    Text("Path000", "FB_NextTime", "2003-12-01 00:00");
    const SourcePathRecord& record = LoadOne();
    EXPECT_TRUE(record.FullBackupNext);
    EXPECT_EQ(record.NextRunTime, MakeTime(2003, 11, 24, 5, 40, 0));
    EXPECT_EQ(record.LastRunTime, TimeValue(0));
    EXPECT_EQ(record.LatestSaveDate, TimeValue(0)) << "absent";
    EXPECT_EQ(record.FB_NextTime, MakeTime(2003, 12, 1, 0, 0, 0));
    Text("Path000", "LastRunTime", "2003/11/24 05:40:00");
    CaptureTrace trace;
    EXPECT_EQ(LoadOne().LastRunTime, MakeTime(1980, 1, 1, 0, 0, 0));
    EXPECT_EQ(trace.Records().size(), 1u) << "the malformed text is traced";
}

// The registry keeps code page 1252 (\xE4 is a-umlaut, \x80 the euro sign); the disk names files in UTF-8.
TEST_F(PathConfigTest, PathsAndPatternsArriveTrimmedInTheFormOfNamesOnDisk) {
    Text("Path000", "SourcePath", "C:\\Dokumente \xE4\x80");
    Text("Path000", "DestPath", "D:\\Sicherung \xFC");
    Text("Path000", "Exclude000", "  *.tmp ");
    Text("Path000", "Exclude001", "*\\\xC4rger*");
    Text("Path000", "Exclude003", "*.unreached");
    Text("Path000", "Force000", "*.doc");
    Text("Path000", "Force002", "*.unreached");
    const SourcePathRecord& record = LoadOne();
    EXPECT_EQ(record.SourcePath, "C:\\Dokumente \xC3\xA4\xE2\x82\xAC");
    EXPECT_EQ(record.SourcePathUpper, "C:\\DOKUMENTE \xC3\xA4\xE2\x82\xAC");
    EXPECT_EQ(record.DestPath, "D:\\Sicherung \xC3\xBC");
    ASSERT_EQ(record.ExcludeList.Count(), 2);
    EXPECT_EQ(record.ExcludeList.Get(0)->Pattern, "*.tmp");
    EXPECT_EQ(record.ExcludeList.Get(0)->PatternUpper, "*.TMP");
    EXPECT_EQ(record.ExcludeList.Get(1)->Pattern, "*\\\xC3\x84rger*");
    ASSERT_EQ(record.ForceList.Count(), 1);
    EXPECT_EQ(record.ForceList.Get(0)->Pattern, "*.doc");
}

// A user on Linux writes native paths; the run works with their Windows form, so that control files
// and error lines stay as they are. Windows-form values and texts no drive holds pass unchanged.
TEST_F(PathConfigTest, NativePathsAreReadInTheirWindowsForm) {
    testing::ScopedDriveMap drives;
    const std::string c = drives.DriveC();
    const struct {
        std::string stored;
        std::string loaded;
    } cases[] = {
        {c + "/Documents", "C:\\Documents"},
        {c + "/Documents/", "C:\\Documents"},
        {c, "C:\\"},
        {"/srv/data", "Z:\\srv\\data"},
        {"C:\\Documents", "C:\\Documents"},
        {"/srv/odd\\name", "/srv/odd\\name"},
    };
    for (const auto& each : cases) {
        SCOPED_TRACE(each.stored);
        Text("Path000", "SourcePath", each.stored);
        Text("Path000", "DestPath", each.stored);
        Text("Path000", "Exclude000", each.stored);
        const SourcePathRecord& record = LoadOne();
        EXPECT_EQ(record.SourcePath, each.loaded);
        EXPECT_EQ(record.SourcePathUpper, ToUpperPath(each.loaded));
        EXPECT_EQ(record.DestPath, each.loaded);
        ASSERT_EQ(record.ExcludeList.Count(), 1);
        EXPECT_EQ(record.ExcludeList.Get(0)->Pattern, each.loaded);
    }
    Text("Path000", "Exclude000", c + "/Documents/cache/*");
    EXPECT_EQ(LoadOne().ExcludeList.Get(0)->Pattern, "C:\\Documents\\cache\\*");
}

}  // namespace
}  // namespace quillon
