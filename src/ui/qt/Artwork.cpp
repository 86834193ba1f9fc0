#include "ui/qt/Artwork.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <algorithm>
#include <cmath>
#include <functional>
#include <map>

namespace quillon {
namespace {

constexpr QSize kButtonSize(75, 23);
constexpr QSize kCheckSize(22, 21);

const QColor kNavy(24, 56, 112);
const QColor kSky(86, 140, 214);
const QColor kPaper(246, 248, 252);

// The look of one picture of an image button.
enum class ButtonLook { kNormal, kHover, kHighlighted, kHighlightedHover, kDisabled };

QPixmap Canvas(QSize size) {
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

QFont DialogFont(int pixels, bool bold = false) {
    QFont font("Sans Serif");
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

// The quill of the program's emblem, drawn into rect.
void DrawQuill(QPainter& painter, const QRectF& rect, const QColor& color) {
    QPainterPath feather;
    feather.moveTo(rect.left() + rect.width() * 0.15, rect.bottom() - rect.height() * 0.1);
    feather.cubicTo(rect.left() + rect.width() * 0.3, rect.top() + rect.height() * 0.45,
                    rect.left() + rect.width() * 0.55, rect.top() + rect.height() * 0.15, rect.right(),
                    rect.top());
    feather.cubicTo(rect.right() - rect.width() * 0.1, rect.top() + rect.height() * 0.45,
                    rect.left() + rect.width() * 0.5, rect.bottom() - rect.height() * 0.35,
                    rect.left() + rect.width() * 0.15, rect.bottom() - rect.height() * 0.1);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawPath(feather);
    painter.setPen(QPen(color, std::max(1.0, rect.width() / 24)));
    painter.drawLine(QPointF(rect.left() + rect.width() * 0.15, rect.bottom() - rect.height() * 0.1),
                     QPointF(rect.left(), rect.bottom()));
}

QPixmap Emblem(int size) {
    QPixmap pixmap = Canvas(QSize(size, size));
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient gradient(0, 0, size, size);
    gradient.setColorAt(0, kSky);
    gradient.setColorAt(1, kNavy);
    painter.setPen(Qt::NoPen);
    painter.setBrush(gradient);
    painter.drawRoundedRect(QRectF(0.5, 0.5, size - 1, size - 1), size / 6.0, size / 6.0);
    DrawQuill(painter, QRectF(size * 0.2, size * 0.15, size * 0.6, size * 0.7), Qt::white);
    return pixmap;
}

QPixmap Button(const QString& label, ButtonLook look) {
    QPixmap pixmap = Canvas(kButtonSize);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    bool hover = look == ButtonLook::kHover || look == ButtonLook::kHighlightedHover;
    bool highlighted = look == ButtonLook::kHighlighted || look == ButtonLook::kHighlightedHover;
    bool disabled = look == ButtonLook::kDisabled;
    QLinearGradient fill(0, 0, 0, kButtonSize.height());
    fill.setColorAt(0, disabled ? QColor(236, 236, 236) : hover ? QColor(232, 242, 255) : Qt::white);
    fill.setColorAt(1, disabled ? QColor(214, 214, 214)
                       : hover  ? QColor(180, 208, 245)
                                : QColor(214, 224, 238));
    QColor border = disabled ? QColor(170, 170, 170) : highlighted ? kNavy : QColor(120, 140, 170);
    painter.setPen(QPen(border, highlighted ? 2.0 : 1.0));
    painter.setBrush(fill);
    QRectF frame = highlighted ? QRectF(1, 1, kButtonSize.width() - 2, kButtonSize.height() - 2)
                               : QRectF(0.5, 0.5, kButtonSize.width() - 1, kButtonSize.height() - 1);
    painter.drawRoundedRect(frame, 4, 4);
    painter.setPen(disabled ? QColor(150, 150, 150) : kNavy);
    painter.setFont(DialogFont(11, highlighted));
    painter.drawText(QRect(QPoint(0, 0), kButtonSize), Qt::AlignCenter, label);
    return pixmap;
}

QPixmap CheckBox(bool ticked, bool hover, bool pressed, bool disabled) {
    QPixmap pixmap = Canvas(kCheckSize);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QRectF box(4.5, 4.5, 13, 13);
    QColor border = disabled ? QColor(170, 170, 170) : hover ? kSky : kNavy;
    painter.setPen(QPen(border, 1.2));
    painter.setBrush(pressed ? QColor(200, 214, 236) : disabled ? QColor(236, 236, 236) : Qt::white);
    painter.drawRoundedRect(box, 2, 2);
    if (ticked) {
        painter.setPen(
            QPen(disabled ? QColor(150, 150, 150) : kNavy, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPolyline(QPolygonF({QPointF(7.5, 11), QPointF(10, 14), QPointF(15, 7.5)}));
    }
    return pixmap;
}

// The icons of the message box: a red stop sign, a blue information disc, a yellow warning triangle
// and a blue question disc.
QPixmap BoxIcon(int id) {
    QPixmap pixmap = Canvas(QSize(32, 32));
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(60, 60, 60, 90), 1));
    QString sign;
    if (id == bitmap::kIconStop) {
        QPolygonF octagon;
        for (int i = 0; i < 8; ++i) {
            double angle = (22.5 + 45.0 * i) * 3.14159265 / 180.0;
            octagon << QPointF(16 + 15 * std::cos(angle), 16 + 15 * std::sin(angle));
        }
        painter.setBrush(QColor(200, 30, 30));
        painter.drawPolygon(octagon);
        painter.setPen(QPen(Qt::white, 3.5, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(10.5, 10.5), QPointF(21.5, 21.5));
        painter.drawLine(QPointF(21.5, 10.5), QPointF(10.5, 21.5));
        return pixmap;
    }
    if (id == bitmap::kIconExclamation) {
        painter.setBrush(QColor(250, 200, 30));
        painter.drawPolygon(QPolygonF({QPointF(16, 1.5), QPointF(31, 29.5), QPointF(1, 29.5)}));
        painter.setPen(Qt::black);
        painter.setFont(DialogFont(20, true));
        painter.drawText(QRect(0, 7, 32, 24), Qt::AlignCenter, "!");
        return pixmap;
    }
    painter.setBrush(QColor(36, 96, 196));
    painter.drawEllipse(QRectF(1, 1, 30, 30));
    painter.setPen(Qt::white);
    painter.setFont(DialogFont(id == bitmap::kIconQuestion ? 22 : 20, true));
    painter.drawText(QRect(0, 0, 32, 32), Qt::AlignCenter, id == bitmap::kIconQuestion ? "?" : "i");
    return pixmap;
}

QPixmap Segment(bool filled) {
    QPixmap pixmap = Canvas(QSize(8, 12));
    QPainter painter(&pixmap);
    painter.fillRect(0, 0, 8, 12, QColor(226, 232, 242));
    painter.fillRect(0, 0, 8, 1, QColor(120, 140, 170));
    painter.fillRect(0, 11, 8, 1, QColor(120, 140, 170));
    if (filled) {
        QLinearGradient gradient(0, 2, 0, 10);
        gradient.setColorAt(0, kSky);
        gradient.setColorAt(1, kNavy);
        painter.fillRect(1, 2, 6, 8, gradient);
    }
    return pixmap;
}

QPixmap BarEnd(bool left) {
    QPixmap pixmap = Canvas(QSize(4, 12));
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(120, 140, 170));
    painter.drawRoundedRect(QRectF(left ? 0 : -4, 0, 8, 12), 3, 3);
    painter.setBrush(QColor(226, 232, 242));
    painter.drawRect(QRectF(left ? 1 : 0, 1, 3, 10));
    return pixmap;
}

// The background of the progress dialog: a banner with the program's name along the top and a band
// down the left edge; the white panel of the texts lies over the rest.
QPixmap ProgressBackground() {
    QPixmap pixmap = Canvas(QSize(389, 171));
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient gradient(0, 0, 389, 171);
    gradient.setColorAt(0, kNavy);
    gradient.setColorAt(1, kSky);
    painter.fillRect(pixmap.rect(), gradient);
    painter.drawPixmap(10, 8, Emblem(36));
    painter.setPen(Qt::white);
    painter.setFont(DialogFont(22, true));
    painter.drawText(QRect(54, 6, 200, 40), Qt::AlignVCenter | Qt::AlignLeft, "Quillon");
    return pixmap;
}

QPixmap Picture() {
    return Emblem(56);
}

using Painter = std::function<QPixmap()>;

std::map<int, Painter> Painters() {
    std::map<int, Painter> painters;
    auto buttonSet = [&](const QString& label, int normal, int hover, int highlighted, int highlightedHover,
                         int disabled) {
        painters[normal] = [=] { return Button(label, ButtonLook::kNormal); };
        painters[hover] = [=] { return Button(label, ButtonLook::kHover); };
        painters[highlighted] = [=] { return Button(label, ButtonLook::kHighlighted); };
        painters[highlightedHover] = [=] { return Button(label, ButtonLook::kHighlightedHover); };
        if (disabled != 0) {
            painters[disabled] = [=] { return Button(label, ButtonLook::kDisabled); };
        }
    };
    buttonSet("Close", 301, 302, 281, 282, 303);
    buttonSet("OK", 304, 305, 307, 308, 306);
    buttonSet("Cancel", 309, 310, 312, 313, 311);
    buttonSet("Yes", 318, 319, 320, 321, 0);
    buttonSet("No", 322, 323, 324, 325, 0);
    buttonSet("Help", 326, 327, 328, 329, 330);
    painters[336] = [] { return CheckBox(false, false, false, false); };
    painters[337] = [] { return CheckBox(false, true, false, false); };
    painters[338] = [] { return CheckBox(false, false, false, true); };
    painters[339] = [] { return CheckBox(true, false, false, false); };
    painters[340] = [] { return CheckBox(true, true, false, false); };
    painters[341] = [] { return CheckBox(true, false, false, true); };
    painters[342] = [] { return CheckBox(false, false, true, false); };
    for (int id :
         {bitmap::kIconStop, bitmap::kIconInformation, bitmap::kIconExclamation, bitmap::kIconQuestion}) {
        painters[id] = [id] { return BoxIcon(id); };
    }
    painters[bitmap::kProgramIcon] = [] { return Emblem(32); };
    painters[bitmap::kPicture] = Picture;
    painters[bitmap::kSegmentEmpty] = [] { return Segment(false); };
    painters[bitmap::kSegmentFilled] = [] { return Segment(true); };
    painters[bitmap::kBarLeftEnd] = [] { return BarEnd(true); };
    painters[bitmap::kBarRightEnd] = [] { return BarEnd(false); };
    painters[bitmap::kProgressBackground] = ProgressBackground;
    return painters;
}

const std::map<int, Painter>& AllPainters() {
    static const std::map<int, Painter> painters = Painters();
    return painters;
}

}  // namespace

const QPixmap& Bitmap(int id) {
    // Kept for the life of the process and never destroyed: a pixmap must not outlive the application
    // object, and static destructors run after it has gone.
    static auto* drawn = new std::map<int, QPixmap>();
    static const auto* none = new QPixmap();
    auto found = drawn->find(id);
    if (found != drawn->end()) {
        return found->second;
    }
    auto painter = AllPainters().find(id);
    if (painter == AllPainters().end()) {
        return *none;
    }
    return drawn->emplace(id, painter->second()).first->second;
}

const std::vector<int>& BitmapIds() {
    static const std::vector<int> ids = [] {
        std::vector<int> all;
        for (const auto& [id, painter] : AllPainters()) {
            all.push_back(id);
        }
        return all;
    }();
    return ids;
}

QIcon ProgramIcon() {
    QIcon icon;
    for (int size : {16, 32, 48}) {
        icon.addPixmap(Emblem(size));
    }
    return icon;
}

}  // namespace quillon
