#include "engine/ControlFile.h"

#include <memory>
#include <string_view>

#include "platform/Trace.h"
#include "support/LineArchive.h"
#include "support/NumberText.h"
#include "support/TimeText.h"

namespace quillon {
namespace {

constexpr std::string_view kWhiteSpace = " \t\r\n\v\f";

// A file line holds the mark, a blank and the time "YYYY-MM-DD HH:MM" before anything else, so a
// line this short or shorter cannot name a file.
constexpr size_t kShortestFileLine = 20;
// A saved-set line holds the date and a blank before the kind letter at this index.
constexpr size_t kSetKindIndex = 11;
// The rest of a file line (archive mark and path) starts after the time and its blanks.
constexpr size_t kFileRestIndex = 19;

std::string_view TrimLeft(std::string_view text) {
    size_t first = text.find_first_not_of(kWhiteSpace);
    return first == std::string_view::npos ? std::string_view() : text.substr(first);
}

bool StartsWith(const std::string& line, char c) {
    return !line.empty() && line[0] == c;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads up to and including the next line that begins with '#'. False when the file ends first.
bool SkipPastMarkerLine(CLineArchive& archive) {
    std::string line;
    while (!archive.IsEof()) {
        archive.ReadLine(line);
        if (StartsWith(line, '#')) {
            return true;
        }
    }
    return false;
}

SavedBackup* ParseSavedBackupLine(std::string_view line) {
    auto* backup = new SavedBackup;
    backup->Date = ParseDateTime(line);
    if (line.size() > kSetKindIndex + 1) {
        std::string_view text = line.substr(kSetKindIndex);
        backup->Full = text[0] == 'F';
        if (text.size() > 1) {
            int32_t number = ParseIntLoose(text.substr(2));
            if (line.find("kBytes") == std::string_view::npos) {
                // Older files kept the size in bytes.
                number = static_cast<int32_t>(number / 1024.0 + 0.5);
            }
            backup->SizeKB = number;
        }
    }
    return backup;
}

// The entry of a file line, or null when the line is refused (an archive number out of range).
std::unique_ptr<FileEntry> ParseFileLine(const std::string& line, bool readStoredMarks, bool correctTimes,
                                         bool writtenInDaylightSaving) {
    auto entry = std::make_unique<FileEntry>();
    if (readStoredMarks) {
        entry->Stored = line[0] == 'X';
    }
    entry->Pending = line[0] == 'E';

    entry->Time = ParseDateTime(std::string_view(line).substr(2));
    if (correctTimes) {
        constexpr TimeSpan kOneHour(0, 1, 0, 0);
        entry->Time = writtenInDaylightSaving ? entry->Time - kOneHour : entry->Time + kOneHour;
    }

    // An archive mark is 'Z' and a digit; a path on drive Z has ':' after its 'Z'.
    std::string_view rest = TrimLeft(std::string_view(line).substr(kFileRestIndex));
    if (rest.size() > 1 && rest[0] == 'Z' && IsDigit(rest[1])) {
        size_t blank = rest.find(' ');
        entry->ZipNumber =
            ParseIntLoose(rest.substr(1, blank == std::string_view::npos ? rest.npos : blank - 1));
        if (entry->ZipNumber > kHighestArchiveNumber) {
            // The next archive of a merged set is numbered after the highest one read: near the end
            // of the 32-bit range it would wrap to a negative number and a name no pass ever writes.
            Trace("*** Archivnummer zu gro\xDF, Zeile ignoriert: %s\n", line.c_str());
            return nullptr;
        }
        rest = blank == std::string_view::npos ? std::string_view() : TrimLeft(rest.substr(blank));
    }

    // Only the left end is trimmed: the path follows its column directly and ends with the line, and a
    // name that ends in a blank (possible here, unlike on Windows) must read back as the scan finds it,
    // or the file would count as new in every pass.
    entry->Path = std::string(rest);
    return entry;
}

}  // namespace

void ReadSavedBackups(CLineArchive& archive, PArray<SavedBackup>& backups) {
    archive.Rewind();
    if (!SkipPastMarkerLine(archive)) {
        return;
    }
    std::string line;
    while (!archive.IsEof()) {
        archive.ReadLine(line);
        if (StartsWith(line, '#')) {
            break;
        }
        std::string_view trimmed = TrimLeft(line);
        if (!trimmed.empty()) {
            backups.Append(ParseSavedBackupLine(trimmed));
        }
    }
}

int32_t ReadRunsUntilFull(CLineArchive& archive) {
    archive.Rewind();
    std::string line;
    archive.ReadLine(line);
    archive.ReadLine(line);
    std::string_view trimmed = TrimLeft(line);
    if (trimmed.empty() || !IsDigit(trimmed[0])) {
        return -1;
    }
    const int32_t runs = ParseIntLoose(trimmed);
    return runs > kHighestRunsUntilFull ? kHighestRunsUntilFull : runs;
}

std::string ReadSourcePath(CLineArchive& archive) {
    archive.Rewind();
    std::string line;
    for (int i = 0; i < 3; ++i) {
        if (archive.IsEof()) {
            return std::string();
        }
        archive.ReadLine(line);
    }
    return line;
}

TimeValue ReadProcessingTime(CLineArchive& archive) {
    archive.Rewind();
    std::string header;
    archive.ReadLine(header);
    constexpr std::string_view kLabel = "Processing Time: ";
    size_t at = header.find(kLabel);
    if (at == std::string::npos) {
        return TimeValue();
    }
    std::string_view time = std::string_view(header).substr(at + kLabel.size());
    if (time.starts_with("(DST)")) {
        time.remove_prefix(5);
    }
    return ParseDateTime(time);
}

void ReadFileList(CLineArchive& archive, PArray<FileEntry>& files, bool readStoredMarks,
                  int32_t* highestZipNumber, bool daylightSaving) {
    archive.Rewind();
    std::string header;
    archive.ReadLine(header);
    bool writtenInDaylightSaving = header.find("(DST)") != std::string::npos;
    std::string sourcePath;
    archive.ReadLine(sourcePath);  // the full-backup line
    archive.ReadLine(sourcePath);
    bool correctTimes = writtenInDaylightSaving != daylightSaving && Is_NTFS_Patition(sourcePath);

    // Past "# ===== Saved Backups:" and its entries to "# ===== Files:".
    if (!SkipPastMarkerLine(archive) || !SkipPastMarkerLine(archive)) {
        return;
    }
    std::string line;
    while (!archive.IsEof()) {
        archive.ReadLine(line);
        if (line.size() <= kShortestFileLine) {
            continue;
        }
        std::unique_ptr<FileEntry> parsed =
            ParseFileLine(line, readStoredMarks, correctTimes, writtenInDaylightSaving);
        if (parsed == nullptr) {
            continue;
        }
        FileEntry* entry = files.Append(parsed.release());
        if (highestZipNumber != nullptr && *highestZipNumber < entry->ZipNumber) {
            *highestZipNumber = entry->ZipNumber;
        }
    }
}

void ReadZipLines(CLineArchive& archive, std::vector<std::string>& zipLines) {
    archive.Rewind();
    zipLines.clear();
    // The history starts at line 4. A file that ends before it has none: its line 3, the source path,
    // may well begin with 'Z' (drive Z) and must not be taken for an archive line.
    std::string line;
    for (int i = 0; i < 4; ++i) {
        if (archive.IsEof()) {
            return;
        }
        archive.ReadLine(line);
    }
    while (StartsWith(line, 'Z')) {
        zipLines.push_back(line);
        archive.ReadLine(line);
    }
}

// Only drives whose file times change with daylight-saving time need the hour correction. This program
// converts every file time with the offset of the time itself, so the times it records never move with
// the season and no drive needs it; the path is still checked, as a garbled line 3 is worth a trace.
bool Is_NTFS_Patition(const std::string& path) {
    if (path.size() < 2 || path[1] != ':') {
        Trace("*** Path error in Is_NTFS_Patition: >%s<\n", path.c_str());
        return false;
    }
    return false;
}

std::string FormatSavedBackupLine(const SavedBackup& backup) {
    // A size of 0 would read back as "no size"; the smallest set is recorded as 1 kilobyte.
    int32_t size = backup.SizeKB == 0 ? 1 : backup.SizeKB;
    std::string line = backup.Date.Format(kDatePattern);
    line += backup.Full ? " F " : " I ";
    line += IntToTextRightAligned(size, 9);
    line += " kBytes";
    return line;
}

std::string FormatFileLine(const FileEntry& entry, bool recordOnly, bool compressedSetColumn) {
    char mark = ' ';
    if (entry.CopyFailed || (entry.ToCopy && !entry.Stored && !recordOnly)) {
        mark = 'E';  // carried into the next pass, which copies it whatever its time
    } else if (entry.Stored) {
        mark = 'X';
    }
    std::string line;
    line.reserve(2 + 16 + 2 + 9 + entry.Path.size());  // mark, time, archive column, path
    line += mark;
    line += ' ';
    line += entry.Time.Format(kTimeMinutePattern);
    line += "  ";
    if (entry.ZipNumber >= 0) {
        line += 'Z';
        line += IntToTextZeroPadded(entry.ZipNumber, 3);
        line += "  ";
    } else if (compressedSetColumn) {
        line += "      ";  // keeps the paths of a compressed set in one column
    }
    line += entry.Path;
    return line;
}

}  // namespace quillon
