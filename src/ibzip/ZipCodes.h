// Turns errno values into the library's result codes, by the step that failed.
//
// The same errno means different things at different steps: ENOENT when opening a selected file is a
// vanished file, when writing the archive it is a missing folder. Thread-safe (pure functions).
#pragma once

#include <zip.h>

#include <cstdint>

namespace quillon::ibzip {

enum class Step {
    kOpenFile,      // opening a file to pack, or the archive to read
    kReadFile,      // reading a file to pack
    kListFolder,    // opening or listing a folder of the spec, or the extract folder
    kWriteArchive,  // creating, writing, flushing or renaming the archive or an extracted file
};

// The failure code (negative) for errno value err at step. Never 0.
int32_t CodeFromErrno(int err, Step step);

// The failure code for an error libzip reports: its errno when it has one, else kIbDamagedArchive for
// damaged or unreadable archive contents, kIbFileNotFound for a missing archive, kIbGeneralError.
int32_t CodeFromZipError(const zip_error_t* error, Step step);

}  // namespace quillon::ibzip
