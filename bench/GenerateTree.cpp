// Writes a seeded benchmark tree.
//
//   quillon-bench-tree mixed DIR [SEED]  about 20 000 files, 1 GiB, 1 KiB to 50 MiB, 3 to 5 levels deep,
//                                        half text-like (compressible), half random
//   quillon-bench-tree many DIR [SEED]   100 000 files of 0 to 4 KiB in 2 000 directories
//
// The same seed always gives the same tree.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const char* const kWords[] = {"backup", "set",  "file", "control", "archive", "delta", "Quillon",
                              "offer",  "mail", "2003", "report",  "notes",   "data",  "the"};

void FillText(std::mt19937_64& random, std::string& out, size_t size) {
    out.clear();
    while (out.size() < size) {
        out += kWords[random() % (sizeof kWords / sizeof kWords[0])];
        out += random() % 12 == 0 ? "\r\n" : " ";
    }
    out.resize(size);
}

void FillRandom(std::mt19937_64& random, std::string& out, size_t size) {
    out.resize(size);
    for (size_t i = 0; i < size; i += 8) {
        uint64_t value = random();
        std::memcpy(out.data() + i, &value, std::min<size_t>(8, size - i));
    }
}

std::string FolderPath(std::mt19937_64& random, int minDepth, int maxDepth) {
    int depth = minDepth + static_cast<int>(random() % (maxDepth - minDepth + 1));
    std::string path;
    for (int level = 0; level < depth; ++level) {
        path += "/d" + std::to_string(level) + "_" + std::to_string(random() % (level == 0 ? 12 : 6));
    }
    return path;
}

void WriteOne(const fs::path& file, const std::string& contents) {
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
}

// Sizes: mostly small files with a long tail of large ones, scaled to 1 GiB in all.
std::vector<size_t> MixedSizes(std::mt19937_64& random) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<double> sizes;
    for (int i = 0; i < 20000; ++i) {
        double u = unit(random);
        double low = 1024, high = 64 * 1024;
        if (i % 200 == 0) {
            low = 64 * 1024, high = 8 << 20;
        }
        if (i % 2000 == 0) {
            low = 20 << 20, high = 50 << 20;
        }
        sizes.push_back(low * std::pow(high / low, u));
    }
    double total = 0;
    for (double s : sizes) {
        total += s;
    }
    double scale = (1024.0 * 1024 * 1024) / total;
    std::vector<size_t> result;
    for (double s : sizes) {
        result.push_back(static_cast<size_t>(std::clamp(s * scale, 1024.0, 50.0 * 1024 * 1024)));
    }
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s mixed|many DIR [SEED]\n", argv[0]);
        return 2;
    }
    std::string kind = argv[1];
    fs::path root = argv[2];
    std::mt19937_64 random(argc > 3 ? std::stoull(argv[3]) : 20031124);
    std::string contents;
    if (kind == "mixed") {
        std::vector<size_t> sizes = MixedSizes(random);
        for (size_t i = 0; i < sizes.size(); ++i) {
            if (i % 2 == 0) {
                FillText(random, contents, sizes[i]);
            } else {
                FillRandom(random, contents, sizes[i]);
            }
            WriteOne(root / (FolderPath(random, 3, 5).substr(1) + "/f" + std::to_string(i) + ".dat"),
                     contents);
        }
    } else if (kind == "many") {
        for (int i = 0; i < 100000; ++i) {
            std::string folder = "dir" + std::to_string(i % 2000);
            FillText(random, contents, random() % 4097);
            WriteOne(root / folder / ("file" + std::to_string(i) + ".txt"), contents);
        }
    } else {
        std::fprintf(stderr, "unknown tree kind %s\n", kind.c_str());
        return 2;
    }
    return 0;
}
