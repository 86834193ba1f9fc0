#include "ui/ConsolePresenter.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <deque>

namespace quillon {
namespace {

class ConsolePresenterTest : public ::testing::Test {
  protected:
    ConsolePresenterTest() : out_(std::tmpfile()) {}
    ~ConsolePresenterTest() override { std::fclose(out_); }

    ConsoleStreams Streams(bool live, bool canAsk) {
        ConsoleStreams streams;
        streams.Out = out_;
        streams.LiveLine = live;
        streams.CanAsk = canAsk;
        streams.Columns = 80;
        streams.ReadLine = [this](int64_t, std::string& line) {
            if (typed.empty()) {
                return InputResult::kClosed;
            }
            auto [result, text] = typed.front();
            typed.pop_front();
            line = text;
            return result;
        };
        return streams;
    }
    // What was written since the last call.
    std::string Output() {
        std::fflush(out_);
        std::fseek(out_, read_, SEEK_SET);
        std::string text;
        for (int c = std::fgetc(out_); c != EOF; c = std::fgetc(out_)) {
            text += static_cast<char>(c);
        }
        read_ = std::ftell(out_);
        std::fseek(out_, 0, SEEK_END);  // the presenter goes on writing at the end
        return text;
    }

    std::FILE* out_;
    long read_ = 0;
    std::deque<std::pair<InputResult, std::string>> typed;
};

TEST_F(ConsolePresenterTest, PlainLinesShowNewTextsButNotEveryCount) {
    {
        ConsolePresenter presenter(Streams(false, false));
        presenter.SetMessageBoxHelpContext(0);
        auto view = presenter.CreateProgressView(false);
        view->SetText(ProgressLine::kVersion, "Version 2.10");
        view->SetText(ProgressLine::kStatus, "Searching changed files");
        EXPECT_EQ(Output(), "");  // hidden until the engine begins
        view->Show();
        view->SetText(ProgressLine::kPath, "C:\\Daten\\M\xE4rz");
        view->SetText(ProgressLine::kStatus, "     3 Files copied");
        view->SetText(ProgressLine::kPath, "");
        view->SetText(ProgressLine::kKind, "2 files have been saved.");
        view->Redraw();
    }
    EXPECT_EQ(
        Output(),
        "Quillon  Version 2.10\nSearching changed files\nC:\\Daten\\M\xC3\xA4rz\n2 files have been saved.\n");
}

TEST_F(ConsolePresenterTest, LiveLineIsDrawnOverAndEndedBeforeABox) {
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
    EXPECT_EQ(
        Output(),
        "Quillon  Version 2.10\n"
        "\r[###................................]  New  Copying  ...ng\\path\\to\\the\\file.txt\x1b[K"
        "\n\nDisk full\n-> OK (answered at once: nobody can answer here, and an unanswered box gives this "
        "answer after 30 minutes)\n");
}

TEST_F(ConsolePresenterTest, WithoutATerminalABoxAnswersWithItsFocusedButton) {
    const std::pair<unsigned, int> cases[] = {
        {kMbOk | kMbIconHand, kIdOk},
        {kMbYesNo | kMbIconQuestion | kMbDefButton2 | kMbHelp, kIdNo},
        {kMbOkCancel | kMbIconExclamation | kMbHelp, kIdOk},
        {kMbYesNo, kIdYes},
        {kMbOkCancel | kMbDefButton2, kIdCancel},
    };
    ConsolePresenter presenter(Streams(false, false));
    for (auto [style, answer] : cases) {
        EXPECT_EQ(presenter.ShowMessageBox("Question?", style), answer) << std::hex << style;
    }
    bool ticked = true;
    EXPECT_EQ(presenter.ShowMessageBoxWithCheckBox("Delete?", 0x4124, ticked), kIdNo);
    EXPECT_TRUE(ticked);
    std::string output = Output();
    EXPECT_NE(
        output.find("\nDelete?\n[x] Please do not display this question again\n-> No (answered at once"),
        std::string::npos)
        << output;
}

TEST_F(ConsolePresenterTest, AtATerminalTheTypedKeyAnswers) {
    struct Case {
        unsigned style;
        std::deque<std::pair<InputResult, std::string>> typed;
        int answer;
        bool ticked;
    };
    const Case cases[] = {
        {0x4124,
         {{InputResult::kLine, "x"}, {InputResult::kLine, "maybe"}, {InputResult::kLine, " Y"}},
         kIdYes,
         false},
        {0x4124,
         {{InputResult::kLine, "h"}, {InputResult::kLine, ""}},
         kIdNo,
         true},  // Enter: the focused button
        {kMbOkCancel, {{InputResult::kLine, "c"}}, kIdCancel, true},
        {kMbOkCancel, {{InputResult::kLine, "y"}, {InputResult::kTimedOut, ""}}, kIdOk, true},
        {kMbYesNo | kMbDefButton2, {}, kIdNo, true},  // the input has ended
    };
    ConsolePresenter presenter(Streams(false, true));
    for (const Case& c : cases) {
        typed = c.typed;
        bool ticked = true;
        EXPECT_EQ(presenter.ShowMessageBoxWithCheckBox("Sure?", c.style, ticked), c.answer)
            << std::hex << c.style;
        EXPECT_EQ(ticked, c.ticked);
    }
    std::string output = Output();
    EXPECT_NE(output.find("[Y]es / [N]o / [H]elp, X ticks or clears the box (Enter: No) > "),
              std::string::npos);
    EXPECT_NE(output.find("\n-> OK (no answer for 30 minutes)\n"), std::string::npos) << output;
}

TEST_F(ConsolePresenterTest, ErrorListIsSortedWithoutRegardToCase) {
    ConsolePresenter presenter(Streams(false, false));
    presenter.ShowErrorList(12, {"C:\\data\\b.txt", "C:\\Data\\C.txt", "C:\\DATA\\a.txt"});
    EXPECT_EQ(Output(),
              "\n12 files have been copied\nCopy error. The files listed below could not be copied:\n"
              "  C:\\DATA\\a.txt\n  C:\\data\\b.txt\n  C:\\Data\\C.txt\n");
}

}  // namespace
}  // namespace quillon
