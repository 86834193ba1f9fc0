#include "app/ProgressDialog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "app/AppFixture.h"

namespace quillon::testing {
namespace {

class ProgressDialogTest : public AppTest {
  protected:
    ProgressDialogTest() {
        app.BindProfile(0);
        app.RunInProgress.store(true);
    }
    // The bar as text, '#' for a filled segment; the view shows the same.
    std::string Bar(const CQuillonDlg& bar) {
        std::string segments, shown;
        for (int i = 0; i < CQuillonDlg::kSegments; ++i) {
            segments += bar.IsSegmentFilled(i) ? '#' : '.';
            shown += presenter.Views.back()->Filled[i] ? '#' : '.';
        }
        EXPECT_EQ(shown, segments);
        return segments;
    }
    // Shows the fraction so many times; answers the bar then.
    std::string Show(CQuillonDlg& bar, double fraction, int times) {
        for (int i = 0; i < times; ++i) {
            bar.ShowProgress(fraction);
        }
        return Bar(bar);
    }
    CQuillonDlg dialog{app, presenter.CreateProgressView(false)};
};

TEST_F(ProgressDialogTest, BarFollowsTheFraction) {
    // The fractions shown (each so many times), the segments then filled, whether the activity block runs.
    const std::tuple<std::vector<std::pair<double, int>>, int, bool> cases[] = {
        {{{0.5, 3}}, 3, true},  // three readings do not yet leave the activity block
        {{{0.5, 4}}, 17, false},
        {{{1.0, 4}}, 35, false},
        {{{0.001, 4}}, 0, false},
        {{{0.0015, 4}}, 1, false},
        {{{0.56, 4}, {0.27, 3}}, 20, false},  // a falling value is held three times
        {{{0.56, 4}, {0.27, 4}}, 10, false},
        {{{0.56, 4}, {-1.0, 1}}, 1, true},  // the end of a copy loop: the activity block at once
    };
    int row = 0;
    for (const auto& [steps, filled, activity] : cases) {
        SCOPED_TRACE(row++);
        CQuillonDlg fresh(app, presenter.CreateProgressView(false));
        std::string bar;
        for (auto [fraction, times] : steps) {
            bar = Show(fresh, fraction, times);
        }
        EXPECT_EQ(std::count(bar.begin(), bar.end(), '#'), filled);
        EXPECT_EQ(fresh.IsActivityMode(), activity);
    }
}

// Without new activity the block runs for 200 ticks and then stands, and with it the renewal of the
// semaphore; new activity starts both again.
TEST_F(ProgressDialogTest, ActivityBlockAndSemaphoreRenewalRestWhenIdle) {
    EXPECT_EQ(Show(dialog, -1.0, 10), ".....#####.........................");
    EXPECT_EQ(MachineInt("Semaphore"), -1);
    std::string standing = Show(dialog, -1.0, 191);  // 200 ticks without new activity
    EXPECT_EQ(MachineInt("Semaphore"), 1);  // renewed: the counter is still 0, which would read as free
    WriteRegistryInt(HKEY_LOCAL_MACHINE, "Software\\Norrow\\Quillon\\Semaphore", 77);
    EXPECT_EQ(Show(dialog, -1.0, 100), standing);
    EXPECT_EQ(MachineInt("Semaphore"), 77);

    app.Tick();
    EXPECT_NE(Show(dialog, -1.0, 30), standing);
    EXPECT_EQ(MachineInt("Semaphore"), 1);
}

TEST_F(ProgressDialogTest, FractionCountsPackedBytesAtSevenTenthsUntilTheCopyingIsWeighed) {
    app.BytesToCopy.store(1'000'000);
    const std::tuple<bool, int32_t, int64_t, double> ticks[] = {
        // packing, archive, bytes, fraction
        {false, -1, 500'000, 0.5}, {false, -1, -1, -1.0},      {true, 1, 400'000, 0.4},
        {true, 1, 600'000, 0.54},  {false, 1, 800'000, 0.722},  // weight 0.7 / 2 ticks x 0.3 + 0.7
        {true, 2, 900'000, 0.9},                                // a new archive starts from its bytes
    };
    int n = 0;
    for (auto [packing, archive, copied, fraction] : ticks) {
        app.CompressPhase.store(packing);
        app.ZipNumber.store(archive);
        app.BytesCopied.store(copied);
        EXPECT_NEAR(dialog.ProgressFraction(), fraction, 1e-9) << "tick " << n++;
    }
    app.BytesToCopy.store(0);
    app.BytesCopied.store(5);
    EXPECT_EQ(dialog.ProgressFraction(), 0.0);
}

TEST_F(ProgressDialogTest, TickTakesTheEngineTextsAndTheCopiedCount) {
    ViewRecord& view = *presenter.Views.back();
    app.Texts.SetStatus("Copying files");
    app.Texts.SetPath("C:\\Data");
    app.FilesStored.store(12);
    dialog.OnTimer(CQuillonDlg::kProgressTimer);
    EXPECT_FALSE(view.Shown);  // the engine has not asked yet
    EXPECT_EQ(view.Texts[ProgressLine::kStatus], "    12 Files copied");
    EXPECT_EQ(view.Texts[ProgressLine::kPath], "C:\\Data");

    app.Texts.RequestShow();
    app.Texts.SetStatus("Deleting old backups");
    dialog.OnTimer(CQuillonDlg::kProgressTimer);
    EXPECT_TRUE(view.Shown);
    EXPECT_EQ(view.Texts[ProgressLine::kStatus], "Deleting old backups");  // the count is unchanged
}

TEST_F(ProgressDialogTest, DiskSpaceQuestion) {
    // "HideDialogs", "DeleteFlags" (-999: no entry), the question's answers (answer, box still ticked),
    // the confirmations'; after: the answer, "HideDialogs" and "DeleteFlags".
    using Answers = std::vector<std::pair<int, bool>>;
    const std::tuple<const char*, int32_t, int32_t, Answers, std::vector<int>, const char*> cases[] = {
        {"hidden", 0x10, 0x0F, {}, {}, "0 16 15"},
        {"yes, ask again", 0, 0x0F, {{kIdYes, false}}, {}, "0 0 15"},
        {"yes, never ask again", 0x01, 0x0F, {{kIdYes, true}}, {}, "0 17 15"},
        {"no, cancel, no, ok", 0, 0x0F, {{kIdNo, false}, {kIdNo, false}}, {kIdCancel, kIdOk}, "-1 0 7"},
        // Without the entry the rules in force (two value entries) are written without this one.
        {"no without a flags entry", 0, -999, {{kIdNo, false}}, {kIdOk}, "-1 0 5"},
    };
    SourcePathRecord path;
    path.PathIndex = 2;
    path.SourcePath = "C:\\Data";
    app.Paths.CurrentPath.store(&path);
    Set("Path002", "DelAfterDays", 30);
    Set("Path002", "DelAfterMemory", 500);
    for (const auto& [name, hideDialogs, deleteFlags, questions, confirmations, after] : cases) {
        SCOPED_TRACE(name);
        Set("Path002", "HideDialogs", hideDialogs);
        // A text where an integer belongs reads as none.
        deleteFlags == -999 ? Set("Path002", "DeleteFlags", "") : Set("Path002", "DeleteFlags", deleteFlags);
        presenter.Boxes.clear();
        presenter.CheckBoxAnswers.assign(questions.begin(), questions.end());
        Messages.clear();
        MessageAnswers.assign(confirmations.begin(), confirmations.end());
        app.DeleteQuestion.store(1);

        dialog.AskDeleteForDiskSpace();
        EXPECT_EQ(std::to_string(app.DeleteQuestion.load()) + " " +
                      std::to_string(GetInt("Path002", "HideDialogs")) + " " +
                      std::to_string(GetInt("Path002", "DeleteFlags")),
                  after);
        ASSERT_EQ(presenter.Boxes.size(), questions.size());
        EXPECT_EQ(Messages.size(), confirmations.size());
    }
    // The question names the path and its limit; each of the four asked sets its help topic, then the
    // default one again. (Its buttons and check box, the unattended run shows.)
    EXPECT_THAT(presenter.Boxes.at(0), AllOf(HasSubstr("\n    'C:\\Data',\n"), HasSubstr(" 500 MB ")));
    EXPECT_EQ(presenter.HelpContexts, (std::vector<int>{3846, 3841, 3846, 3841, 3846, 3841, 3846, 3841}));
}

}  // namespace
}  // namespace quillon::testing
