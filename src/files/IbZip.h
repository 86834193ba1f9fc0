// IbZip: the binding of the compression library "ib-zip.dll" (the file libib-zip.so beside the
// program), which writes and reads the zip archives of compressed backup sets.
//
// The application owns one binding. The user-interface thread opens it at the start of a run and
// closes it at the end; the engine's worker thread calls the forwarders in between. Every export
// takes one pointer-sized argument (an integer, or the address of a zero-terminated text) and answers
// a signed 32-bit result. A forwarder looks its export up by name at every call, so a library that
// lacks one export still serves the others.
//
// The lock. A successful Open holds the binding for the run until Close. Holding is a state, not the
// ownership of a system mutex: Close may come from any thread, and Open on another thread waits until
// the holder has closed. Open again on the holding thread answers true and loads nothing twice. The
// forwarders do not take that lock; each call shares a reader lock with the other calls that keeps the
// library loaded until it returns, so Close waits for a call in progress instead of unloading the code
// under it.
//
// When the library could not be loaded, every forwarder answers kIbZipNotAvailable.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <thread>

#include "ibzip/IbZipExportList.h"
#include "platform/DynamicLibrary.h"

namespace quillon {

// The answer of every forwarder while the library is not loaded, or lacks the export: the library's
// code for a failure without a cause of its own (mapped to the program's 40).
inline constexpr int32_t kIbZipNotAvailable = -25151;
// A result that counts as success: the library did the work and has warnings to report.
inline constexpr int32_t kIbZipWarnings = -25270;

class IbZip {
  public:
    IbZip() = default;
    ~IbZip();  // unloads
    IbZip(const IbZip&) = delete;
    IbZip& operator=(const IbZip&) = delete;

    // Takes the lock and loads the library. On failure shows "Die Datei IB-ZIP.DLL konnte nicht
    // initialisiert werden.", releases the lock and answers false; the run goes on without it.
    bool Open();
    // Unloads the library when loaded and releases the lock when held. Any thread.
    void Close();
    bool IsOpen() const;

    // --- Forwarders of the exports the engine calls. Texts are copied by the library. ---
    int32_t IB_ZipFileSpec(const std::string& spec);  // files to pack: a path, wildcards in its last part
    int32_t IB_ZipArchiveFile(const std::string& archive);
    int32_t IB_ZipRecurseDirs(intptr_t on);
    int32_t IB_ZipStoredDirNames(intptr_t mode);  // 2: names relative to the spec's folder
    int32_t IB_Overwrite(intptr_t on);
    // The files for the next IB_Zip alone, instead of the spec's walk: pairs of a path and its entry
    // name, each text followed by a zero byte (the final empty text is the terminator c_str() adds).
    // The library reads them where they are; a library without this export answers kIbZipNotAvailable.
    int32_t IB_ZipSourceList(const std::string& pairs);
    int32_t IB_ZipSourceResult(intptr_t position);  // 1: that listed file was packed (see ibzip/IbZip.h)
    int32_t IB_Zip(intptr_t unused);                // files written, or a negative code
    int32_t IB_UnZipArchiveFile(const std::string& archive);
    int32_t IB_UnZipExtractDir(const std::string& dir);
    int32_t IB_UnZipFileSpec(const std::string& spec);
    int32_t IB_UnZipUseStoredDirs(intptr_t on);
    int32_t IB_UnZipLinks(intptr_t on);    // 1: link entries are made as links (for a restore)
    int32_t IB_UnZip(intptr_t unused);     // files extracted, or a negative code
    int32_t IB_CRCCheck(intptr_t unused);  // entries read and found whole, or a negative code

    // --- Forwarders of the exports bound but not called: the argument as the export takes it. ---
#define QUILLON_IBZIP_DECLARE(name) int32_t name(intptr_t argument);
    IBZIP_UNSUPPORTED_EXPORTS(QUILLON_IBZIP_DECLARE)
#undef QUILLON_IBZIP_DECLARE

  private:
    int32_t Call(const char* name, intptr_t argument) const;

    mutable std::shared_mutex libraryMutex_;  // shared by calls; taken alone to load and unload
    DynamicLibrary library_;

    std::mutex lockMutex_;  // guards held_ and holder_
    std::condition_variable released_;
    bool held_ = false;
    std::thread::id holder_;
};

}  // namespace quillon
