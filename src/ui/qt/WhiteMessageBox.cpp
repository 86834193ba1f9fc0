#include "ui/qt/WhiteMessageBox.h"

#include <QApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>

#include "platform/Trace.h"
#include "ui/ConsolePresenter.h"
#include "ui/qt/Artwork.h"
#include "ui/qt/DialogFont.h"
#include "ui/qt/ImageButton.h"

namespace quillon {
namespace {

int IconBitmap(int iconKind) {
    switch (iconKind) {
        case 0x10:
            return bitmap::kIconStop;
        case 0x40:
            return bitmap::kIconInformation;
        case 0x20:
            return bitmap::kIconQuestion;
        default:
            return bitmap::kIconExclamation;
    }
}

ButtonRole RoleOf(const BoxKind& kind, BoxButton button) {
    switch (button) {
        case BoxButton::kHelp:
            return ButtonRole::kHelp;
        case BoxButton::kAffirmative:
            return kind.YesNo ? ButtonRole::kYes : ButtonRole::kOk;
        case BoxButton::kNegative:
            break;
    }
    return kind.YesNo ? ButtonRole::kNo : ButtonRole::kCancel;
}

}  // namespace

WhiteMessageBox::WhiteMessageBox(const std::string& text, unsigned style, bool offerCheckBox, bool largeFonts)
    : kind_(BoxKindFromStyle(style)),
      layout_(LayoutBox(text, largeFonts, static_cast<int>(kind_.Buttons.size()), offerCheckBox)) {
    setWindowTitle("Quillon");
    setWindowIcon(ProgramIcon());
    setFont(DialogFont(largeFonts));
    setFocusPolicy(Qt::StrongFocus);
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, Qt::white);
    setPalette(colours);
    setFixedSize(layout_.WindowWidth - kFrameWidth, layout_.WindowHeight - kFrameHeight);

    auto* picture = new QLabel(this);
    picture->setPixmap(Bitmap(bitmap::kPicture));
    picture->setGeometry(QRect(QPoint(8, 8), Bitmap(bitmap::kPicture).size()));

    int iconId = IconBitmap(kind_.IconKind);
    auto* icon = new QLabel(this);
    if (Bitmap(iconId).isNull()) {
        Trace("*** LoadBitmap(%d) erfolglos", iconId);
    } else {
        icon->setPixmap(Bitmap(iconId));
    }
    icon->setGeometry(20, 76, 32, 32);

    // The text keeps its line breaks as they are; CR LF shows as one break.
    std::string shown = ForConsole(text);
    std::erase(shown, '\r');
    text_ = new QLabel(QString::fromStdString(shown), this);
    text_->setTextFormat(Qt::PlainText);
    text_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    text_->setGeometry(75, 30, layout_.ContentWidth, layout_.TextHeight);
    // The size comes from a width table of the classic dialog font; a wider desktop font is made
    // smaller until the text fits inside the window.
    int room = width() - 75 - 6;
    QFont font = text_->font();
    while (font.pixelSize() > 8 &&
           QFontMetrics(font).boundingRect(QRect(0, 0, 10000, 10000), 0, text_->text()).width() > room) {
        font.setPixelSize(font.pixelSize() - 1);
    }
    text_->setFont(font);

    if (offerCheckBox) {
        checkBox_ = new ImageCheckBox(this);
        checkBox_->setGeometry(54, layout_.WindowHeight - 99, 22, 21);
        label_ = new LinkedLabel(QString::fromStdString(quillon::CheckBoxLabel(kind_)), this);
        label_->Link(checkBox_);
        if (largeFonts) {
            label_->setGeometry(75, layout_.WindowHeight - 97, 310, 18);
        } else {
            label_->setGeometry(75, layout_.WindowHeight - 95, 250, 15);
        }
    }

    int count = static_cast<int>(kind_.Buttons.size());
    for (int i = 0; i < count; ++i) {
        auto* button = new ImageButton(RoleOf(kind_, kind_.Buttons[i]), this);
        buttons_.push_back(button);
        connect(button, &QAbstractButton::clicked, this, [this, i] { Press(i + 1); });
    }
    QSize size = buttons_.front()->sizeHint();
    for (int i = 0; i < count; ++i) {
        buttons_[i]->setGeometry(ButtonLeft(layout_.WindowWidth, count, size.width(), i),
                                 layout_.WindowHeight - 60, size.width(), size.height());
    }
    SetFocusedButton(kind_.FocusedButton);

    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
}

WhiteMessageBox::~WhiteMessageBox() = default;

bool WhiteMessageBox::CheckBoxTicked() const {
    return checkBox_ != nullptr && checkBox_->Ticked();
}

int WhiteMessageBox::Ask(CWaitWindow* waitWindow) {
    QApplication::beep();
    if (waitWindow != nullptr) {
        waitWindow->OpenAutoCloseDialog(*this);
    }
    int result = exec();
    if (waitWindow != nullptr) {
        waitWindow->CloseAutoCloseDialog(*this);
    }
    // done() carries the button's answer; a rejected box (the close box) answers as Cancel or No.
    return result == QDialog::Rejected ? BoxAnswer(kind_, 0) : result;
}

void WhiteMessageBox::SetFocusedButton(int button) {
    focused_ = button;
    for (size_t i = 0; i < buttons_.size(); ++i) {
        buttons_[i]->SetHighlighted(static_cast<int>(i) + 1 == focused_);
    }
}

void WhiteMessageBox::Press(int button) {
    if (button >= 1 && button <= static_cast<int>(buttons_.size()) &&
        kind_.Buttons[button - 1] == BoxButton::kHelp) {
        if (OnHelp) {
            OnHelp();
        }
        return;
    }
    done(BoxAnswer(kind_, button));
}

void WhiteMessageBox::OnAutoClose() {
    Press(kind_.Buttons[focused_ - 1] == BoxButton::kHelp ? 0 : focused_);
}

bool WhiteMessageBox::event(QEvent* event) {
    // Before the dialog's own handling, which would move the focus with Tab and answer Enter itself.
    if (event->type() == QEvent::KeyPress) {
        OnKey(static_cast<QKeyEvent*>(event));
        return true;
    }
    if (event->type() == QEvent::ShortcutOverride) {
        event->accept();
        return true;
    }
    return QDialog::event(event);
}

void WhiteMessageBox::OnKey(QKeyEvent* key) {
    int count = static_cast<int>(buttons_.size());
    switch (key->key()) {
        case Qt::Key_Escape:
            Press(0);
            return;
        case Qt::Key_Tab:
            SetFocusedButton(focused_ % count + 1);
            return;
        case Qt::Key_Backtab:
            SetFocusedButton((focused_ + count - 2) % count + 1);
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            Press(focused_);
            return;
        case Qt::Key_Left:
            SetFocusedButton(std::max(focused_ - 1, 1));
            return;
        case Qt::Key_Right:
            SetFocusedButton(std::min(focused_ + 1, count));
            return;
        default:
            break;
    }
    // The letters by the key's label on the user's layout, with or without Alt.
    if (key->key() >= Qt::Key_A && key->key() <= Qt::Key_Z) {
        int button = AcceleratorButton(kind_, static_cast<char>('A' + (key->key() - Qt::Key_A)));
        if (button != 0) {
            Press(button < 0 ? 0 : button);
            for (ImageButton* each : buttons_) {
                each->update();
            }
        }
    }
}

}  // namespace quillon
