#include "restore/VerifySets.h"

#include <map>
#include <ostream>
#include <vector>

#include "files/IbZip.h"
#include "platform/ConfinedTree.h"
#include "platform/LastError.h"
#include "restore/AmountText.h"
#include "restore/BackupFolder.h"
#include "support/ErrorText.h"

namespace quillon::restore {
namespace {

constexpr const char* kControlEntry = "Quillon.txt";

class Verifier {
  public:
    Verifier(const BackupFolder& folder, IbZip& zip, std::ostream& out)
        : folder_(folder), zip_(zip), out_(out) {}

    int Run();

  private:
    void Problem(const std::string& text) {
        ++problems_;
        out_ << text << "\n";
    }
    void CheckPlainSet(const BackupSet& set);
    void CheckCompressedSet(const BackupSet& set);
    void CheckArchive(const BackupSet& set, int32_t number, const std::vector<std::string>& expected);
    // IB_CRCCheck of the entries named like pattern in the open archive.
    int32_t Check(const std::string& pattern) {
        zip_.IB_UnZipFileSpec(pattern);
        return zip_.IB_CRCCheck(0);
    }

    const BackupFolder& folder_;
    IbZip& zip_;
    std::ostream& out_;
    int64_t problems_ = 0;
    int64_t archives_ = 0;
    int64_t copies_ = 0;
};

void Verifier::CheckPlainSet(const BackupSet& set) {
    ConfinedTree tree;
    if (!tree.Open(folder_.SetFolder(set), false)) {
        Problem("set " + set.Name + " cannot be opened: " + ErrorText(GetLastError()));
        return;
    }
    for (const auto& [stored, index] : set.HeldIndex) {
        TreeEntry entry = TreeEntry::kMissing;
        ++copies_;
        // A link in the source is stored as a link.
        if (!tree.Look(SplitNames(stored), entry) ||
            (entry != TreeEntry::kFile && entry != TreeEntry::kLink)) {
            Problem("missing copy: " + set.Name + "/" + stored);
        }
    }
}

void Verifier::CheckArchive(const BackupSet& set, int32_t number, const std::vector<std::string>& expected) {
    const std::string name = set.Name + "/" + ArchiveName(number);
    ++archives_;
    int32_t opened = zip_.IB_UnZipArchiveFile(folder_.ArchivePath(set, number));
    if (opened <= 0) {
        Problem("damaged archive: " + name + " (" + ErrorText(MapZipError(-opened, true)) + ")");
        return;
    }
    copies_ += static_cast<int64_t>(expected.size());
    int32_t checked = Check("*");
    if (checked >= static_cast<int32_t>(expected.size())) {
        return;  // every entry sound, and not fewer than the files it should hold
    }
    // Something is wrong: find the entries it concerns, one by one.
    bool named = false;
    for (const std::string& entry : expected) {
        int32_t result = Check(entry);
        if (result == 0) {
            Problem("missing from archive: " + name + ": " + entry);
            named = true;
        } else if (result < 0) {
            Problem("damaged entry: " + name + ": " + entry);
            named = true;
        }
    }
    if (!named) {
        Problem("damaged archive: " + name + " (an entry that no file list names)");
    }
}

void Verifier::CheckCompressedSet(const BackupSet& set) {
    std::map<int32_t, std::vector<std::string>> expected;
    for (int32_t number : set.Archives) {
        expected[number];
    }
    expected[0].push_back(kControlEntry);
    for (const auto& [stored, index] : set.HeldIndex) {
        expected[set.Files[index].ZipNumber].push_back(stored);
    }
    for (const auto& [number, entries] : expected) {
        bool present = false;
        for (int32_t found : set.Archives) {
            present = present || found == number;
        }
        if (number < 0) {
            for (const std::string& entry : entries) {
                Problem("no archive recorded for: " + set.Name + "/" + entry);
            }
        } else if (!present) {
            Problem("missing archive: " + set.Name + "/" + ArchiveName(number) + " (" +
                    Files(static_cast<int64_t>(entries.size())) + ")");
        } else {
            CheckArchive(set, number, entries);
        }
    }
}

int Verifier::Run() {
    int64_t sets = 0;
    for (const BackupSet& set : folder_.Sets()) {
        ++sets;
        if (!set.Present) {
            Problem("missing set folder: " + set.Name);
            continue;
        }
        if (!set.Listed) {
            out_ << "note: set folder " << set.Name << " is not listed in the control file\n";
        }
        if (!set.FilesRead) {
            Problem("the control file of set " + set.Name + " cannot be read");
        }
        if (set.Compressed) {
            CheckCompressedSet(set);
        } else {
            CheckPlainSet(set);
        }
    }
    const BackupSet* listSet = nullptr;
    std::vector<LocatedFile> files;
    folder_.FilesAsOf(folder_.NewestDay(), listSet, files);
    for (const LocatedFile& located : files) {
        if (!located.File->Usable) {
            Problem("unusable file line (outside the source): " + located.File->WholePath);
        } else if (located.Holder == nullptr) {
            Problem("no copy left: " + located.File->Restored);
        }
    }
    out_ << GroupedNumber(sets) << (sets == 1 ? " set, " : " sets, ") << GroupedNumber(archives_)
         << (archives_ == 1 ? " archive, " : " archives, ") << Files(copies_) << " checked: "
         << (problems_ == 0
                 ? std::string("no problems found")
                 : GroupedNumber(problems_) + (problems_ == 1 ? " problem found" : " problems found"))
         << "\n";
    return problems_ == 0 ? 0 : 1;
}

}  // namespace

int VerifySets(const BackupFolder& folder, IbZip& zip, std::ostream& out) {
    Verifier verifier(folder, zip, out);
    return verifier.Run();
}

}  // namespace quillon::restore
