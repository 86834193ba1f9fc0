#include "ibzip/ParallelDeflate.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <system_error>

#include "ibzip/IbZip.h"
#include "ibzip/ZipCodes.h"

namespace quillon::ibzip {
namespace {

constexpr uint64_t kPieceSize = 1 << 20;
constexpr uint64_t kDictionarySize = 32 * 1024;  // the deflate window
constexpr size_t kMaxWaitingPieces = 16;
constexpr uint64_t kProbeBlock = 64 * 1024;  // the unit in which a piece is deflated or stored

// Whether deflate would gain next to nothing on a block, so that storing it loses nothing and saves the
// time deflate spends finding no match. Deflate gains in two ways: short codes for frequent bytes and
// references to repeated strings. The first fails when the bytes are spread as evenly as random ones
// (the entropy of every fourth byte above 7.9 bits; text has 4 to 5, machine code about 6, packed data
// about 7.99). The second fails when almost no 8-byte string occurs again within deflate's window: each
// position is looked up among the most recent positions of its 4-byte hash, at a tenth of deflate's cost.
bool LooksIncompressible(const unsigned char* data, uint64_t length) {
    uint32_t counts[256] = {};
    uint32_t samples = 0;
    for (uint64_t i = 0; i < length; i += 4, ++samples) {
        ++counts[data[i]];
    }
    if (samples < 1024) {
        return false;  // too few to tell: deflate decides
    }
    double sum = 0;
    for (uint32_t count : counts) {
        sum += count > 0 ? count * std::log2(static_cast<double>(count)) : 0.0;
    }
    if (std::log2(static_cast<double>(samples)) - sum / samples <= 7.9) {
        return false;
    }
    constexpr int kHashBits = 15;
    std::vector<uint32_t> recent(size_t{1} << kHashBits, UINT32_MAX);
    uint64_t repeats = 0;
    for (uint64_t i = 0; i + 8 <= length; ++i) {
        uint32_t word;
        std::memcpy(&word, data + i, sizeof word);
        uint32_t& slot = recent[(word * 2654435761u) >> (32 - kHashBits)];
        if (slot != UINT32_MAX && i - slot <= kDictionarySize && std::memcmp(data + slot, data + i, 8) == 0) {
            ++repeats;
        }
        slot = static_cast<uint32_t>(i);
    }
    return repeats * 100 < length;  // under 1 % of the positions begin a repeat
}

// Reads exactly length bytes at offset; a file that ends early counts as a read failure.
int32_t ReadAt(int fd, unsigned char* buffer, uint64_t length, uint64_t offset) {
    while (length > 0) {
        ssize_t got = ::pread(fd, buffer, length, static_cast<off_t>(offset));
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return CodeFromErrno(errno, Step::kReadFile);
        }
        if (got == 0) {
            return ParallelDeflate::kChanged;  // the file became shorter while it was packed
        }
        buffer += got;
        length -= static_cast<uint64_t>(got);
        offset += static_cast<uint64_t>(got);
    }
    return 0;
}

// The empty final block that ends a deflate stream: what an entry gets whose content is meaningless.
constexpr unsigned char kEndOfStream[] = {0x03, 0x00};

}  // namespace

struct ParallelDeflate::Piece {
    size_t file = 0;
    uint64_t offset = 0;
    uint64_t length = 0;
    bool last = false;
    bool ready = false;
    bool skip = false;  // its file failed (failures per file): nothing is read, the stream just ends
    int32_t failure = 0;
    std::vector<unsigned char> deflated;
    uint32_t crc = 0;
    size_t consumed = 0;  // bytes of deflated handed to libzip
};

struct ParallelDeflate::FileState {
    std::string nativePath;
    uint64_t expectedSize = 0;
    int64_t expectedModified = -1;
    int fd = -1;
    int32_t failure = 0;  // with failures per file
    // Written by the reading side only, once the file's pieces have gone through.
    uint64_t size = 0;
    uint64_t deflatedSize = 0;
    uint32_t crc = 0;
    bool finished = false;
};

struct ParallelDeflate::Source {
    ParallelDeflate* owner = nullptr;
    size_t file = 0;
    zip_error_t error;
};

ParallelDeflate::ParallelDeflate(unsigned workers, bool failuresPerFile)
    : workerCount_(std::max(1u, workers)), failuresPerFile_(failuresPerFile) {}

namespace {

// Whether an opened file has the length and modification time its caller expects (-1: any).
bool AsExpected(const struct stat& info, uint64_t expectedSize, int64_t expectedModified) {
    int64_t modified = static_cast<int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
    return expectedModified < 0 ||
           (static_cast<uint64_t>(info.st_size) == expectedSize && modified == expectedModified);
}

}  // namespace

ParallelDeflate::~ParallelDeflate() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    workReady_.notify_all();
    for (std::thread& worker : workers_) {
        worker.join();
    }
    for (auto& file : files_) {
        if (file->fd >= 0) {
            ::close(file->fd);
        }
    }
    for (auto& source : sources_) {
        zip_error_fini(&source->error);
    }
}

unsigned ParallelDeflate::DefaultWorkers() {
    return std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
}

zip_source_t* ParallelDeflate::NewSource(zip_t* archive, const std::string& nativePath, uint64_t expectedSize,
                                         int64_t expectedModified) {
    auto file = std::make_unique<FileState>();
    file->nativePath = nativePath;
    file->expectedSize = expectedSize;
    file->expectedModified = expectedModified;
    auto source = std::make_unique<Source>();
    source->owner = this;
    source->file = files_.size();
    zip_error_init(&source->error);
    zip_source_t* zipSource = zip_source_function(archive, &ParallelDeflate::SourceCallback, source.get());
    if (zipSource == nullptr) {
        zip_error_fini(&source->error);
        return nullptr;
    }
    files_.push_back(std::move(file));
    sources_.push_back(std::move(source));
    return zipSource;
}

bool ParallelDeflate::Start(std::vector<size_t> readOrder) {
    {
        std::lock_guard lock(mutex_);
        readOrder_ = std::move(readOrder);
    }
    for (unsigned i = 0; i < workerCount_; ++i) {
        try {
            workers_.emplace_back(&ParallelDeflate::Work, this);
        } catch (const std::system_error&) {
            break;  // fewer threads than hoped for still do the work
        }
    }
    return !workers_.empty();
}

int32_t ParallelDeflate::Failure() {
    std::lock_guard lock(mutex_);
    return failure_;
}

int32_t ParallelDeflate::FileFailure(size_t number) {
    std::lock_guard lock(mutex_);
    return number < files_.size() ? files_[number]->failure : 0;
}

void ParallelDeflate::Refill() {
    while (!feedDone_ && window_.size() < kMaxWaitingPieces) {
        if (orderPosition_ == readOrder_.size()) {
            feedDone_ = true;
            break;
        }
        size_t number = readOrder_[orderPosition_];
        FileState& file = *files_[number];
        if (!fileOpen_) {
            // O_NONBLOCK: should the file have been swapped for a FIFO since the walk, opening must not
            // hang; it has no effect on regular files.
            // O_NOFOLLOW: a file swapped for a link since the walk is never read through it.
            int fd =
                ::open(file.nativePath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW);
            int32_t failure = fd < 0 ? CodeFromErrno(errno, Step::kOpenFile) : 0;
            struct stat info;
            if (fd >= 0 && (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))) {
                failure = kIbCannotOpen;
                ::close(fd);
            } else if (fd >= 0 && failuresPerFile_ &&
                       !AsExpected(info, file.expectedSize, file.expectedModified)) {
                failure = kChanged;  // since the caller looked at it
                ::close(fd);
            }
            if (failure != 0 && failuresPerFile_) {
                file.failure = failure;
                Piece& skipped = window_.emplace_back();
                skipped.file = number;
                skipped.last = true;
                skipped.skip = true;
                ++orderPosition_;
                continue;
            }
            if (failure != 0) {
                Piece& failed = window_.emplace_back();
                failed.file = number;
                failed.last = true;
                failed.failure = failure;
                feedDone_ = true;
                break;
            }
            file.fd = fd;
            file.size = static_cast<uint64_t>(info.st_size);
            fileOpen_ = true;
            nextOffset_ = 0;
        }
        Piece& piece = window_.emplace_back();
        piece.file = number;
        piece.offset = nextOffset_;
        piece.length = std::min(kPieceSize, file.size - nextOffset_);
        nextOffset_ += piece.length;
        piece.last = nextOffset_ >= file.size;
        if (piece.last) {
            ++orderPosition_;
            fileOpen_ = false;
        }
    }
}

void ParallelDeflate::Work() {
    z_stream stream{};
    bool ready =
        deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) == Z_OK;
    std::vector<unsigned char> input;
    std::unique_lock lock(mutex_);
    for (;;) {
        Refill();
        if (stopping_) {
            break;
        }
        if (nextAssigned_ == window_.size()) {
            workReady_.wait(lock);
            continue;
        }
        Piece& piece = window_[nextAssigned_++];
        FileState& file = *files_[piece.file];
        piece.skip |= file.failure != 0;
        if (piece.failure == 0 && !piece.skip) {
            int fd = file.fd;
            lock.unlock();
            int32_t failure = ready ? DeflatePiece(piece, fd, &stream, input) : kIbGeneralError;
            lock.lock();
            if (failure == kChanged && !failuresPerFile_) {
                failure = kIbCannotRead;
            }
            if (failure != 0 && failuresPerFile_) {
                if (file.failure == 0) {
                    file.failure = failure;
                }
                piece.skip = true;
                failure = 0;
            }
            piece.failure = failure;
        }
        if (piece.skip) {
            piece.deflated.assign(piece.last ? std::begin(kEndOfStream) : std::end(kEndOfStream),
                                  std::end(kEndOfStream));
            piece.crc = 0;
        }
        if (piece.failure != 0 && failure_ == 0) {
            failure_ = piece.failure;
        }
        piece.ready = true;
        pieceDone_.notify_all();
    }
    if (ready) {
        deflateEnd(&stream);
    }
}

int32_t ParallelDeflate::DeflatePiece(Piece& piece, int fd, void* streamPointer,
                                      std::vector<unsigned char>& input) {
    auto& stream = *static_cast<z_stream*>(streamPointer);
    uint64_t dictionary = std::min(piece.offset, kDictionarySize);
    input.resize(dictionary + piece.length);
    if (int32_t failure = ReadAt(fd, input.data(), input.size(), piece.offset - dictionary); failure != 0) {
        return failure;
    }
    unsigned char* data = input.data() + dictionary;
    piece.crc = static_cast<uint32_t>(crc32(0, data, static_cast<uInt>(piece.length)));
    std::vector<unsigned char>& out = piece.deflated;
    out.resize(deflateBound(&stream, static_cast<uLong>(piece.length)) + 256);
    size_t produced = 0;
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    // The level stays in force across a reset: an earlier piece may have left the stream storing.
    int level = Z_DEFAULT_COMPRESSION;
    if (deflateReset(&stream) != Z_OK || deflateParams(&stream, level, Z_DEFAULT_STRATEGY) != Z_OK ||
        (dictionary > 0 &&
         deflateSetDictionary(&stream, input.data(), static_cast<uInt>(dictionary)) != Z_OK)) {
        return kIbGeneralError;
    }
    // Feeds next_in to the end with the flush given, growing the output as it goes.
    auto run = [&](int flush) {
        for (;;) {
            if (out.size() - produced < 256) {
                out.resize(out.size() * 2);
            }
            stream.next_out = out.data() + produced;
            stream.avail_out = static_cast<uInt>(out.size() - produced);
            int result = deflate(&stream, flush);
            produced = out.size() - stream.avail_out;
            if (result == Z_STREAM_ERROR) {
                return false;
            }
            // A flush is complete when deflate leaves output space unused; a finish when the stream ends.
            if (flush == Z_FINISH ? result == Z_STREAM_END : stream.avail_in == 0 && stream.avail_out > 0) {
                return true;
            }
        }
    };

    // Data that deflate cannot shrink (packed or encrypted files) costs it as much time as text and
    // comes out as stored blocks all the same. So blocks that look incompressible are stored straight
    // away; from the first block that does not, the rest of the piece is deflated in one go.
    for (uint64_t done = 0;;) {
        uint64_t length = std::min(kProbeBlock, piece.length - done);
        int wanted = LooksIncompressible(data + done, length) ? Z_NO_COMPRESSION : Z_DEFAULT_COMPRESSION;
        if (wanted == Z_DEFAULT_COMPRESSION) {
            length = piece.length - done;
        }
        bool end = done + length == piece.length;
        if (wanted != level) {
            if (out.size() - produced < 256) {
                out.resize(out.size() * 2);
            }
            stream.next_out = out.data() + produced;
            stream.avail_out = static_cast<uInt>(out.size() - produced);
            stream.avail_in = 0;
            if (deflateParams(&stream, wanted, Z_DEFAULT_STRATEGY) == Z_OK) {
                level = wanted;  // otherwise the block is packed as the one before: no harm
            }
            produced = out.size() - stream.avail_out;
        }
        stream.next_in = data + done;
        stream.avail_in = static_cast<uInt>(length);
        if (!run(end ? (piece.last ? Z_FINISH : Z_SYNC_FLUSH) : Z_BLOCK)) {
            return kIbGeneralError;
        }
        if (end) {
            break;
        }
        done += length;
    }
    out.resize(produced);
    return 0;
}

zip_int64_t ParallelDeflate::Read(Source& source, void* data, zip_uint64_t length) {
    std::unique_lock lock(mutex_);
    FileState& file = *files_[source.file];
    zip_uint64_t given = 0;
    while (given == 0 && length > 0 && !file.finished) {
        Refill();
        workReady_.notify_all();
        // After Refill an empty window means every file was cut: this one was never announced.
        pieceDone_.wait(lock, [this] { return window_.empty() || window_.front().ready; });
        if (window_.empty() || window_.front().file != source.file) {
            zip_error_set(&source.error, ZIP_ER_INTERNAL, 0);  // libzip reads in another order than announced
            return -1;
        }
        Piece& piece = window_.front();
        if (piece.failure != 0) {
            zip_error_set(&source.error, ZIP_ER_READ, 0);
            return -1;
        }
        given = std::min<zip_uint64_t>(length, piece.deflated.size() - piece.consumed);
        std::memcpy(data, piece.deflated.data() + piece.consumed, given);
        piece.consumed += given;
        if (piece.consumed == piece.deflated.size()) {
            file.crc =
                static_cast<uint32_t>(crc32_combine(file.crc, piece.crc, static_cast<z_off_t>(piece.length)));
            file.deflatedSize += piece.deflated.size();
            if (piece.last) {
                // Every piece of the file has been read: it must still be the file the caller saw.
                struct stat info;
                if (failuresPerFile_ && file.failure == 0 &&
                    (::fstat(file.fd, &info) != 0 ||
                     !AsExpected(info, file.expectedSize, file.expectedModified))) {
                    file.failure = kChanged;
                }
                file.finished = true;
                if (file.fd >= 0) {
                    ::close(file.fd);
                }
                file.fd = -1;
            }
            window_.pop_front();
            --nextAssigned_;
        }
    }
    return static_cast<zip_int64_t>(given);
}

zip_int64_t ParallelDeflate::Stat(Source& source, zip_stat_t* stat) {
    std::lock_guard lock(mutex_);
    const FileState& file = *files_[source.file];
    zip_stat_init(stat);
    stat->valid = ZIP_STAT_COMP_METHOD | ZIP_STAT_SIZE;
    stat->comp_method = ZIP_CM_DEFLATE;
    // Before the data is read the walk's size decides whether the entry needs Zip64 fields; afterwards
    // libzip asks again and takes the sizes and the CRC of what was written.
    stat->size = file.finished ? file.size : file.expectedSize;
    if (file.finished) {
        stat->valid |= ZIP_STAT_COMP_SIZE | ZIP_STAT_CRC;
        stat->comp_size = file.deflatedSize;
        stat->crc = file.crc;
    }
    return sizeof(*stat);
}

zip_int64_t ParallelDeflate::SourceCallback(void* userdata, void* data, zip_uint64_t length,
                                            zip_source_cmd_t command) {
    auto& source = *static_cast<Source*>(userdata);
    switch (command) {
        case ZIP_SOURCE_SUPPORTS:
            return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE,
                                                  ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
        case ZIP_SOURCE_OPEN:
        case ZIP_SOURCE_CLOSE:
        case ZIP_SOURCE_FREE:  // the Source belongs to the ParallelDeflate
            return 0;
        case ZIP_SOURCE_READ:
            return source.owner->Read(source, data, length);
        case ZIP_SOURCE_STAT:
            if (length < sizeof(zip_stat_t)) {
                zip_error_set(&source.error, ZIP_ER_INVAL, 0);
                return -1;
            }
            return source.owner->Stat(source, static_cast<zip_stat_t*>(data));
        case ZIP_SOURCE_ERROR:
            return zip_error_to_data(&source.error, data, length);
        default:
            zip_error_set(&source.error, ZIP_ER_OPNOTSUPP, 0);
            return -1;
    }
}

}  // namespace quillon::ibzip
