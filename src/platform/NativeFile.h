// A file opened through the drive map, for whole-file reading and writing.
//
// Opening for reading accepts regular files only and never blocks: a FIFO, socket or device is refused
// with error 5 (access denied) instead of hanging the program. Every failure sets the last-error value.
// One object is used by one thread at a time.
#pragma once

#include <cstdint>
#include <string>

namespace quillon {

class NativeFile {
  public:
    NativeFile() = default;
    ~NativeFile();
    NativeFile(const NativeFile&) = delete;
    NativeFile& operator=(const NativeFile&) = delete;

    // Opens an existing regular file for reading. False when it cannot be opened.
    bool OpenRead(const std::string& windowsPath);

    // Creates the file, or truncates an existing one, for writing. False when it cannot.
    bool CreateWrite(const std::string& windowsPath);

    bool IsOpen() const { return fd_ >= 0; }

    // Length of the open file in bytes, or -1.
    int64_t Size() const;

    // Reads up to count bytes, stopping early only at the end of the file. Answers the number of bytes
    // read, or -1 on a read error.
    int64_t Read(void* buffer, int64_t count);

    // Writes all count bytes. False on any failure (a full disk among them).
    bool WriteAll(const void* buffer, int64_t count);

    // Forces the file's data to the disk. False on failure.
    bool Sync();

    // Closes the file; false when closing reported an error (a delayed write failure).
    bool Close();

  private:
    int fd_ = -1;
    std::string nativePath_;
};

}  // namespace quillon
