// What the run needs from a user interface: a view for the progress dialog, the question box with its
// do-not-ask-again check box, the error list, and a few facts about the screen. The console presenter
// (ui/ConsolePresenter.h) implements it, and so does the desktop's. Plain message boxes go through
// ShowMessageBox (support/MessageBox.h), whose presenter the user interface installs as well.
//
// Every call comes from the user-interface thread (the loop's thread).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quillon {

// The four text lines of the progress dialog, by the ids of their controls.
enum class ProgressLine : int {
    kStatus = 1000,   // engine status texts, the copied-files count
    kPath = 1001,     // the path being worked on
    kVersion = 1002,  // "Version 2.10" or "Test 3", set once
    kKind = 1003,     // kind of backup; the run's summary at the end
};

// Draws a progress dialog. The dialog's model (CQuillonDlg) decides everything; the view only shows
// what it is told. A new view is made for every run and destroyed with its dialog.
class ProgressView {
  public:
    static constexpr int kSegments = 35;

    virtual ~ProgressView() = default;
    // The text of one line; the same text may come again.
    virtual void SetText(ProgressLine line, const std::string& text) = 0;
    // Segment index (0 to kSegments - 1) of the bar shows the filled or the empty picture.
    virtual void SetSegment(int index, bool filled) = 0;
    // The dialog becomes visible (the engine has begun the first path); it is created hidden.
    virtual void Show() = 0;
    // The changes of one timer tick are complete: a view that draws in batches draws now.
    virtual void Redraw() = 0;
    // The dialog closes while the program goes on (a resident program waiting for its next run).
    virtual void Close() = 0;
};

class RunPresenter {
  public:
    virtual ~RunPresenter() = default;

    // A hidden progress dialog for one run; largeFonts selects the smaller layout. Never null.
    virtual std::unique_ptr<ProgressView> CreateProgressView(bool largeFonts) = 0;

    // A modal message box like ShowMessageBox (same style flags, same answers) that also offers the
    // check box "Please do not display this question/message again". checkBox: in, whether the check
    // box is offered (it always starts unticked); out, whether a person ticked it. A box answered
    // without anyone there (no terminal) hands it back unticked.
    virtual int ShowMessageBoxWithCheckBox(const std::string& text, unsigned style, bool& checkBox) = 0;

    // The help topic that the Help button of the following message boxes opens.
    virtual void SetMessageBoxHelpContext(int helpContext) = 0;

    // The modal list of the files that could not be copied, with the number of files copied. The list
    // is shown sorted alphabetically (ui/ErrorList.h); the stop sound plays as it opens.
    virtual void ShowErrorList(int32_t filesCopied, const std::vector<std::string>& uncopiedFiles) = 0;

    // True when the screen's fonts are so large that the smaller dialog layouts must be used.
    virtual bool IsLargeFontSystem() = 0;

    // Whether the finished run's dialog stays on the screen for a moment (CQuillonDlg's closing timer)
    // so that the user can read the result: a window does; the console has printed the result, and the
    // program ends (or waits for its next run) at once.
    virtual bool HoldsFinishedDialog() const { return true; }

    // A line about what the program is doing while no dialog shows it: waiting for another run, the
    // time of the next run of a resident program. The console prints it in its report; the desktop
    // has its wait window and shows nothing.
    virtual void ShowNotice(const std::string& /*text*/) {}
};

}  // namespace quillon
