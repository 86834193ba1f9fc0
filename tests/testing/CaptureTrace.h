// Collects the trace records written while it lives, exactly as formatted.
#pragma once

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Trace.h"

namespace quillon::testing {

class CaptureTrace : public TraceSink {
  public:
    CaptureTrace() { previous_ = SetTraceSink(this); }
    ~CaptureTrace() override { SetTraceSink(previous_); }

    void Write(std::string_view record) override {
        std::lock_guard lock(mutex_);
        records_.emplace_back(record);
    }
    std::vector<std::string> Records() const {
        std::lock_guard lock(mutex_);
        return records_;
    }
    bool Contains(const std::string& record) const {
        std::lock_guard lock(mutex_);
        return std::find(records_.begin(), records_.end(), record) != records_.end();
    }
    void Clear() {
        std::lock_guard lock(mutex_);
        records_.clear();
    }

  private:
    TraceSink* previous_ = nullptr;
    mutable std::mutex mutex_;
    std::vector<std::string> records_;
};

}  // namespace quillon::testing
