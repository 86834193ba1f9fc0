// The message box's arithmetic, apart from any toolkit: which buttons it shows and in what order, its
// size from the estimated extent of its text, where its buttons go, what Tab, the arrows and the
// letter keys do, and which answer each way of closing it gives. The desktop's box (ui/qt) draws what
// this decides. Stateless; any thread.
#pragma once

#include <string>
#include <vector>

#include "support/MessageBox.h"

namespace quillon {

enum class BoxButton { kHelp, kAffirmative, kNegative };

// What a box shows, from the caller's style flags (support/MessageBox.h).
struct BoxKind {
    int IconKind = 0x30;    // 0x10 stop, 0x20 question, 0x30 exclamation, 0x40 information
    int ButtonKind = 0;     // 0 OK, 1 OK and Cancel, 4 Yes and No
    bool YesNo = false;     // the Yes/No box; otherwise the OK box
    bool ShowHelp = false;  // a Help button left of the others
    bool DefaultSecond = false;
    std::vector<BoxButton> Buttons;  // left to right
    int FocusedButton = 1;           // 1-based index into Buttons: the button Enter presses at the start
};

BoxKind BoxKindFromStyle(unsigned style);

// Sizes in pixels, the window's outer size included.
struct BoxLayout {
    int ContentWidth = 0;
    int TextHeight = 0;
    int WindowWidth = 0;
    int WindowHeight = 0;
};

// text with its bare line feeds turned into CR LF.
std::string NormaliseLineBreaks(const std::string& text);

// The box's size for text (normalised or not), its buttons and whether the check box is offered.
BoxLayout LayoutBox(const std::string& text, bool largeFonts, int buttonCount, bool checkBox);

// Left edge of button index (0-based) of count buttons of width in a window of windowWidth, centred as
// a row with gaps of a fifth of a button, every division and product truncated.
int ButtonLeft(int windowWidth, int count, int width, int index);

// The check box's label: the "question" text for a question with more than one answer button, the
// "message" text otherwise.
std::string CheckBoxLabel(const BoxKind& kind);

// The answer of a box closed by button (1-based index) or, with button 0, by any other way (Escape,
// the close box): the affirmative button answers OK or Yes, everything else Cancel or No.
int BoxAnswer(const BoxKind& kind, int button);

// The button (1-based) a letter key presses, 0 when the letter means nothing in this box. letter is
// compared upper-cased.
int AcceleratorButton(const BoxKind& kind, char letter);

}  // namespace quillon
