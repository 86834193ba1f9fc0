#include "app/WaitWindow.h"

#include "app/QuillonRunApp.h"
#include "platform/Trace.h"

namespace quillon {

CWaitWindow::CWaitWindow(CQuillonRunApp& app) : app_(app) {}

CWaitWindow::~CWaitWindow() {
    app_.Loop().KillTimers(*this);
}

void CWaitWindow::OnTimer(uint32_t id) {
    switch (id) {
        case kScheduleTimer:
            app_.Loop().KillTimer(*this, kScheduleTimer);
            app_.Loop().PostThreadMessage(WM_START_RUN);
            break;
        case kAutoCloseTimer:
            app_.Loop().KillTimer(*this, kAutoCloseTimer);
            if (AutoCloseDialog* dialog = app_.CurrentAutoCloseDialog.load()) {
                Trace("AutoClose Dialogbox\n");
                dialog->OnAutoClose();
            }
            break;
        default:
            // No other timer belongs to this window; the id is only reported.
            Trace("CWaitWindow::OnTimer: Nicht definierter Timer: %d\n", static_cast<int>(id));
            break;
    }
}

void CWaitWindow::OpenAutoCloseDialog(AutoCloseDialog& dialog) {
    app_.CurrentAutoCloseDialog.store(&dialog);
    app_.Loop().SetTimer(*this, kAutoCloseTimer, kAutoCloseMilliseconds);
}

void CWaitWindow::CloseAutoCloseDialog(AutoCloseDialog& dialog) {
    AutoCloseDialog* expected = &dialog;
    app_.CurrentAutoCloseDialog.compare_exchange_strong(expected, nullptr);
}

}  // namespace quillon
