// Fuzz target of the line archive: any bytes read as lines never hold a CR and account for every
// other byte; lines without a CR, written and read again, come back unchanged.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "support/LineArchive.h"

namespace {

class BytesArchive : public quillon::CLineArchive {
  public:
    void Read(const char* data, size_t size) {
        auto block = std::make_unique<char[]>(size + 1);
        std::memcpy(block.get(), data, size);
        StartReading(std::move(block), static_cast<int32_t>(size));
    }
    bool Write() { return StartWriting(); }
    std::string Written() const { return std::string(Data(), static_cast<size_t>(DataLength())); }
};

std::vector<std::string> ReadAll(BytesArchive& archive) {
    std::vector<std::string> lines;
    std::string line;
    while (!archive.IsEof()) {
        archive.ReadLine(line);
        lines.push_back(line);
    }
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1 << 20) {
        return 0;
    }
    const char* bytes = reinterpret_cast<const char*>(data);
    BytesArchive reader;
    reader.Read(bytes, size);
    std::vector<std::string> lines = ReadAll(reader);
    size_t carriageReturns = 0;
    size_t lineFeedsAfterCr = 0;
    for (size_t i = 0; i < size; ++i) {
        carriageReturns += bytes[i] == '\r';
        lineFeedsAfterCr += bytes[i] == '\n' && i > 0 && bytes[i - 1] == '\r';
    }
    size_t total = 0;
    for (const std::string& line : lines) {
        if (line.find('\r') != std::string::npos) {
            std::abort();
        }
        total += line.size();
    }
    if (total + carriageReturns + lineFeedsAfterCr != size) {
        std::abort();  // a byte was lost or invented
    }
    reader.Rewind();
    if (ReadAll(reader) != lines) {
        std::abort();
    }

    // The same bytes split at CRs are lines without one: written and read back they stay the same.
    std::vector<std::string> written;
    BytesArchive writer;
    if (!writer.Write()) {
        return 0;
    }
    size_t start = 0;
    for (size_t i = 0; i <= size; ++i) {
        if (i == size || bytes[i] == '\r') {
            written.emplace_back(bytes + start, i - start);
            writer.WriteLine(written.back());
            start = i + 1;
        }
    }
    std::string text = writer.Written();
    BytesArchive back;
    back.Read(text.data(), text.size());
    std::vector<std::string> read = ReadAll(back);
    // The last line's CR LF ends the data, so a reader hands out no empty line after it.
    if (read != written) {
        std::abort();
    }
    return 0;
}
