// The control file "Quillon.txt" of a source path: its readers and the texts of its lines.
//
// Layout, line by line:
//   1  "Quillon-Run -- Processing Time: " ["(DST)"] run time ["   Latest File Change: " time]
//   2  the full-backup line ("7 runs until full backup", "-1 no full backup scheduled",
//      "Next scheduled full backup: 2003-12-01")
//   3  the source path
//   4… archive history lines "Z001  2003-11-24 18:05:12"
//      "# ===== Saved Backups:", then one line per set: "2003-11-17 F      8421 kBytes"
//      "# ===== Files:", then one line per file: mark, time, optional archive number, path
//
// The readers work on an archive opened for reading and rewind it first, so they may be called in any
// order. They never fail: what cannot be read counts as absent. One thread at a time per archive.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/FileEntry.h"
#include "support/PArray.h"

namespace quillon {

class CLineArchive;

inline constexpr const char* kControlFileName = "Quillon.txt";
inline constexpr const char* kControlTempName = "Quillon.TMP";

// The highest archive number a file line may carry. A set holds at most this many archives (each
// takes at least one file, and a file of up to 30 MB shares one with others), and the number the
// next archive gets stays far from the end of the 32-bit range however a file line reads. ReadFileList
// leaves out a line with a higher number (a damaged or crafted file, not written by this program), so
// that its file counts as new and no archive name is ever taken from it.
inline constexpr int32_t kHighestArchiveNumber = 999'999;

// The highest count of runs until the next full backup that ReadRunsUntilFull answers: a pass may add
// one to the count it read, and a larger number is cut to this one.
inline constexpr int32_t kHighestRunsUntilFull = 999'999'999;

// Appends the saved sets (the lines after the first line beginning with '#') to backups.
void ReadSavedBackups(CLineArchive& archive, PArray<SavedBackup>& backups);

// The number at the start of line 2, or -1 when line 2 does not start with a digit.
int32_t ReadRunsUntilFull(CLineArchive& archive);

// Line 3, the source path the file describes.
std::string ReadSourcePath(CLineArchive& archive);

// The processing time of line 1 (the start of the run that wrote the file, to the minute), or the
// TimeValue 0 when line 1 carries none.
TimeValue ReadProcessingTime(CLineArchive& archive);

// Appends the file lines to files. readStoredMarks: take 'X' as Stored. highestZipNumber (may be null)
// is raised to the highest archive number found. daylightSaving is the program's current state: when
// the file was written in the other state and Is_NTFS_Patition says the source's drive needs it, the
// recorded times are corrected by an hour.
void ReadFileList(CLineArchive& archive, PArray<FileEntry>& files, bool readStoredMarks,
                  int32_t* highestZipNumber, bool daylightSaving);

// The archive history lines ("Z…") that follow the first three lines.
void ReadZipLines(CLineArchive& archive, std::vector<std::string>& zipLines);

// Whether the drive of path keeps file times in a form that needs the daylight-saving correction.
bool Is_NTFS_Patition(const std::string& path);

// The text of one saved-set line and of one file line (see the layout above).
std::string FormatSavedBackupLine(const SavedBackup& backup);
std::string FormatFileLine(const FileEntry& entry, bool recordOnly, bool compressedSetColumn);

}  // namespace quillon
