#include <unordered_map>

#include "engine/BackupPass.h"
#include "engine/ControlFile.h"
#include "engine/RunState.h"
#include "files/FileStatus.h"
#include "support/LineArchive.h"

namespace quillon {

void BackupPass::MergeSameDaySet(const std::string& setDirectory) {
    if (setDirectory.empty()) {
        return;
    }
    const std::string setControl = setDirectory + "\\" + kControlFileName;
    if (!FileExists(setControl)) {
        // A compressed set keeps its control file inside archive 000; reading it from there needs the
        // compression library, which this build does not bind yet.
        return;
    }
    CLineArchiveFile archive;
    if (!archive.Open(setControl, false)) {
        return;  // the pass goes on without it: the new files are added, the rest is not listed
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
