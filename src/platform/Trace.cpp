#include "platform/Trace.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

namespace quillon {
namespace {

// The destination named by QUILLON_TRACE, opened once on first use.
class EnvironmentSink : public TraceSink {
  public:
    EnvironmentSink() {
        const char* target = std::getenv("QUILLON_TRACE");
        if (target == nullptr || *target == '\0') {
            return;
        }
        if (std::string_view(target) == "-") {
            file_ = stderr;
        } else {
            file_ = std::fopen(target, "a");
            ownsFile_ = file_ != nullptr;
        }
    }
    ~EnvironmentSink() override {
        if (ownsFile_) {
            std::fclose(file_);
        }
    }
    bool Enabled() const { return file_ != nullptr; }
    void Write(std::string_view record) override {
        if (file_ == nullptr) {
            return;
        }
        std::fwrite(record.data(), 1, record.size(), file_);
        if (record.empty() || record.back() != '\n') {
            std::fputc('\n', file_);
        }
        std::fflush(file_);
    }

  private:
    std::FILE* file_ = nullptr;
    bool ownsFile_ = false;
};

std::mutex& SinkMutex() {
    static std::mutex mutex;
    return mutex;
}

EnvironmentSink& DefaultSink() {
    static EnvironmentSink sink;
    return sink;
}

TraceSink* installedSink = nullptr;  // guarded by SinkMutex()

}  // namespace

void Trace(const char* format, ...) {
    std::lock_guard lock(SinkMutex());
    TraceSink* sink = installedSink;
    if (sink == nullptr) {
        if (!DefaultSink().Enabled()) {
            return;  // nothing listens: skip the formatting
        }
        sink = &DefaultSink();
    }
    char small[512];
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    int length = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    if (length < 0) {
        va_end(again);
        return;
    }
    if (static_cast<size_t>(length) < sizeof small) {
        sink->Write(std::string_view(small, length));
    } else {
        std::vector<char> large(static_cast<size_t>(length) + 1);
        std::vsnprintf(large.data(), large.size(), format, again);
        sink->Write(std::string_view(large.data(), length));
    }
    va_end(again);
}

TraceSink* SetTraceSink(TraceSink* sink) {
    std::lock_guard lock(SinkMutex());
    TraceSink* previous = installedSink;
    installedSink = sink;
    return previous;
}

}  // namespace quillon
