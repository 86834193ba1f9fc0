#include "ui/qt/ErrorListDialog.h"

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QScreen>

#include "support/StringTable.h"
#include "ui/ConsolePresenter.h"
#include "ui/ErrorList.h"
#include "ui/qt/Artwork.h"
#include "ui/qt/DialogFont.h"
#include "ui/qt/ImageButton.h"

namespace quillon {
namespace {

QString Shown(const std::string& text) {
    return QString::fromStdString(ForConsole(text));
}

}  // namespace

ErrorListDialog::ErrorListDialog(int32_t filesCopied, const std::vector<std::string>& uncopiedFiles,
                                 bool largeFonts) {
    setWindowTitle("Quillon");
    setWindowIcon(ProgramIcon());
    setFont(DialogFont(largeFonts));
    // The layout in dialog units, the picture's band along the left edge.
    auto at = [largeFonts](int x, int y, int w, int h) { return FromDialogUnits(x, y, w, h, largeFonts); };
    setFixedSize(at(0, 0, largeFonts ? 260 : 320, largeFonts ? 150 : 180).size());

    auto* band = new QWidget(this);
    band->setAutoFillBackground(true);
    QPalette colours = band->palette();
    colours.setColor(QPalette::Window, QColor(24, 56, 112));
    band->setPalette(colours);
    band->setGeometry(0, 0, 72, height());
    auto* picture = new QLabel(band);
    picture->setPixmap(Bitmap(bitmap::kPicture));
    picture->setGeometry(QRect(QPoint(8, 8), Bitmap(bitmap::kPicture).size()));

    int left = 72 + 12;
    QRect countRect = at(0, 8, 40, 12);
    count_ = new QLabel(QString::number(filesCopied), this);
    // A bordered white field like a read-only edit line; the style's sunken panel hardly shows on the
    // dialog's grey.
    count_->setStyleSheet("QLabel { background: white; border: 1px solid #8c8c8c; padding-right: 4px; }");
    count_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    count_->setGeometry(left, countRect.y(), countRect.width(), countRect.height());
    auto* copied = new QLabel(Shown(LoadText(kTextFilesHaveBeenCopied)), this);
    copied->setGeometry(count_->geometry().right() + 8, countRect.y(), width() - left - countRect.width(),
                        countRect.height());
    QRect textRect = at(0, 28, 0, 10);
    auto* heading = new QLabel(Shown(LoadText(kTextCopyErrorList)), this);
    heading->setGeometry(left, textRect.y(), width() - left - 12, textRect.height());

    QRect listRect = at(0, 42, 0, largeFonts ? 80 : 108);
    list_ = new QListWidget(this);
    list_->setGeometry(left, listRect.y(), width() - left - 12, listRect.height());
    list_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    list_->setUniformItemSizes(true);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    // Every line is as wide as the extent, so the list scrolls sideways exactly that far.
    extent_ = ListHorizontalExtent(uncopiedFiles, largeFonts);
    int lineHeight = list_->fontMetrics().height() + 2;
    for (const std::string& path : ErrorListInDisplayOrder(uncopiedFiles)) {
        auto* item = new QListWidgetItem(Shown(path), list_);
        item->setSizeHint(QSize(extent_, lineHeight));
    }

    int buttonTop = list_->geometry().bottom() + 10;
    auto* help = new ImageButton(ButtonRole::kHelp, this);
    help->move(left, buttonTop);
    connect(help, &QAbstractButton::clicked, this, [this] {
        if (OnHelp) {
            OnHelp();
        }
    });
    close_ = new ImageButton(ButtonRole::kClose, this);
    close_->SetHighlighted(true);
    close_->move(width() - 12 - close_->width(), buttonTop);
    connect(close_, &QAbstractButton::clicked, this, [this] { accept(); });

    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
    }
}

ErrorListDialog::~ErrorListDialog() = default;

void ErrorListDialog::ShowModal(CWaitWindow* waitWindow) {
    QApplication::beep();
    if (waitWindow != nullptr) {
        waitWindow->OpenAutoCloseDialog(*this);
    }
    exec();
    if (waitWindow != nullptr) {
        waitWindow->CloseAutoCloseDialog(*this);
    }
}

void ErrorListDialog::OnAutoClose() {
    accept();
}

}  // namespace quillon
