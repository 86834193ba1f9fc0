#include "support/LineArchive.h"

#include <algorithm>
#include <cassert>
#include <climits>
#include <cstring>
#include <new>

#include "platform/LastError.h"
#include "platform/NativeFile.h"
#include "platform/Trace.h"
#include "support/MessageBox.h"

namespace quillon {
namespace {

constexpr char kCr = '\r';
constexpr char kLf = '\n';

// Holds a slot of the line buffer pool for the duration of one read, and gives it back even when
// growing the buffer throws.
class HeldLineBuffer {
  public:
    HeldLineBuffer() : slot_(AcquireLineBuffer()) {}
    ~HeldLineBuffer() { ReleaseLineBuffer(slot_); }
    HeldLineBuffer(const HeldLineBuffer&) = delete;
    HeldLineBuffer& operator=(const HeldLineBuffer&) = delete;

    // The slot's buffer, grown by doubling until it has at least size bytes.
    char* AtLeast(int64_t size) {
        char* buffer = LineBuffer(slot_);
        while (LineBufferSize(slot_) < size) {
            buffer = GrowLineBuffer(slot_);
        }
        return buffer;
    }

  private:
    int slot_;
};

}  // namespace

CLineArchive::CLineArchive() = default;
CLineArchive::~CLineArchive() = default;

bool CLineArchive::TakeChar() {
    if (!block_ || readPosition_ >= dataLength_) {
        currentChar_ = 0;
        endOfFile_ = true;
        return false;
    }
    currentChar_ = static_cast<unsigned char>(block_[readPosition_++]);
    return true;
}

void CLineArchive::StartReading(std::unique_ptr<char[]> data, int32_t length) {
    ReleaseBlock();
    block_ = std::move(data);
    dataLength_ = length;
    readPosition_ = 0;
    endOfFile_ = !TakeChar();
}

bool CLineArchive::StartWriting() {
    ReleaseBlock();
    block_.reset(new (std::nothrow) char[kInitialCapacity]);
    if (!block_) {
        SetLastError(kErrorNotEnoughMemory);
        return false;
    }
    storing_ = true;
    writeBufferActive_ = true;
    capacity_ = kInitialCapacity;
    return true;
}

void CLineArchive::ReleaseBlock() {
    block_.reset();
    dataLength_ = 0;
    readPosition_ = 0;
    capacity_ = 0;
    currentChar_ = 0;
    storing_ = false;
    writeBufferActive_ = false;
    endOfFile_ = true;
    lineLost_ = false;
}

void CLineArchive::Rewind() {
    assert(!storing_);
    if (storing_) {
        return;
    }
    readPosition_ = 0;
    endOfFile_ = !TakeChar();
}

void CLineArchive::ReadLine(std::string& line) {
    assert(!storing_);
    if (storing_) {
        line.clear();
        return;
    }
    HeldLineBuffer held;

    // The line runs from the current character (already taken) up to the next CR or the end of the
    // data. The pool buffer doubles until the line and a terminating zero fit, reaching the sizes a
    // byte-by-byte copy would reach.
    const char* begin = nullptr;
    int64_t length = 0;
    int64_t needed = 0;
    if (!endOfFile_) {
        int32_t start = readPosition_ - 1;
        begin = block_.get() + start;
        const void* cr = std::memchr(begin, kCr, static_cast<size_t>(dataLength_ - start));
        if (cr != nullptr) {
            length = static_cast<const char*>(cr) - begin;
            readPosition_ = start + static_cast<int32_t>(length) + 1;
            currentChar_ = static_cast<unsigned char>(kCr);
            needed = length + 2;
        } else {
            length = dataLength_ - start;
            readPosition_ = dataLength_;
            TakeChar();
            needed = length + 1;
        }
    }
    char* buffer = held.AtLeast(needed);
    if (length > 0) {
        std::memcpy(buffer, begin, static_cast<size_t>(length));
    }
    buffer[length] = '\0';
    line.assign(buffer, static_cast<size_t>(length));

    if (currentChar_ == kCr) {
        TakeChar();
        if (currentChar_ == kLf) {
            TakeChar();
        }
    }
}

void CLineArchive::WriteLine(std::string_view line) {
    assert(!block_ || storing_);
    if (!writeBufferActive_) {
        return;
    }
    if (line.size() > static_cast<size_t>(INT32_MAX) ||
        static_cast<int64_t>(dataLength_) + static_cast<int64_t>(line.size()) + 2 > INT32_MAX) {
        SetLastError(kErrorNotEnoughMemory);
        lineLost_ = true;
        writeBufferActive_ = false;
        return;
    }
    int64_t needed = static_cast<int64_t>(dataLength_) + static_cast<int64_t>(line.size()) + 2;
    if (needed > capacity_) {
        // Grow by half, and again as often as it takes for a line longer than one step provides.
        int64_t grown = capacity_;
        while (grown < needed) {
            grown += grown / 2;
        }
        grown = std::min<int64_t>(grown, INT32_MAX);
        std::unique_ptr<char[]> block(new (std::nothrow) char[static_cast<size_t>(grown)]);
        if (!block) {
            SetLastError(kErrorNotEnoughMemory);
            lineLost_ = true;
            writeBufferActive_ = false;
            return;
        }
        std::memcpy(block.get(), block_.get(), static_cast<size_t>(dataLength_));
        block_ = std::move(block);
        capacity_ = static_cast<int32_t>(grown);
    }
    char* end = block_.get() + dataLength_;
    if (!line.empty()) {
        std::memcpy(end, line.data(), line.size());
    }
    end[line.size()] = kCr;
    end[line.size() + 1] = kLf;
    dataLength_ = static_cast<int32_t>(needed);
}

void CLineArchive::Reserve(int64_t bytes) {
    if (!writeBufferActive_ || bytes <= capacity_ || bytes > INT32_MAX) {
        return;
    }
    std::unique_ptr<char[]> block(new (std::nothrow) char[static_cast<size_t>(bytes)]);
    if (!block) {
        return;
    }
    std::memcpy(block.get(), block_.get(), static_cast<size_t>(dataLength_));
    block_ = std::move(block);
    capacity_ = static_cast<int32_t>(bytes);
}

CLineArchiveFile::CLineArchiveFile() = default;
CLineArchiveFile::~CLineArchiveFile() = default;

bool CLineArchiveFile::Open(const std::string& fileName, bool storing) {
    ReleaseBlock();
    fileName_ = fileName;
    if (storing) {
        return StartWriting();
    }
    return ReadWholeFile();
}

bool CLineArchiveFile::ReadWholeFile() {
    NativeFile file;
    if (!file.OpenRead(fileName_)) {
        return false;
    }
    int64_t length = file.Size();
    if (length < 0) {
        return false;
    }
    if (length > INT32_MAX) {
        // Far beyond any control file; refused rather than read in part.
        SetLastError(kErrorFileTooLarge);
        return false;
    }
    if (length == 0) {
        Trace("-- L\xE4nge der Eingabedatei: 0 Bytes\n");
    }
    std::unique_ptr<char[]> data(new (std::nothrow) char[static_cast<size_t>(length)]);
    if (!data) {
        SetLastError(kErrorNotEnoughMemory);
        return false;
    }
    int64_t got = file.Read(data.get(), length);
    if (got < 0) {
        // A read error, unlike a file that shrank, leaves nothing trustworthy to read from.
        return false;
    }
    if (got != length) {
        Trace("CLineArchive::CLineArchive: %ld statt %ld Bytes gelesen", static_cast<long>(got),
              static_cast<long>(length));
    }
    file.Close();
    StartReading(std::move(data), static_cast<int32_t>(got));
    return true;
}

bool CLineArchiveFile::Close(bool syncToDisk) {
    bool ok = true;
    if (IsStoring()) {
        ok = WriteCollectedLines(syncToDisk);
    }
    ReleaseBlock();
    return ok;
}

bool CLineArchiveFile::WriteCollectedLines(bool syncToDisk) {
    if (LineLost()) {
        // The file would lack lines; leave whatever is there untouched.
        ReportWriteFailure("*** File " + fileName_ + " could not be written.");
        return false;
    }
    NativeFile file;
    if (!file.CreateWrite(fileName_)) {
        ReportWriteFailure("*** File " + fileName_ + " could not be opened.");
        return false;
    }
    bool written = file.WriteAll(Data(), DataLength()) && (!syncToDisk || file.Sync());
    int32_t error = GetLastError();
    // Closed even after a failed write, and its own failure counts: a network or quota file system may
    // report a lost write only here.
    bool closed = file.Close();
    if (written && closed) {
        return true;
    }
    if (!written) {
        SetLastError(error);
    }
    ReportWriteFailure("*** File " + fileName_ + " could not be written.");
    return false;
}

void CLineArchiveFile::ReportWriteFailure(const std::string& text) {
    int32_t error = GetLastError();
    ShowMessageBox(text, kMbOk | kMbIconExclamation);
    // The box may run code that sets the value; the caller wants the number of the failed step.
    SetLastError(error);
}

}  // namespace quillon
