// BackupFolder: the destination folder of one source path as the restore tool reads it, from the
// folder alone (no configuration, no registry).
//
// Every set describes itself: a plain set holds a copy of the control file ("Quillon.txt"), a
// compressed set holds it in its archive 000. That copy lists every file of the source at the time of
// the set's last pass, and marks with 'X' the files the set itself holds (for a compressed set with the
// number of the archive that holds each). The control file beside the sets lists the sets that are
// still kept. So:
//   - the files of the source "as of" a day are the list of the newest set dated on or before it;
//   - each file's copy comes from the newest set on or before that day that holds it;
//   - a file that no such set holds (retention deleted its only set) has no copy left.
//
// Paths are shown and matched below the source folder (line 3 of each control file), with '/' between
// names. One thread.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/FileEntry.h"
#include "support/TimeValue.h"

namespace quillon {
class IbZip;
}

namespace quillon::restore {

// One file line of a control file.
struct RecordedFile {
    std::string Stored;     // the names below the source as stored in a set, joined by '/'
    std::string Restored;   // the same as the file is restored (a source-root "Quillon.txt" is kept
                            // as "Kopie von Quillon.txt" beside the set's own control file)
    std::string WholePath;  // the path as the line gives it, for messages about unusable lines
    bool Usable = false;    // below the source, and every name a plain name (no "..", no "/")
    TimeValue Time;
    bool Held = false;       // 'X': the set of this control file holds a copy
    int32_t ZipNumber = -1;  // the archive of a compressed set that holds it
};

struct BackupSet {
    std::string Name;  // "YYYY-MM-DD"
    TimeValue Date;
    bool Listed = false;            // named in the control file beside the sets
    SavedBackup Saved;              // its line there, when listed
    bool Present = false;           // its folder exists (a real folder)
    bool Compressed = false;        // holds archives rather than a plain control file
    std::vector<int32_t> Archives;  // the numbers of the archive files found, ascending
    bool FilesRead = false;         // its own control file could be read
    std::vector<RecordedFile> Files;
    std::unordered_map<std::string, size_t> HeldIndex;  // Stored name -> index in Files, held ones

    const RecordedFile* Holds(const std::string& stored) const;
};

// A file of the list as of a day and the set and line that hold its copy.
struct LocatedFile {
    const RecordedFile* File = nullptr;
    const BackupSet* Holder = nullptr;   // null: no copy left
    const RecordedFile* Copy = nullptr;  // the holder's own line of the file
};

class BackupFolder {
  public:
    // Reads the folder windowsDest: the control file beside the sets, every set folder and every set's
    // own control file (through zip for compressed sets; extracted into scratchWindows, a folder of
    // the caller's that must exist). False, with problem set, when the folder is no backup folder
    // (neither a control file nor a set).
    bool Load(const std::string& windowsDest, const std::string& scratchWindows, IbZip& zip,
              std::string& problem);

    const std::string& Dest() const { return dest_; }
    // Every set, listed or found, oldest first.
    const std::vector<BackupSet>& Sets() const { return sets_; }
    // Windows-form paths of a set's folder and of one of its archives.
    std::string SetFolder(const BackupSet& set) const;
    std::string ArchivePath(const BackupSet& set, int32_t number) const;

    // The files as of day (the TimeValue of any moment of that day), in the order of their list.
    // listSet gets the set whose list it is; null (and no files) when no set on or before that day has
    // a readable list.
    void FilesAsOf(TimeValue day, const BackupSet*& listSet, std::vector<LocatedFile>& files) const;

    // The newest day of any set; 0 when there is none.
    TimeValue NewestDay() const;

  private:
    void ReadSetFiles(BackupSet& set, const std::string& scratchWindows, IbZip& zip);

    std::string dest_;
    std::vector<BackupSet> sets_;
};

// "QuillonData_" + the number with at least three digits + ".Zip".
std::string ArchiveName(int32_t number);

// Splits a path below the source at '/' into its names.
std::vector<std::string> SplitNames(const std::string& relative);

}  // namespace quillon::restore
