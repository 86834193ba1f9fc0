#include "files/ReadAheadWindow.h"

#include <algorithm>
#include <utility>

namespace quillon {

ReadAheadWindow::ReadAheadWindow(int64_t windowBytes, int64_t perFileBytes, size_t maxFiles, Advise advise)
    : windowBytes_(windowBytes),
      perFileBytes_(perFileBytes),
      maxFiles_(maxFiles),
      advise_(std::move(advise)) {}

void ReadAheadWindow::Add(int64_t length) {
    lengths_.push_back(length);
}

int64_t ReadAheadWindow::Counted(size_t index) const {
    return std::clamp<int64_t>(lengths_[index], 0, perFileBytes_);
}

void ReadAheadWindow::Reached(size_t index) {
    if (index >= lengths_.size()) {
        return;
    }
    // The files up to this one are the copy's own reads now; what they held of the window is free.
    for (; reached_ <= index; ++reached_) {
        if (reached_ < next_) {
            announced_ -= Counted(reached_);
        }
    }
    next_ = std::max(next_, index + 1);
    while (next_ < lengths_.size() && next_ - index <= maxFiles_ && announced_ < windowBytes_) {
        const int64_t counted = Counted(next_);
        if (counted > 0) {
            advise_(next_, counted);
        }
        announced_ += counted;
        ++next_;
    }
}

}  // namespace quillon
