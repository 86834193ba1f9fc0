#include "restore/BackupFolder.h"

#include <algorithm>
#include <map>

#include "engine/ControlFile.h"
#include "files/DeleteTree.h"
#include "files/IbZip.h"
#include "platform/ConfinedTree.h"
#include "platform/DirectoryListing.h"
#include "platform/FileSystem.h"
#include "support/LineArchive.h"
#include "support/PArray.h"
#include "support/TimeText.h"

namespace quillon::restore {
namespace {

constexpr const char* kArchivePrefix = "QuillonData_";
constexpr const char* kArchiveSuffix = ".Zip";
constexpr const char* kCopyName = "Kopie von Quillon.txt";

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// A set folder's name: "YYYY-MM-DD", and a date the calendar knows.
bool IsSetName(const std::string& name, TimeValue& date) {
    if (name.size() != 10 || name[4] != '-' || name[7] != '-') {
        return false;
    }
    for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9}) {
        if (!IsDigit(name[i])) {
            return false;
        }
    }
    date = ParseDateTime(name);
    return date.IsSet() && date.Format(kDatePattern) == name;
}

// The number of an archive file's name, or -1 when the name is not one.
int32_t ArchiveNumber(const std::string& name) {
    const std::string prefix = kArchivePrefix;
    const std::string suffix = kArchiveSuffix;
    if (name.size() < prefix.size() + 3 + suffix.size() || name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
        return -1;
    }
    std::string digits = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    if (digits.size() > 9 || !std::all_of(digits.begin(), digits.end(), IsDigit)) {
        return -1;
    }
    int32_t number = std::stoi(digits);
    return ArchiveName(number) == name ? number : -1;
}

std::string ParentOf(const std::string& path) {
    size_t separator = path.rfind('\\');
    return separator == std::string::npos ? std::string() : path.substr(0, separator);
}

// The names of path below source, or false when path lies elsewhere or holds a name that is no plain
// name. A source that names a single file keeps its file directly in the set.
bool NamesBelowSource(const std::string& path, const std::string& source, std::vector<std::string>& names) {
    std::string prefix = source;
    if (prefix.empty() || prefix.back() != '\\') {
        prefix += '\\';
    }
    std::string rest;
    if (path.size() > prefix.size() && path.compare(0, prefix.size(), prefix) == 0) {
        rest = path.substr(prefix.size());
    } else if (!ParentOf(path).empty() && ParentOf(path) == ParentOf(source)) {
        rest = path.substr(ParentOf(path).size() + 1);
    } else {
        return false;
    }
    names.clear();
    size_t start = 0;
    for (;;) {
        // The drive map takes '/' for a separator as well as '\', so both split names here.
        size_t end = rest.find_first_of("\\/", start);
        names.push_back(rest.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (!IsPlainName(names.back())) {
            return false;
        }
        if (end == std::string::npos) {
            return true;
        }
        start = end + 1;
    }
}

std::string JoinNames(const std::vector<std::string>& names) {
    std::string joined;
    for (const std::string& name : names) {
        if (!joined.empty()) {
            joined += '/';
        }
        joined += name;
    }
    return joined;
}

// Reads the file list of an open control file into files.
void ReadRecordedFiles(CLineArchiveFile& control, std::vector<RecordedFile>& files) {
    const std::string source = ReadSourcePath(control);
    PArray<FileEntry> entries;
    ReadFileList(control, entries, true, nullptr, false);
    files.reserve(static_cast<size_t>(entries.Count()));
    std::vector<std::string> names;
    for (FileEntry* entry : entries) {
        RecordedFile& file = files.emplace_back();
        file.WholePath = entry->Path;
        file.Time = entry->Time;
        file.Held = entry->Stored;
        file.ZipNumber = entry->ZipNumber;
        file.Usable = NamesBelowSource(entry->Path, source, names);
        if (file.Usable) {
            file.Stored = JoinNames(names);
            file.Restored =
                names.size() == 1 && names[0] == kCopyName ? std::string(kControlFileName) : file.Stored;
        } else {
            file.Stored = file.Restored = entry->Path;
        }
    }
    DeleteAll(entries);
}

}  // namespace

std::string ArchiveName(int32_t number) {
    std::string digits = std::to_string(number);
    if (digits.size() < 3) {
        digits.insert(0, 3 - digits.size(), '0');
    }
    return kArchivePrefix + digits + kArchiveSuffix;
}

std::vector<std::string> SplitNames(const std::string& relative) {
    std::vector<std::string> names;
    size_t start = 0;
    for (;;) {
        size_t end = relative.find('/', start);
        names.push_back(relative.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) {
            return names;
        }
        start = end + 1;
    }
}

const RecordedFile* BackupSet::Holds(const std::string& stored) const {
    auto found = HeldIndex.find(stored);
    return found == HeldIndex.end() ? nullptr : &Files[found->second];
}

std::string BackupFolder::SetFolder(const BackupSet& set) const {
    return dest_ + "\\" + set.Name;
}

std::string BackupFolder::ArchivePath(const BackupSet& set, int32_t number) const {
    return SetFolder(set) + "\\" + ArchiveName(number);
}

bool BackupFolder::Load(const std::string& windowsDest, const std::string& scratchWindows, IbZip& zip,
                        std::string& problem) {
    dest_ = windowsDest;
    while (dest_.size() > 3 && dest_.back() == '\\') {
        dest_.pop_back();
    }
    sets_.clear();
    std::map<std::string, BackupSet> byName;

    CLineArchiveFile control;
    bool haveControl = control.Open(dest_ + "\\" + kControlFileName, false);
    if (haveControl) {
        PArray<SavedBackup> saved;
        ReadSavedBackups(control, saved);
        for (SavedBackup* backup : saved) {
            std::string name = backup->Date.Format(kDatePattern);
            BackupSet& set = byName[name];
            set.Name = name;
            set.Date = backup->Date;
            set.Listed = true;
            set.Saved = *backup;
        }
        DeleteAll(saved);
        control.Close();
    }

    FileInfo entry;
    DirectorySearch search;
    bool more = search.First(dest_ + "\\*.*", entry);
    if (!more && !haveControl) {
        problem = "cannot be read";
        return false;
    }
    for (; more; more = search.Next(entry)) {
        TimeValue date;
        if (entry.MayEnter() && IsSetName(entry.Name, date)) {
            BackupSet& set = byName[entry.Name];
            set.Name = entry.Name;
            set.Date = date;
            set.Present = true;
        }
    }
    if (!haveControl && byName.empty()) {
        problem = "holds neither a control file (Quillon.txt) nor a backup set";
        return false;
    }
    for (auto& [name, set] : byName) {
        if (set.Present) {
            ReadSetFiles(set, scratchWindows, zip);
        }
        sets_.push_back(std::move(set));
    }
    return true;
}

void BackupFolder::ReadSetFiles(BackupSet& set, const std::string& scratchWindows, IbZip& zip) {
    const std::string folder = SetFolder(set);
    bool plainControl = false;
    for (const FileInfo& entry : ListDirectory(folder + "\\*.*")) {
        if (entry.Kind != EntryKind::kFile || entry.IsLink()) {
            continue;
        }
        if (entry.Name == kControlFileName) {
            plainControl = true;
        } else if (int32_t number = ArchiveNumber(entry.Name); number >= 0) {
            set.Archives.push_back(number);
        }
    }
    std::sort(set.Archives.begin(), set.Archives.end());
    // A set is compressed when its archive 000 is there and no plain control file, as the pass decides.
    set.Compressed = !plainControl && !set.Archives.empty();

    std::string controlPath = folder + "\\" + kControlFileName;
    std::string extracted;
    if (set.Compressed) {
        extracted = scratchWindows + "\\" + kControlFileName;
        DeleteFile(extracted);
        zip.IB_UnZipArchiveFile(ArchivePath(set, 0));
        zip.IB_UnZipExtractDir(scratchWindows);
        zip.IB_UnZipFileSpec(kControlFileName);
        zip.IB_UnZipUseStoredDirs(1);
        zip.IB_UnZipLinks(0);  // the control file is read by name: a link entry of its name is refused
        zip.IB_Overwrite(1);
        int32_t result = zip.IB_UnZip(0);
        if (result < 1 && result != kIbZipWarnings) {
            return;
        }
        controlPath = extracted;
    }
    CLineArchiveFile control;
    if (control.Open(controlPath, false)) {
        ReadRecordedFiles(control, set.Files);
        control.Close();
        set.FilesRead = true;
        for (size_t i = 0; i < set.Files.size(); ++i) {
            if (set.Files[i].Held && set.Files[i].Usable) {
                set.HeldIndex.emplace(set.Files[i].Stored, i);
            }
        }
    }
    if (!extracted.empty()) {
        DeleteFile(extracted);
    }
}

void BackupFolder::FilesAsOf(TimeValue day, const BackupSet*& listSet,
                             std::vector<LocatedFile>& files) const {
    listSet = nullptr;
    files.clear();
    const std::string dayName = day.Format(kDatePattern);
    // The sets on or before the day, newest first; their names sort as their dates do.
    std::vector<const BackupSet*> candidates;
    for (auto set = sets_.rbegin(); set != sets_.rend(); ++set) {
        if (set->Name <= dayName && set->Present && set->FilesRead) {
            candidates.push_back(&*set);
        }
    }
    if (candidates.empty()) {
        return;
    }
    listSet = candidates.front();
    files.reserve(listSet->Files.size());
    for (const RecordedFile& file : listSet->Files) {
        LocatedFile& located = files.emplace_back();
        located.File = &file;
        if (!file.Usable) {
            continue;
        }
        for (const BackupSet* set : candidates) {
            if (const RecordedFile* copy = set->Holds(file.Stored)) {
                located.Holder = set;
                located.Copy = copy;
                break;
            }
        }
    }
}

TimeValue BackupFolder::NewestDay() const {
    return sets_.empty() ? TimeValue() : sets_.back().Date;
}

}  // namespace quillon::restore
