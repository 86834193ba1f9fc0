// Fuzz target of the control file readers: any bytes, read as a control file, must give lists without
// a crash, and every reader must find the same whatever order the readers run in.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/ControlFile.h"
#include "support/LineArchive.h"

namespace {

// A line archive reading from the fuzzer's bytes instead of a file.
class BytesArchive : public quillon::CLineArchive {
  public:
    BytesArchive(const uint8_t* data, size_t size) {
        auto block = std::make_unique<char[]>(size + 1);
        std::memcpy(block.get(), data, size);
        StartReading(std::move(block), static_cast<int32_t>(size));
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1 << 20) {
        return 0;
    }
    BytesArchive archive(data, size);
    std::vector<std::string> zipLines;
    quillon::ReadZipLines(archive, zipLines);
    quillon::PArray<quillon::SavedBackup> backups;
    quillon::ReadSavedBackups(archive, backups);
    int32_t runs = quillon::ReadRunsUntilFull(archive);
    int32_t highest = -1;
    quillon::PArray<quillon::FileEntry> files;
    quillon::ReadFileList(archive, files, true, &highest, false);
    quillon::PArray<quillon::FileEntry> unmarked;
    quillon::ReadFileList(archive, unmarked, false, nullptr, true);

    // Read again in the other order: the readers rewind, so the results must not change.
    quillon::PArray<quillon::FileEntry> again;
    int32_t highestAgain = -1;
    quillon::ReadFileList(archive, again, true, &highestAgain, false);
    quillon::PArray<quillon::SavedBackup> backupsAgain;
    quillon::ReadSavedBackups(archive, backupsAgain);
    if (quillon::ReadRunsUntilFull(archive) != runs || highestAgain != highest ||
        again.Count() != files.Count() || unmarked.Count() != files.Count() ||
        backupsAgain.Count() != backups.Count()) {
        std::abort();
    }
    for (int32_t i = 0; i < files.Count(); ++i) {
        const quillon::FileEntry& entry = *files.Get(i);
        if (entry.Path != again.Get(i)->Path || entry.ZipNumber > highest ||
            quillon::FormatFileLine(entry, false, entry.ZipNumber >= 0).empty()) {
            std::abort();
        }
    }
    for (int32_t i = 0; i < backups.Count(); ++i) {
        quillon::FormatSavedBackupLine(*backups.Get(i));
    }
    quillon::DeleteAll(backups);
    quillon::DeleteAll(backupsAgain);
    quillon::DeleteAll(files);
    quillon::DeleteAll(unmarked);
    quillon::DeleteAll(again);
    return 0;
}
