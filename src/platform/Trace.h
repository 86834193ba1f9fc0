// Trace channel: diagnostic lines that the user never sees.
//
// Each call of Trace formats one record, printf style, and hands it whole to the current sink, so
// records of several threads never interleave. The destination comes from the environment variable
// QUILLON_TRACE: unset discards every record, "-" writes to stderr, anything else names a file that
// records are appended to. A record that does not end in "\n" is given one on stderr and in the file.
//
// Thread-safe. Tests install a sink of their own (see tests/testing/CaptureTrace.h) and compare the
// records byte for byte, as they were formatted.
#pragma once

#include <string_view>

namespace quillon {

void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

// A destination of trace records. Write receives each record exactly as formatted; calls are serialised.
class TraceSink {
  public:
    virtual ~TraceSink() = default;
    virtual void Write(std::string_view record) = 0;
};

// Replaces the destination and returns the previous one (nullptr when it was the environment's).
// nullptr restores the destination named by QUILLON_TRACE. The caller keeps ownership of the sink,
// which must outlive its installation.
TraceSink* SetTraceSink(TraceSink* sink);

}  // namespace quillon
