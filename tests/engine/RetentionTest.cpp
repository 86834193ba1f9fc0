#include <atomic>
#include <optional>
#include <thread>

#include "engine/PassTestTree.h"
#include "ibzip/IbZipHarness.h"
#include "support/StringTable.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using testing::CaptureTrace, testing::FakeClock, testing::ScopedDriveMap, testing::ScopedTimeZone;
using testing::WriteFile;

constexpr const char* kDest = "C:\\Backup\\Docs";

struct Set {
    std::string Date;  // "YYYY-MM-DD"
    int32_t SizeKB = 1;
    bool Full = false;
};
using Sets = std::vector<Set>;
using Names = std::vector<std::string>;

// A clock that also plays the progress dialog: a question it finds open while the engine waits is
// answered at once with Answer, so a test never hangs on a question it did not expect. Without an
// Answer the question is left to another thread.
class AnsweringClock : public FakeClock {
  public:
    explicit AnsweringClock(std::atomic<int32_t>& question) : question_(question) {}
    void Sleep(int64_t milliseconds) override {
        FakeClock::Sleep(milliseconds);
        if (Answer && question_.load() > 0) {
            Asked = true;
            question_.store(*Answer);
        }
    }

    std::optional<int32_t> Answer = 0;
    bool Asked = false;

  private:
    std::atomic<int32_t>& question_;
};

// The rules of a path; a rule without a value is not active.
struct Rules {
    std::optional<int32_t> delAfterBackups{}, delAfterDays{}, delAfterMemory{}, keepBackups{}, keepDays{},
        keepFull{};
    const char *exclude = "", *force = "";
    bool enabled = true;

    void ApplyTo(SourcePathRecord& p) const {
        auto set = [](const std::optional<int32_t>& rule, bool& active, int32_t& value) {
            active = rule.has_value();
            value = rule.value_or(value);
        };
        p.DeleteEnabled = enabled;
        set(delAfterBackups, p.DelAfterBackupsActive, p.DelAfterBackups);
        set(delAfterDays, p.DelAfterDaysActive, p.DelAfterDays);
        set(delAfterMemory, p.DelAfterMemoryActive, p.DelAfterMemory);
        set(keepBackups, p.KeepBackupsActive, p.KeepBackups);
        set(keepDays, p.KeepDaysActive, p.KeepDays);
        set(keepFull, p.KeepFullBackupsActive, p.KeepFullBackups);
        testing::SetPatterns(p.ExcludeList, exclude);
        testing::SetPatterns(p.ForceList, force);
    }
};

// One destination with real set folders (each holding a file in a subfolder) and a run on
// 2003-11-24 at 10:00. DeleteEnabled is on; every rule is off until a test switches it on.
struct Scene {
    Scene() {
        clock.Set(MakeTime(2003, 11, 24, 10, 0, 0).Seconds());
        state.RunTime = GetNow();
        path.DestPath = kDest;
        path.DeleteEnabled = true;
    }

    std::string SetPath(const std::string& date) const { return std::string(kDest) + "\\" + date; }
    std::string Native(const std::string& date) const { return drives.Native(SetPath(date)); }

    // Appends the sets to SavedBackups, oldest first, and creates their folders.
    void Add(const Sets& sets) {
        for (const Set& set : sets) {
            WriteFile(Native(set.Date) + "/sub/file.txt", "data");
            pass.SavedBackups.Append(new SavedBackup{ParseDateTime(set.Date), set.Full, set.SizeKB});
        }
    }

    Names Delete(const Rules& rules, const Sets& sets) {
        rules.ApplyTo(path);
        fs::create_directories(drives.Native(kDest));
        Add(sets);
        pass.DeleteOldBackups();
        return Kept();
    }

    // The sets still listed; where the folders on the disk are others, the test fails.
    Names Kept() const {
        Names listed;
        for (const SavedBackup* set : pass.SavedBackups) {
            listed.push_back(set->Date.Format(kDatePattern));
        }
        EXPECT_EQ(testing::NamesIn(drives.Native(kDest)), listed);
        return listed;
    }

    ScopedTimeZone zone{"Europe/Berlin"};
    ScopedDriveMap drives;
    RunState state;
    AnsweringClock clock{state.DeleteQuestion};
    SourcePathRecord path;
    BackupPass pass{state, path};
};

TEST(RetentionTest, RulesDeleteFromTheOldestEndWithinTheKeepLimits) {
    Sets twelve;
    for (int day = 1; day <= 12; ++day) {
        twelve.push_back({MakeTime(2003, 11, day, 0, 0, 0).Format(kDatePattern)});
    }
    const Sets aroundDay30 = Sets{{"2003-10-01"}, {"2003-10-24"}, {"2003-10-25"}, {"2003-11-24"}};
    const Sets sized = {{"2003-11-01", 60000}, {"2003-11-02", 30000}, {"2003-11-03", 50000}};
    const Sets oneFull = {{"2003-11-01", 1, true}, {"2003-11-02"}, {"2003-11-03"}, {"2003-11-04"}};
    const Sets twoFull = {
        {"2003-11-01", 1, true}, {"2003-11-02"}, {"2003-11-03", 1, true}, {"2003-11-04"}, {"2003-11-05"}};
    const Sets three = Sets{{"2003-11-01"}, {"2003-11-02"}, {"2003-11-03"}};
    const Sets bigNewest = {{"2003-11-01"}, {"2003-11-02"}, {"2003-11-03"}, {"2003-11-04", 20000}};

    struct Case {
        const char* name;
        Rules rules;
        Sets sets;
        size_t kept;                         // the newest sets that remain
        std::optional<int32_t> answer = {};  // whether space alone may leave only the newest set
    };
    const Case cases[] = {
        {"12 sets, 10 allowed", {.delAfterBackups = 10}, twelve, 10},
        {"... with KeepBackups 11", {.delAfterBackups = 10, .keepBackups = 11}, twelve, 11},
        {"deletion switched off", {.delAfterBackups = 1, .enabled = false}, twelve, 12},
        {"30 days: the sets before 2003-10-25 go", {.delAfterDays = 30}, aroundDay30, 2},
        {"... with KeepDays 60", {.delAfterDays = 30, .keepDays = 60}, aroundDay30, 4},
        {"... with KeepDays 31", {.delAfterDays = 30, .keepDays = 31}, aroundDay30, 3},
        {"100 MB: 50 and 30 fit, the 60 behind not", {.delAfterMemory = 100}, sized, 2},
        {"140 MB: exactly full still fits", {.delAfterMemory = 140}, sized, 3},
        {"count and space agree: no question", {.delAfterBackups = 1, .delAfterMemory = 10}, bigNewest, 1},
        {"No: what the count rule demands", {.delAfterBackups = 3, .delAfterMemory = 10}, bigNewest, 3, -1},
        {"No without count or age rule: nothing", {.delAfterMemory = 10}, bigNewest, 4, -1},
        {"KeepFullBackups 2 with one full set", {.delAfterBackups = 1, .keepFull = 2}, oneFull, 4},
        {"KeepFullBackups 1 of two", {.delAfterBackups = 1, .keepFull = 1}, twoFull, 3},
        {"without keep rules the newest set survives", {.delAfterBackups = 0}, three, 1},
        {"a path that backs up nothing loses all", {.delAfterBackups = 0, .exclude = "*"}, three, 0},
        {"... unless it forces", {.delAfterBackups = 0, .exclude = "*", .force = "*.doc"}, three, 1},
        {"exclude *.* is not exclude *", {.delAfterBackups = 0, .exclude = "*.*"}, three, 1},
        {"KeepBackups 0 lets all go", {.delAfterBackups = 0, .keepBackups = 0}, three, 0},
        {"negative numbers", {.delAfterBackups = -5, .keepBackups = -5}, three, 0},
        {"extreme delete numbers",
         {.delAfterBackups = INT32_MIN, .delAfterDays = INT32_MIN, .keepBackups = INT32_MIN},
         three,
         0},
        {"keep all", {.delAfterBackups = 0, .keepBackups = INT32_MAX, .keepDays = INT32_MAX}, three, 3},
        {"no sets at all", {.delAfterBackups = 0}, {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Scene scene;
        scene.clock.Answer = c.answer.value_or(0);
        auto newest = c.sets | std::views::drop(c.sets.size() - c.kept) | std::views::transform(&Set::Date);
        EXPECT_EQ(scene.Delete(c.rules, c.sets), Names(newest.begin(), newest.end()));
        EXPECT_EQ(scene.clock.Asked, c.answer.has_value());
        EXPECT_TRUE(!scene.state.ErrorFlag && scene.state.CopyErrorList.empty() &&
                    scene.state.DeleteQuestion.load() == 0);
        EXPECT_EQ(scene.state.Texts.Read().Status,
                  c.kept < c.sets.size() ? LoadText(kTextDeletingOldBackups) : "");
    }
}

// Three small sets and a newest one of 20 MB with 10 MB allowed: only the newest would stay. The
// dialog's timer, on its own thread, sees the question after the engine has waited a while and
// answers Yes once: all but the newest set go. (The answers themselves: the table above.)
TEST(RetentionTest, DiskSpaceQuestionIsAnsweredFromTheDialogThread) {
    Scene scene;
    scene.clock.Answer.reset();
    Rules{.delAfterBackups = 3, .delAfterMemory = 10}.ApplyTo(scene.path);
    scene.Add({{"2003-11-01"}, {"2003-11-02"}, {"2003-11-03"}, {"2003-11-04", 20000}});
    std::atomic<bool> done{false}, answered{false};
    std::thread dialog([&] {
        for (; !done.load() && !answered.load(); std::this_thread::yield()) {
            if (scene.state.DeleteQuestion.load() == 1 && scene.clock.Slept() >= 3000) {
                answered.store(true);
                scene.state.DeleteQuestion.store(0);
            }
        }
    });
    scene.pass.DeleteOldBackups();
    done.store(true);
    dialog.join();
    EXPECT_TRUE(answered.load() && scene.state.DeleteQuestion.load() == 0);
    EXPECT_EQ(scene.clock.Slept() % 1000, 0);  // it waits in steps of a second, on the clock
    EXPECT_EQ(scene.Kept(), Names{"2003-11-04"});
}

// Three sets; the oldest is not archived elsewhere or cannot be deleted. With one turn nothing goes,
// with two the second set goes in its own turn: a newer set never takes the place of one that stays.
TEST(RetentionTest, SetThatStaysUsesUpItsTurn) {
    const Names failed = {"File >C:\\Backup\\Docs\\2003-11-01\\sub\\file.txt< could not be deleted.",
                          "2003-11-24 10:00:00  Error deleting C:\\Backup\\Docs\\2003-11-01"};
    for (bool deleteFails : {false, true}) {
        for (int32_t turns : {2, 1}) {
            SCOPED_TRACE(std::string(deleteFails ? "cannot be deleted" : "not archived") + ", turns " +
                         std::to_string(turns));
            CaptureTrace trace;
            Scene scene;
            scene.path.DeleteOnlyArchived = !deleteFails;
            Rules{.delAfterBackups = turns}.ApplyTo(scene.path);
            scene.Add(Sets{{"2003-11-01"}, {"2003-11-02"}, {"2003-11-03"}});
            ScopedFaults faults;
            if (deleteFails) {
                InjectFault(FileOperation::kDelete, 1, EIO);  // the first file of the oldest set
            }
            for (const char* date : {"2003-11-02", "2003-11-03"}) {  // archived elsewhere (not so the oldest)
                ASSERT_TRUE(deleteFails || WriteFileAttributes(scene.SetPath(date), 0));
            }
            scene.pass.DeleteOldBackups();
            EXPECT_EQ(scene.Kept(), (turns == 2 ? Names{"2003-11-01", "2003-11-02", "2003-11-03"}
                                                : Names{"2003-11-01", "2003-11-03"}));
            EXPECT_EQ(scene.state.ErrorFlag, deleteFails);
            EXPECT_EQ(scene.state.CopyErrorList, deleteFails ? failed : Names{});
            EXPECT_EQ(trace.Records(),
                      turns == 1 ? Names{"--- C:\\Backup\\Docs\\2003-11-02 gel\xF6scht\n"} : Names{});
            EXPECT_GE(scene.state.ActivityCounter.load(), deleteFails && turns == 1 ? 3 : 1);
        }
    }
}

// 200 000 lines of one date, as a damaged control file may hold: every one of them shares its folder
// with the newest set, so none may go. Deciding that for each set must not look at all the others
// again (it took hours this way).
TEST(RetentionTest, ManySetsOfOneFolderAreWeighedInOneSweep) {
    Scene scene;
    Rules{.delAfterBackups = 1}.ApplyTo(scene.path);
    scene.Add(Sets{{"2003-11-20"}});
    for (int i = 1; i < 200'000; ++i) {
        scene.pass.SavedBackups.Append(new SavedBackup{ParseDateTime("2003-11-20"), false, 1});
    }
    scene.pass.DeleteOldBackups();
    EXPECT_TRUE(scene.pass.SavedBackups.Count() == 200'000 &&
                fs::exists(scene.Native("2003-11-20") + "/sub/file.txt") && !scene.state.ErrorFlag);

    // A set with a folder of its own moved to the oldest end: it is the one that goes.
    scene.Add(Sets{{"2003-11-24"}});
    Rules{.delAfterBackups = 200'000}.ApplyTo(scene.path);
    std::swap(*scene.pass.SavedBackups.Get(0), *scene.pass.SavedBackups.Get(200'000));
    scene.pass.DeleteOldBackups();
    EXPECT_TRUE(scene.pass.SavedBackups.Count() == 200'000 && !fs::exists(scene.Native("2003-11-24")));
}

// A control file whose set lines name folders elsewhere, for a path that backs up nothing any more and
// wants no set: only the date at the start of a line counts, and only dated sets of the destination go.
TEST(RetentionTest, CraftedSetLinesReachNothingButDatedSetsOfTheDestination) {
    Scene scene;
    Rules{.delAfterBackups = 0, .exclude = "*"}.ApplyTo(scene.path);
    const std::string c = scene.drives.DriveC();
    for (const char* file :
         {"Backup/Docs/2003-11-01/a.txt", "Backup/Docs/2003-11-02/sub/b.txt", "Backup/Docs/keep/c.txt",
          "Backup/Docs/notes.txt", "Backup/2003-11-01/d.txt", "Backup/Other/2003-11-02/e.txt",
          "2003-11-03/f.txt", "Backup/Docs-2003-11-01/g.txt"}) {
        WriteFile(c + "/" + file, "data");
    }
    WriteFile(c + "/Backup/Docs/Quillon.txt",
              "Quillon-Run -- Processing Time: 2003-11-24 10:00\r\n-1 no full backup scheduled\r\n"
              "C:\\Source\r\n# ===== Saved Backups:\r\n..\\2003-11-01 F         1 kBytes\r\n"
              "2003-11-01\\..\\..\\Other\\2003-11-02 I 1 kBytes\r\nC:\\2003-11-03 I         1 kBytes\r\n"
              "2003-11-02\\..\\..\\..\\2003-11-03 I 1 kBytes\r\n0000-00-00 I         1 kBytes\r\n"
              "2003-02-30 I 1 kBytes\r\n9999-12-31 F 1 kBytes\r\n2003-11-01 F         1 kBytes\r\n"
              " 2003-11-02 I         5 kBytes\r\nkeep I 1 kBytes\r\n# ===== Files:\r\n");
    testing::Tree removed = testing::TreeOf(c);  // every entry below C:, links not followed
    CLineArchiveFile archive;
    ASSERT_TRUE(archive.Open(std::string(kDest) + "\\Quillon.txt", false));
    ReadSavedBackups(archive, scene.pass.SavedBackups);
    scene.pass.DropVanishedSets();
    scene.pass.DeleteOldBackups();
    std::erase_if(removed,
                  [now = testing::TreeOf(c)](const auto& entry) { return now.contains(entry.first); });
    EXPECT_EQ(removed, testing::Files("Backup/Docs/2003-11-01/ Backup/Docs/2003-11-01/a.txt=data "
                                      "Backup/Docs/2003-11-02/ Backup/Docs/2003-11-02/sub/ "
                                      "Backup/Docs/2003-11-02/sub/b.txt=data"));
}

TEST(RetentionTest, DropVanishedSetsForgetsSetsWhoseFolderIsGone) {
    Scene scene;
    scene.Add(Sets{{"2003-11-01"}, {"2003-11-02"}, {"2003-11-03"}, {"2003-11-04"}, {"2003-11-05"}});
    // Two in a row (the second is examined too); 2003-11-04 is empty, but there.
    for (const char* gone : {"2003-11-02", "2003-11-03", "2003-11-04/sub", "2003-11-05"}) {
        fs::remove_all(scene.Native(gone));
    }
    scene.pass.DropVanishedSets();
    EXPECT_EQ(scene.Kept(), (Names{"2003-11-01", "2003-11-04"}));
    EXPECT_GE(scene.state.ActivityCounter.load(), 5);
}

}  // namespace
}  // namespace quillon
