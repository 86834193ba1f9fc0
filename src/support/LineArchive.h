// CLineArchive and CLineArchiveFile: whole-line reading and writing of 8-bit text files, above all the
// control files of the backup engine.
//
// Reading loads the whole file into memory, in one read, when it is opened; lines are then handed out
// from memory. Writing collects the lines in memory, each followed by CR LF, and does not touch the file
// until Close, which creates (or truncates) it and writes everything in one call, so nothing reaches the
// file before every line has been collected.
//
// Line ends: CR ends a line, and an LF directly after it belongs to the same line end; a CR alone ends a
// line too, and an LF anywhere else is an ordinary character of the line. Bytes pass through unchanged
// in both directions (no escaping, no code-page conversion). A NUL byte is an ordinary byte as well: a
// line holding one is handed out whole, so every line without a CR reads back as it was written.
//
// Lines are copied out of memory through the shared line buffer pool (support/LineBufferPool.h).
//
// One object is used by one thread at a time; different objects may be used by different threads at
// once. Reading on an archive opened for writing, or writing on one opened for reading, is a
// programming error (an assertion in debug builds; harmless otherwise).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "support/LineBufferPool.h"

namespace quillon {

// The line layer over a memory block; CLineArchiveFile adds the file.
class CLineArchive {
  public:
    // Size of the block a write starts with; it grows by half whenever a line does not fit.
    static constexpr int32_t kInitialCapacity = 30000;

    CLineArchive();
    virtual ~CLineArchive();
    CLineArchive(const CLineArchive&) = delete;
    CLineArchive& operator=(const CLineArchive&) = delete;

    // Starts reading again at the first byte. The end-of-file flag is then false unless there is no data.
    void Rewind();

    // Reads the next line, without its line end, into line. At the end of the data, and on an archive
    // that is not open for reading, line becomes empty. The call that consumes the last byte sets the
    // end-of-file flag, so it is already set after the call that returns the last line.
    void ReadLine(std::string& line);

    // Appends line and CR LF to the collected text. Does nothing unless the archive is open for writing.
    // When the collected text would pass 2 GiB or memory runs out, the line is lost, nothing more is
    // collected and the following Close writes nothing and fails.
    void WriteLine(std::string_view line);

    // Makes room for bytes of collected text in one step, so that a writer that knows about how much it
    // will write spares the block's repeated growing (each step copies the block, and old and new block
    // are held at once). Only ever grows; does nothing unless open for writing, or when memory is short
    // (WriteLine then grows the block as usual).
    void Reserve(int64_t bytes);

    // True once the last byte has been read; true as well while no file is open for reading.
    bool IsEof() const { return endOfFile_; }

  protected:
    // Starts reading over length bytes of data, which the archive takes over.
    void StartReading(std::unique_ptr<char[]> data, int32_t length);
    // Starts writing into an empty block. False (last error 8) when the block cannot be allocated.
    bool StartWriting();
    // Frees the block; the archive is closed afterwards (nothing to read, nothing collected).
    void ReleaseBlock();

    bool IsStoring() const { return storing_; }
    // The collected text of a write and its length.
    const char* Data() const { return block_.get(); }
    int32_t DataLength() const { return dataLength_; }
    // True when WriteLine had to drop a line.
    bool LineLost() const { return lineLost_; }

  private:
    // Takes the byte at the read position as the current character. False (current character 0,
    // end-of-file flag set) when there is none left.
    bool TakeChar();

    int32_t dataLength_ = 0;    // bytes read from the file, or collected so far
    int32_t readPosition_ = 0;  // index of the next byte to take
    int32_t capacity_ = 0;      // size of the block while writing
    unsigned char currentChar_ = 0;
    std::unique_ptr<char[]> block_;
    bool storing_ = false;
    bool writeBufferActive_ = false;
    bool endOfFile_ = true;
    bool lineLost_ = false;
};

// A line archive over a file named by a Windows-form path (translated through the drive map).
class CLineArchiveFile : public CLineArchive {
  public:
    CLineArchiveFile();
    ~CLineArchiveFile() override;

    // Opens fileName. For reading (storing false) the whole file is read into memory now and the file is
    // closed again; false, with the last-error value set and nothing shown to the user, when it cannot
    // be opened or read. An empty file opens with the end-of-file flag set; a file that delivers fewer
    // bytes than its length is read as far as it goes. For writing (storing true) nothing happens to the
    // file yet; false only when memory is short. Opening an archive that is still open discards what it
    // held (collected lines are not written).
    bool Open(const std::string& fileName, bool storing);

    // Ends the use of the archive and frees its memory; the object may be opened again afterwards.
    // After reading: always true. After writing: creates or truncates the file, writes the collected
    // lines and closes it, with syncToDisk first forcing the data to the disk (for a file that is about
    // to replace another by renaming). True when all of it succeeded. When the file cannot be created
    // the user is shown "*** File <name> could not be opened." and nothing is written; when writing,
    // syncing or closing fails (a full disk) the user is shown "*** File <name> could not be written."
    // and the file may hold part of the lines. Both answer false and leave the last-error value set;
    // callers that cannot do anything about it may ignore the result.
    bool Close(bool syncToDisk = false);

    const std::string& FileName() const { return fileName_; }

  private:
    bool ReadWholeFile();
    bool WriteCollectedLines(bool syncToDisk);
    void ReportWriteFailure(const std::string& text);

    std::string fileName_;
};

}  // namespace quillon
