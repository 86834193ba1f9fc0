// Reading ahead of a copy: keeps the files that come next announced to the system (platform/ReadAhead.h),
// a window of bytes ahead of the file being copied, so that the disk serves many small files at once
// instead of one after the other. The window keeps only the files' lengths (a pass may copy hundreds
// of thousands); its caller names the file of an index when it is announced.
//
// Each file counts with at most perFileBytes of its length: the system reads a long file ahead by
// itself once it is read from its start, and one long file must not take the window from the many
// short ones behind it. At most maxFiles files are announced ahead of the current one.
// Belongs to one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace quillon {

class ReadAheadWindow {
  public:
    // Announces the first length bytes of the index-th added file.
    using Advise = std::function<void(size_t index, int64_t length)>;

    ReadAheadWindow(int64_t windowBytes, int64_t perFileBytes, size_t maxFiles, Advise advise);

    // Adds the length of the next file in the order the copy will read them.
    void Add(int64_t length);

    // The copy is about to read the index-th added file: announces the files after it until the window
    // is full. Indexes only grow; an index past the last file announces nothing.
    void Reached(size_t index);

  private:
    int64_t Counted(size_t index) const;

    int64_t windowBytes_;
    int64_t perFileBytes_;
    size_t maxFiles_;
    Advise advise_;
    std::vector<int64_t> lengths_;
    size_t next_ = 0;        // the first file not yet announced
    int64_t announced_ = 0;  // counted bytes of the files announced and not yet reached
    size_t reached_ = 0;     // the files whose bytes left announced_
};

}  // namespace quillon
