// Deflates the files of one archive on several threads while libzip writes the archive.
//
// Every file is cut into pieces of 1 MiB. A worker deflates one piece with the 32 KiB before it as
// preset dictionary and ends it on a byte boundary (a sync flush), so that the pieces of a file joined
// in order form one raw deflate stream: what a single deflate would give, a few bytes longer per piece.
// Blocks of 64 KiB that deflate could not shrink (random-looking bytes without repeats) are stored as
// they are, which spares deflate's time on packed and encrypted files.
// The piece's CRC is computed alongside and the CRCs are combined in order. The writer pulls the pieces
// in archive order through libzip sources that declare their data as deflated already, so libzip copies
// it into the archive unchanged. Only a few pieces may wait ahead of the writer, which bounds memory.
//
// A file that cannot be opened or read fails the whole archive, unless failures are kept per file: then
// such a file, and one whose length or modification time differs from what the caller expected (at
// opening or once it has been read), gets an entry whose content is meaningless and a FileFailure of its
// own, and the other files are packed on; the caller builds the archive again without it.
//
// Thread-safety: NewSource, Start and the destructor are called on the thread that calls zip_close,
// and libzip calls the sources on that thread; the workers are internal.
#pragma once

#include <zip.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quillon::ibzip {

class ParallelDeflate {
  public:
    // FileFailure's answer for a file that changed while it was packed: worth packing again.
    static constexpr int32_t kChanged = 1;

    // workers: the number of deflating threads (at least 1). failuresPerFile: see above.
    explicit ParallelDeflate(unsigned workers, bool failuresPerFile = false);
    // Stops and joins the workers and closes the files still open.
    ~ParallelDeflate();
    ParallelDeflate(const ParallelDeflate&) = delete;
    ParallelDeflate& operator=(const ParallelDeflate&) = delete;

    // A new libzip source for the file at nativePath, numbered in the order of the calls from 0 on.
    // expectedSize is the size found by the walk; the file's size at opening counts. The archive owns
    // the source once it is added to it; this object must outlive the archive's zip_close or
    // zip_discard. nullptr when libzip cannot create the source. expectedModified: the modification time
    // in nanoseconds since 1970 that the file must keep while it is read (with failures per file), or
    // -1 when it is not checked.
    zip_source_t* NewSource(zip_t* archive, const std::string& nativePath, uint64_t expectedSize,
                            int64_t expectedModified = -1);

    // Starts deflating. readOrder lists the file numbers in the order in which libzip will read them
    // (the order of their entry indexes). False when not a single worker thread could be started; the
    // sources must then not be read.
    bool Start(std::vector<size_t> readOrder);

    // The code of the first file that could not be opened or read, 0 if none (never set with failures
    // per file).
    int32_t Failure();
    // With failures per file, after zip_close: 0 when the file numbered `number` was packed whole, kChanged
    // when it changed, or the code of why it could not be opened or read.
    int32_t FileFailure(size_t number);

    // The number of threads the machine offers for deflating, between 1 and 4.
    static unsigned DefaultWorkers();

  private:
    struct Piece;
    struct FileState;
    struct Source;

    static zip_int64_t SourceCallback(void* userdata, void* data, zip_uint64_t length,
                                      zip_source_cmd_t command);
    zip_int64_t Read(Source& source, void* data, zip_uint64_t length);
    zip_int64_t Stat(Source& source, zip_stat_t* stat);
    void Refill();  // with mutex_ held
    void Work();
    int32_t DeflatePiece(Piece& piece, int fd, void* stream, std::vector<unsigned char>& input);

    std::mutex mutex_;
    std::condition_variable workReady_;
    std::condition_variable pieceDone_;
    std::vector<std::unique_ptr<FileState>> files_;
    std::vector<std::unique_ptr<Source>> sources_;
    std::vector<size_t> readOrder_;
    size_t orderPosition_ = 0;  // the file the feeder cuts into pieces
    uint64_t nextOffset_ = 0;
    bool fileOpen_ = false;
    bool feedDone_ = false;
    std::deque<Piece> window_;  // pieces cut and not yet written, in archive order; stable references
    size_t nextAssigned_ = 0;   // window_[0, nextAssigned_) are taken by workers
    bool stopping_ = false;
    int32_t failure_ = 0;
    unsigned workerCount_;
    bool failuresPerFile_;
    std::vector<std::thread> workers_;
};

}  // namespace quillon::ibzip
