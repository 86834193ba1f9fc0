// BackupPass: one backup pass over one source path, and the state the pass keeps from its start to its
// end.
//
// A pass reads the path's control file, scans the source tree for changed files, decides between a
// full and an incremental backup and the date of the set, copies the files into the dated set,
// deletes old sets by the retention rules, rewrites the control file and stores the path's run state
// in the registry. The steps live in files of their own (ScanDirectory.cpp, CopyMarkedFiles.cpp,
// Retention.cpp, ControlFileWriter.cpp, SameDayMerge.cpp, ZipCopy.cpp); BackupPass.cpp runs them in
// order.
//
// Runs on the engine's worker thread. The pass owns its lists and empties them when it ends.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "engine/FileEntry.h"
#include "engine/FolderPrefetch.h"
#include "platform/DirectoryListing.h"
#include "support/PArray.h"
#include "support/TimeValue.h"

namespace quillon {

class FileSystemSync;
class WalkFolder;
class SourcePathRecord;
struct PassPreview;
struct RunState;

class BackupPass {
  public:
    BackupPass(RunState& run, SourcePathRecord& path);
    ~BackupPass();  // deletes the elements of every list
    BackupPass(const BackupPass&) = delete;
    BackupPass& operator=(const BackupPass&) = delete;

    // Runs every step of the pass. Failures end up in the run state and the registry, never here.
    void Run();

    // --- Steps (public so that tests can drive one step over a prepared state) ---

    // Walks dir (Windows form) and, when the path says so, its subdirectories: fills CurrentFiles,
    // marks the changed files, counts FilesToCopy and raises LatestChange and LatestFileTime.
    void ScanDirectory(const std::string& dir, const std::string& dirUpper);

    // Stores the files marked ToCopy into setDirectory. sizeKB receives the stored size in kilobytes
    // (0 after an aborting error); errorCode is the pass's error code, in and out.
    void CopyMarkedFiles(const std::string& setDirectory, int32_t& sizeKB, int32_t& errorCode);

    // Drops from SavedBackups every set whose directory no longer exists.
    void DropVanishedSets();
    // Deletes the oldest sets by the path's delete and keep rules.
    void DeleteOldBackups();

    // Writes the control file through tempName and renames it to controlName; then places a copy into
    // setDirectory (empty when nothing was copied).
    void WriteControlFile(const std::string& tempName, const std::string& controlName,
                          const std::string& setDirectory);

    // Reads what an earlier pass of the same day stored in setDirectory (its control file copy, in a
    // compressed set the one inside archive 000): the archive history, the files it holds (SetFiles)
    // and its highest archive number.
    void MergeSameDaySet(const std::string& setDirectory);
    // After copying: every file the same-day set already held is listed as stored, and files that left
    // the source since are kept in the list, so the control file describes the whole set.
    void MergeSetFiles();

    // --- Compressed sets (ZipCopy.cpp): files are staged in TempDirPath and packed into the numbered
    // archives of the set directory, each archive written whole and flushed to the disk before its
    // files count as stored. ---

    // Prepares the staging of a compressed set: empties the staging folder, begins the next archive
    // and sets the library up to pack the staging folder. False, logged, when there is no staging
    // folder (also shown to the user) or no compression library: the caller then stores plain files.
    bool StartZipCopy(const std::string& sourcePath, const std::string& setDirectory);
    // Copies source into the staging folder under the entry's path from position cut on (see
    // StagedName), closing the current archive first when the file does not fit into it. On success
    // the entry is Stored in archive ZipNumber, which total (the pass's byte count) will count once
    // the archive is written. On failure the last error tells why; a staging folder out of space
    // closes the archive and tries once more (retry), and fails with 41 when even that fails.
    bool StageFile(const std::string& source, FileEntry& entry, size_t cut, int64_t& total, bool retry);
    // Packs the staged files into the current archive, flushes it and adds its length to total. An
    // empty archive writes nothing. On failure the archive's files go back to pending, the error is
    // logged and no later archive of the pass is written (ZipBroken). Empties the staging folder.
    bool CloseArchive(int64_t& total);
    // Adds the control file (a file name, packed under its last component) to the archive. A set on
    // drive A is updated through a copy in the staging folder. False (last error set) on failure.
    bool AddControlFileToArchive(const std::string& controlName, const std::string& archivePath);
    // Where StageFile puts an entry: TempDirPath + the entry's path from cut on.
    std::string StagedName(const FileEntry& entry, size_t cut) const;

    // The entry of PreviousFiles recorded for the same file, or null for a new file. Tries the entry
    // behind the previous match first, as the lists are usually in the same order.
    FileEntry* FindPrevious(const FileEntry& current);
    // Deletes PreviousFiles and the index over it, once the scan has compared every file.
    void ForgetPreviousFiles();
    // Whether a file whose time equals its recorded one may still have changed since its last copy:
    // true when that copy may have been made within the recorded minute.
    bool MayHaveChangedUnseen(const FileEntry& previous) const;

    // --- Pass state ---
    RunState& State;
    SourcePathRecord& Path;

    PArray<FileEntry> PreviousFiles;   // as recorded by the control file at the start of the pass
    PArray<FileEntry> CurrentFiles;    // as found by the scan, in scan order
    PArray<FileEntry> SetFiles;        // recorded by an earlier set of the same date (merge)
    PArray<SavedBackup> SavedBackups;  // oldest first
    std::vector<std::string> ZipLines;

    bool Compress = false;      // the storage form of this pass's set
    int32_t StartPosition = 0;  // length of DestPath: directories below it are created, never above
    int32_t FilesToCopy = 0;
    int32_t FilesCopied = 0;
    TimeValue LatestChange;    // newest time among the files to copy
    TimeValue LatestFileTime;  // newest time among all scanned files
    bool FullBackup = false;
    bool IsNewPath = false;
    bool RecordOnly = false;
    int32_t RunsUntilFull = -1;
    TimeValue SetDate;  // the date of this pass's set
    // When the pass that wrote the control file began (to the minute; 0 when unknown). A file it
    // recorded with a time in that minute or later may have been copied before an edit that left
    // its time in the same minute, which the control file cannot tell apart (see ScanDirectory).
    TimeValue PreviousProcessingTime;
    // The error with which SourcePath could be neither listed nor read as one file (set by the scan);
    // 0 when the source is there.
    int32_t SourceError = 0;
    // SourcePath names one file rather than a directory (set by the scan). The copy then places that
    // file directly in the set directory, and no subdirectory is walked.
    bool SingleFileSource = false;

    // The archive being filled (compressed sets): whether nothing is staged for it yet, and how many
    // more bytes and files it takes. ZipBroken: an archive of this copy loop could not be written.
    bool ArchiveEmpty = true;
    int64_t ArchiveBytesLeft = 0;
    int32_t ArchiveFilesLeft = 0;
    bool ZipBroken = false;
    // The library reads the files where they are when it packs an archive (set by StartZipCopy when it
    // can): nothing is copied into the staging folder. It leaves out, with an error of its own, a file
    // it cannot pack whole, so each stored entry is one version of its file, as a staged copy is.
    bool PackFromSource = false;
    // The scan lists the folders it is about to enter on a second thread as well (see FolderPrefetch).
    bool ListAhead = true;

  private:
    // The scan below the top folder: the entries of a listed folder, and each subfolder it enters.
    enum class SubfolderVerdict { kPassOver, kUnusableName, kDestination, kEnter };
    SubfolderVerdict JudgeSubfolder(const FileInfo& entry, const std::string& subUpper,
                                    bool singleFile) const;
    void ScanEntries(const std::string& dir, const std::string& dirUpper, const WalkFolder& folder,
                     std::vector<FileInfo>& entries, bool singleFile, FolderPrefetch& prefetch);
    void ScanSubfolder(const std::string& dir, const std::string& dirUpper, FolderPrefetch::Batch& batch,
                       FolderPrefetch& prefetch);
    // Decides Compress for this pass's set: a set keeps the form it was begun in (as MergeSameDaySet
    // found it), else the path's setting decides.
    void ChooseStorageForm();
    // After a full disk: deletes a set whose folder this pass made (madeByPass) and marks its files to
    // be copied again. False when nothing was deleted.
    bool DiscardIncompleteSet(const std::string& setDirectory, SavedBackup* set, bool madeByPass);
    // A run that only looks: what the copy step would store, and where.
    void PreviewCopy(PassPreview& preview, TimeValue date) const;
    // Counts down to the next full backup, by runs or by days.
    void ScheduleNextFullBackup(const SavedBackup* set);
    // Removes set from SavedBackups and deletes it; nothing when it is no longer listed.
    void RemoveSavedBackup(SavedBackup* set);
    // Puts the copy of the control file into the set: into archive 000 of a compressed set, beside the
    // files of a plain one.
    void PlaceControlFileCopy(const std::string& controlName, const std::string& setDirectory);
    // Removes the control file and the destination folder; false (logged) when either stays.
    bool RemoveEmptyDestination(const std::string& controlName);
    // Stores NextRunTime, FB_NextTime, FullBackupNext, LastRunTime and LatestSaveDate of the path.
    void StoreRunState(TimeValue date);

    // After an archive packed from the sources: the files the library could not pack whole go back to
    // pending, each with its lines in the error list.
    void LeaveOutUnpackedFiles();
    void UnstoreFile(FileEntry* entry);
    // TempDirPath, obtained on first use; false when the staging folder cannot be created.
    bool HaveTempDirectory();
    // Updates archivePath with the control file through the library; false (last error set) on
    // failure.
    bool PackControlFile(const std::string& controlName, const std::string& archivePath);

    // The form of the same-day set as its own control file shows it: a plain file in the set folder
    // (plain), the copy inside archive 000 that names this path's source (compressed), or none found.
    enum class SetForm { kUnknown, kPlain, kCompressed };
    SetForm sameDayForm_ = SetForm::kUnknown;

    // Compressed sets: the set directory of the staging, the entries staged for the current archive,
    // the error that broke an archive, and the flush of the set's file system, watched from the start
    // of the staging so that a failed write-back of any archive is seen.
    std::string zipSetDirectory_;
    std::vector<FileEntry*> archiveFiles_;
    // PackFromSource: the library's source list for the current archive (path and entry name of each
    // of archiveFiles_, zero bytes between), and each file's source and staged name for its error lines.
    std::string sourceList_;
    std::vector<std::pair<std::string, std::string>> archiveNames_;
    int32_t zipError_ = 0;
    std::unique_ptr<FileSystemSync> archiveSync_;

    // Index of PreviousFiles by exact path, built on first use.
    std::unordered_map<std::string_view, int32_t> previousIndex_;
    bool previousIndexBuilt_ = false;
    int32_t previousCursor_ = 0;

    // The destination folder's identity, taken when the walk begins (found: it exists): a folder of
    // the source with this identity is the destination itself, and is not walked.
    FileIdentity destIdentity_;
    bool destIdentityFound_ = false;
};

}  // namespace quillon
