// Fuzz target of the .reg reader: any bytes must be parsed or rejected cleanly, and whatever is parsed
// must come back unchanged after writing it as a file and reading that file again.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "reg/RegFile.h"

namespace {

using quillon::RegEntry;

// The statements that writing reproduces: keys and the values set in them.
std::vector<RegEntry> KeysAndValues(const std::vector<RegEntry>& entries) {
    std::vector<RegEntry> kept;
    for (RegEntry entry : entries) {
        if (entry.kind == RegEntry::kKey || entry.kind == RegEntry::kValue) {
            entry.line = 0;
            kept.push_back(std::move(entry));
        }
    }
    return kept;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::vector<RegEntry> entries;
    quillon::RegFileError error;
    if (!quillon::ParseRegFile(bytes, entries, error)) {
        if (!entries.empty() || error.message.empty()) {
            std::abort();  // a rejected file keeps nothing and says why
        }
        return 0;
    }
    std::vector<RegEntry> expected = KeysAndValues(entries);
    std::vector<quillon::RegExportKey> keys;
    for (const RegEntry& entry : expected) {
        if (entry.kind == RegEntry::kKey) {
            keys.push_back({entry.root, entry.key, {}});
        } else {
            keys.back().values.push_back({entry.name, entry.type, entry.data});
        }
    }
    std::string written;
    std::string problem;
    if (!quillon::WriteRegFile(keys, written, problem)) {
        std::abort();  // names read from a file never hold a line break
    }
    std::vector<RegEntry> again;
    if (!quillon::ParseRegFile(written, again, error) || KeysAndValues(again) != expected) {
        std::abort();
    }
    return 0;
}
