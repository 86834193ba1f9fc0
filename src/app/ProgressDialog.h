// CQuillonDlg: the logic of the progress dialog of one run, without any drawing. It owns the dialog's
// view (app/RunPresenter.h) and tells it what to show.
//
// Its timer 2 (every 400 ms, started by the run's start) turns the engine's byte counters into the
// fraction of a 35-segment bar (or a moving activity block when no byte count applies), writes the
// engine's text lines and the copied-files count, renews the inter-process semaphore, asks the user
// the engine's delete-for-disk-space question, and notices the end of the worker: then it finishes
// the run and starts timer 1, which 2 s later ends the program or returns to the schedule.
//
// User-interface thread only. The worker thread's side is the atomics of RunState.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "app/MessageLoop.h"
#include "app/RunPresenter.h"
#include "engine/ProgressTexts.h"

namespace quillon {

class CQuillonRunApp;

// Values of the progress timer that live as long as the program, across runs.
struct ProgressCarryOver {
    int32_t SemaphoreCountdown = 30;  // ticks until the semaphore is renewed
    // The archive estimate: while an archive is packed the bytes of its files count at 0.7, and the
    // remaining 0.3 is paid out by how long the copying took compared to the packing.
    int32_t LastArchive = -1;
    int64_t BaseBytes = 0;
    int32_t PackTicks = 0;
    double CopyWeight = 0.0;
};

class CQuillonDlg final : public TimerWindow {
  public:
    static constexpr uint32_t kClosingTimer = 1;
    static constexpr uint32_t kProgressTimer = 2;
    static constexpr int64_t kProgressMilliseconds = 400;
    static constexpr int64_t kClosingMilliseconds = 2000;
    static constexpr int kSegments = ProgressView::kSegments;
    static constexpr int32_t kDiskSpaceQuestionBit = 0x10;  // in a path's "HideDialogs"
    static constexpr int kHelpDiskSpaceQuestion = 3846;
    static constexpr int kHelpDefault = 3841;

    // Writes the version line at once. app is not owned and outlives the dialog.
    CQuillonDlg(CQuillonRunApp& app, std::unique_ptr<ProgressView> view);
    ~CQuillonDlg();  // kills the dialog's timers
    CQuillonDlg(const CQuillonDlg&) = delete;
    CQuillonDlg& operator=(const CQuillonDlg&) = delete;

    // Timer 2 and timer 1 as described above; any other id is traced.
    void OnTimer(uint32_t id) override;
    // WM_WORKER_ENDED: the tick of timer 2 that finishes the run, at once, so that nobody waits for the
    // next tick; nothing when a tick has finished it already.
    void OnWorkerEnded();

    // The bar's fraction for this tick, from the engine's counters; -1.0 when no byte count applies.
    // Updates the archive estimate of the application's ProgressCarryOver.
    double ProgressFraction();
    // Draws the fraction f (or the activity block when f < 0) and renews the semaphore every 30 calls.
    void ShowProgress(double f);
    // Empties every segment and returns to the activity block.
    void ResetProgress();
    // Writes "  12 Files copied" (the count padded for a proportional font) into the status line,
    // unless n is the count shown already.
    void ShowCopiedCount(int32_t n);
    // Asks the user whether the engine may delete all but the newest backup set for disk space, and
    // answers the engine through DeleteQuestion: 0 delete as configured, -1 do not (the setting to
    // delete for disk space has then been removed from the path).
    void AskDeleteForDiskSpace();

    // Whether bit is set in the "HideDialogs" entry of path section pathIndex; sets it.
    bool IsDialogHidden(int32_t pathIndex, int32_t bit) const;
    void HideDialogForPath(int32_t pathIndex, int32_t bit);

    // Sets a text line and passes it to the view.
    void SetText(ProgressLine line, const std::string& text);
    const std::string& Text(ProgressLine line) const;
    ProgressView& View() { return *view_; }

    // The bar's state, for views that draw from the model and for tests.
    bool IsSegmentFilled(int index) const { return segments_[index]; }
    bool IsActivityMode() const { return activityMode_; }
    int FilledSegments() const { return filled_; }

    // "Test 3" for instance 3, "Version 2.10" for the unnumbered instance.
    static std::string VersionLine(int32_t instanceNumber);

  private:
    void ShowSegment(int index, bool filled);
    void TakeEngineTexts();
    void OnProgressTimer();
    void OnClosingTimer();

    CQuillonRunApp& app_;
    std::unique_ptr<ProgressView> view_;
    std::array<std::string, 4> lines_;  // status, path, version, kind
    std::array<bool, kSegments> segments_{};
    bool activityMode_ = true;
    int filled_ = 0;
    int hold_ = 0;
    int head_ = 0;
    int tail_ = kSegments;
    bool hasLastActivity_ = false;
    int32_t lastActivity_ = 0;
    int idleTicks_ = 200;
    int32_t shownCount_ = 0;
    ProgressTexts::Snapshot engineTexts_;  // the engine's texts as last taken over
    bool shown_ = false;
    bool runFinished_ = false;  // a tick has called FinishRun
};

}  // namespace quillon
