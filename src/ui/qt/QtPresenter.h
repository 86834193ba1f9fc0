// QtPresenter: the user interface of the program on the desktop. The progress dialog is a
// ProgressWindow, every message box a WhiteMessageBox, the list of uncopied files an ErrorListDialog.
// Each modal dialog registers with the application's wait window, whose timer closes it after 30
// minutes without an answer.
//
// User-interface thread only, like RunPresenter; the plain boxes of other threads reach it through
// SetMessageBoxPresenter(MessageBoxesOnLoopThread(loop, presenter.BoxPresenter())).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/RunPresenter.h"
#include "support/MessageBox.h"
#include "ui/qt/DesktopHelp.h"

namespace quillon {

class CQuillonRunApp;

class QtPresenter final : public RunPresenter {
  public:
    // A QApplication must exist for as long as the presenter is used.
    QtPresenter();
    ~QtPresenter() override;
    QtPresenter(const QtPresenter&) = delete;
    QtPresenter& operator=(const QtPresenter&) = delete;

    // The application whose wait window closes forgotten dialogs and whose LargeFonts selects the
    // smaller layouts; not owned, may be null (no auto-close, normal layouts).
    void Attach(CQuillonRunApp* app) { app_ = app; }

    std::unique_ptr<ProgressView> CreateProgressView(bool largeFonts) override;
    int ShowMessageBoxWithCheckBox(const std::string& text, unsigned style, bool& checkBox) override;
    void SetMessageBoxHelpContext(int helpContext) override { helpContext_ = helpContext; }
    void ShowErrorList(int32_t filesCopied, const std::vector<std::string>& uncopiedFiles) override;
    // Large fonts: a screen of 120 logical dots per inch or more.
    bool IsLargeFontSystem() override;

    // A plain message box (ShowMessageBox's style flags and answers).
    int ShowMessageBox(const std::string& text, unsigned style);
    // ShowMessageBox as a presenter for SetMessageBoxPresenter; the presenter must outlive it.
    MessageBoxPresenter BoxPresenter();

    // Opens the help at the current help context when a dialog's Help is pressed; the dialog stays
    // open meanwhile. Tests put a help of their own here.
    DesktopHelp Help;

  private:
    int Ask(const std::string& text, unsigned style, bool* checkBox);
    bool LargeFonts() const;

    CQuillonRunApp* app_ = nullptr;
    int helpContext_;  // the default topic until the progress dialog names another
};

}  // namespace quillon
