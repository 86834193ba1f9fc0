// ErrorListDialog: the modal list of the files a run could not copy, with the number of files it did
// copy. The list is alphabetical (ui/ErrorList.h) and scrolls sideways as far as its widest path
// needs. Close, Escape, the close box and the wait window's 30-minute timer end it.
//
// User-interface thread only.
#pragma once

#include <QDialog>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/WaitWindow.h"

class QLabel;
class QListWidget;

namespace quillon {

class ImageButton;

class ErrorListDialog final : public QDialog, public AutoCloseDialog {
  public:
    ErrorListDialog(int32_t filesCopied, const std::vector<std::string>& uncopiedFiles, bool largeFonts);
    ~ErrorListDialog() override;

    // Shows the dialog modally; waitWindow (may be null) closes it after 30 minutes, and the dialog
    // unregisters from it as it closes.
    void ShowModal(CWaitWindow* waitWindow);

    // Called when Help is pressed; the dialog stays open.
    std::function<void()> OnHelp;

    void OnAutoClose() override;

    QListWidget* List() const { return list_; }
    QLabel* CountField() const { return count_; }
    int32_t HorizontalExtent() const { return extent_; }
    ImageButton* CloseButton() const { return close_; }

  private:
    QListWidget* list_ = nullptr;
    QLabel* count_ = nullptr;
    ImageButton* close_ = nullptr;
    int32_t extent_ = 0;
};

}  // namespace quillon
