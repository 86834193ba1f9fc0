// CWaitWindow: the program's invisible main window. It exists from start-up to the end and carries
// two one-shot timers: 3 ends the wait for the scheduled run time, 4 closes a dialog box that has been
// left open for 30 minutes on an unattended computer.
//
// User-interface thread only.
#pragma once

#include <atomic>
#include <cstdint>

#include "app/MessageLoop.h"

namespace quillon {

class CQuillonRunApp;

// A modal dialog box that can be closed from outside (the message box, the error list): it closes as
// if its focused button had been pressed.
class AutoCloseDialog {
  public:
    virtual void OnAutoClose() = 0;

  protected:
    ~AutoCloseDialog() = default;
};

class CWaitWindow final : public TimerWindow {
  public:
    static constexpr uint32_t kScheduleTimer = 3;
    static constexpr uint32_t kAutoCloseTimer = 4;
    static constexpr int64_t kAutoCloseMilliseconds = 1'800'000;

    // app is not owned and outlives the window.
    explicit CWaitWindow(CQuillonRunApp& app);
    ~CWaitWindow();  // kills the window's timers
    CWaitWindow(const CWaitWindow&) = delete;
    CWaitWindow& operator=(const CWaitWindow&) = delete;

    // Timer 3: posts WM_START_RUN. Timer 4: closes the application's current auto-close dialog, if
    // any. Both kill their timer first, so each fires once per setting.
    void OnTimer(uint32_t id) override;

    // A dialog box opens: it becomes the application's auto-close dialog and gets 30 minutes from now.
    void OpenAutoCloseDialog(AutoCloseDialog& dialog);
    // A dialog box is gone: the application forgets it unless another one has registered since.
    void CloseAutoCloseDialog(AutoCloseDialog& dialog);

  private:
    CQuillonRunApp& app_;
};

}  // namespace quillon
