#include <unordered_map>

#include "config/SourcePathRecord.h"
#include "engine/BackupPass.h"
#include "engine/ControlFile.h"
#include "engine/RunState.h"
#include "engine/ZipCopy.h"
#include "files/FileStatus.h"
#include "files/IbZip.h"
#include "platform/FileSystem.h"
#include "support/LineArchive.h"
#include "support/TextCase.h"
#include "support/TimeText.h"

namespace quillon {

// The set's copy of the control file tells its form. At the top of a plain set that name is always the
// copy's: a source file of that name is stored under its copy name. Archive 000 of a plain set, though,
// may be a user's file of that name.
void BackupPass::MergeSameDaySet(const std::string& setDirectory) {
    sameDayForm_ = SetForm::kUnknown;
    if (setDirectory.empty()) {
        return;
    }
    std::string setControl = setDirectory + "\\" + kControlFileName;
    std::string extracted;  // the control file taken out of archive 000, removed after reading
    if (FileExists(setControl)) {
        sameDayForm_ = SetForm::kPlain;
    } else {
        // A compressed set keeps its control file inside archive 000.
        IbZip& zip = State.ZipLibrary;
        if (zip.IB_UnZipArchiveFile(setDirectory + "\\" + ArchiveFileName(0)) <= 0) {
            return;  // no compressed set either: nothing to merge
        }
        if (!HaveTempDirectory()) {
            State.CopyErrorList.push_back(GetNow().Format(kTimeSecondPattern) +
                                          "  Merge not possible (TempDirPath not available)");
            return;
        }
        extracted = State.TempDirPath + kControlFileName;
        DeleteFile(extracted);  // a stale one must not pass for this set's
        zip.IB_UnZipExtractDir(State.TempDirPath);
        zip.IB_UnZipFileSpec(kControlFileName);
        zip.IB_UnZipUseStoredDirs(1);
        zip.IB_Overwrite(1);
        if (zip.IB_UnZip(0) < 1) {
            return;
        }
        setControl = extracted;
    }
    CLineArchiveFile archive;
    bool opened = archive.Open(setControl, false);  // reads the whole file at once
    if (!extracted.empty()) {
        DeleteFile(extracted);
    }
    if (!opened) {
        return;  // the pass goes on without it: the new files are added, the rest is not listed
    }
    if (!extracted.empty()) {
        // A path set to plain files continues a compressed set only when archive 000 is this path's
        // own; one that names another source is an archive of the user's that merely bears the name.
        // (A compressed path takes its archive 000 as before, also after its source was renamed.)
        if (!Path.Compress && ToUpperPath(ReadSourcePath(archive)) != Path.SourcePathUpper) {
            return;
        }
        sameDayForm_ = SetForm::kCompressed;
    }
    ReadZipLines(archive, ZipLines);
    int32_t highest = State.ZipNumber;
    ReadFileList(archive, SetFiles, true, &highest, State.DaylightSaving);
    State.ZipNumber = highest;
    archive.Close();
}

void BackupPass::MergeSetFiles() {
    std::unordered_map<std::string_view, FileEntry*> current;
    current.reserve(static_cast<size_t>(CurrentFiles.Count()));
    for (FileEntry* entry : CurrentFiles) {
        current.emplace(entry->Path, entry);
    }
    std::vector<FileEntry*> vanished;
    for (const FileEntry* earlier : SetFiles) {
        if (!earlier->Stored) {
            continue;
        }
        auto found = current.find(earlier->Path);
        if (found == current.end()) {
            vanished.push_back(new FileEntry(*earlier));  // left the source, still in the set
            continue;
        }
        FileEntry* entry = found->second;
        if (entry->ZipNumber < 0) {
            entry->ZipNumber = earlier->ZipNumber;
        }
        // A newer version that this pass meant to store but did not must stay pending: marking it as
        // stored would record its new time and the change would never be saved.
        if (!entry->ToCopy || entry->Stored) {
            entry->Stored = true;
        }
    }
    for (FileEntry* entry : vanished) {
        CurrentFiles.Append(entry);
    }
}

}  // namespace quillon
