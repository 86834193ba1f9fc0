#include "ui/qt/ProgressWindow.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <string>

#include "ui/qt/Artwork.h"

namespace quillon::testing {
namespace {

TEST(ProgressWindowTest, TakesTheTemplatesSizeInPixelsAndPlacesItsLines) {
    ProgressWindow normal(false);
    EXPECT_EQ(normal.size(), QSize(378, 169));
    EXPECT_EQ(normal.Line(ProgressLine::kPath)->geometry(), QRect(66, 85, 264, 24));
    ProgressWindow large(true);
    EXPECT_EQ(large.size(), QSize(378, 170));
    for (ProgressLine line : {ProgressLine::kStatus, ProgressLine::kPath, ProgressLine::kKind}) {
        EXPECT_GE(large.Line(line)->x(), 62) << "on the white panel, off the band";
    }
}

TEST(ProgressWindowTest, ShowsTheBarsStatesAndTheLinesTexts) {
    ProgressWindow window(false);
    auto picture = [&](int i) { return window.Segment(i)->pixmap().cacheKey(); };
    qint64 empty = Bitmap(bitmap::kSegmentEmpty).cacheKey();
    qint64 filled = Bitmap(bitmap::kSegmentFilled).cacheKey();
    for (int i = 0; i < 17; ++i) {
        window.SetSegment(i, true);
    }
    window.SetSegment(16, false);
    window.SetSegment(ProgressView::kSegments, true);  // beyond the bar: ignored
    std::string bar;                                   // '#' filled, '.' empty, as drawn and as answered
    for (int i = 0; i < ProgressView::kSegments; ++i) {
        bar += picture(i) == filled && window.SegmentFilled(i)   ? '#'
               : picture(i) == empty && !window.SegmentFilled(i) ? '.'
                                                                 : '?';
    }
    EXPECT_EQ(bar, std::string(16, '#') + std::string(19, '.'));

    window.SetText(ProgressLine::kPath, "C:\\Daten\\M\xE4rz");  // code page 1252
    EXPECT_EQ(window.Text(ProgressLine::kPath), QString::fromUtf8("C:\\Daten\\M\xC3\xA4rz"));
}

TEST(ProgressWindowTest, ACloseRequestOnlyMinimisesTheWindowUntilTheRunClosesIt) {
    ProgressWindow window(false);
    window.Show();
    EXPECT_FALSE(window.close());  // the desktop's close request is refused
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.isMinimized());
    window.Close();
    EXPECT_FALSE(window.isVisible());
}

// A painter that draws nothing would leave a dialog's picture blank.
TEST(ArtworkTest, DrawsEveryBitmap) {
    for (int id : BitmapIds()) {
        EXPECT_FALSE(Bitmap(id).isNull()) << id;
    }
}

}  // namespace
}  // namespace quillon::testing
