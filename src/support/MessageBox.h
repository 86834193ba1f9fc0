// ShowMessageBox: the one way any part of the program puts a message in front of the user.
//
// The user-interface layer installs the presenter at start-up (a dialog on a desktop, the console
// otherwise). Until one is installed, the text goes to stderr and the box's default button answers.
// Callable from any thread; an installed presenter that needs its own thread hands the call over to it.
#pragma once

#include <functional>
#include <string>

namespace quillon {

// Buttons, icons and default button of a box, combined with '|' as in the Windows original.
enum MessageBoxStyle : unsigned {
    kMbOk = 0x0,
    kMbOkCancel = 0x1,
    kMbAbortRetryIgnore = 0x2,
    kMbYesNoCancel = 0x3,
    kMbYesNo = 0x4,
    kMbRetryCancel = 0x5,
    kMbTypeMask = 0xF,
    kMbIconHand = 0x10,
    kMbIconQuestion = 0x20,
    kMbIconExclamation = 0x30,
    kMbIconAsterisk = 0x40,
    kMbIconMask = 0xF0,
    kMbDefButton2 = 0x100,
    kMbDefButton3 = 0x200,
    kMbDefMask = 0xF00,
    kMbHelp = 0x4000,  // a Help button beside the others
};

// The button that closed a box.
enum MessageBoxAnswer : int {
    kIdOk = 1,
    kIdCancel = 2,
    kIdAbort = 3,
    kIdRetry = 4,
    kIdIgnore = 5,
    kIdYes = 6,
    kIdNo = 7,
};

using MessageBoxPresenter = std::function<int(const std::string& text, unsigned style)>;

// Shows text with the buttons and icon of style and answers the button chosen.
int ShowMessageBox(const std::string& text, unsigned style);

// The answer of the box's default button (the first, or the one kMbDefButton2/3 names).
int DefaultAnswer(unsigned style);

// Installs the presenter (an empty one restores the stderr fallback); answers the previous one.
MessageBoxPresenter SetMessageBoxPresenter(MessageBoxPresenter presenter);

}  // namespace quillon
