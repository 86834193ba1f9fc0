// Artwork: every picture the dialogs show, drawn by the program itself with QPainter and kept under its
// bitmap id (the buttons' states, the message box icons, the check box, the progress bar, the
// backgrounds) and the program's icon. Nothing is loaded from files.
//
// User-interface thread only (pixmaps belong to the GUI thread); a QApplication must exist.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <vector>

namespace quillon {

// Bitmap ids the dialogs use.
namespace bitmap {
inline constexpr int kProgramIcon = 128;
inline constexpr int kPicture = 300;  // the picture of the message box and the error list
inline constexpr int kIconStop = 314;
inline constexpr int kIconInformation = 315;
inline constexpr int kIconExclamation = 316;
inline constexpr int kIconQuestion = 317;
inline constexpr int kSegmentEmpty = 331;
inline constexpr int kSegmentFilled = 332;
inline constexpr int kBarLeftEnd = 333;
inline constexpr int kBarRightEnd = 334;
inline constexpr int kProgressBackground = 345;
}  // namespace bitmap

// The picture registered under id, drawn at the first request; a null pixmap for an unknown id.
const QPixmap& Bitmap(int id);

// Every id that Bitmap knows, in ascending order.
const std::vector<int>& BitmapIds();

// The program's icon (bitmap::kProgramIcon) in the sizes a window needs.
QIcon ProgramIcon();

}  // namespace quillon
