#include "ui/qt/DialogFont.h"

namespace quillon {
namespace {

int Scale(int units, int base, int divisor) {
    return (units * base + divisor / 2) / divisor;
}

}  // namespace

QFont DialogFont(bool largeFonts) {
    QFont font("Sans Serif");
    font.setPixelSize(largeFonts ? 14 : 11);
    return font;
}

QRect FromDialogUnits(int x, int y, int width, int height, bool largeFonts) {
    int baseX = largeFonts ? 8 : 6;
    int baseY = largeFonts ? 16 : 13;
    return QRect(Scale(x, baseX, 4), Scale(y, baseY, 8), Scale(width, baseX, 4), Scale(height, baseY, 8));
}

}  // namespace quillon
