#include "ui/qt/ImageButton.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QPainter>

#include "ui/qt/Artwork.h"

namespace quillon {
namespace {

// The pictures of one role: {normal, pressed, disabled} for each of (not highlighted, no hover),
// (not highlighted, hover), (highlighted, no hover), (highlighted, hover). 0: the role has no such
// picture and shows its normal one.
struct Pictures {
    int normal, pressed, disabled;
};

Pictures PicturesOf(ButtonRole role, bool highlighted, bool hover) {
    int state = (highlighted ? 2 : 0) + (hover ? 1 : 0);
    switch (role) {
        case ButtonRole::kHelp: {
            static const Pictures table[] = {
                {326, 326, 330}, {327, 326, 330}, {328, 328, 330}, {329, 328, 330}};
            return table[state];
        }
        case ButtonRole::kOk: {
            static const Pictures table[] = {
                {304, 304, 306}, {305, 304, 306}, {307, 304, 306}, {308, 304, 306}};
            return table[state];
        }
        case ButtonRole::kCancel: {
            static const Pictures table[] = {
                {309, 309, 311}, {310, 309, 311}, {312, 309, 309}, {313, 309, 309}};
            return table[state];
        }
        case ButtonRole::kYes: {
            static const Pictures table[] = {{318, 318, 0}, {319, 318, 0}, {320, 318, 0}, {321, 318, 0}};
            return table[state];
        }
        case ButtonRole::kNo: {
            static const Pictures table[] = {{322, 322, 0}, {323, 322, 0}, {324, 322, 0}, {325, 322, 0}};
            return table[state];
        }
        case ButtonRole::kClose: {
            static const Pictures table[] = {
                {301, 301, 303}, {302, 301, 303}, {281, 281, 303}, {282, 281, 303}};
            return table[state];
        }
        case ButtonRole::kCheckBox:
            break;
    }
    return {336, 342, 338};
}

}  // namespace

ImageButton::ImageButton(ButtonRole role, QWidget* parent) : QAbstractButton(parent), role_(role) {
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_Hover);
    resize(sizeHint());
}

void ImageButton::SetHighlighted(bool highlighted) {
    highlighted_ = highlighted;
    update();
}

void ImageButton::SetHovered(bool hovered) {
    if (hovered == hovered_) {
        return;
    }
    hovered_ = hovered;
    update();
    if (notifyWindow_ != nullptr) {
        HoverNotification notification(hovered ? notifyCode_ : 0);
        QCoreApplication::sendEvent(notifyWindow_, &notification);
    }
}

void ImageButton::SetNotifyWindow(QObject* window, int code) {
    notifyWindow_ = window;
    notifyCode_ = code;
}

int ImageButton::CurrentBitmap() const {
    Pictures pictures = PicturesOf(role_, highlighted_, hovered_);
    if (!isEnabled() && pictures.disabled != 0) {
        return pictures.disabled;
    }
    return isDown() ? pictures.pressed : pictures.normal;
}

QSize ImageButton::sizeHint() const {
    return Bitmap(CurrentBitmap()).size();
}

void ImageButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawPixmap(0, 0, Bitmap(CurrentBitmap()));
}

void ImageButton::enterEvent(QEnterEvent* event) {
    SetHovered(true);
    QAbstractButton::enterEvent(event);
}

void ImageButton::leaveEvent(QEvent* event) {
    SetHovered(false);
    QAbstractButton::leaveEvent(event);
}

ImageCheckBox::ImageCheckBox(QWidget* parent) : ImageButton(ButtonRole::kCheckBox, parent) {
    connect(this, &QAbstractButton::clicked, this, [this] { Toggle(); });
}

void ImageCheckBox::SetTicked(bool ticked) {
    ticked_ = ticked;
    update();
}

int ImageCheckBox::CurrentBitmap() const {
    if (!isEnabled()) {
        return ticked_ ? 341 : 338;
    }
    if (isDown()) {
        return 342;
    }
    if (ticked_) {
        return Hovered() ? 340 : 339;
    }
    return Hovered() ? 337 : 336;
}

LinkedLabel::LinkedLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    setCursor(Qt::ArrowCursor);
}

void LinkedLabel::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && linked_ != nullptr && linked_->isEnabled()) {
        linked_->setDown(true);
        pressed_ = true;
    }
}

void LinkedLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && linked_ != nullptr && pressed_) {
        pressed_ = false;
        linked_->setDown(false);
        linked_->click();  // acts as a click on the control: the check box toggles once
    }
}

void LinkedLabel::enterEvent(QEnterEvent*) {
    if (linked_ != nullptr) {
        linked_->SetHovered(true);
    }
}

void LinkedLabel::leaveEvent(QEvent*) {
    if (linked_ != nullptr) {
        linked_->SetHovered(false);
    }
}

}  // namespace quillon
