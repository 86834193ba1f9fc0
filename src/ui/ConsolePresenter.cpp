#include "ui/ConsolePresenter.h"

#include <array>
#include <cctype>

#include "support/CodePage1252.h"
#include "support/NumberText.h"
#include "support/StringTable.h"
#include "ui/ErrorList.h"

namespace quillon {
namespace {

bool IsUtf8(const std::string& text) {
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        size_t extra;
        if (c < 0x80) {
            extra = 0;
        } else if ((c & 0xE0) == 0xC0 && c >= 0xC2) {
            extra = 1;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
        } else if ((c & 0xF8) == 0xF0 && c <= 0xF4) {
            extra = 3;
        } else {
            return false;
        }
        for (size_t k = 1; k <= extra; ++k) {
            if (i + k >= text.size() || (static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += extra + 1;
    }
    return true;
}

// Characters on the screen: UTF-8 continuation bytes take no column.
size_t Columns(const std::string& text) {
    size_t columns = 0;
    for (char c : text) {
        columns += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }
    return columns;
}

// The last `columns` characters of text.
std::string TailColumns(const std::string& text, size_t columns) {
    size_t have = Columns(text);
    size_t start = 0;
    while (have > columns && start < text.size()) {
        ++start;
        while (start < text.size() && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) {
            ++start;
        }
        --have;
    }
    return text.substr(start);
}

// The buttons of a box as its style flags give them: a Yes/No box when the button bits say so,
// otherwise an OK box, with Cancel only for OK/Cancel.
struct Buttons {
    explicit Buttons(unsigned style)
        : yesNo((style & 5) == 4),
          cancel((style & 5) == 1),
          help((style & kMbHelp) != 0),
          focusSecond((style & kMbDefButton2) != 0 && (yesNo || cancel)) {}

    int Affirmative() const { return yesNo ? kIdYes : kIdOk; }
    int Negative() const { return yesNo ? kIdNo : kIdCancel; }
    // The focused button, which an unanswered box presses after 30 minutes.
    int Focused() const { return focusSecond ? Negative() : Affirmative(); }
    bool HasSecond() const { return yesNo || cancel; }

    static const char* Name(int answer) {
        switch (answer) {
            case kIdYes:
                return "Yes";
            case kIdNo:
                return "No";
            case kIdCancel:
                return "Cancel";
            default:
                return "OK";
        }
    }

    bool yesNo;
    bool cancel;
    bool help;
    bool focusSecond;
};

}  // namespace

std::string ForConsole(const std::string& text) {
    return IsUtf8(text) ? text : Cp1252ToUtf8(text);
}

ConsoleStreams StandardConsoleStreams() {
    ConsoleStreams streams;
    streams.Out = stdout;
    streams.Progress = stderr;
    streams.LiveLine = IsTerminal(StandardStream::kError);
    // The box and its prompt are part of the report: only when that is on the screen can anybody
    // see what to answer.
    streams.CanAsk = IsTerminal(StandardStream::kOutput) && IsTerminal(StandardStream::kInput);
    streams.Columns = TerminalColumns(StandardStream::kError);
    streams.ReadLine = ReadInputLine;
    return streams;
}

// The progress dialog on the console.
class ConsolePresenter::View final : public ProgressView {
  public:
    explicit View(ConsolePresenter& presenter) : presenter_(presenter) { segments_.fill(false); }
    ~View() override { Finish(); }

    void SetText(ProgressLine line, const std::string& text) override {
        std::string& stored = Line(line);
        bool changed = stored != text;
        stored = text;
        if (changed && shown_) {
            PrintPlain(line, text);
        }
    }
    void SetSegment(int index, bool filled) override {
        if (index >= 0 && index < kSegments) {
            segments_[index] = filled;
        }
    }
    void Show() override {
        if (shown_) {
            return;
        }
        shown_ = true;
        presenter_.Write("Quillon  " + Line(ProgressLine::kVersion) + "\n");
        for (ProgressLine line : {ProgressLine::kKind, ProgressLine::kPath, ProgressLine::kStatus}) {
            PrintPlain(line, Line(line));
        }
    }
    void Redraw() override {
        if (shown_ && presenter_.streams_.LiveLine) {
            presenter_.DrawLiveLine(LiveText());
        }
    }
    void Close() override { Finish(); }

  private:
    std::string& Line(ProgressLine line) {
        return lines_[static_cast<size_t>(static_cast<int>(line) - static_cast<int>(ProgressLine::kStatus))];
    }

    // Plain output keeps to what a log wants: new texts, not the copied count of every tick.
    void PrintPlain(ProgressLine line, const std::string& text) {
        static const std::string kCountSuffix = LoadText(kTextFilesCopiedSuffix);
        if (line == ProgressLine::kVersion || text.empty()) {
            return;
        }
        if (line == ProgressLine::kStatus && text.size() >= kCountSuffix.size() &&
            text.compare(text.size() - kCountSuffix.size(), kCountSuffix.size(), kCountSuffix) == 0) {
            return;
        }
        presenter_.Write(ForConsole(text) + "\n");
    }

    std::string LiveText() {
        std::string bar = "[";
        for (bool filled : segments_) {
            bar += filled ? '#' : '.';
        }
        bar += "]";
        std::string front = bar;
        for (ProgressLine line : {ProgressLine::kKind, ProgressLine::kStatus}) {
            if (!Line(line).empty()) {
                front += "  " + ForConsole(Line(line));
            }
        }
        size_t width =
            presenter_.streams_.Columns > 1 ? static_cast<size_t>(presenter_.streams_.Columns - 1) : 79;
        std::string path = ForConsole(Line(ProgressLine::kPath));
        if (path.empty() || Columns(front) + 2 + 8 > width) {
            return Columns(front) > width ? front.substr(0, width) : front;
        }
        size_t room = width - Columns(front) - 2;
        if (Columns(path) > room) {
            path = "..." + TailColumns(path, room - 3);  // the end of a path says most
        }
        return front + "  " + path;
    }

    // The dialog goes, and with it the live line; the report already holds the result. A dialog
    // that was never shown (no path took part in the run) still leaves its summary, so a console user
    // learns how the run ended.
    void Finish() {
        if (finished_) {
            return;
        }
        finished_ = true;
        presenter_.EraseLiveLine();
        if (!shown_ && !Line(ProgressLine::kKind).empty()) {
            presenter_.Write(ForConsole(Line(ProgressLine::kKind)) + "\n");
        }
    }

    ConsolePresenter& presenter_;
    std::array<std::string, 4> lines_;
    std::array<bool, kSegments> segments_;
    bool shown_ = false;
    bool finished_ = false;
};

ConsolePresenter::ConsolePresenter(ConsoleStreams streams) : streams_(std::move(streams)) {}

ConsolePresenter::~ConsolePresenter() {
    Write("");
}

std::unique_ptr<ProgressView> ConsolePresenter::CreateProgressView(bool /*largeFonts*/) {
    return std::make_unique<View>(*this);
}

void ConsolePresenter::Write(const std::string& text) {
    EraseLiveLine();
    std::fputs(text.c_str(), streams_.Out);
    std::fflush(streams_.Out);
}

void ConsolePresenter::DrawLiveLine(const std::string& text) {
    std::fputs(("\r" + text + "\x1b[K").c_str(), streams_.Progress);
    std::fflush(streams_.Progress);
    lineOpen_ = true;
}

void ConsolePresenter::EraseLiveLine() {
    if (lineOpen_) {
        std::fputs("\r\x1b[K", streams_.Progress);
        std::fflush(streams_.Progress);
        lineOpen_ = false;
    }
}

int ConsolePresenter::ShowMessageBox(const std::string& text, unsigned style) {
    return Ask(text, style, nullptr);
}

MessageBoxPresenter ConsolePresenter::BoxPresenter() {
    return [this](const std::string& text, unsigned style) { return ShowMessageBox(text, style); };
}

int ConsolePresenter::ShowMessageBoxWithCheckBox(const std::string& text, unsigned style, bool& checkBox) {
    return Ask(text, style, &checkBox);
}

void ConsolePresenter::SetMessageBoxHelpContext(int /*helpContext*/) {
    // The console has no help viewer to open at a topic.
}

int ConsolePresenter::Ask(const std::string& text, unsigned style, bool* offered) {
    Buttons buttons(style);
    // The caller's flag says whether the box is offered; the box itself starts unticked and only a
    // person's X ticks it. An answer given without anyone at the terminal never ticks it: a ticked box
    // hands the next runs' questions to their defaults (for the disk-space question: delete).
    bool ticked = false;
    bool* checkBox = offered != nullptr && *offered ? &ticked : nullptr;
    auto handBack = [&](int answer) {
        if (offered != nullptr) {
            *offered = ticked;
        }
        return answer;
    };
    // A question's box (two answers, and a question icon or Yes/No) asks not to be asked again; any
    // other box not to be shown again.
    bool question = buttons.HasSecond() && ((style & kMbIconQuestion) != 0 || buttons.yesNo);
    std::string label = LoadText(question ? kTextDoNotAskAgain : kTextDoNotShowAgain);
    auto checkLine = [&] { return std::string(*checkBox ? "[x]" : "[ ]") + label + "\n"; };

    Write("\n" + ForConsole(text) + "\n");
    if (checkBox != nullptr) {
        Write(checkLine());
    }
    if (!streams_.CanAsk || !streams_.ReadLine) {
        int answer = buttons.Focused();
        Write(std::string("-> ") + Buttons::Name(answer) +
              " (answered at once: nobody can answer here, and an unanswered box gives this answer after "
              "30 minutes)\n");
        return handBack(answer);
    }

    std::string prompt = buttons.yesNo ? "[Y]es / [N]o" : buttons.cancel ? "[O]K / [C]ancel" : "[O]K";
    if (buttons.help) {
        prompt += " / [H]elp";
    }
    if (checkBox != nullptr) {
        prompt += ", X ticks or clears the box";
    }
    prompt += std::string(" (Enter: ") + Buttons::Name(buttons.Focused()) + ") > ";
    for (;;) {
        Write(prompt);
        std::string typed;
        InputResult result = streams_.ReadLine(kAnswerMilliseconds, typed);
        if (result != InputResult::kLine) {
            int answer = buttons.Focused();
            Write(std::string("\n-> ") + Buttons::Name(answer) +
                  (result == InputResult::kTimedOut ? " (no answer for 30 minutes)\n" : " (input closed)\n"));
            return handBack(answer);
        }
        size_t first = typed.find_first_not_of(" \t");
        char key = first == std::string::npos ? '\0' : static_cast<char>(std::tolower(typed[first]));
        if (key == '\0') {
            return handBack(buttons.Focused());
        }
        if (buttons.yesNo && (key == 'y' || key == 'n')) {
            return handBack(key == 'y' ? kIdYes : kIdNo);
        }
        if (!buttons.yesNo && key == 'o') {
            return handBack(kIdOk);
        }
        if (buttons.cancel && key == 'c') {
            return handBack(kIdCancel);
        }
        if (buttons.help && key == 'h') {
            Write("No help can be shown on the console.\n");
            continue;
        }
        if (checkBox != nullptr && key == 'x') {
            *checkBox = !*checkBox;
            Write(checkLine());
        }
    }
}

void ConsolePresenter::ShowNotice(const std::string& text) {
    Write(ForConsole(text) + "\n");
}

void ConsolePresenter::ShowErrorList(int32_t filesCopied, const std::vector<std::string>& uncopiedFiles) {
    if (streams_.LiveLine) {
        std::fputs("\a", streams_.Progress);  // the stop sound of the desktop's list
    }
    std::string text = "\n" + IntToText(filesCopied) + " " + LoadText(kTextFilesHaveBeenCopied) + "\n" +
                       LoadText(kTextCopyErrorList) + "\n";
    for (const std::string& path : ErrorListInDisplayOrder(uncopiedFiles)) {
        text += "  " + ForConsole(path) + "\n";
    }
    Write(text);
}

}  // namespace quillon
