#include "engine/BackupPass.h"

#include <exception>

#include "config/AppProfile.h"
#include "config/SourcePathRecord.h"
#include "config/registrylit.h"
#include "engine/ControlFile.h"
#include "engine/CopyJournal.h"
#include "engine/RunState.h"
#include "files/DeleteTree.h"
#include "files/FileStatus.h"
#include "files/PathDirectories.h"
#include "platform/FileAttributes.h"
#include "platform/FileSystem.h"
#include "platform/LastError.h"
#include "platform/ProcessMemory.h"
#include "platform/Trace.h"
#include "support/ErrorText.h"
#include "support/LineArchive.h"
#include "support/StringTable.h"
#include "support/TimeText.h"

namespace quillon {
namespace {

const std::string kIndent(21, ' ');

std::string LastComponent(const std::string& path) {
    size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The Windows error of the step that just failed, or 40 when the system gave none.
int32_t FailureCode() {
    int32_t code = GetLastError();
    return code != 0 ? code : kErrorNoSystemCode;
}

std::string Stamp() {
    return GetNow().Format(kTimeSecondPattern);
}

}  // namespace

BackupPass::BackupPass(RunState& run, SourcePathRecord& path) : State(run), Path(path) {}

BackupPass::~BackupPass() {
    DeleteAll(CurrentFiles);
    DeleteAll(PreviousFiles);
    DeleteAll(SetFiles);
    DeleteAll(SavedBackups);
}

void BackupPass::Run() {
    int32_t errorCode = 0;
    const std::string pathLine = "  " + LastComponent(Path.SourcePath);

    // 1. Announce the path. The scan already needs the path's storage form: it leaves out the staging
    // folder of compressed sets.
    Compress = Path.Compress;
    Trace("--- Bearbeite %s --", Path.SourcePath.c_str());
    State.Texts.SetStatus(LoadText(kTextSearchingChangedFiles));
    State.Texts.SetPath(pathLine);
    State.Texts.SetKind("");

    // 2. The destination must exist; everything below it is created from this position on. A run that
    // only looks makes nothing: a destination that is not there reads as a new path.
    PassPreview* preview = nullptr;
    if (State.DryRun) {
        preview = &State.Previews.emplace_back();
        preview->SourcePath = Path.SourcePath;
        preview->DestPath = Path.DestPath;
    }
    StartPosition = State.DryRun ? static_cast<int32_t>(Path.DestPath.size())
                                 : CreatePathDirectories(Path.DestPath + "\\", 0);
    if (StartPosition < 1) {
        errorCode = FailureCode();
        if (State.FirstErrorCode == 0) {
            State.FirstErrorCode = errorCode;
        }
        State.PassErrorLine = kIndent + "Error Creating " + Path.DestPath;
        State.PassErrorMessage = LoadText(kTextErrorCreating) + Path.DestPath;
        return;
    }
    // Copies a killed pass left half written under their temporary names go first (a run that only
    // looks leaves them to the next real one).
    if (!State.DryRun) {
        RemoveInterruptedCopies(Path.DestPath);
    }

    // 3.-5. The control file: saved sets and the files recorded by the previous pass.
    const std::string controlName = Path.DestPath + "\\" + kControlFileName;
    const std::string tempName = Path.DestPath + "\\" + kControlTempName;
    CLineArchiveFile control;
    IsNewPath = !control.Open(controlName, false);
    RecordOnly = IsNewPath && !Path.CopyOnFirstRun;
    if (!IsNewPath) {
        ReadSavedBackups(control, SavedBackups);
    }
    FilesToCopy = 0;
    FilesCopied = 0;
    State.FilesStored = 0;
    LatestChange = LatestFileTime = MakeTime(1980, 1, 1, 0, 0, 0);
    ZipLines.clear();
    if (!IsNewPath) {
        ReadFileList(control, PreviousFiles, false, nullptr, State.DaylightSaving);
        PreviousProcessingTime = ReadProcessingTime(control);
    }
    // Everything the pass needs of the control file is read now; its text need not stay in memory
    // while the tree is scanned.
    const int32_t recordedRunsUntilFull = ReadRunsUntilFull(control);
    control.Close();

    // 6.-7. What is there now, and which sets still exist. Once every file is compared, the recorded
    // list is no longer needed: it goes before the new control file is collected, which halves the
    // memory a pass over a large tree takes at its peak.
    ScanDirectory(Path.SourcePath, Path.SourcePathUpper);
    if (SourceError != 0) {
        // A source that is not there is an error of the path, not an empty tree: the control file,
        // the sets and the path's run state stay as they are, and the next run tries again.
        Trace(" Quelle nicht lesbar\n");
        State.CopyErrorList.push_back(Stamp() + "  Source Path " + Path.SourcePath +
                                      " not backed up: " + ErrorText(SourceError));
        State.UncopiedFiles.push_back(Path.SourcePath);
        State.ErrorFlag = true;
        if (preview != nullptr) {
            preview->SourceProblem = ErrorText(SourceError);
        }
        return;
    }
    ForgetPreviousFiles();
    ReturnFreedMemory();  // the recorded list's pages, before the new control file is collected
    DropVanishedSets();

    // 8. Full backup by request or by the day schedule.
    FullBackup = Path.FullBackupNext || State.Paths.TotalFullBackup != 0;
    if (Path.FullBackupScheduled && Path.FullBackupByDays && Path.FB_NextTime <= State.PreviousDay) {
        FullBackup = true;
    }

    // 9. The set's date: the day of the newest change, adjusted to the path's last run.
    TimeValue date = LatestChange;
    if (FullBackup && Path.FullBackupScheduled && Path.FullBackupByDays && date < State.PreviousDay) {
        date = State.PreviousDay;
    }
    if (IsEarlierDay(date, Path.LastRunTime)) {
        date = IsEarlierDay(Path.LastRunTime, State.RunDay) ? State.PreviousDay : State.RunDay;
    }
    if (State.Paths.Vortagsdatum != 0 && State.StartedByWindows && date > State.PreviousDay &&
        Path.LastRunTime < State.RunDay) {
        date = State.PreviousDay;
    }
    TruncateToDay(date);
    SetDate = date;

    // 10.
    if (State.LatestSetDate < date) {
        State.LatestSetDate = date;
    }

    // 11. A set of this date may exist already; otherwise the full-backup decision is final here.
    bool exists = false;
    for (const SavedBackup* backup : SavedBackups) {
        exists = exists || backup->Date == date;
    }
    if (!exists) {
        if (Path.FullBackupSep == 1) {
            FullBackup = true;
        }
        if (FilesToCopy == 0 && !Path.FullBackupIfUnchanged && State.Paths.TotalFullBackup == 0) {
            FullBackup = false;
        }
    }
    if (FullBackup) {
        for (FileEntry* entry : CurrentFiles) {
            entry->ToCopy = true;
        }
        FilesToCopy = CurrentFiles.Count();
        LatestChange = LatestFileTime;
    }

    // 12.
    RunsUntilFull = recordedRunsUntilFull;
    State.ZipNumber = -1;

    // 13. Copy into the set of the date.
    std::string setDirectory;
    SavedBackup* set = nullptr;
    bool setIsNew = false;
    bool setFolderMade = false;  // the set's folder did not exist before this pass made it
    bool copied = false;
    if (FilesToCopy > 0) {
        State.Texts.SetStatus(LoadText(kTextCopyingFiles));
        State.Texts.SetPath(pathLine);
        State.Texts.SetKind(IsNewPath ? LoadText(kTextNew) : FullBackup ? LoadText(kTextFullBackup) : "");

        if (!SavedBackups.IsEmpty() && !(SavedBackups.Last()->Date < date)) {
            set = SavedBackups.Last();
            ++RunsUntilFull;
        } else {
            set = SavedBackups.Append(new SavedBackup{date, false, 0});
            setIsNew = true;
        }

        setDirectory = Path.DestPath + "\\" + date.Format(kDatePattern);
        if (preview != nullptr) {
            PreviewCopy(*preview, date);
            DeleteOldBackups();  // only tells which sets it would delete
            return;
        }
        int32_t sizeKB = 0;
        try {
            MergeSameDaySet(setDirectory);
            ChooseStorageForm();
            if (!RecordOnly) {
                setFolderMade = !FileExists(setDirectory);
                if (CreatePathDirectories(setDirectory + "\\", StartPosition) < 0) {
                    errorCode = FailureCode();
                } else {
                    ChangeFileAttributes(setDirectory, kAttributeArchive, 0);
                    CopyMarkedFiles(setDirectory, sizeKB, errorCode);
                    if (CurrentFiles.Count() > 1000) {
                        State.Texts.SetStatus(LoadText(kTextUpdatingDataBase));
                    }
                    State.CopyPerformed = true;
                    copied = true;
                    MergeSetFiles();
                    // A folder that held files before this pass (a set of the same day, or one the
                    // control file no longer lists) is measured whole.
                    if (exists || !setFolderMade) {
                        sizeKB = static_cast<int32_t>(GetDirectorySize(setDirectory) / 1024.0 + 0.5);
                    }
                }
            }
        } catch (const std::exception& error) {
            Trace("*** %s\n", error.what());
            if (errorCode == 0) {
                errorCode = FailureCode();
            }
            State.PassErrorLine = kIndent + "Source Path: " + Path.SourcePath;
            State.PassErrorMessage =
                State.PassErrorMessage.empty() ? LoadText(kTextErrorCopying) + Path.SourcePath : " ";
        }
        set->SizeKB = sizeKB;
        if (FullBackup || IsNewPath) {
            set->Full = true;
        }
    } else {
        Trace(" nicht");
        if (preview != nullptr) {
            DeleteOldBackups();  // only tells which sets it would delete
            return;
        }
    }

    // 14.-15. A full disk leaves an incomplete set behind.
    Trace(errorCode != 0 ? " Plattenfehler\n" : " kopiert\n");
    if (errorCode == kErrorDiskFull && !setDirectory.empty() &&
        DiscardIncompleteSet(setDirectory, set, setIsNew && setFolderMade)) {
        set = nullptr;
        copied = false;  // the set is gone: no copy of the control file goes into it
    }
    // A new set that took no file at all (every copy failed on its own, or the staging folder was full)
    // holds nothing, yet would count as a set for the keep rules and push an older, real set out. Only
    // a folder this pass made is new: one that was there already (the control file was lost, or a
    // killed pass left it) may hold backups that no other set has.
    if (set != nullptr && setIsNew && setFolderMade && copied && FilesCopied == 0 &&
        DeleteDatedDirectory(setDirectory, &State.CopyErrorList)) {
        RemoveSavedBackup(set);
        set = nullptr;
        copied = false;
    }

    // 16. Schedule the next full backup, unless the pass failed.
    if (errorCode == 0) {
        ScheduleNextFullBackup(set);
    }

    // 17. The path is next due at midnight, whatever happened.
    Path.NextRunTime = State.RunTime;
    AddDays(Path.NextRunTime, 1);
    TruncateToDay(Path.NextRunTime);

    // 18. Retention and the new control file.
    try {
        DeleteOldBackups();
        if (RecordOnly && set != nullptr) {
            RemoveSavedBackup(set);  // the files were only recorded: that set was never written
            set = nullptr;
        }
        bool removedAll = false;
        if (errorCode == 0 && CurrentFiles.IsEmpty() && SavedBackups.IsEmpty()) {
            removedAll = RemoveEmptyDestination(controlName);
        }
        if (!removedAll) {
            WriteControlFile(tempName, controlName, copied ? setDirectory : std::string());
        }
    } catch (const std::exception& error) {
        Trace("*** %s\n", error.what());
        if (errorCode == 0) {
            errorCode = FailureCode();
        }
    }

    // 19. The path's run state.
    StoreRunState(date);

    // 20.
    DeleteAll(CurrentFiles);
    DeleteAll(PreviousFiles);
    DeleteAll(SetFiles);
    DeleteAll(SavedBackups);
    if (State.FirstErrorCode == 0) {
        State.FirstErrorCode = errorCode;
    }
}

// A set keeps the form it was begun in, whatever the setting says today. Only the set's own control
// file tells that form, never the mere presence of a name in the set folder: a plain set holds the
// user's files under their own names, and a user's file named like archive 000 would otherwise turn it
// into a compressed set whose archive is the user's file.
// The set of a real pass would keep a form it was begun in; a pass that only looks does not open the
// set's archive to find out, and tells the form the path is set to.
void BackupPass::PreviewCopy(PassPreview& preview, TimeValue date) const {
    preview.NewPath = IsNewPath;
    preview.RecordOnly = RecordOnly;
    preview.FullBackup = FullBackup || IsNewPath;
    preview.Compressed = Path.Compress;
    preview.SetName = date.Format(kDatePattern);
    for (const FileEntry* entry : CurrentFiles) {
        if (entry->ToCopy) {
            ++preview.Files;
            preview.Bytes += entry->Size;
            preview.FileNames.push_back(entry->Path);
        }
    }
}

void BackupPass::ChooseStorageForm() {
    Compress = Path.Compress;
    if (sameDayForm_ == SetForm::kPlain) {
        Compress = false;
    } else if (sameDayForm_ == SetForm::kCompressed) {
        Compress = true;
    }
}

// The set is deleted to give the space back. Its files were recorded with their new times; unless they
// are marked to be copied again, the next pass would take them as saved and they would be in no set.
// A set folder this pass did not make (files of an earlier pass of the same day, listed or not) is kept:
// deleting it would destroy them.
bool BackupPass::DiscardIncompleteSet(const std::string& setDirectory, SavedBackup* set, bool madeByPass) {
    if (!madeByPass || !DeleteDatedDirectory(setDirectory, &State.CopyErrorList)) {
        return false;
    }
    State.PassErrorLine = kIndent + "Incomplete backup has been deleted";
    for (FileEntry* entry : CurrentFiles) {
        if (entry->Stored) {
            entry->Stored = false;
            entry->CopyFailed = true;
        }
    }
    RemoveSavedBackup(set);
    return true;
}

void BackupPass::ScheduleNextFullBackup(const SavedBackup* set) {
    if (!Path.FullBackupScheduled) {
        RunsUntilFull = -1;
        if (FilesCopied > 0) {
            Path.FullBackupNext = false;
        }
        return;
    }
    const int32_t sep = Path.FullBackupSep;
    if (RunsUntilFull <= 0 || RunsUntilFull > sep) {
        RunsUntilFull = sep;
    }
    if (FilesToCopy > 0) {
        --RunsUntilFull;
    }
    if (IsNewPath) {
        RunsUntilFull = sep - 1;
    }
    if (FilesToCopy > 0 && set != nullptr && set->Full) {
        RunsUntilFull = 0;
    } else if (RunsUntilFull < 1) {
        RunsUntilFull = 1;
    }
    if (FilesCopied <= 0) {
        return;
    }
    if (!Path.FullBackupByDays) {
        Path.FullBackupNext = RunsUntilFull == 1;
    } else if (FullBackup) {
        // A day count below one would never move the date forward.
        const int32_t step = Path.FullBackupSepTage < 1 ? 1 : Path.FullBackupSepTage;
        while (IsEarlierDay(Path.FB_NextTime, State.RunTime)) {
            AddDays(Path.FB_NextTime, step);
        }
        TruncateToDay(Path.FB_NextTime);
        Path.FullBackupNext = false;
    }
}

void BackupPass::RemoveSavedBackup(SavedBackup* set) {
    PArray<SavedBackup> kept;
    bool found = false;
    for (SavedBackup* backup : SavedBackups) {
        if (backup == set) {
            found = true;
        } else {
            kept.Append(backup);
        }
    }
    if (found) {  // retention may have deleted it already
        delete set;
        SavedBackups = std::move(kept);
    }
}

// Nothing to back up and no set left: the destination holds at most the control file, which goes with
// it. A folder that holds anything else stays, and so does the control file in it.
bool BackupPass::RemoveEmptyDestination(const std::string& controlName) {
    DeleteFile(controlName);  // a new path has none
    bool removed = RemoveDirectory(Path.DestPath);
    if (removed) {
        Trace("%s komplett gel\xF6scht\n", Path.DestPath.c_str());
    } else {
        Trace("*** Komplett-L\xF6schen von %s gescheitert\n", Path.DestPath.c_str());
        State.CopyErrorList.push_back(Stamp() + "  Complete Delete of >" + Path.DestPath + "< failed");
    }
    return removed;
}

void BackupPass::StoreRunState(TimeValue date) {
    if (State.Profile == nullptr) {
        return;
    }
    namespace lit = registrylit;
    const CAppProfile& profile = *State.Profile;
    // One change of the hive for all of them: each change waits for the disk.
    std::vector<ProfileEntry> entries;
    entries.push_back(ProfileEntry::Text(lit::kNextRunTime, FormatRegistryMinuteTime(Path.NextRunTime)));
    if (Path.FullBackupScheduled && Path.FullBackupByDays) {
        entries.push_back(ProfileEntry::Text(lit::kFBNextTime, FormatRegistryMinuteTime(Path.FB_NextTime)));
    }
    entries.push_back(ProfileEntry::Number(lit::kFullBackupNext, Path.FullBackupNext ? 1 : 0));
    entries.push_back(ProfileEntry::Text(lit::kLastRunTime, FormatRegistryTime(State.RunTime)));
    if (FilesCopied > 0) {
        entries.push_back(ProfileEntry::Text(lit::kLatestSaveDate, FormatRegistryMinuteTime(date)));
    }
    profile.WriteProfileEntries(lit::PathSection(Path.PathIndex), entries);
}

void BackupPass::ForgetPreviousFiles() {
    previousIndex_.clear();  // its keys point into the entries
    previousIndexBuilt_ = false;
    previousCursor_ = 0;
    DeleteAll(PreviousFiles);
}

// The files of a directory come sorted by name, as they were when the control file was written, so the
// entry behind the previous match is nearly always the one. A miss is answered by an index instead of a
// search from the start, which would make a tree of many new or removed files quadratic. The index
// keys on the exact path: two files whose names differ only in letter case are two files.
FileEntry* BackupPass::FindPrevious(const FileEntry& current) {
    int32_t count = PreviousFiles.Count();
    if (previousCursor_ < count && PreviousFiles.Get(previousCursor_)->Path == current.Path) {
        return PreviousFiles.Get(previousCursor_++);
    }
    if (!previousIndexBuilt_) {
        previousIndex_.reserve(static_cast<size_t>(count));
        for (int32_t i = 0; i < count; ++i) {
            previousIndex_.emplace(PreviousFiles.Get(i)->Path, i);  // the first of equal paths wins
        }
        previousIndexBuilt_ = true;
    }
    auto found = previousIndex_.find(current.Path);
    if (found == previousIndex_.end()) {
        return nullptr;
    }
    previousCursor_ = found->second + 1;
    return PreviousFiles.Get(found->second);
}

}  // namespace quillon
