// Asking the system to read a file into its cache before the program reads it.
//
// A copy of many small files waits for the disk once per file: each read asks for a few blocks and
// the next is only asked for when the first has arrived. Announcing the files that come next lets the
// disk serve many of them at once, so that their reads are in the cache when the copy gets there.
// A hint only: nothing is read into the program, no failure is reported, and nothing passes the fault
// seam (platform/FaultInjection.h), so that faults counted there land where they always did.
// Stateless; any thread.
#pragma once

#include <cstdint>
#include <string>

namespace quillon {

// Starts reading the first length bytes of the regular file at windowsPath into the cache and answers
// at once. A link in the path's last component is not followed; anything but a regular file is left
// alone.
void AdviseWillRead(const std::string& windowsPath, int64_t length);

}  // namespace quillon
