// The scan of a source tree: which files exist now, which of them are excluded, and which changed since
// the control file recorded them.

#include <string>

#include "config/SourcePathRecord.h"
#include "engine/BackupPass.h"
#include "engine/ControlFile.h"
#include "engine/MatchPattern.h"
#include "engine/RunState.h"
#include "platform/DirectoryListing.h"
#include "platform/LastError.h"
#include "platform/Trace.h"
#include "support/ErrorText.h"
#include "support/TextCase.h"
#include "support/TimeText.h"
#include "support/TimeValue.h"

namespace quillon {
namespace {

// 1979-12-31 23:16:18 UTC. Earlier file times are raised to it, so that every recorded time can be
// written to the control file and read back as the same date.
constexpr int32_t kEarliestFileTime = 315'530'178;

// The staging folder of compressed sets, upper-cased: a compressed pass never backs up its own staging.
constexpr const char* kStagingFolderUpper = "C:\\TEMP\\QUILRUN\\";

// A symbolic link of the source is never followed: it is an entry of its own, with the link's own
// time, which the copy stores as a link. A link to a folder is such an entry too and is not entered.
constexpr LinkEntries kSourceLinks = LinkEntries::kAsFound;
// FIFOs, sockets and devices are listed too, only to be reported: they are never opened.
constexpr ListingScope kScanScope = ListingScope::kWithOtherEntries;

// A file that lands directly in the set directory under the control file's name is stored under this
// prefix plus that name, so that the set's own copy of the control file cannot replace it.
constexpr const char* kCopyNamePrefix = "Kopie von ";

// A pattern that names the directory being entered comes to cover everything in it.
void ExtendPatternsNaming(PArray<PatternEntry>& patterns, const std::string& dirUpper) {
    for (PatternEntry* pattern : patterns) {
        if (pattern->PatternUpper.size() >= 2 && pattern->PatternUpper == dirUpper) {
            pattern->Pattern += "\\*";
            pattern->PatternUpper += "\\*";
        }
    }
}

bool AnyPatternMatches(const PArray<PatternEntry>& patterns, const std::string& pathUpper) {
    for (const PatternEntry* pattern : patterns) {
        if (MatchPattern(pattern->PatternUpper, pathUpper)) {
            return true;
        }
    }
    return false;
}

// Why a name cannot be backed up, or null when it can. Paths are Windows-form, so a backslash inside a
// name would split it into two components that name another file; a line break would split the
// name's line in the control file and make the next pass misread it.
const char* UnusableNameReason(const std::string& name) {
    bool backslash = false;
    for (char c : name) {  // one pass: every name of the tree is looked at
        if (c == '\r' || c == '\n') {
            return "its name holds a line break";
        }
        backslash = backslash || c == '\\';
    }
    return backslash ? "its name holds a backslash" : nullptr;
}

// The name with its line breaks written out, so that the error log keeps one line per entry.
std::string VisibleName(const std::string& name) {
    std::string visible;
    for (char c : name) {
        if (c == '\r') {
            visible += "<CR>";
        } else if (c == '\n') {
            visible += "<LF>";
        } else {
            visible += c;
        }
    }
    return visible;
}

// The log line, and an entry in the list of files that could not be copied, which the user sees at the
// end of the run.
void ReportUnusableName(RunState& state, const std::string& dir, const FileInfo& entry, const char* reason) {
    const char* what = entry.IsDirectory() ? "Folder" : "File";
    state.CopyErrorList.push_back(GetNow().Format(kTimeSecondPattern) + "  " + what + " >" +
                                  VisibleName(entry.Name) + "< in " + dir + " not backed up: " + reason);
    state.UncopiedFiles.push_back(dir + "\\" + VisibleName(entry.Name));
    state.ErrorFlag = true;  // a file left out is an error of the run, not a success
}

// A subdirectory gone since its parent was listed simply holds nothing; one that is there but cannot be
// listed (a path too long for the system, no access) is logged, since none of the files below it is
// backed up.
void ReportUnlistedFolder(RunState& state, const std::string& dir, int32_t code) {
    if (code != kErrorFileNotFound && code != kErrorPathNotFound && code != 0) {
        state.CopyErrorList.push_back(GetNow().Format(kTimeSecondPattern) + "  Folder " + VisibleName(dir) +
                                      " not backed up: " + ErrorText(code));
        state.UncopiedFiles.push_back(VisibleName(dir));
        state.ErrorFlag = true;
    }
}

}  // namespace

// The control file keeps minutes. A file recorded with the time 10:00 and copied at 10:00:20 may have
// been edited again at 10:00:50: its time still reads 10:00, and no comparison of times can see that
// edit. Such a copy can only have been made by a pass that began before the end of the recorded
// minute, that is, when the recorded minute is not earlier than the previous pass's processing time
// (copies are made after their pass began). Those files are copied again; every other file was read
// after its recorded minute had ended, so an edit since would have given it another time. A recorded
// minute that has not yet begun (a time in the future) cannot have been edited within yet: the file
// waits, and as the processing time written meanwhile is earlier still, a later pass copies it.
bool BackupPass::MayHaveChangedUnseen(const FileEntry& previous) const {
    return PreviousProcessingTime.IsSet() && !IsEarlierMinute(previous.Time, PreviousProcessingTime) &&
           !(GetNow() < previous.Time);
}

// What the scan does with a directory entry of a folder: walk it, pass over it, or report it.
BackupPass::SubfolderVerdict BackupPass::JudgeSubfolder(const FileInfo& entry, const std::string& subUpper,
                                                        bool singleFile) const {
    if (entry.Name == "." || entry.Name == ".." || !Path.IncludeSubdirs || singleFile) {
        return SubfolderVerdict::kPassOver;
    }
    // A link to a directory is never followed: it could lead out of the tree or around in a circle.
    // Only real directories are walked.
    if (!entry.MayEnter()) {
        return SubfolderVerdict::kPassOver;
    }
    // With force patterns every directory is walked: a forced file may lie below an excluded one.
    if (Path.ForceList.IsEmpty() && AnyPatternMatches(Path.ExcludeList, subUpper)) {
        return SubfolderVerdict::kPassOver;
    }
    if (UnusableNameReason(entry.Name) != nullptr) {
        return SubfolderVerdict::kUnusableName;
    }
    // The path's own destination inside its source is never backed up: each pass would store every
    // set before it once more, and the sets would grow without end.
    if (destIdentityFound_ && entry.Identity == destIdentity_) {
        return SubfolderVerdict::kDestination;
    }
    return SubfolderVerdict::kEnter;
}

void BackupPass::ScanDirectory(const std::string& dirIn, const std::string& dirUpperIn) {
    std::string dir = dirIn;
    std::string dirUpper = dirUpperIn;

    ExtendPatternsNaming(Path.ExcludeList, dirUpper);
    ExtendPatternsNaming(Path.ForceList, dirUpper);

    // Only the top of the walk is opened by its path (a configured path may lie behind a link). Every
    // folder below it is opened relative to the open folder above it and never through a link, so that
    // a folder swapped for a link since it was listed is reported, not walked; links themselves are
    // listed as entries, never followed.
    destIdentityFound_ = IdentifyFile(Path.DestPath, destIdentity_);
    WalkFolder folder;
    std::vector<FileInfo> entries;
    bool found = folder.OpenTop(dir) && folder.List(kScanScope, entries, kSourceLinks) && !entries.empty();
    bool singleFile = false;
    if (!found && dir != Path.SourcePath) {
        ReportUnlistedFolder(State, dir, GetLastError());
        return;
    }
    if (!found) {
        const int32_t listError = GetLastError();
        // Only the source path itself may name a single file.
        DirectorySearch search(kScanScope, AttributeDetail::kTypesOnly);
        FileInfo entry;
        found = search.First(dir, entry);
        if (!found || entry.IsDirectory()) {
            // Neither a folder that can be listed nor a file: the source is missing (a typo, a disk
            // not mounted) or refuses to be read. Taken for an empty tree, it would make every file
            // of the path count as gone; the pass reports it instead and changes nothing.
            const int32_t code = found ? listError : GetLastError();
            SourceError = code != 0 ? code : kErrorNoSystemCode;
            return;
        }
        singleFile = true;
        SingleFileSource = true;
        size_t separator = dir.rfind('\\');
        dir = separator == std::string::npos ? std::string() : dir.substr(0, separator);
        dirUpper = ToUpperPath(dir);
        entries.assign(1, std::move(entry));
    }
    FolderPrefetch prefetch(kScanScope, kSourceLinks, ListAhead);
    ScanEntries(dir, dirUpper, folder, entries, singleFile, prefetch);
}

void BackupPass::ScanSubfolder(const std::string& dir, const std::string& dirUpper,
                               FolderPrefetch::Batch& batch, FolderPrefetch& prefetch) {
    ExtendPatternsNaming(Path.ExcludeList, dirUpper);
    ExtendPatternsNaming(Path.ForceList, dirUpper);

    const std::unique_ptr<FolderListing> listing = batch.Take();
    if (!listing->Listed || listing->Entries.empty()) {
        ReportUnlistedFolder(State, dir, listing->Listed ? kErrorFileNotFound : listing->Error);
        return;
    }
    ScanEntries(dir, dirUpper, listing->Folder, listing->Entries, false, prefetch);
}

void BackupPass::ScanEntries(const std::string& dir, const std::string& dirUpper, const WalkFolder& folder,
                             std::vector<FileInfo>& entries, bool singleFile, FolderPrefetch& prefetch) {
    // The subfolders to walk are announced before the first of them is entered, so that they can be
    // listed ahead.
    std::vector<SubfolderVerdict> verdicts(entries.size(), SubfolderVerdict::kPassOver);
    std::vector<std::string> subfolders;
    std::vector<std::string> subfoldersUpper;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].IsDirectory()) {
            std::string subUpper = dirUpper + "\\" + ToUpperPath(entries[i].Name);
            verdicts[i] = JudgeSubfolder(entries[i], subUpper, singleFile);
            if (verdicts[i] == SubfolderVerdict::kEnter) {
                subfolders.push_back(entries[i].Name);
                subfoldersUpper.push_back(std::move(subUpper));
            }
        }
    }
    FolderPrefetch::Batch batch(prefetch, folder, subfolders);

    const bool checkUpper = !Path.ExcludeList.IsEmpty() || !Path.ForceList.IsEmpty() || Compress;
    size_t entered = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        const FileInfo& entry = entries[i];
        State.Tick();
        if (entry.IsDirectory()) {
            switch (verdicts[i]) {
                case SubfolderVerdict::kPassOver:
                    break;
                case SubfolderVerdict::kUnusableName:
                    ReportUnusableName(State, dir, entry, UnusableNameReason(entry.Name));
                    break;
                case SubfolderVerdict::kDestination:
                    Trace("Ziel %s liegt in der Quelle: nicht gesichert\n",
                          (dir + "\\" + entry.Name).c_str());
                    break;
                case SubfolderVerdict::kEnter:
                    ScanSubfolder(dir + "\\" + entry.Name, subfoldersUpper[entered++], batch, prefetch);
                    break;
            }
            continue;
        }

        // The upper-cased path serves only the patterns and the staging folder's test; a tree without
        // either (the common case) does without it.
        if (checkUpper) {
            const std::string fileUpper = dirUpper + "\\" + ToUpperPath(entry.Name);
            bool included = !AnyPatternMatches(Path.ExcludeList, fileUpper);
            if (!included && AnyPatternMatches(Path.ForceList, fileUpper)) {
                included = true;  // force patterns only bring back what an exclude pattern removed
            }
            if (Compress && fileUpper.starts_with(kStagingFolderUpper)) {
                included = false;
            }
            if (!included) {
                continue;  // not listed at all, so the control file forgets it
            }
        }
        if (entry.Kind == EntryKind::kOther) {
            // Reading a FIFO would wait for a writer, a device would give endless or private data.
            ReportUnusableName(State, dir, entry, "it is a FIFO, socket or device, not a file");
            continue;
        }
        if (const char* reason = UnusableNameReason(entry.Name)) {
            ReportUnusableName(State, dir, entry, reason);
            continue;
        }

        auto* file = CurrentFiles.Append(new FileEntry);
        std::string name = entry.Name;
        // The file lands directly in the set directory when it lies in the source root or is the single
        // source file; there its own name would be taken by the set's copy of the control file.
        if ((singleFile || dir == Path.SourcePath) && name == kControlFileName) {
            name = std::string(kCopyNamePrefix) + kControlFileName;
            file->StoredAsCopyName = true;
        }
        // The name is kept exactly as found, blanks included: trimmed, it would name another file.
        file->Path.reserve(dir.size() + 1 + name.size());
        file->Path.append(dir).append(1, '\\').append(name);
        file->Size = entry.Size;
        file->Time = TimeValue::FromSeconds(entry.ModificationTime);
        if (file->Time.Seconds() < kEarliestFileTime) {
            file->Time = TimeValue(kEarliestFileTime);
        }
        if (LatestFileTime < file->Time) {
            LatestFileTime = file->Time;
        }

        // Only the recorded time and a pending mark decide, never the archive attribute. Any other
        // time is a change, a later one and an earlier one alike: an older version brought back (by mv,
        // tar, unzip, cp -p) has content that no set holds, and so has a file edited after a recorded
        // time in the future. Times before 2000 are compared by the day, later ones by the minute, the
        // precision the control file keeps.
        const FileEntry* previous = FindPrevious(*file);
        if (previous == nullptr || previous->Pending) {
            file->ToCopy = true;
        } else if (file->Time.Year() < 2000) {
            file->ToCopy =
                IsEarlierDay(previous->Time, file->Time) || IsEarlierDay(file->Time, previous->Time);
        } else {
            file->ToCopy = IsEarlierMinute(previous->Time, file->Time) ||
                           IsEarlierMinute(file->Time, previous->Time) || MayHaveChangedUnseen(*previous);
        }
        if (file->ToCopy) {
            ++FilesToCopy;
            if (LatestChange < file->Time) {
                LatestChange = file->Time;
            }
        }
    }
}

}  // namespace quillon
