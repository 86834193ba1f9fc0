// WhiteMessageBox: the program's own modal message box on the desktop. It takes ShowMessageBox's
// style flags and gives its answers, sizes itself to its text (ui/MessageBoxLayout.h), draws its
// picture, icon and buttons from the program's artwork, can offer the do-not-show-again check box, is
// worked by keyboard alone (Escape, Tab, Enter, the arrows, the letters of its buttons), and closes
// itself through the wait window's timer when nobody answers for 30 minutes.
//
// User-interface thread only: other threads reach it through MessageLoop::Invoke.
#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "app/WaitWindow.h"
#include "ui/MessageBoxLayout.h"

class QLabel;

namespace quillon {

class ImageButton;
class ImageCheckBox;
class LinkedLabel;

class WhiteMessageBox final : public QDialog, public AutoCloseDialog {
  public:
    // Outer frame of the window (borders and title bar) that the box's computed window size includes.
    static constexpr int kFrameWidth = 6;
    static constexpr int kFrameHeight = 25;

    // offerCheckBox: the do-not-show-again check box is shown, unticked.
    WhiteMessageBox(const std::string& text, unsigned style, bool offerCheckBox, bool largeFonts);
    ~WhiteMessageBox() override;

    // Shows the box modally and answers as ShowMessageBox does. waitWindow (may be null) closes the box
    // after 30 minutes; the box unregisters from it when it closes.
    int Ask(CWaitWindow* waitWindow);

    // Called with the help context when Help is pressed; the box stays open.
    std::function<void()> OnHelp;

    bool CheckBoxTicked() const;
    int FocusedButton() const { return focused_; }
    ImageButton* Button(int index) const { return buttons_[index - 1]; }  // 1-based, left to right
    ImageCheckBox* CheckBox() const { return checkBox_; }
    LinkedLabel* CheckBoxLabel() const { return label_; }

    // The wait window's timer: closes the box as its focused button would, Help counting as No/Cancel.
    void OnAutoClose() override;

  protected:
    bool event(QEvent* event) override;

  private:
    void SetFocusedButton(int button);
    // Presses button (1-based): Help opens the help and the box stays, any other ends the box.
    void Press(int button);
    // Handles a key press; every key press ends here.
    void OnKey(class QKeyEvent* key);

    const BoxKind kind_;
    const BoxLayout layout_;
    int focused_ = 1;
    std::vector<ImageButton*> buttons_;  // owned by the dialog as its children
    QLabel* text_ = nullptr;
    ImageCheckBox* checkBox_ = nullptr;
    LinkedLabel* label_ = nullptr;
};

}  // namespace quillon
