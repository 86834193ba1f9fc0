// ConsolePresenter: the user interface of a program without a display. The run's report (the banner,
// each path, each step, the result, the messages and the list of files not copied) goes to one stream
// as plain lines, so that a file or a pipe holds it; the progress bar becomes one line on another
// stream that is a terminal, drawn over at every tick and erased before any report line. A message box
// prints its text and, when someone can answer at a terminal, waits for the answer typed with the
// box's keys; otherwise it answers at once as an unanswered box does after 30 minutes (with its focused
// button), and says so. No colour codes are written.
//
// The report goes to standard output, the progress line to standard error. User-interface thread
// only: the plain boxes reach it through
// SetMessageBoxPresenter(MessageBoxesOnLoopThread(loop, presenter.BoxPresenter())).
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/RunPresenter.h"
#include "platform/Terminal.h"
#include "support/MessageBox.h"

namespace quillon {

// Where the presenter writes and whether it may ask.
struct ConsoleStreams {
    std::FILE* Out = stdout;       // the report
    std::FILE* Progress = stderr;  // the live progress line, when LiveLine
    bool LiveLine = false;  // Progress is a terminal: the progress is one line there, drawn over and over
    bool CanAsk = false;    // standard input and Out are terminals: a box waits for an answer
    int Columns = 80;       // width of the live line
    // Reads one typed line, waiting at most the given milliseconds (ReadInputLine).
    std::function<InputResult(int64_t milliseconds, std::string& line)> ReadLine;
};

// Standard output and standard error, with LiveLine, CanAsk and Columns as the terminals are.
ConsoleStreams StandardConsoleStreams();

class ConsolePresenter final : public RunPresenter {
  public:
    // How long a box waits for a typed answer before it answers by itself.
    static constexpr int64_t kAnswerMilliseconds = 1'800'000;

    explicit ConsolePresenter(ConsoleStreams streams);
    ~ConsolePresenter() override;
    ConsolePresenter(const ConsolePresenter&) = delete;
    ConsolePresenter& operator=(const ConsolePresenter&) = delete;

    std::unique_ptr<ProgressView> CreateProgressView(bool largeFonts) override;
    int ShowMessageBoxWithCheckBox(const std::string& text, unsigned style, bool& checkBox) override;
    void SetMessageBoxHelpContext(int helpContext) override;
    void ShowErrorList(int32_t filesCopied, const std::vector<std::string>& uncopiedFiles) override;
    bool IsLargeFontSystem() override { return false; }
    bool HoldsFinishedDialog() const override { return false; }
    void ShowNotice(const std::string& text) override;

    // A plain message box (ShowMessageBox's style flags and answers).
    int ShowMessageBox(const std::string& text, unsigned style);
    // ShowMessageBox as a presenter for SetMessageBoxPresenter; the presenter must outlive it.
    MessageBoxPresenter BoxPresenter();

  private:
    class View;

    // offered: null for a box without the check box; else in, whether the box is offered, out,
    // whether someone ticked it.
    int Ask(const std::string& text, unsigned style, bool* offered);
    // Writes text to the report; a live progress line on the screen is erased first, so that the
    // report's lines stay clean (the next tick draws it again below them).
    void Write(const std::string& text);
    // Draws text over the live progress line.
    void DrawLiveLine(const std::string& text);
    // Erases the live progress line, when one is on the screen.
    void EraseLiveLine();

    ConsoleStreams streams_;
    bool lineOpen_ = false;  // a live progress line is on the screen without its line end
};

// Text as the console shows it: UTF-8 stays, anything else is read as code page 1252.
std::string ForConsole(const std::string& text);

}  // namespace quillon
