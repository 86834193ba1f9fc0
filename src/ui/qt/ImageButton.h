// Picture controls of the dialogs: ImageButton, a push button drawn from the pictures of its role,
// which changes its picture when the mouse is over it and when its dialog marks it as the button that
// Enter presses; ImageCheckBox, a check box drawn the same way; LinkedLabel, a text that clicks its
// control when clicked. The buttons take no keyboard focus: their dialogs handle every key themselves.
//
// User-interface thread only.
#pragma once

#include <QAbstractButton>
#include <QLabel>

namespace quillon {

enum class ButtonRole { kHelp, kOk, kCancel, kYes, kNo, kClose, kCheckBox };

class ImageButton : public QAbstractButton {
  public:
    ImageButton(ButtonRole role, QWidget* parent);

    ButtonRole Role() const { return role_; }
    // Marks the button as the one Enter presses; it shows the highlighted pictures.
    void SetHighlighted(bool highlighted);
    bool Highlighted() const { return highlighted_; }
    // The mouse is over the button (or over a label linked to it).
    void SetHovered(bool hovered);
    bool Hovered() const { return hovered_; }
    // The bitmap id the button shows in its present state.
    virtual int CurrentBitmap() const;

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    const ButtonRole role_;
    bool highlighted_ = false;
    bool hovered_ = false;
};

// Starts unticked; each click toggles it.
class ImageCheckBox final : public ImageButton {
  public:
    explicit ImageCheckBox(QWidget* parent);

    bool Ticked() const { return ticked_; }
    void SetTicked(bool ticked);
    void Toggle() { SetTicked(!ticked_); }
    int CurrentBitmap() const override;

  private:
    bool ticked_ = false;
};

// A label that acts on its control: pressing it shows the control pressed, releasing it clicks the
// control once, and the mouse over it counts as over the control.
class LinkedLabel final : public QLabel {
  public:
    LinkedLabel(const QString& text, QWidget* parent);
    void Link(ImageButton* control) { linked_ = control; }

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    ImageButton* linked_ = nullptr;  // not owned; a sibling in the same dialog
    bool pressed_ = false;
};

}  // namespace quillon
