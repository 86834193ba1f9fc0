// ProgressWindow: the progress dialog on the desktop, the view that CQuillonDlg (app/ProgressDialog.h)
// drives: a background picture, a white panel, the version line at the top right, the three lines of
// the engine, and the bar of 35 segments between its two ends. The lines can be neither focused,
// selected nor typed into.
//
// The run cannot be stopped halfway: its title bar offers no close box, and a close request from the
// desktop all the same (Alt+F4, the window menu) only minimises the window while the run goes on. The
// window closes itself when the run has ended.
//
// User-interface thread only.
#pragma once

#include <QWidget>
#include <array>
#include <string>

#include "app/RunPresenter.h"

class QLabel;
class QLineEdit;

namespace quillon {

class ProgressWindow final : public QWidget, public ProgressView {
  public:
    // largeFonts: the smaller layout for large system fonts. The window starts hidden.
    explicit ProgressWindow(bool largeFonts);
    ~ProgressWindow() override;

    void SetText(ProgressLine line, const std::string& text) override;
    void SetSegment(int index, bool filled) override;
    void Show() override;
    void Redraw() override;
    void Close() override;

    QString Text(ProgressLine line) const;
    bool SegmentFilled(int index) const { return filled_[index]; }
    QLineEdit* Line(ProgressLine line) const;
    QLabel* Segment(int index) const { return segments_[index]; }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    std::array<QLineEdit*, 4> lines_{};  // by ProgressLine - 1000; children of the window
    std::array<QLabel*, kSegments> segments_{};
    std::array<bool, kSegments> filled_{};
};

}  // namespace quillon
