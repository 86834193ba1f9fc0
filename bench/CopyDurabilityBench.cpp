// Measures what it costs to have copied files on the disk before a backup pass records them as stored:
// one fdatasync per copied file against a single syncfs of the destination file system at the end.
//
//   copy_durability_bench [folder] [small files] [large files] [large MiB] [rounds] [small max KiB]
//
// The folder (default, also when given as "": a new folder below /var/tmp, which lies on a real disk
// rather than in memory, removed at the end) must be on the file system to measure. Each round copies the
// same source tree into a fresh destination in three ways and prints the wall-clock times; the median round
// is what to quote.
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/DriveMap.h"
#include "platform/FileSystem.h"
#include "platform/NativeFile.h"

namespace {

using namespace quillon;
namespace fs = std::filesystem;

constexpr int64_t kBufferSize = 1'000'000;  // the engine's copy buffer

enum class Mode { kNoSync, kSyncEachFile, kSyncFileSystemOnce };

const char* ModeName(Mode mode) {
    switch (mode) {
        case Mode::kNoSync:
            return "no sync (page cache only)";
        case Mode::kSyncEachFile:
            return "fdatasync per file";
        case Mode::kSyncFileSystemOnce:
            return "one syncfs at the end";
    }
    return "";
}

bool CopyOne(const std::string& from, const std::string& to, std::vector<char>& buffer, bool sync) {
    NativeFile in;
    NativeFile out;
    if (!in.OpenRead(from) || !out.CreateWrite(to)) {
        return false;
    }
    for (int64_t remaining = in.Size(); remaining > 0;) {
        int64_t chunk = std::min<int64_t>(remaining, kBufferSize);
        if (in.Read(buffer.data(), chunk) != chunk || !out.WriteAll(buffer.data(), chunk)) {
            return false;
        }
        remaining -= chunk;
    }
    return (!sync || out.Sync()) && out.Close();
}

void WriteSource(const std::string& path, int64_t size, std::mt19937_64& random) {
    std::vector<char> data(static_cast<size_t>(std::min<int64_t>(size, kBufferSize)));
    FILE* file = std::fopen(path.c_str(), "wb");
    for (int64_t left = size; left > 0;) {
        for (auto& c : data) {
            c = static_cast<char>(random());
        }
        size_t n = static_cast<size_t>(std::min<int64_t>(left, static_cast<int64_t>(data.size())));
        std::fwrite(data.data(), 1, n, file);
        left -= static_cast<int64_t>(n);
    }
    std::fclose(file);
}

double RunOnce(Mode mode, const std::vector<std::string>& names, const std::string& destination,
               std::vector<char>& buffer) {
    auto start = std::chrono::steady_clock::now();
    for (const auto& name : names) {
        if (!CopyOne("C:\\src\\" + name, destination + "\\" + name, buffer, mode == Mode::kSyncEachFile)) {
            std::fprintf(stderr, "copy of %s failed\n", name.c_str());
            std::exit(1);
        }
    }
    if (mode == Mode::kSyncFileSystemOnce && !SyncFileSystem(destination)) {
        std::fprintf(stderr, "syncfs failed\n");
        std::exit(1);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    std::string folder = argc > 1 ? argv[1] : "";
    int smallFiles = argc > 2 ? std::atoi(argv[2]) : 2000;
    int largeFiles = argc > 3 ? std::atoi(argv[3]) : 20;
    int64_t largeMiB = argc > 4 ? std::atoll(argv[4]) : 32;
    int rounds = argc > 5 ? std::atoi(argv[5]) : 3;
    int64_t smallMaxKiB = std::max<int64_t>(argc > 6 ? std::atoll(argv[6]) : 64, 2);
    const bool ownFolder = folder.empty();
    if (ownFolder) {
        std::string pattern = "/var/tmp/quillon-bench-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            return 1;
        }
        folder = pattern;
    }
    fs::create_directories(folder + "/dosdevices");
    fs::create_directories(folder + "/drive_c/src");
    fs::remove(folder + "/dosdevices/c:");
    fs::create_directory_symlink(folder + "/drive_c", folder + "/dosdevices/c:");
    SetDrives(std::make_shared<const DriveMap>(DriveMap::Load(folder + "/dosdevices")));

    std::mt19937_64 random(42);
    std::vector<std::string> smallNames;
    std::vector<std::string> largeNames;
    int64_t smallBytes = 0;
    for (int i = 0; i < smallFiles; ++i) {
        // 1 KiB up to the maximum (64 KiB by default), the bulk of a document folder.
        int64_t size =
            1024 + static_cast<int64_t>(random() % static_cast<uint64_t>((smallMaxKiB - 1) * 1024));
        smallNames.push_back("s" + std::to_string(i));
        WriteSource(folder + "/drive_c/src/" + smallNames.back(), size, random);
        smallBytes += size;
    }
    for (int i = 0; i < largeFiles; ++i) {
        largeNames.push_back("l" + std::to_string(i));
        WriteSource(folder + "/drive_c/src/" + largeNames.back(), largeMiB << 20, random);
    }
    ::sync();
    std::printf("folder %s (file system %s)\n", folder.c_str(), FileSystemTypeOf(folder).c_str());
    std::printf("%d small files (%.1f MiB), %d large files of %lld MiB, %d rounds\n", smallFiles,
                static_cast<double>(smallBytes) / (1 << 20), largeFiles, static_cast<long long>(largeMiB),
                rounds);

    std::vector<char> buffer(kBufferSize);
    struct Set {
        const char* label;
        const std::vector<std::string>* names;
    } sets[] = {{"small", &smallNames}, {"large", &largeNames}};
    for (const Set& set : sets) {
        if (set.names->empty()) {
            continue;
        }
        for (Mode mode : {Mode::kNoSync, Mode::kSyncEachFile, Mode::kSyncFileSystemOnce}) {
            std::vector<double> times;
            for (int round = 0; round < rounds; ++round) {
                std::string destination = "C:\\dst-" + std::to_string(round);
                fs::remove_all(folder + "/drive_c/dst-" + std::to_string(round));
                fs::create_directory(folder + "/drive_c/dst-" + std::to_string(round));
                ::sync();  // every mode starts from a clean page cache
                times.push_back(RunOnce(mode, *set.names, destination, buffer));
                ::sync();  // what the no-sync mode left behind is not charged to the next one
                fs::remove_all(folder + "/drive_c/dst-" + std::to_string(round));
            }
            std::sort(times.begin(), times.end());
            std::printf("%-6s %-28s median %8.3f s  (min %.3f, max %.3f)\n", set.label, ModeName(mode),
                        times[times.size() / 2], times.front(), times.back());
        }
    }
    if (ownFolder) {
        fs::remove_all(folder);
    }
    return 0;
}
