#include "ui/qt/ProgressWindow.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <algorithm>

#include "platform/Trace.h"
#include "ui/ConsolePresenter.h"
#include "ui/qt/Artwork.h"
#include "ui/qt/DialogFont.h"

namespace quillon {
namespace {

struct LineRect {
    ProgressLine Line;
    int Normal[4];  // x, y, width, height in dialog units
    int Large[4];
    bool Border;
};

constexpr LineRect kLines[] = {
    {ProgressLine::kVersion, {173, 2, 73, 12}, {130, 2, 55, 10}, false},
    {ProgressLine::kStatus, {47, 36, 200, 15}, {25, 29, 160, 12}, false},
    {ProgressLine::kPath, {44, 52, 176, 15}, {25, 42, 150, 12}, true},
    {ProgressLine::kKind, {47, 85, 200, 15}, {35, 69, 150, 12}, false},
};

// The white panel behind the lines and the bar; the band of the background picture lies left of it.
constexpr QPoint kPanelTopLeft(58, 50);
constexpr QPoint kPanelBottomRight(378, 169);
// The engine's lines keep this far inside the panel, whatever the layout's dialog units give.
constexpr int kLineIndent = 4;
constexpr int kBarTop = 120;
constexpr int kBarLeft = 58;
constexpr int kFirstSegment = 62;
constexpr int kSegmentStep = 8;
constexpr int kRightEnd = 342;

QLabel* Picture(QWidget* parent, int id, QPoint at) {
    auto* label = new QLabel(parent);
    label->setPixmap(Bitmap(id));
    label->setGeometry(QRect(at, Bitmap(id).size()));
    return label;
}

}  // namespace

ProgressWindow::ProgressWindow(bool largeFonts) {
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowMinimizeButtonHint);
    setWindowTitle("Quillon");
    setWindowIcon(ProgramIcon());
    setFont(DialogFont(largeFonts));
    // The template's size: 252 by 104 dialog units, 189 by 85 with large fonts.
    QRect client = largeFonts ? FromDialogUnits(0, 0, 189, 85, true) : FromDialogUnits(0, 0, 252, 104, false);
    setFixedSize(client.size());

    Picture(this, bitmap::kProgressBackground, QPoint(0, 0));
    // The white panel behind the lines and the bar (an empty, inert control in the dialog).
    auto* panel = new QWidget(this);
    panel->setAutoFillBackground(true);
    QPalette white = panel->palette();
    white.setColor(QPalette::Window, Qt::white);
    panel->setPalette(white);
    panel->setGeometry(QRect(kPanelTopLeft, kPanelBottomRight));

    Picture(this, bitmap::kBarLeftEnd, QPoint(kBarLeft, kBarTop));
    for (int i = 0; i < kSegments; ++i) {
        segments_[i] =
            Picture(this, bitmap::kSegmentEmpty, QPoint(kFirstSegment + kSegmentStep * i, kBarTop));
    }
    Picture(this, bitmap::kBarRightEnd, QPoint(kRightEnd, kBarTop));

    for (const LineRect& rect : kLines) {
        const int* r = largeFonts ? rect.Large : rect.Normal;
        auto* line = new QLineEdit(this);
        line->setReadOnly(true);
        line->setFocusPolicy(Qt::NoFocus);
        line->setAttribute(Qt::WA_TransparentForMouseEvents);
        line->setContextMenuPolicy(Qt::NoContextMenu);
        line->setFrame(rect.Border);
        QRect area = FromDialogUnits(r[0], r[1], r[2], r[3], largeFonts);
        if (rect.Line != ProgressLine::kVersion) {
            // The large layout's dialog units would reach into the band left of the panel.
            area.setLeft(std::max(area.left(), kPanelTopLeft.x() + kLineIndent));
        }
        line->setGeometry(area);
        QPalette colours = line->palette();
        colours.setColor(QPalette::Base, rect.Line == ProgressLine::kVersion ? Qt::transparent : Qt::white);
        colours.setColor(QPalette::Text, rect.Line == ProgressLine::kVersion ? Qt::white : Qt::black);
        line->setPalette(colours);
        lines_[static_cast<int>(rect.Line) - 1000] = line;
    }
}

ProgressWindow::~ProgressWindow() = default;

QLineEdit* ProgressWindow::Line(ProgressLine line) const {
    return lines_[static_cast<int>(line) - 1000];
}

QString ProgressWindow::Text(ProgressLine line) const {
    return Line(line)->text();
}

void ProgressWindow::SetText(ProgressLine line, const std::string& text) {
    QString shown = QString::fromStdString(ForConsole(text));
    if (Line(line)->text() != shown) {
        Line(line)->setText(shown);
        Line(line)->setCursorPosition(0);
    }
}

void ProgressWindow::SetSegment(int index, bool filled) {
    if (index < 0 || index >= kSegments || filled_[index] == filled) {
        return;
    }
    filled_[index] = filled;
    segments_[index]->setPixmap(Bitmap(filled ? bitmap::kSegmentFilled : bitmap::kSegmentEmpty));
}

void ProgressWindow::Show() {
    // Centred across, and a tenth of the desktop's width from its top.
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect desktop = screen->geometry();
        move(desktop.left() + (desktop.width() - width()) / 2, desktop.top() + desktop.width() / 10);
    }
    show();
}

void ProgressWindow::Redraw() {
    update();
}

void ProgressWindow::Close() {
    hide();
}

void ProgressWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
    Trace("Fortschrittsfenster minimiert: die Sicherung l\xE4uft weiter\n");
    showMinimized();
}

}  // namespace quillon
