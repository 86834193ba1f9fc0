// Compressed sets: files are gathered for an archive until its file or byte limit is reached, then the
// library packs them into the set's next archive. A library that can read the files where they are gets
// their list; otherwise each is copied into the staging folder, which the library packs and which is
// emptied for the next archive. Reading in place spares a copy of every file, and the creating and
// deleting of thousands of staged files that costs some file systems more than the copy itself.
#include "engine/ZipCopy.h"

#include <cctype>
#include <cstdio>

#include "engine/BackupPass.h"
#include "engine/CopyErrorLine.h"
#include "engine/RunState.h"
#include "files/CopyFile.h"
#include "files/DeleteTree.h"
#include "files/FileStatus.h"
#include "files/IbZip.h"
#include "files/SystemUtilities.h"
#include "platform/DirectorySync.h"
#include "platform/FileSystem.h"
#include "platform/LastError.h"
#include "platform/Trace.h"
#include "support/ErrorText.h"
#include "support/MessageBox.h"
#include "support/NumberText.h"
#include "support/StringTable.h"
#include "support/TimeText.h"

namespace quillon {
namespace {

const std::string kIndent(21, ' ');
// The staging folder GetTempDirectory creates; named to the user when it cannot be created.
constexpr const char* kStagingFolder = "C:\\Temp\\QuilRun\\";

std::string Stamp() {
    return GetNow().Format(kTimeSecondPattern);
}

// A library result of a packing call: success when files were written or only warnings were given;
// otherwise the last error becomes the Windows number of the library's code.
bool PackResult(int32_t result, bool exactlyOne) {
    bool ok = (exactlyOne ? result == 1 : result >= 1) || result == kIbZipWarnings;
    if (!ok) {
        SetLastError(MapZipError(-result, true));
    }
    return ok;
}

std::string FolderOf(const std::string& path) {
    size_t last = path.rfind('\\');
    return last == std::string::npos ? std::string() : path.substr(0, last);
}

// The error-list line of an error number: "Error  32:   " and its text.

std::string NameOf(const std::string& path) {
    size_t last = path.rfind('\\');
    return last == std::string::npos ? path : path.substr(last + 1);
}

}  // namespace

std::string ArchiveFileName(int32_t number) {
    return "QuillonData_" + IntToTextZeroPadded(number, 3) + ".Zip";
}

bool BackupPass::HaveTempDirectory() {
    if (State.TempDirPath.empty()) {
        State.TempDirPath = GetTempDirectory();
    }
    return !State.TempDirPath.empty();
}

std::string BackupPass::StagedName(const FileEntry& entry, size_t cut) const {
    // TempDirPath ends with '\' and the path's remainder begins with one: keep a single separator, so
    // that the names stored in the archive are plain relative names.
    if (cut < entry.Path.size() && entry.Path[cut] == '\\') {
        ++cut;
    }
    return State.TempDirPath + entry.Path.substr(cut < entry.Path.size() ? cut : entry.Path.size());
}

bool BackupPass::StartZipCopy(const std::string& sourcePath, const std::string& setDirectory) {
    (void)sourcePath;  // the staged names are cut from the entries' paths (StagedName)
    if (!HaveTempDirectory()) {
        State.CopyErrorList.push_back(Stamp() + "  ZipCopy not possible (TempDirPath not available)");
        State.CopyErrorList.push_back(kIndent + "Deactivate compression");
        // TempDirPath is empty here: the message names the folder that could not be created.
        ShowMessageBox(std::string(LoadText(kTextCompressionNotPossible)) + kStagingFolder +
                           LoadText(kTextCouldNotBeCreated),
                       kMbOk);
        return false;
    }
    // Without the library no archive could be written; the files are stored plainly instead, which
    // keeps them backed up. The user was told when the library failed to load.
    if (!State.ZipLibrary.IsOpen()) {
        Trace("*** ZipCopy: IB-ZIP nicht geladen\n");
        State.CopyErrorList.push_back(Stamp() + "  ZipCopy not possible (IB-ZIP.DLL not available)");
        State.CopyErrorList.push_back(kIndent + "Deactivate compression");
        return false;
    }

    DeleteTempDirectory(State.TempDirPath, nullptr, false);
    zipSetDirectory_ = setDirectory;
    archiveFiles_.clear();
    sourceList_.clear();
    archiveNames_.clear();
    zipError_ = 0;
    // The archives are durable once this file system has been flushed; watching it from now on makes
    // that flush report a failed write-back of any archive of the set.
    archiveSync_ = std::make_unique<FileSystemSync>();
    archiveSync_->Open(setDirectory);

    State.ZipNumber = State.ZipNumber + 1;  // 0 for a new set; a merged set continues after its highest
    ArchiveEmpty = true;
    ArchiveBytesLeft = kArchiveByteLimit;
    ArchiveFilesLeft = State.ZipNumber == 0 ? kFirstArchiveFileLimit : kArchiveFileLimit;

    IbZip& zip = State.ZipLibrary;
    PackFromSource = zip.IB_ZipSourceResult(0) != kIbZipNotAvailable;
    zip.IB_ZipFileSpec(State.TempDirPath + "*.*");
    zip.IB_Overwrite(1);
    zip.IB_ZipRecurseDirs(1);
    zip.IB_ZipStoredDirNames(2);
    return true;
}

bool BackupPass::StageFile(const std::string& source, FileEntry& entry, size_t cut, int64_t& total,
                           bool retry) {
    // After a failed archive nothing staged could be written any more; staging it would only record
    // files as stored that are in no archive.
    if (ZipBroken) {
        SetLastError(zipError_);
        return false;
    }
    // An empty archive after the first takes any one file, however large; archive 0 stays small, as
    // every pass rewrites it with the control file.
    bool fits =
        (ArchiveEmpty && State.ZipNumber != 0) || (ArchiveFilesLeft > 0 && entry.Size < ArchiveBytesLeft);
    if (!fits && !CloseArchive(total)) {
        return false;
    }

    const std::string staged = StagedName(entry, cut);
    if (PackFromSource) {
        // The entry is named as its staged copy would be: the path below the staging folder.
        std::string name = staged.substr(State.TempDirPath.size());
        for (char& c : name) {
            c = c == '\\' ? '/' : c;
        }
        sourceList_.append(source).push_back('\0');
        sourceList_.append(name).push_back('\0');
        archiveNames_.emplace_back(source, staged);
        State.BytesCopied += entry.Size;
    }
    State.CompressPhase = !PackFromSource;
    bool copied = PackFromSource ||
                  CopyFileCreatingPath(source, staged, false, State.CopyBuffer.data(),
                                       static_cast<int64_t>(State.CopyBuffer.size()),
                                       static_cast<int32_t>(State.TempDirPath.size()), &State.BytesCopied);
    State.CompressPhase = false;

    if (!copied) {
        entry.CopyFailed = true;
        int32_t error = GetLastError();
        DeleteFile(staged);
        if (error == 0 || error == kErrorDiskFull || error == kErrorInvalidParameter) {
            // The staging folder is full: pack what it holds, which empties it, and try once more.
            CloseArchive(total);
            if (!retry) {
                bool ok = StageFile(source, entry, cut, total, true);
                if (ok) {
                    entry.CopyFailed = false;  // stored after all: not to be copied again
                }
                return ok;
            }
            SetLastError(kErrorTempDirectoryFull);
            return false;
        }
        SetLastError(error);
        return false;
    }

    ArchiveEmpty = false;
    --ArchiveFilesLeft;
    ArchiveBytesLeft -= entry.Size;
    entry.Stored = true;
    entry.ZipNumber = State.ZipNumber;
    archiveFiles_.push_back(&entry);
    return true;
}

bool BackupPass::CloseArchive(int64_t& total) {
    if (ZipBroken) {
        return false;
    }
    if (ArchiveEmpty) {
        // Archive 0 may stay empty when the first file exceeds its limits: its number is skipped.
        if (State.ZipNumber < 1) {
            State.ZipNumber = 1;
        }
        return true;
    }

    const std::string archive = zipSetDirectory_ + "\\" + ArchiveFileName(State.ZipNumber);
    bool ok = IsFileWritable(archive);
    if (!ok && GetLastError() == 0) {
        SetLastError(kErrorAccessDenied);
    }
    bool written = ok;
    if (ok) {
        IbZip& zip = State.ZipLibrary;
        zip.IB_ZipArchiveFile(archive);
        if (PackFromSource) {
            zip.IB_ZipSourceList(sourceList_);
        }
        State.CompressPhase = PackFromSource;
        int32_t result = zip.IB_Zip(0);
        State.CompressPhase = false;
        // Read from the sources, files that could not be packed whole are left out one by one: the
        // archive holds the others, or nothing at all when none could be packed.
        written = PackResult(result, false);
        ok = written || (PackFromSource && result == 0);
        if (ok && PackFromSource) {
            LeaveOutUnpackedFiles();
        }
        // The files count as stored only once the archive is on the disk. An archive whose write-back
        // failed cannot be trusted: it goes, so that a later pass writes it anew.
        bool watching = archiveSync_ != nullptr && archiveSync_->IsOpen();
        if (written && !(watching ? archiveSync_->Sync() : SyncFileSystem(archive))) {
            int32_t error = GetLastError();
            DeleteFile(archive);
            SetLastError(error != 0 ? error : kErrorNoSystemCode);
            ok = written = false;
        }
    }

    if (ok && !written) {
        // No archive under this number: the next one takes it, except archive 0, which stays small.
        if (State.ZipNumber < 1) {
            State.ZipNumber = 1;
        }
        State.FilesStored = FilesCopied;
    } else if (ok) {
        total += GetFileLength(archive);
        State.ZipNumber = State.ZipNumber + 1;
        State.FilesStored = FilesCopied;
    } else {
        // The archive's files are in no archive: they stay pending and the counters forget them.
        for (FileEntry* entry : archiveFiles_) {
            if (!entry->Stored) {
                continue;  // left out by the library already, and counted so
            }
            UnstoreFile(entry);
        }
        zipError_ = GetLastError();
        State.CopyErrorList.push_back(Stamp() + "  Error writing file >" + archive + "<");
        Trace("*** Error writing file >%s<\n", archive.c_str());
        ZipBroken = true;
        State.ErrorFlag = true;
    }

    ArchiveEmpty = true;
    ArchiveBytesLeft = kArchiveByteLimit;
    ArchiveFilesLeft = kArchiveFileLimit;
    archiveFiles_.clear();
    sourceList_.clear();
    archiveNames_.clear();
    int32_t error = GetLastError();
    if (!PackFromSource) {
        DeleteTempDirectory(State.TempDirPath, nullptr, false);
    }
    SetLastError(error);
    return ok;
}

// A file counted as stored that its archive does not hold after all: pending again, and out of the counts.
void BackupPass::UnstoreFile(FileEntry* entry) {
    entry->Stored = false;
    entry->CopyFailed = true;
    entry->ZipNumber = -1;
    --FilesCopied;
    --State.RunFilesCopied;
    if (entry->Time > State.LastAutoRunTime) {
        --State.CountNewFiles;
    }
}

void BackupPass::LeaveOutUnpackedFiles() {
    IbZip& zip = State.ZipLibrary;
    for (size_t i = 0; i < archiveFiles_.size(); ++i) {
        int32_t result = zip.IB_ZipSourceResult(static_cast<intptr_t>(i));
        if (result == 1) {
            continue;
        }
        // This file alone is affected (gone, unreadable, never holding still): it stays pending, and
        // the error list names it as it names a file whose copy failed.
        FileEntry* entry = archiveFiles_[i];
        UnstoreFile(entry);
        const auto& [source, staged] = archiveNames_[i];
        State.CopyErrorList.push_back(Stamp() + "  " + source);
        State.CopyErrorList.push_back(kIndent + "==> " + staged);
        State.CopyErrorList.push_back(CopyErrorLine(MapZipError(-result, true)));
        State.UncopiedFiles.push_back(source);
        State.ErrorFlag = true;
    }
}

bool BackupPass::PackControlFile(const std::string& controlName, const std::string& archivePath) {
    // The settings of the staging stay in force in the library; the two this update relies on are
    // set again, so that it does not depend on what was packed before.
    FileSystemSync durable;
    durable.Open(FolderOf(archivePath));
    IbZip& zip = State.ZipLibrary;
    zip.IB_ZipFileSpec(controlName);
    zip.IB_ZipArchiveFile(archivePath);
    zip.IB_ZipRecurseDirs(0);
    zip.IB_Overwrite(1);
    zip.IB_ZipStoredDirNames(2);
    if (!PackResult(zip.IB_Zip(0), true)) {
        return false;
    }
    return !durable.IsOpen() || durable.Sync();
}

bool BackupPass::AddControlFileToArchive(const std::string& controlName, const std::string& archivePath) {
    if (archivePath.empty() || std::toupper(static_cast<unsigned char>(archivePath[0])) != 'A') {
        if (!IsFileWritable(archivePath)) {
            if (GetLastError() == 0) {
                SetLastError(kErrorAccessDenied);
            }
            return false;
        }
        return PackControlFile(controlName, archivePath);
    }

    // Drive A: the archive is updated in the staging folder and copied back. The copy goes to a
    // temporary name first and replaces the archive in one step, so the archive is never half
    // written.
    if (!HaveTempDirectory()) {
        SetLastError(kErrorTempDirectoryFull);
        return false;
    }
    const std::string staged = State.TempDirPath + NameOf(archivePath);
    char* buffer = State.CopyBuffer.data();
    const int64_t size = static_cast<int64_t>(State.CopyBuffer.size());
    DeleteFile(staged);
    if (FileExists(archivePath) && !CopyFileWithBuffer(archivePath, staged, false, buffer, size)) {
        return false;
    }
    bool ok = PackControlFile(controlName, staged);
    if (ok) {
        std::string temporary = archivePath.substr(0, archivePath.size() - 4) + ".TMP";
        ok = CopyFileWithBuffer(staged, temporary, false, buffer, size) && SyncFileSystem(temporary) &&
             RenameFile(temporary, archivePath) && SyncDirectory(FolderOf(archivePath));
        if (!ok) {
            int32_t error = GetLastError();
            DeleteFile(temporary);
            SetLastError(error);
        }
    }
    int32_t error = GetLastError();
    DeleteFile(staged);
    SetLastError(error);
    return ok;
}

}  // namespace quillon
