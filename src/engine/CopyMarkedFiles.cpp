// The copy step of a pass: stores the files marked for copying in the set directory, logs the files
// that fail, and stops the path at the first failure that concerns more than one file.

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "config/SourcePathRecord.h"
#include "engine/BackupPass.h"
#include "engine/ControlFile.h"
#include "engine/CopyErrorLine.h"
#include "engine/CopyJournal.h"
#include "engine/RunState.h"
#include "files/CopyFile.h"
#include "files/FileStatus.h"
#include "files/PathDirectories.h"
#include "files/ReadAheadWindow.h"
#include "platform/FileAttributes.h"
#include "platform/FileSystem.h"
#include "platform/LastError.h"
#include "platform/NativeFile.h"
#include "platform/ReadAhead.h"
#include "platform/Trace.h"
#include "support/ErrorText.h"
#include "support/StringTable.h"
#include "support/TimeText.h"

namespace quillon {
namespace {

const std::string kIndent(21, ' ');

// Reading ahead of the copies: how many bytes of the files after the current one the disk is asked
// for, at most how much of each file counts, and how many files at most.
constexpr int64_t kReadAheadBytes = 32 << 20;
constexpr int64_t kReadAheadPerFile = 4 << 20;
constexpr size_t kReadAheadFiles = 128;

std::string Stamp() {
    return GetNow().Format(kTimeSecondPattern);
}

// The error-list line of an error number: "Error  32:   " and its text.

// The last error of the step that just failed, or 40 when the system gave none.
int32_t FailureCode() {
    int32_t code = GetLastError();
    return code != 0 ? code : kErrorNoSystemCode;
}

// The file a copy reads. A source-root "Quillon.txt" is listed, stored and staged under its copy name
// but read under its own name: no file of the copy name exists in the source.
std::string SourceOf(const FileEntry& entry) {
    if (!entry.StoredAsCopyName) {
        return entry.Path;
    }
    size_t separator = entry.Path.rfind('\\');
    return entry.Path.substr(0, separator == std::string::npos ? 0 : separator + 1) + kControlFileName;
}

// Whether the source itself refuses to be read (a file of mode 000, another user's file). Access
// denied on a copy may concern the source or the set's folder: only a folder that refuses its copies
// concerns every file after this one, while an unreadable source concerns this file alone.
bool SourceRefusesReading(const std::string& source) {
    NativeFile file;
    if (file.OpenRead(source)) {
        file.Close();
        return false;
    }
    return GetLastError() == kErrorAccessDenied;
}

}  // namespace

std::string CopyErrorLine(int32_t code) {
    char number[16];
    std::snprintf(number, sizeof number, "%3d", code);
    return kIndent + "Error " + number + ":   " + ErrorText(code);
}

void BackupPass::CopyMarkedFiles(const std::string& setDirectory, int32_t& sizeKB, int32_t& errorCode) {
    sizeKB = 0;
    int64_t bytesToCopy = 0;
    for (const FileEntry* entry : CurrentFiles) {
        if (entry->ToCopy) {
            bytesToCopy += entry->Size;
        }
    }
    State.BytesToCopy = bytesToCopy;
    if (State.CopyBuffer.empty()) {
        State.CopyBuffer.resize(kCopyBufferSize);  // the run normally allocates it before the worker starts
    }
    // A compressed set stages its files for the archives. Without staging, every path of the run
    // stores plain files from now on.
    if (Compress && !StartZipCopy(Path.SourcePath, setDirectory)) {
        for (SourcePathRecord* record : State.Paths.PathRecords) {
            record->Compress = false;
        }
        Path.Compress = false;
        Compress = false;
    }
    State.BytesCopied = 0;
    int64_t total = 0;
    ZipBroken = false;

    // The set holds each file under its path below SourcePath; a single source file lies directly in the
    // set directory.
    auto cutOf = [&](const FileEntry& entry) {
        size_t cut = Path.SourcePath.size();
        if (SingleFileSource || cut == entry.Path.size()) {
            size_t separator = entry.Path.rfind('\\');
            cut = separator == std::string::npos ? 0 : separator;
        }
        return cut > entry.Path.size() ? entry.Path.size() : cut;
    };

    // The copies are made durable together, with one flush of the destination's file system after the
    // last one. Watching that file system from before the first copy makes the flush report a failed
    // write-back of any copy, even of one whose file was closed long before. Each copy is written under
    // a temporary name and takes its own only after that flush: until then the set keeps what it held,
    // and a kill leaves temporaries that the journal points the next pass to.
    FileSystemSync durable;
    const bool watching = durable.Open(setDirectory);
    BeginCopyJournal(Path.DestPath, setDirectory);
    CopyBatch batch;
    // The sources are announced to the disk ahead of their copies: a copy of small files otherwise
    // waits for one read at a time. The archives of a compressed set read their files themselves.
    std::vector<const FileEntry*> toRead;
    ReadAheadWindow readAhead(
        kReadAheadBytes, kReadAheadPerFile, kReadAheadFiles,
        [&](size_t index, int64_t length) { AdviseWillRead(SourceOf(*toRead[index]), length); });
    if (!Compress) {
        for (const FileEntry* entry : CurrentFiles) {
            if (entry->ToCopy) {
                toRead.push_back(entry);
                readAhead.Add(entry->Size);
            }
        }
    }
    size_t copyIndex = 0;
    std::vector<FileEntry*> copied;  // stored by this loop, in order
    int32_t newFiles = 0;            // of those, the ones counted in CountNewFiles

    // Forgets that an entry of this loop was stored: it goes back to pending ('E') and the counters
    // forget it.
    auto unstore = [&](FileEntry* entry) {
        entry->Stored = false;
        entry->CopyFailed = true;
        --FilesCopied;
        --State.RunFilesCopied;
        if (entry->Time > State.LastAutoRunTime) {
            --State.CountNewFiles;
            --newFiles;
        }
        total -= entry->Size;
        State.FilesStored = FilesCopied;
    };

    // Nothing may record a file as stored before its copy is on the disk: the control file writes 'X'
    // for Stored and the set's size. When the flush fails, the files of this loop go back to pending
    // ('E'), so the next pass copies them again, and the counters forget them. After it, the copies take
    // their names, and a second flush makes the names durable.
    auto flushCopies = [&]() {
        bool flushed = copied.empty() || (watching ? durable.Sync() : SyncFileSystem(setDirectory));
        if (flushed && !copied.empty()) {
            for (const CopyBatch::Failure& failure : batch.Commit()) {
                // The copy was whole but could not take its name (a folder of that name, say): the
                // earlier copy of the name stays, and this file is copied again next time.
                FileEntry* entry = copied[failure.Index];
                State.ErrorFlag = true;
                State.CopyErrorList.push_back(Stamp() + "  " + SourceOf(*entry));
                State.CopyErrorList.push_back(kIndent + "==> " + setDirectory +
                                              entry->Path.substr(cutOf(*entry)));
                State.CopyErrorList.push_back(CopyErrorLine(failure.Error));
                State.UncopiedFiles.push_back(SourceOf(*entry));
                unstore(entry);
                copied[failure.Index] = nullptr;
            }
            flushed = watching ? durable.Sync() : SyncFileSystem(setDirectory);
        }
        if (flushed) {
            copied.clear();
            EndCopyJournal(Path.DestPath);
            return true;
        }
        int32_t code = FailureCode();
        batch.Discard();
        EndCopyJournal(Path.DestPath);
        Trace("*** Sichern auf die Platte gescheitert: %s\n", setDirectory.c_str());
        State.ErrorFlag = true;
        State.CopyErrorList.push_back(Stamp() + "  Writing the copies to the disk failed: " + setDirectory);
        State.CopyErrorList.push_back(CopyErrorLine(code));
        if (errorCode == 0) {
            errorCode = code;
            State.PassErrorLine = kIndent + "Writing to the disk failed: " + setDirectory;
            State.PassErrorMessage = State.PassErrorMessage.empty()
                                         ? std::string(LoadText(kTextErrorCopying)) + Path.SourcePath +
                                               "\r\n" + LoadText(kTextTo) + setDirectory
                                         : " ";
        }
        for (FileEntry* entry : copied) {
            if (entry != nullptr) {
                unstore(entry);
            }
        }
        copied.clear();
        return false;
    };

    // The source keeps its archive attribute until its copy is known to be on the disk (flushed copy or
    // archive: Stored), and after a full disk, whose set the pass discards, it keeps it for good.
    auto resetArchiveBits = [&]() {
        if (!Path.ResetArchiveBit || errorCode == kErrorDiskFull) {
            return;
        }
        for (const FileEntry* entry : CurrentFiles) {
            if (entry->ToCopy && entry->Stored) {
                ChangeFileAttributes(SourceOf(*entry), 0, static_cast<uint8_t>(kAttributeArchive));
            }
        }
    };

    for (FileEntry* entry : CurrentFiles) {
        if (!entry->ToCopy) {
            continue;
        }
        State.Tick();
        const size_t cut = cutOf(*entry);
        const std::string source = SourceOf(*entry);
        const std::string destination =
            Compress ? StagedName(*entry, cut) : setDirectory + entry->Path.substr(cut);

        bool ok = false;
        try {
            if (Compress) {
                ok = StageFile(source, *entry, cut, total, false);  // into the archive being filled
            } else {
                readAhead.Reached(copyIndex++);
                ok = batch.Copy(source, destination, Path.WriteProtectCopies, State.CopyBuffer.data(),
                                static_cast<int64_t>(State.CopyBuffer.size()), StartPosition,
                                &State.BytesCopied);
            }
        } catch (const std::exception& error) {
            Trace("*** %s\n", error.what());
        }

        if (!ok) {
            State.ErrorFlag = true;
            if (errorCode == 0) {
                errorCode = FailureCode();
            }
            entry->CopyFailed = true;
            // Once an archive failed, no later one is written: the remaining files stay pending.
            // A path too long for the set (deep below the source) and a source the user may not read
            // concern this file alone too: stopping the path at it would keep every file after it
            // from ever being stored, on every run.
            if (!ZipBroken && (IsDiskError(errorCode) || errorCode == kErrorFilenameTooLong ||
                               (errorCode == kErrorAccessDenied && SourceRefusesReading(source)))) {
                // This file alone is affected (gone, locked, unreadable): log it and go on.
                State.CopyErrorList.push_back(Stamp() + "  " + source);
                State.CopyErrorList.push_back(kIndent + "==> " + destination);
                State.CopyErrorList.push_back(CopyErrorLine(errorCode));
                State.UncopiedFiles.push_back(source);
                errorCode = 0;
                continue;
            }
            // Anything else (a full disk, no access, no code at all) stops the copying of this path. The
            // remaining marked files stay pending and are copied by the next pass.
            if (errorCode != kErrorNoSystemCode) {
                State.PassErrorLine =
                    kIndent + "Copying File: " + source + "\r\n" + kIndent + "          to: " + destination;
                State.PassErrorMessage = State.PassErrorMessage.empty()
                                             ? std::string(LoadText(kTextErrorCopying)) + source + "\r\n" +
                                                   LoadText(kTextTo) + destination
                                             : " ";
            }
            if (Compress) {
                CloseArchive(total);  // what is staged is still stored
            }
            flushCopies();
            resetArchiveBits();
            return;
        }

        entry->Stored = true;
        if (!Compress) {
            total += entry->Size;  // an archive counts its own length once written
            copied.push_back(entry);
        }
        ++State.RunFilesCopied;
        if (entry->Time > State.LastAutoRunTime) {
            ++State.CountNewFiles;
            ++newFiles;
        }
        ++FilesCopied;
        if (!Compress) {
            State.FilesStored = FilesCopied;  // an archive's files count once it is written
        }
    }

    if (Compress) {
        CloseArchive(total);
        State.FilesStored = FilesCopied;
    }
    if (!flushCopies()) {
        return;
    }
    resetArchiveBits();
    State.BytesCopied = -1;
    sizeKB = static_cast<int32_t>(static_cast<double>(total) / 1024.0 + 0.5);
}

}  // namespace quillon
