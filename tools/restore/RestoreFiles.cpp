#include "restore/RestoreFiles.h"

#include <map>
#include <memory>
#include <ostream>

#include "engine/MatchPattern.h"
#include "files/DeleteTree.h"
#include "files/IbZip.h"
#include "platform/ConfinedTree.h"
#include "platform/LastError.h"
#include "restore/AmountText.h"
#include "restore/BackupFolder.h"
#include "support/ErrorText.h"
#include "support/TextCase.h"

namespace quillon::restore {
namespace {

constexpr const char* kStagingPrefix = ".quillon-restore-";
// How often the progress line is redrawn, in files.
constexpr int64_t kProgressEvery = 64;

// One file to restore.
struct Job {
    const LocatedFile* Located = nullptr;
    TreePath To;  // its names below the target
};

struct Tally {
    int64_t Total = 0;  // files selected that have a copy
    int64_t Restored = 0;
    int64_t Bytes = 0;
    int64_t NoCopy = 0;
    int64_t Existing = 0;  // kept, not overwritten
    int64_t Failed = 0;    // refused or failed
};

std::string HolderText(const LocatedFile& located) {
    std::string text = located.Holder->Name;
    if (located.Holder->Compressed) {
        text += " " + ArchiveName(located.Copy->ZipNumber);
    }
    return text;
}

class Restorer {
  public:
    Restorer(const BackupFolder& folder, const RestoreRequest& request, IbZip& zip, std::ostream& out,
             std::ostream& progress)
        : folder_(folder), request_(request), zip_(zip), out_(out), progress_(progress) {}

    int Run();

  private:
    void RestorePlain(const Job& job);
    void RestoreArchive(const BackupSet& set, int32_t number, const std::vector<Job>& jobs);
    // Unpacks an archive straight into the target when it holds exactly the files wanted; answers the
    // jobs still to do.
    std::vector<Job> UnpackInPlace(const std::vector<Job>& jobs, int64_t entries);
    // Extracts the entries of the open archive named like pattern into the staging folder.
    int32_t Extract(const std::string& pattern);
    void Done(const Job& job, bool placed, int64_t bytes, const std::string& why);
    void ShowProgress(bool final);

    const BackupFolder& folder_;
    const RestoreRequest& request_;
    IbZip& zip_;
    std::ostream& out_;
    std::ostream& progress_;
    ConfinedTree target_;
    std::map<const BackupSet*, std::unique_ptr<ConfinedTree>> setTrees_;
    std::string staging_;  // the staging folder's name below the target; "" until made
    Tally tally_;
    bool progressShown_ = false;
};

void Restorer::Done(const Job& job, bool placed, int64_t bytes, const std::string& why) {
    const std::string& path = job.Located->File->Restored;
    if (placed) {
        ++tally_.Restored;
        tally_.Bytes += bytes;
    } else if (GetLastError() == kErrorFileExists && why.empty()) {
        ++tally_.Existing;
        out_ << "exists, not overwritten: " << path << "\n";
    } else {
        ++tally_.Failed;
        out_ << "not restored: " << path << ": " << (why.empty() ? ErrorText(GetLastError()) : why) << "\n";
    }
    if (request_.Progress && (tally_.Restored + tally_.Existing + tally_.Failed) % kProgressEvery == 0) {
        ShowProgress(false);
    }
}

void Restorer::ShowProgress(bool final) {
    if (!request_.Progress) {
        return;
    }
    if (final) {
        if (progressShown_) {
            progress_ << "\r\x1b[K" << std::flush;
        }
        return;
    }
    progressShown_ = true;
    progress_ << "\r" << GroupedNumber(tally_.Restored + tally_.Existing + tally_.Failed) << " of "
              << Files(tally_.Total) << ", " << Megabytes(tally_.Bytes) << "\x1b[K" << std::flush;
}

void Restorer::RestorePlain(const Job& job) {
    const BackupSet* set = job.Located->Holder;
    std::unique_ptr<ConfinedTree>& tree = setTrees_[set];
    if (!tree) {
        tree = std::make_unique<ConfinedTree>();
        tree->Open(folder_.SetFolder(*set), false);
    }
    int64_t bytes = 0;
    bool placed = tree->IsOpen() && target_.CopyFileFrom(*tree, SplitNames(job.Located->File->Stored), job.To,
                                                         request_.Overwrite, bytes);
    if (!placed && GetLastError() == kErrorFileNotFound) {
        Done(job, false, 0, "its copy is missing from set " + set->Name);
        return;
    }
    Done(job, placed, bytes, "");
}

int32_t Restorer::Extract(const std::string& pattern) {
    zip_.IB_UnZipFileSpec(pattern);
    return zip_.IB_UnZip(0);
}

std::vector<Job> Restorer::UnpackInPlace(const std::vector<Job>& jobs, int64_t entries) {
    // Only an archive that holds exactly the files wanted, each under the name it is restored as, can
    // be unpacked straight into the target; the extraction refuses names that climb out and links on
    // the way as the staging folder's moves do. Archive 000 also holds the set's control file.
    if (static_cast<int64_t>(jobs.size()) != entries || entries < 2) {
        return jobs;
    }
    for (const Job& job : jobs) {
        if (job.Located->Copy->Stored != job.Located->File->Restored) {
            return jobs;
        }
    }
    std::vector<bool> present(jobs.size(), false);
    for (size_t i = 0; i < jobs.size(); ++i) {
        TreeEntry entry = TreeEntry::kMissing;
        present[i] = !target_.Look(jobs[i].To, entry) || entry != TreeEntry::kMissing;
    }
    zip_.IB_UnZipExtractDir(request_.TargetWindows);
    zip_.IB_UnZipUseStoredDirs(1);
    zip_.IB_UnZipLinks(1);
    zip_.IB_Overwrite(request_.Overwrite ? 1 : 0);
    Extract("*");
    std::vector<Job> rest;
    for (size_t i = 0; i < jobs.size(); ++i) {
        TreeEntry entry = TreeEntry::kMissing;
        int64_t bytes = 0;
        bool looked = target_.Look(jobs[i].To, entry, &bytes);
        if (present[i] && !request_.Overwrite && looked && entry != TreeEntry::kMissing) {
            SetLastError(kErrorFileExists);
            Done(jobs[i], false, 0, "");
        } else if (looked && (entry == TreeEntry::kFile || entry == TreeEntry::kLink) &&
                   (!present[i] || request_.Overwrite)) {
            Done(jobs[i], true, bytes, "");
        } else {
            rest.push_back(jobs[i]);  // left out or damaged: tried again one by one through the staging
        }
    }
    return rest;
}

void Restorer::RestoreArchive(const BackupSet& set, int32_t number, const std::vector<Job>& jobs) {
    const std::string archive = folder_.ArchivePath(set, number);
    int32_t opened = zip_.IB_UnZipArchiveFile(archive);
    if (opened <= 0) {
        std::string why = "archive " + set.Name + "/" + ArchiveName(number) + " cannot be read (" +
                          ErrorText(MapZipError(-opened, true)) + ")";
        for (const Job& job : jobs) {
            Done(job, false, 0, why);
        }
        return;
    }
    if (staging_.empty() && !target_.CreateUniqueFolder(kStagingPrefix, staging_)) {
        staging_.clear();
        std::string why = "no folder for unpacking in the target (" + ErrorText(GetLastError()) + ")";
        for (const Job& job : jobs) {
            Done(job, false, 0, why);
        }
        return;
    }
    const int64_t entries = opened - 1;
    std::vector<Job> rest = UnpackInPlace(jobs, entries);
    const std::string stagingWindows = request_.TargetWindows + "\\" + staging_;
    zip_.IB_UnZipExtractDir(stagingWindows);
    zip_.IB_UnZipUseStoredDirs(1);
    zip_.IB_UnZipLinks(1);
    zip_.IB_Overwrite(1);
    // Most entries wanted: unpack the archive in one pass. A few: unpack them one by one, which reads
    // the archive's directory again for each but no data of the others.
    const bool whole = rest.size() == jobs.size() && static_cast<int64_t>(jobs.size()) * 4 >= entries;
    if (whole) {
        Extract("*");
    }
    for (const Job& job : rest) {
        const std::string& stored = job.Located->Copy->Stored;
        TreePath from = SplitNames(stored);
        from.insert(from.begin(), staging_);
        int32_t extracted = 0;
        if (!whole) {
            extracted = Extract(stored);
        }
        int64_t bytes = 0;
        bool placed = target_.MoveFile(from, job.To, request_.Overwrite, bytes);
        if (!placed && GetLastError() == kErrorFileNotFound && whole) {
            // A damaged entry stops the unpacking of the whole archive; the entries behind it are
            // unpacked one by one.
            extracted = Extract(stored);
            placed = target_.MoveFile(from, job.To, request_.Overwrite, bytes);
        }
        if (!placed && GetLastError() == kErrorFileNotFound) {
            std::string why = "not found in " + set.Name + "/" + ArchiveName(number);
            if (extracted < 0 && extracted != kIbZipWarnings) {
                why = "cannot be unpacked from " + set.Name + "/" + ArchiveName(number) + " (" +
                      ErrorText(MapZipError(-extracted, true)) + ")";
            }
            Done(job, false, 0, why);
            continue;
        }
        Done(job, placed, bytes, "");
    }
    // What this archive held beyond the files wanted goes before the next one is unpacked.
    DeleteDirectoryTree(stagingWindows, nullptr, false);
    target_.ForgetOpenFolders();
}

int Restorer::Run() {
    const BackupSet* listSet = nullptr;
    std::vector<LocatedFile> files;
    folder_.FilesAsOf(request_.Day, listSet, files);
    if (listSet == nullptr) {
        out_ << "no backup set on or before " << request_.Day.Format("%Y-%m-%d") << "\n";
        return 1;
    }
    std::vector<Job> plain;
    std::map<std::pair<const BackupSet*, int32_t>, std::vector<Job>> archives;
    for (const LocatedFile& located : files) {
        const RecordedFile& file = *located.File;
        if (!file.Usable) {
            if (request_.Patterns.empty()) {
                ++tally_.Failed;
                out_ << "refused, it would lie outside the target: " << file.WholePath << "\n";
            }
            continue;
        }
        if (!Selected(request_.Patterns, file.Restored)) {
            continue;
        }
        if (located.Holder == nullptr) {
            ++tally_.NoCopy;
            out_ << "no copy left: " << file.Restored << "\n";
            continue;
        }
        Job job{&located, SplitNames(file.Restored)};
        ++tally_.Total;
        if (request_.DryRun) {
            out_ << "restore: " << file.Restored << "  (" << HolderText(located) << ")\n";
        } else if (located.Holder->Compressed) {
            archives[{located.Holder, located.Copy->ZipNumber}].push_back(job);
        } else {
            plain.push_back(job);
        }
    }

    if (!request_.DryRun) {
        if (!target_.Open(request_.TargetWindows, true)) {
            out_ << "the target folder cannot be made or opened: " << ErrorText(GetLastError()) << "\n";
            return 1;
        }
        for (const Job& job : plain) {
            RestorePlain(job);
        }
        for (const auto& [key, jobs] : archives) {
            RestoreArchive(*key.first, key.second, jobs);
        }
        if (!staging_.empty()) {
            DeleteDirectoryTree(request_.TargetWindows + "\\" + staging_, nullptr, true);
        }
        ShowProgress(true);
    }

    std::string summary = request_.DryRun ? Files(tally_.Total) + " to restore"
                                          : Files(tally_.Restored) + " restored, " + Megabytes(tally_.Bytes);
    if (tally_.NoCopy > 0) {
        summary += "; " + GroupedNumber(tally_.NoCopy) + " without a copy left";
    }
    if (tally_.Existing > 0) {
        summary += "; " + GroupedNumber(tally_.Existing) + " not overwritten";
    }
    if (tally_.Failed > 0) {
        summary += "; " + GroupedNumber(tally_.Failed) + " not restored";
    }
    out_ << summary << "\n";
    return tally_.NoCopy + tally_.Existing + tally_.Failed > 0 ? 1 : 0;
}

}  // namespace

bool Selected(const std::vector<std::string>& patterns, const std::string& path) {
    if (patterns.empty()) {
        return true;
    }
    const std::string upper = ToUpperPath(path);
    for (const std::string& pattern : patterns) {
        const std::string upperPattern = ToUpperPath(pattern);
        for (size_t end = upper.find('/'); end != std::string::npos; end = upper.find('/', end + 1)) {
            if (MatchPattern(upperPattern, std::string_view(upper).substr(0, end))) {
                return true;
            }
        }
        if (MatchPattern(upperPattern, upper)) {
            return true;
        }
    }
    return false;
}

int RestoreFiles(const BackupFolder& folder, const RestoreRequest& request, IbZip& zip, std::ostream& out,
                 std::ostream& progress) {
    Restorer restorer(folder, request, zip, out, progress);
    return restorer.Run();
}

}  // namespace quillon::restore
