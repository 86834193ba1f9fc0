// Picture controls of the dialogs: ImageButton, a push button drawn from the pictures of its role,
// which changes its picture when the mouse is over it and when its dialog marks it as the button that
// Enter presses; ImageCheckBox, a check box drawn the same way; LinkedLabel, a text that clicks its
// control when clicked. The buttons take no keyboard focus: their dialogs handle every key themselves.
//
// A button can tell another window when the mouse comes onto it and when it leaves: it sends that
// window a HoverNotification at once, the message WM_USER + 4 with the button's notify code on
// entering and 0 on leaving. Qt reports the mouse leaving a widget by itself, so the button needs no
// mouse capture to see the end of the hover.
//
// User-interface thread only.
#pragma once

#include <QAbstractButton>
#include <QEvent>
#include <QLabel>
#include <QPointer>
#include <cstdint>

#include "app/MessageLoop.h"

namespace quillon {

// The hover notification of the image buttons, as a Qt event delivered to the notify window.
class HoverNotification final : public QEvent {
  public:
    static constexpr uint32_t kMessage = WM_USER + 4;
    static constexpr QEvent::Type kType = static_cast<QEvent::Type>(QEvent::User + (kMessage - WM_USER));

    explicit HoverNotification(int code) : QEvent(kType), code_(code) {}
    // The message's second parameter: the button's notify code on entering, 0 on leaving.
    int Code() const { return code_; }

  private:
    int code_;
};

enum class ButtonRole { kHelp, kOk, kCancel, kYes, kNo, kClose, kCheckBox };

class ImageButton : public QAbstractButton {
  public:
    ImageButton(ButtonRole role, QWidget* parent);

    ButtonRole Role() const { return role_; }
    // Marks the button as the one Enter presses; it shows the highlighted pictures.
    void SetHighlighted(bool highlighted);
    bool Highlighted() const { return highlighted_; }
    // The mouse is over the button (or over a label linked to it). A change of the state tells the
    // notify window.
    void SetHovered(bool hovered);
    bool Hovered() const { return hovered_; }
    // window (null: nobody) receives a HoverNotification with code on every hover that begins and with
    // 0 on every hover that ends. The window may go away before the button.
    void SetNotifyWindow(QObject* window, int code);
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
    QPointer<QObject> notifyWindow_;
    int notifyCode_ = 0;
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
