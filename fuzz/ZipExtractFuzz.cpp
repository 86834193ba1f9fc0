// Fuzz target of the archive reading of the same-day merge: a hostile archive 000, extracted through
// the compression library's IB_UnZip* exports as the merge does, must never write outside the extract
// folder (no entry through "..", an absolute name or a link) and never leave a link behind.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "ibzip/IbZip.h"

namespace {

namespace fs = std::filesystem;

struct Sandbox {
    fs::path root;
    fs::path archive;
    fs::path extract;
    fs::path outside;

    Sandbox() {
        char pattern[] = "/tmp/quillon-zipfuzz.XXXXXX";
        if (mkdtemp(pattern) == nullptr) {
            std::abort();
        }
        root = pattern;
        fs::create_directories(root / "dosdevices");
        fs::create_symlink("/", root / "dosdevices" / "z:");
        setenv("QUILLON_DRIVES", (root / "dosdevices").c_str(), 1);
        fs::create_directories(root / "set");
        fs::create_directories(root / "stage" / "extract");
        fs::create_directories(root / "stage" / "outside");
        archive = root / "set" / "QuillonData_000.Zip";
        extract = root / "stage" / "extract";
        outside = root / "stage" / "outside";
    }
    ~Sandbox() {
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
};

std::string WindowsForm(const fs::path& path) {
    std::string text = "Z:" + path.string();
    for (char& c : text) {
        c = c == '/' ? '\\' : c;
    }
    return text;
}

intptr_t Text(const std::string& text) {
    return reinterpret_cast<intptr_t>(text.c_str());
}

// Everything of the sandbox apart from the extract folder's contents must be as it was made.
void CheckNothingOutside(const Sandbox& box) {
    size_t entries = 0;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(box.root)) {
        const fs::path& path = entry.path();
        if (path.native().starts_with(box.extract.native() + "/")) {
            if (entry.is_symlink()) {
                std::abort();  // links are refused
            }
            continue;
        }
        ++entries;
    }
    // dosdevices, its z:, set, the archive, stage, extract, outside
    if (entries != 7 || !fs::is_empty(box.outside)) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Sandbox box;
    if (size < 1 || size > 1 << 20) {
        return 0;
    }
    {
        std::ofstream file(box.archive, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(data) + 1, static_cast<std::streamsize>(size - 1));
    }
    // The first byte chooses the settings: the merge's own (the control file, stored folders,
    // overwrite) or every entry, with or without folders.
    const std::string archive = WindowsForm(box.archive);
    const std::string folder = WindowsForm(box.extract);
    const std::string spec = (data[0] & 1) != 0 ? "*.*" : "Quillon.txt";
    if (IB_UnZipArchiveFile(Text(archive)) > 0) {
        IB_UnZipExtractDir(Text(folder));
        IB_UnZipFileSpec(Text(spec));
        IB_UnZipUseStoredDirs((data[0] & 2) != 0 ? 0 : 1);
        IB_Overwrite(1);
        IB_UnZip(0);
    }
    CheckNothingOutside(box);
    for (const fs::directory_entry& entry : fs::directory_iterator(box.extract)) {
        fs::remove_all(entry.path());
    }
    return 0;
}
