// The end of a pass: the control file is written anew and replaces the old one, and a copy goes into
// the set that received files.
#include <string>

#include "config/SourcePathRecord.h"
#include "engine/BackupPass.h"
#include "engine/ControlFile.h"
#include "engine/CopyJournal.h"
#include "engine/RunState.h"
#include "engine/ZipCopy.h"
#include "files/CopyFile.h"
#include "files/FileStatus.h"
#include "platform/DirectorySync.h"
#include "platform/FileAttributes.h"
#include "platform/FileSystem.h"
#include "platform/LastError.h"
#include "platform/Trace.h"
#include "support/ErrorText.h"
#include "support/LineArchive.h"
#include "support/MessageBox.h"
#include "support/NumberText.h"
#include "support/StringTable.h"
#include "support/TimeText.h"

namespace quillon {
namespace {

// The bytes of a file line besides its path, at most: mark, time, archive column and line end.
constexpr int64_t kFileLineFrame = 32;

std::string Stamp() {
    return GetNow().Format(kTimeSecondPattern);
}

// The folder part of a Windows-form file path ("C:\Dest\Quillon.txt" -> "C:\Dest").
std::string FolderOf(const std::string& filePath) {
    size_t last = filePath.rfind('\\');
    return last == std::string::npos ? std::string() : filePath.substr(0, last);
}

std::string HeaderLine(const RunState& state, const BackupPass& pass) {
    std::string line = "Quillon-Run -- Processing Time: ";
    if (state.DaylightSaving) {
        line += "(DST)";
    }
    line += state.RunTime.Format(kTimeMinutePattern);
    if (pass.FilesToCopy > 0) {
        line += "   Latest File Change: ";
        line += pass.LatestChange.Format(kTimeMinutePattern);
    }
    return line;
}

std::string FullBackupLine(const SourcePathRecord& path, int32_t runsUntilFull) {
    if (!path.FullBackupScheduled) {
        return IntToText(runsUntilFull) + " no full backup scheduled";
    }
    if (!path.FullBackupByDays) {
        return IntToText(runsUntilFull) + " runs until full backup";
    }
    return "Next scheduled full backup: " + path.FB_NextTime.Format(kDatePattern);
}

// A failed step of the replacement: the time-stamped line, the error below it, and the run's error flag.
void ReportFailure(RunState& state, const std::string& what, int32_t error) {
    state.CopyErrorList.push_back(Stamp() + "  " + what + " failed");
    state.CopyErrorList.push_back("                     Error " + IntToTextRightAligned(error, 3) + ":   " +
                                  ErrorText(error));
    state.ErrorFlag = true;
}

}  // namespace

void BackupPass::WriteControlFile(const std::string& tempName, const std::string& controlName,
                                  const std::string& setDirectory) {
    // Every line is collected first and the temporary file is written and forced to the disk in one go;
    // only a complete file may take the place of the old one.
    CLineArchiveFile file;
    bool opened = file.Open(tempName, true);
    file.WriteLine(HeaderLine(State, *this));
    file.WriteLine(FullBackupLine(Path, RunsUntilFull));
    file.WriteLine(Path.SourcePath);
    for (const std::string& zipLine : ZipLines) {
        file.WriteLine(zipLine);
    }
    int32_t zipNumber = State.ZipNumber.load();
    if (zipNumber > 0) {
        // The last archive this pass wrote into, and when.
        file.WriteLine("Z" + IntToTextZeroPadded(zipNumber - 1, 3) + "  " +
                       State.RunTime.Format(kTimeSecondPattern));
    }
    file.WriteLine("# ===== Saved Backups:");
    for (int32_t i = 0; i < SavedBackups.Count(); ++i) {
        file.WriteLine(FormatSavedBackupLine(*SavedBackups.Get(i)));
    }
    file.WriteLine("# ===== Files:");
    // One block for the whole file: grown line by line, a large control file would be copied over and
    // over, and old and new block held at once would set the peak memory of the whole pass.
    int64_t fileLines = 0;
    for (const FileEntry* entry : CurrentFiles) {
        fileLines += static_cast<int64_t>(entry->Path.size()) + kFileLineFrame;
    }
    file.Reserve(fileLines + 64 * 1024);
    bool compressedSetColumn = FilesCopied > 0 && zipNumber >= 0;
    for (int32_t i = 0; i < CurrentFiles.Count(); ++i) {
        file.WriteLine(FormatFileLine(*CurrentFiles.Get(i), RecordOnly, compressedSetColumn));
        State.Tick();
    }

    if (!opened || !file.Close(true)) {
        // A full disk: the old control file stays as it was, still describing every set on the disk,
        // rather than being replaced by part of the new one.
        int32_t error = opened ? GetLastError() : int32_t{kErrorNotEnoughMemory};
        ReportFailure(State, "Writing the Control File " + tempName, error);
        Trace("*** Control File %s could not be written\n", tempName.c_str());
        if (!IsSymbolicLink(tempName)) {
            DeleteFile(tempName);  // whatever part of it reached the disk only takes space
        }
        return;
    }

    // The rename replaces the old file in one step, so there is never a moment without a control file.
    // A READONLY control file would make the replacement fail on Windows, so that bit goes first.
    ChangeFileAttributes(controlName, 0, static_cast<uint8_t>(kAttributeReadOnly));
    if (!RenameFile(tempName, controlName)) {
        State.CopyErrorList.push_back(Stamp() + "  Renaming the Control File " + tempName + " failed");
        State.ErrorFlag = true;
        return;
    }
    // The new name is durable only once the folder itself is on the disk.
    if (!SyncDirectory(FolderOf(controlName))) {
        ReportFailure(State, "Saving the Control File " + controlName, GetLastError());
    }

    // Every set that received files describes itself with a copy of the control file.
    if (FilesToCopy <= 0 || RecordOnly || setDirectory.empty()) {
        return;
    }
    // The copy and the archive are written under temporary names too: the journal lets the next pass
    // find what a kill in the middle leaves.
    BeginCopyJournal(Path.DestPath, setDirectory);
    PlaceControlFileCopy(controlName, setDirectory);
    EndCopyJournal(Path.DestPath);
}

void BackupPass::PlaceControlFileCopy(const std::string& controlName, const std::string& setDirectory) {
    if (Compress) {
        // A compressed set keeps its copy inside archive 000.
        const std::string archive = setDirectory + "\\" + ArchiveFileName(0);
        if (!AddControlFileToArchive(controlName, archive)) {
            State.CopyErrorList.push_back(Stamp() + "  Zipped Controlfile >" + archive +
                                          "< could not be written");
            Trace("*** Zipped Controlfile >%s< could not be written\n", archive.c_str());
            ShowMessageBox(std::string(LoadText(kTextTheFile)) + archive + LoadText(kTextCouldNotBeWritten),
                           kMbOk);
            State.ErrorFlag = true;
        }
        return;
    }
    // A failed copy is not reported: the control file beside the sets is valid, and it is the one the
    // next pass reads.
    MyCopyFile(controlName, setDirectory + "\\" + kControlFileName, Path.WriteProtectCopies);
}

}  // namespace quillon
