// The end of a run: CQuillonRunApp::FinishRun and the release of the run's resources.
#include "app/QuillonRunApp.h"
#include "config/Registrierung.h"
#include "config/SourcePathRecord.h"
#include "config/registrylit.h"
#include "files/DeleteTree.h"
#include "log/ErrorLog.h"
#include "support/ErrorText.h"
#include "support/MessageBox.h"
#include "support/NumberText.h"
#include "support/StringTable.h"
#include "support/TimeText.h"

namespace quillon {

using namespace registrylit;

void CQuillonRunApp::FinishRun() {
    // The worker has cleared RunInProgress as its last act; joining makes every result it wrote ours.
    JoinWorker();

    // Free the semaphore first, so that another program may begin its run while this one still
    // shows its messages. The run's times go with it, in the same change of the hive.
    std::vector<RegistryWrite> writes;
    writes.push_back(RegistryWrite::Number(kSemaphorePath, 0));
    writes.push_back(RegistryWrite::Text(kLastRunTimePath, FormatRegistryTime(RunTime)));
    if (IsAutoRun) {
        writes.push_back(RegistryWrite::Text(kLastAutoRunTimePath, FormatRegistryTime(RunTime)));
        // The count began with the stored value for this first automatic run of the day and grew by
        // every file this run saved that is newer than the last automatic run; it is stored, so that
        // the configuration program can show it until it resets the value. "/T" leaves it alone.
        if (!NoCounterReset) {
            writes.push_back(RegistryWrite::Number(kCountNewFilesPath, CountNewFiles));
        }
    }
    WriteRegistryValues(HKEY_LOCAL_MACHINE, writes);
    holdsSemaphore_ = false;
    waitNoticeShown_ = false;  // the next run's wait is announced again
    if (Paths.TotalFullBackup != 0) {
        WriteProfileInt(kDynData, kTotalFullBackup, 0);  // the request for a full backup is fulfilled
    }
    // A stored date after the start of today cannot be right (a clock that was set back): replace it.
    TimeValue stored = ParseRegistryMinuteTime(GetProfileString(kDynData, kLatestSaveDate, ""));
    if (LatestSetDate > stored || stored > RunDay) {
        WriteProfileString(kDynData, kLatestSaveDate, FormatRegistryMinuteTime(LatestSetDate));
    }

    if (FirstErrorCode != 0) {
        CopyErrorList.push_back(GetNow().Format(kTimeSecondPattern) + "  **** Disk Error " +
                                IntToText(FirstErrorCode) + ": " + ErrorText(FirstErrorCode));
        if (!PassErrorLine.empty()) {
            CopyErrorList.push_back(PassErrorLine);
        }
        std::string message = std::string(LoadText(kTextBackupError)) + ErrorText(FirstErrorCode) + "\n(" +
                              LoadText(kTextErrorCode) + IntToText(FirstErrorCode) + ")";
        if (PassErrorMessage.size() > 1) {
            message += "\n\n" + PassErrorMessage;
        }
        ShowMessageBox(message, kMbOk | kMbIconHand);
    }

    std::string summary;
    if (ErrorFlag || FirstErrorCode != 0) {
        summary = LoadText(kTextErrorsOccurred);
        RunStatus = 2;
    } else if (!CopyPerformed) {
        summary = NotDueSummary();
        if (summary.empty()) {
            summary = LoadText(kTextNoChangedFile);
        }
        RunStatus = 1;
    } else if (RunFilesCopied == 1) {
        summary = LoadText(kTextOneFileSaved);
        RunStatus = 0;
    } else {
        summary = IntToText(RunFilesCopied) + LoadText(kTextFilesSaved);
        RunStatus = 0;
    }
    if (dialog_ != nullptr) {
        dialog_->ResetProgress();
        dialog_->SetText(ProgressLine::kStatus, "");
        dialog_->SetText(ProgressLine::kPath, "");
        dialog_->SetText(ProgressLine::kKind, summary);
    }

    WriteErrorLog(*this, CopyErrorList, CopyBuffer);
    RunAtTime = GetProfileInt(kSettings, kRunAtTime, 0);  // the dialog's closing timer decides by it

    if (!UncopiedFiles.empty()) {
        presenter_.ShowErrorList(RunFilesCopied, UncopiedFiles);
    }
    FreeRunResources();
}

std::string CQuillonRunApp::NotDueSummary() {
    // Every path the engine takes up asks for the dialog to show: no request, no path took part.
    if (!StartedByWindows || Paths.OnlyOncePerDay == 0 || Texts.Read().ShowRequested) {
        return "";
    }
    const SourcePathRecord* earliest = nullptr;
    for (const SourcePathRecord* path : Paths.PathRecords) {
        if (path->PathActive && RunTime < path->NextRunTime &&
            (earliest == nullptr || path->NextRunTime < earliest->NextRunTime)) {
            earliest = path;
        }
    }
    return earliest == nullptr ? "" : "Not due until " + earliest->NextRunTime.Format("%Y-%m-%d") + ".";
}

void CQuillonRunApp::FreeRunResources() {
    std::vector<char>().swap(CopyBuffer);
    if (!TempDirPath.empty()) {
        DeleteTempDirectory(TempDirPath, nullptr, true);
        TempDirPath.clear();  // the folder is gone: the next run of a resident program makes it anew
    }
    ZipLibrary.Close();
}

}  // namespace quillon
