#include "app/ProgressDialog.h"

#include <algorithm>

#include "app/ProgramVersion.h"
#include "app/QuillonRunApp.h"
#include "config/PathConfig.h"
#include "config/Registrierung.h"
#include "config/SourcePathRecord.h"
#include "config/registrylit.h"
#include "platform/Trace.h"
#include "support/MessageBox.h"
#include "support/NumberText.h"
#include "support/StringTable.h"

namespace quillon {
namespace {

size_t LineIndex(ProgressLine line) {
    return static_cast<size_t>(static_cast<int>(line) - static_cast<int>(ProgressLine::kStatus));
}

}  // namespace

CQuillonDlg::CQuillonDlg(CQuillonRunApp& app, std::unique_ptr<ProgressView> view)
    : app_(app), view_(std::move(view)) {
    SetText(ProgressLine::kVersion, VersionLine(app_.InstanceNumber));
    // The engine's texts of an earlier run are not this dialog's.
    engineTexts_ = app_.Texts.Read();
}

CQuillonDlg::~CQuillonDlg() {
    app_.Loop().KillTimers(*this);
}

std::string CQuillonDlg::VersionLine(int32_t instanceNumber) {
    if (instanceNumber != 0) {
        return "Test " + IntToText(instanceNumber);
    }
    return std::string(LoadText(kTextVersion)) + kProgramVersion;
}

void CQuillonDlg::SetText(ProgressLine line, const std::string& text) {
    lines_[LineIndex(line)] = text;
    view_->SetText(line, text);
}

const std::string& CQuillonDlg::Text(ProgressLine line) const {
    return lines_[LineIndex(line)];
}

void CQuillonDlg::OnTimer(uint32_t id) {
    if (id == kProgressTimer) {
        OnProgressTimer();
    } else if (id == kClosingTimer) {
        OnClosingTimer();
    } else {
        Trace("*** CQuillonDlg::OnTimer: Nicht definierter Typ: %d\n", static_cast<int>(id));
    }
}

double CQuillonDlg::ProgressFraction() {
    ProgressCarryOver& carry = app_.ProgressCarry;
    bool packing = app_.CompressPhase.load();
    int32_t archive = app_.ZipNumber.load();
    // One reading of each counter per tick, so the estimate works on consistent values.
    int64_t copied = app_.BytesCopied.load();
    int64_t total = app_.BytesToCopy.load();

    if (packing && archive != carry.LastArchive) {
        carry.BaseBytes = copied > 0 ? copied : 0;
        carry.PackTicks = 0;
        carry.CopyWeight = 0.0;
        carry.LastArchive = archive;
    }
    if (packing) {
        ++carry.PackTicks;
    } else {
        carry.CopyWeight += 0.7;
    }
    if (copied < 0) {
        return -1.0;
    }
    if (total <= 0) {
        return 0.0;
    }
    double factor;
    if (packing) {
        factor = 0.7;
    } else if (carry.PackTicks <= 0) {
        factor = 1.0;
    } else {
        factor = std::min(carry.CopyWeight / carry.PackTicks * 0.3 + 0.7, 1.0);
    }
    return (static_cast<double>(carry.BaseBytes) + static_cast<double>(copied - carry.BaseBytes) * factor) /
           static_cast<double>(total);
}

void CQuillonDlg::ShowSegment(int index, bool filled) {
    segments_[index] = filled;
    view_->SetSegment(index, filled);
}

void CQuillonDlg::ResetProgress() {
    for (int i = 0; i < kSegments; ++i) {
        ShowSegment(i, false);
    }
    head_ = 0;
    tail_ = kSegments;
    activityMode_ = true;
    filled_ = 0;
    hold_ = 0;
}

void CQuillonDlg::ShowProgress(double f) {
    if (!activityMode_) {
        if (f < 0) {
            ResetProgress();
        }
    } else if (f >= 0) {
        // A byte count must be seen four times in a row before the bar leaves the activity block.
        if (hold_ < 3) {
            ++hold_;
        } else {
            ResetProgress();
            activityMode_ = false;
        }
    }
    if (f < 0) {
        hold_ = 0;
    }

    if (!activityMode_) {
        int n = static_cast<int>(f * 34.05 + 0.95);
        n = std::clamp(n, 0, kSegments);
        if (n < filled_ && hold_ < 3) {
            ++hold_;  // a falling value must be seen four times before the bar shrinks
        } else {
            if (n > filled_) {
                app_.Tick();
                for (int i = filled_; i < n; ++i) {
                    ShowSegment(i, true);
                }
            }
            for (int i = filled_ - 1; i >= n; --i) {
                ShowSegment(i, false);
            }
            hold_ = 0;
            filled_ = n;
            head_ = 0;
            if (tail_ < n) {
                tail_ = n;
            }
        }
    } else {
        int32_t activity = app_.ActivityCounter.load();
        if (hasLastActivity_ && activity == lastActivity_) {
            // Without new activity the block runs on for a while, then stands still; so does the
            // renewal of the semaphore, which lets another program see that this one has stalled.
            if (--idleTicks_ < 0) {
                return;
            }
        } else if (idleTicks_ < 50) {
            idleTicks_ = 50;
        }
        lastActivity_ = activity;
        hasLastActivity_ = true;
        ShowSegment(head_, true);
        if (++head_ == kSegments) {
            head_ = 0;
        }
        if (head_ == 6) {
            tail_ = 0;
        }
        if (tail_ < kSegments) {
            ShowSegment(tail_, false);
            ++tail_;
        }
        if (f < 0) {
            hold_ = 0;
        }
    }

    if (--app_.ProgressCarry.SemaphoreCountdown <= 0) {
        // The value only has to keep changing while the run works; 0 or less would read as free to the
        // other instances (a counter not yet raised, or one that wrapped), so it stays positive.
        const int32_t activity = app_.ActivityCounter.load() & 0x7FFFFFFF;
        WriteRegistryInt(HKEY_LOCAL_MACHINE, registrylit::kSemaphorePath, activity == 0 ? 1 : activity);
        app_.ProgressCarry.SemaphoreCountdown = 30;
    }
}

void CQuillonDlg::ShowCopiedCount(int32_t n) {
    if (n == shownCount_) {
        return;
    }
    SetText(ProgressLine::kStatus, IntToTextProportional(n, 4) + LoadText(kTextFilesCopiedSuffix));
    shownCount_ = n;
}

void CQuillonDlg::TakeEngineTexts() {
    ProgressTexts::Snapshot texts = app_.Texts.Read();
    if (texts.Version == engineTexts_.Version) {
        return;
    }
    // Only what the engine changed since the last tick replaces a line, so the copied count written
    // into the status line stays until the engine has a new status.
    if (texts.Status != engineTexts_.Status) {
        SetText(ProgressLine::kStatus, texts.Status);
    }
    if (texts.Path != engineTexts_.Path) {
        SetText(ProgressLine::kPath, texts.Path);
    }
    if (texts.Kind != engineTexts_.Kind) {
        SetText(ProgressLine::kKind, texts.Kind);
    }
    if (texts.ShowRequested && !shown_) {
        shown_ = true;
        view_->Show();
    }
    engineTexts_ = std::move(texts);
}

void CQuillonDlg::OnProgressTimer() {
    double f = ProgressFraction();
    ShowProgress(f);
    TakeEngineTexts();
    if (f >= 0.0) {
        ShowCopiedCount(app_.FilesStored.load());
    }
    view_->Redraw();
    if (app_.DeleteQuestion.load() > 0) {
        AskDeleteForDiskSpace();
    }
    if (!runFinished_ && !app_.RunInProgress.load(std::memory_order_acquire)) {
        runFinished_ = true;
        app_.Loop().KillTimer(*this, kProgressTimer);
        app_.FinishRun();
        view_->Redraw();
        app_.Loop().SetTimer(*this, kClosingTimer,
                             app_.Presenter().HoldsFinishedDialog() ? kClosingMilliseconds : 0);
    }
}

void CQuillonDlg::OnWorkerEnded() {
    if (!runFinished_) {
        OnProgressTimer();
    }
}

void CQuillonDlg::OnClosingTimer() {
    app_.Loop().KillTimer(*this, kClosingTimer);
    if (app_.RunAtTime == 0 || !app_.StartedByWindows) {
        app_.Loop().PostThreadMessage(WM_QUIT);
        return;
    }
    view_->Close();
    app_.Loop().PostThreadMessage(WM_SCHEDULE_WAIT);
    app_.ForgetProgressDialog();  // last: it hands this object over for deletion
}

bool CQuillonDlg::IsDialogHidden(int32_t pathIndex, int32_t bit) const {
    return (app_.GetProfileInt(registrylit::PathSection(pathIndex), registrylit::kHideDialogs, 0) & bit) != 0;
}

void CQuillonDlg::HideDialogForPath(int32_t pathIndex, int32_t bit) {
    std::string section = registrylit::PathSection(pathIndex);
    int32_t hidden = app_.GetProfileInt(section, registrylit::kHideDialogs, 0);
    app_.WriteProfileInt(section, registrylit::kHideDialogs, hidden | bit);
}

void CQuillonDlg::AskDeleteForDiskSpace() {
    const SourcePathRecord* path = app_.Paths.CurrentPath.load();
    if (path == nullptr || IsDialogHidden(path->PathIndex, kDiskSpaceQuestionBit)) {
        app_.DeleteQuestion.store(0);
        return;
    }
    // No tick may ask again, nor renew the semaphore, while the question is open.
    app_.Loop().KillTimer(*this, kProgressTimer);
    RunPresenter& presenter = app_.Presenter();
    presenter.SetMessageBoxHelpContext(kHelpDiskSpaceQuestion);

    std::string question = std::string(LoadText(kTextDeleteQuestion1)) + path->SourcePath +
                           LoadText(kTextDeleteQuestion2) + IntToText(path->DelAfterMemory) +
                           LoadText(kTextDeleteQuestion3) + LoadText(kTextDeleteQuestion4) +
                           LoadText(kTextDeleteQuestion5);
    bool answerNo = false;
    for (;;) {
        bool doNotAskAgain = true;  // in: the check box is offered; out: someone ticked it
        int answer = presenter.ShowMessageBoxWithCheckBox(
            question, kMbYesNo | kMbIconQuestion | kMbDefButton2 | kMbHelp, doNotAskAgain);
        answerNo = answer == kIdNo;
        if (doNotAskAgain) {
            HideDialogForPath(path->PathIndex, kDiskSpaceQuestionBit);
        }
        if (!answerNo) {
            break;
        }
        int confirm =
            ShowMessageBox(LoadText(kTextDeleteSettingRemoved), kMbOkCancel | kMbIconExclamation | kMbHelp);
        if (confirm == kIdOk) {
            // The user was told that the rule is removed, so it must be: without a "DeleteFlags" entry
            // the rules follow from their value entries, and clearing nothing would leave it on. The
            // entry then gets the rules in force now, without this one.
            std::string section = registrylit::PathSection(path->PathIndex);
            int32_t flags = DeleteFlagsInForce(app_, section);
            app_.WriteProfileInt(section, registrylit::kDeleteFlags,
                                 flags & ~static_cast<int32_t>(kDelAfterMemoryBit));
            break;
        }
    }

    presenter.SetMessageBoxHelpContext(kHelpDefault);
    app_.Loop().SetTimer(*this, kProgressTimer, kProgressMilliseconds);
    app_.DeleteQuestion.store(answerNo ? -1 : 0);
}

}  // namespace quillon
