// The texts of counts and sizes in what the restore tool prints: "1 204", "812 MB". Stateless.
#pragma once

#include <cstdint>
#include <string>

namespace quillon::restore {

// The number with a blank between groups of three digits: "1 204 311".
std::string GroupedNumber(int64_t value);

// Bytes in megabytes of 1 000 000 bytes: "0.3 MB" below 10 MB, "812 MB" and "1 204 MB" above.
std::string Megabytes(int64_t bytes);

// "1 file" or "3 files".
std::string Files(int64_t count);

}  // namespace quillon::restore
