#include "engine/CopyJournal.h"

#include "files/CopyFile.h"
#include "files/FileStatus.h"
#include "platform/DirectoryListing.h"
#include "platform/FileAttributes.h"
#include "platform/FileSystem.h"
#include "platform/LastError.h"
#include "platform/NativeFile.h"
#include "platform/Trace.h"
#include "support/TextCase.h"

namespace quillon {
namespace {

// The longest set name a journal holds ("2003-11-24"; room to spare).
constexpr int64_t kLongestSetName = 255;

std::string JournalPath(const std::string& destPath) {
    return destPath + "\\" + kCopyJournalName;
}

// An archive being written by the compression library: "QuillonData_NNN.Zip.part", and the file the
// zip library writes that one through ("QuillonData_NNN.Zip.part.XXXXXX").
bool IsArchiveTemporary(const std::string& name) {
    const std::string upper = ToUpperPath(name);
    const size_t part = upper.find(".ZIP.PART");
    return upper.compare(0, 12, "QUILLONDATA_") == 0 && part != std::string::npos &&
           (part + 9 == upper.size() || upper[part + 9] == '.');
}

// Removes the temporaries below folder; never enters a link.
int RemoveTemporariesBelow(const std::string& folder, bool atSetRoot) {
    int removed = 0;
    DirectorySearch search(ListingScope::kWithOtherEntries, AttributeDetail::kTypesOnly, FolderLink::kRefuse);
    FileInfo entry;
    std::vector<std::string> subfolders;
    for (bool found = search.First(folder + "\\*.*", entry); found; found = search.Next(entry)) {
        const std::string path = folder + "\\" + entry.Name;
        if (entry.MayEnter()) {
            subfolders.push_back(path);
        } else if (!entry.IsDirectory() &&
                   (IsTemporaryCopyName(entry.Name) || (atSetRoot && IsArchiveTemporary(entry.Name)))) {
            ChangeFileAttributes(path, 0, static_cast<uint8_t>(kAttributeReadOnly));
            if (DeleteFile(path)) {
                ++removed;
            }
        }
    }
    for (const std::string& subfolder : subfolders) {
        removed += RemoveTemporariesBelow(subfolder, false);
    }
    return removed;
}

}  // namespace

bool BeginCopyJournal(const std::string& destPath, const std::string& setDirectory) {
    size_t last = setDirectory.find_last_of('\\');
    const std::string name = last == std::string::npos ? setDirectory : setDirectory.substr(last + 1);
    NativeFile journal;
    if (!journal.CreateWrite(JournalPath(destPath)) ||
        !journal.WriteAll(name.data(), static_cast<int64_t>(name.size())) || !journal.Close()) {
        Trace("*** %s konnte nicht geschrieben werden\n", JournalPath(destPath).c_str());
        return false;
    }
    return true;
}

void EndCopyJournal(const std::string& destPath) {
    DeleteFile(JournalPath(destPath));
}

int RemoveInterruptedCopies(const std::string& destPath) {
    const std::string path = JournalPath(destPath);
    NativeFile journal;
    if (!journal.OpenReadNoLink(path)) {
        return 0;  // the usual case: the last pass ended
    }
    std::string name(static_cast<size_t>(kLongestSetName), '\0');
    int64_t length = journal.Read(name.data(), kLongestSetName);
    journal.Close();
    name.resize(length > 0 ? static_cast<size_t>(length) : 0);
    int removed = 0;
    // Only a folder directly below the destination: a damaged journal must not lead the removal astray.
    if (!name.empty() && name != "." && name != ".." && name.find_first_of("\\/\r\n") == std::string::npos) {
        const std::string set = destPath + "\\" + name;
        if (!IsSymbolicLink(set)) {
            removed = RemoveTemporariesBelow(set, true);
        }
        Trace("--- %d unvollst\xE4ndige Kopien in %s entfernt\n", removed, set.c_str());
    }
    DeleteFile(path);
    return removed;
}

}  // namespace quillon
