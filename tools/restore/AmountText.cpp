#include "restore/AmountText.h"

#include <cstdio>

namespace quillon::restore {

std::string GroupedNumber(int64_t value) {
    std::string digits = std::to_string(value < 0 ? -value : value);
    std::string grouped;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) {
            grouped += ' ';
        }
        grouped += digits[i];
    }
    return value < 0 ? "-" + grouped : grouped;
}

std::string Megabytes(int64_t bytes) {
    if (bytes < 10'000'000) {
        char text[32];
        std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
        return text;
    }
    return GroupedNumber((bytes + 500'000) / 1'000'000) + " MB";
}

std::string Files(int64_t count) {
    return GroupedNumber(count) + (count == 1 ? " file" : " files");
}

}  // namespace quillon::restore
