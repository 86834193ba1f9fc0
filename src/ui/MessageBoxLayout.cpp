#include "ui/MessageBoxLayout.h"

#include <algorithm>

#include "support/StringTable.h"
#include "support/TextEstimates.h"

namespace quillon {
namespace {

int Index(const BoxKind& kind, BoxButton button) {
    auto found = std::find(kind.Buttons.begin(), kind.Buttons.end(), button);
    return found == kind.Buttons.end() ? 0 : static_cast<int>(found - kind.Buttons.begin()) + 1;
}

}  // namespace

BoxKind BoxKindFromStyle(unsigned style) {
    BoxKind kind;
    if ((style & 0x70) != 0) {
        kind.IconKind = static_cast<int>(style & 0x70);
    }
    kind.ButtonKind = static_cast<int>(style & 5);
    kind.YesNo = kind.ButtonKind == 4;
    kind.ShowHelp = (style & kMbHelp) != 0;
    kind.DefaultSecond = (style & kMbDefButton2) != 0;
    if (kind.ShowHelp) {
        kind.Buttons.push_back(BoxButton::kHelp);
    }
    kind.Buttons.push_back(BoxButton::kAffirmative);
    if (kind.YesNo || kind.ButtonKind == 1) {
        kind.Buttons.push_back(BoxButton::kNegative);
    }
    // A second default button that the box does not show would leave Enter pressing nothing.
    kind.FocusedButton =
        Index(kind, kind.DefaultSecond && (kind.YesNo || kind.ButtonKind == 1) ? BoxButton::kNegative
                                                                               : BoxButton::kAffirmative);
    return kind;
}

std::string NormaliseLineBreaks(const std::string& text) {
    std::string result;
    result.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) {
            result += '\r';
        }
        result += text[i];
    }
    return result;
}

BoxLayout LayoutBox(const std::string& text, bool largeFonts, int buttonCount, bool checkBox) {
    std::string normal = NormaliseLineBreaks(text);
    BoxLayout layout;
    layout.ContentWidth = std::max(EstimateMaxLineWidth(normal, largeFonts) + 100, 200);
    if (buttonCount >= 3) {
        layout.ContentWidth = std::max(layout.ContentWidth, 320);
    } else if (buttonCount == 2) {
        layout.ContentWidth = std::max(layout.ContentWidth, 250);
    }
    layout.TextHeight = std::max(EstimateTextHeight(normal, largeFonts) + 10, 26) + 7;
    int extraHeight = 0;
    if (checkBox) {
        extraHeight = largeFonts ? 38 : 30;
        layout.ContentWidth = std::max(layout.ContentWidth, largeFonts ? 390 : 330);
    }
    layout.WindowWidth = layout.ContentWidth + 10;
    layout.WindowHeight = layout.TextHeight + 107 + extraHeight;
    return layout;
}

int ButtonLeft(int windowWidth, int count, int width, int index) {
    int row = count * width + static_cast<int>(0.2 * (count - 1) * width);
    int first = 12 + ((windowWidth - 12) - row) / 2;
    return first + index * static_cast<int>(1.2 * width);
}

std::string CheckBoxLabel(const BoxKind& kind) {
    int answerButtons = static_cast<int>(kind.Buttons.size()) - (kind.ShowHelp ? 1 : 0);
    bool question = answerButtons > 1 && ((kind.IconKind & 0x20) != 0 || (kind.ButtonKind & 4) != 0);
    return LoadText(question ? kTextDoNotAskAgain : kTextDoNotShowAgain);
}

int BoxAnswer(const BoxKind& kind, int button) {
    bool affirmative = button >= 1 && button <= static_cast<int>(kind.Buttons.size()) &&
                       kind.Buttons[button - 1] == BoxButton::kAffirmative;
    if (kind.YesNo) {
        return affirmative ? kIdYes : kIdNo;
    }
    return affirmative ? kIdOk : kIdCancel;
}

int AcceleratorButton(const BoxKind& kind, char letter) {
    unsigned char upper = static_cast<unsigned char>(letter);
    if (upper >= 'a' && upper <= 'z') {
        upper = static_cast<unsigned char>(upper - 'a' + 'A');
    }
    if (upper == 'H') {
        return Index(kind, BoxButton::kHelp);
    }
    if (upper == (kind.YesNo ? 'Y' : 'O')) {
        return Index(kind, BoxButton::kAffirmative);
    }
    if (upper == (kind.YesNo ? 'N' : 'C')) {
        int negative = Index(kind, BoxButton::kNegative);
        return negative != 0 ? negative : -1;  // an OK box without Cancel: C answers as Escape does
    }
    return 0;
}

}  // namespace quillon
