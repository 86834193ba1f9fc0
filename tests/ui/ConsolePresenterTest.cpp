#include "ui/ConsolePresenter.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <tuple>
#include <utility>
#include <vector>

namespace quillon {
namespace {

// A stream in memory that the presenter writes to; Unread() answers what came since the last call.
struct Captured {
    char* text = nullptr;
    size_t size = 0;
    size_t read = 0;
    std::FILE* file = open_memstream(&text, &size);
    ~Captured() {
        std::fclose(file);
        std::free(text);
    }
    std::string Unread() {
        std::fflush(file);
        return std::string(text + std::exchange(read, size), text + size);
    }
};

class ConsolePresenterTest : public ::testing::Test {
  protected:
    // Streams of the presenter that read the lines typed, nullptr for none within 30 minutes.
    ConsoleStreams Streams(bool live, bool canAsk, std::deque<const char*> typed = {}) {
        return {out_.file, progress_.file, live, canAsk, 80, [typed](int64_t, std::string& line) mutable {
                    if (typed.empty()) {
                        return InputResult::kClosed;
                    }
                    const char* key = typed.front();
                    typed.pop_front();
                    line = key ? key : "";
                    return key ? InputResult::kLine : InputResult::kTimedOut;
                }};
    }

    Captured out_;       // the report
    Captured progress_;  // the live line
};

TEST_F(ConsolePresenterTest, PlainLinesShowNewTextsButNotEveryCount) {
    ConsolePresenter presenter(Streams(false, false));
    auto view = presenter.CreateProgressView(false);
    view->SetText(ProgressLine::kVersion, "Version 2.10");
    view->SetText(ProgressLine::kStatus, "Searching changed files");
    EXPECT_EQ(out_.Unread(), "");  // hidden until the engine begins
    view->Show();
    view->SetText(ProgressLine::kPath, "C:\\Daten\\M\xE4rz");
    view->SetText(ProgressLine::kStatus, "     3 Files copied");
    view->SetText(ProgressLine::kKind, "2 files have been saved.");
    presenter.ShowErrorList(2, {"C:\\data\\b.txt", "C:\\DATA\\a.txt"});
    EXPECT_EQ(
        out_.Unread(),
        "Quillon  Version 2.10\nSearching changed files\nC:\\Daten\\M\xC3\xA4rz\n2 files have been saved.\n"
        "\n2 files have been copied\nCopy error. The files listed below could not be copied:\n"
        "  C:\\DATA\\a.txt\n  C:\\data\\b.txt\n");
}

// At a terminal the progress line is drawn over and over on the progress stream and erased before
// each report line, which the report holds exactly as it would without a terminal.
TEST_F(ConsolePresenterTest, LiveLineIsDrawnOverAndErasedBeforeEachReportLine) {
    {
        ConsolePresenter presenter(Streams(true, false));
        auto view = presenter.CreateProgressView(false);
        view->SetText(ProgressLine::kVersion, "Version 2.10");
        view->Show();
        for (int i = 0; i < 3; ++i) {
            view->SetSegment(i, true);
        }
        view->SetText(ProgressLine::kKind, "New");
        view->SetText(ProgressLine::kStatus, "Copying");
        view->SetText(ProgressLine::kPath, "C:\\a\\long\\path\\to\\the\\file.txt");
        view->Redraw();
        presenter.ShowMessageBox("Disk full", kMbOk);
        view->Redraw();
    }
    EXPECT_EQ(
        out_.Unread(),
        "Quillon  Version 2.10\nNew\nCopying\nC:\\a\\long\\path\\to\\the\\file.txt\n"
        "\nDisk full\n-> OK (answered at once: nobody can answer here, and an unanswered box gives this "
        "answer after 30 minutes)\n");
    const std::string live =
        "\r[###................................]  New  Copying  ...ng\\path\\to\\the\\file.txt\x1b[K";
    EXPECT_EQ(progress_.Unread(), live + "\r\x1b[K" + live + "\r\x1b[K");
}

// Without a terminal a box answers at once with its focused button; at one, the typed key answers,
// and Enter, a closed input or 30 minutes without an answer give the focused button. The offered
// check box starts unticked and comes back ticked only when X ticked it.
TEST_F(ConsolePresenterTest, BoxAnswers) {
    // Whether one can ask, the box, the lines typed (nullptr: none within 30 minutes), answer, whether the
    // check box is offered, and ticked at the end.
    const std::tuple<bool, unsigned, std::vector<const char*>, int, bool, bool> cases[] = {
        {false, kMbOk | kMbIconHand, {}, kIdOk, true, false},
        {false, kMbYesNo | kMbIconQuestion | kMbDefButton2 | kMbHelp, {}, kIdNo, true, false},
        {false, kMbOkCancel | kMbDefButton2, {}, kIdCancel, true, false},
        {true, 0x4124, {"x", "maybe", " Y"}, kIdYes, true, true},
        {true, 0x4124, {"x", "X", "n"}, kIdNo, true, false},
        {true, 0x4124, {"h", ""}, kIdNo, true, false},
        {true, kMbOkCancel, {"c"}, kIdCancel, true, false},
        {true, kMbOkCancel, {"y", nullptr}, kIdOk, true, false},
        {true, kMbYesNo | kMbDefButton2, {}, kIdNo, true, false},
        {false, kMbOk, {}, kIdOk, false, false},  // not offered: no check box line, the flag stays as it was
    };
    std::string output;
    for (const auto& [canAsk, style, keys, answer, offered, tick] : cases) {
        SCOPED_TRACE(::testing::Message() << canAsk << " " << std::hex << style << " " << keys.size());
        ConsolePresenter presenter(Streams(false, canAsk, {keys.begin(), keys.end()}));
        bool ticked = offered;
        EXPECT_EQ(presenter.ShowMessageBoxWithCheckBox("Sure?", style, ticked), answer);
        EXPECT_EQ(ticked, tick);
        const std::string shown = out_.Unread();
        EXPECT_EQ(shown.find("Please do not display") != std::string::npos, offered) << shown;
        output += shown;
    }
    EXPECT_NE(output.find("> [x] Please do not display this question again\n"), std::string::npos) << output;
    EXPECT_NE(output.find("[Y]es / [N]o / [H]elp, X ticks or clears the box (Enter: No) > "),
              std::string::npos);
    EXPECT_NE(output.find("\n-> OK (no answer for 30 minutes)\n"), std::string::npos) << output;
}

}  // namespace
}  // namespace quillon
