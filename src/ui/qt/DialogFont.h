// The font of the program's dialogs and the conversion of their dialog units into pixels.
// User-interface thread only.
#pragma once

#include <QFont>
#include <QRect>

namespace quillon {

// A plain sans-serif font of the dialogs' size: 11 pixels, 14 with large fonts.
QFont DialogFont(bool largeFonts);

// A rectangle of a dialog template in dialog units, in pixels: the dialog font's base units are 6 by 13
// pixels (8 by 16 with large fonts); x and widths count quarters of the width, y and heights eighths
// of the height, rounded.
QRect FromDialogUnits(int x, int y, int width, int height, bool largeFonts);

}  // namespace quillon
