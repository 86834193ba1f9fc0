#include "support/NumberText.h"

namespace quillon {
namespace {

// One more than INT32_MAX: the magnitude of INT32_MIN.
constexpr int64_t kMagnitudeLimit = int64_t{INT32_MAX} + 1;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsWhiteSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Digits are accumulated in 64 bits and the magnitude stops growing just past the 32-bit range, so a
// digit string of any length is neither undefined behaviour nor a wrapped number of the wrong sign.
int64_t AddDigit(int64_t magnitude, char digit) {
    const int64_t next = magnitude * 10 + (digit - '0');
    return next > kMagnitudeLimit ? kMagnitudeLimit + 1 : next;
}

// True when the signed magnitude fits 32 bits (-2147483648 does, 2147483648 does not).
bool Fits(int64_t magnitude, bool negative) {
    return magnitude <= (negative ? kMagnitudeLimit : kMagnitudeLimit - 1);
}

int32_t Signed(int64_t magnitude, bool negative) {
    return static_cast<int32_t>(negative ? -magnitude : magnitude);
}

}  // namespace

int32_t ParseIntLoose(std::string_view text) {
    size_t i = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (negative) {
        i = 1;
    }
    while (i < text.size() && text[i] == ' ') {
        ++i;
    }
    int64_t magnitude = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
        magnitude = AddDigit(magnitude, text[i]);
    }
    // Saturated: a number past either end of the range reads as that end.
    if (!Fits(magnitude, negative)) {
        return negative ? INT32_MIN : INT32_MAX;
    }
    return Signed(magnitude, negative);
}

int32_t ParseIntStrict(std::string_view text, bool& error) {
    while (!text.empty() && IsWhiteSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsWhiteSpace(text.back())) {
        text.remove_suffix(1);
    }
    if (text.empty()) {
        error = true;
        return 0;
    }
    size_t i = 0;
    const bool negative = text[0] == '-';
    if (negative) {
        i = 1;
        while (i < text.size() && text[i] == ' ') {
            ++i;
        }
    }
    int64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        if (!IsDigit(text[i])) {
            error = true;
            return 0;
        }
        magnitude = AddDigit(magnitude, text[i]);
    }
    // Too large a number is no clean 32-bit number: flagged like any other garbage, not wrapped.
    if (!Fits(magnitude, negative)) {
        error = true;
        return 0;
    }
    return Signed(magnitude, negative);
}

std::string IntToText(int32_t value) {
    return std::to_string(value);
}

std::string IntToTextRightAligned(int32_t value, int32_t width) {
    std::string text = IntToText(value);
    const int32_t target = width > 118 ? 118 : width;
    if (target > static_cast<int32_t>(text.size())) {
        text.insert(0, static_cast<size_t>(target) - text.size(), ' ');
    }
    return text;
}

std::string IntToTextProportional(int32_t value, int32_t width) {
    std::string text = IntToText(value);
    if (text[0] == '-') {
        text.insert(0, 1, ' ');
    }
    const int64_t missing = int64_t{width} - static_cast<int64_t>(text.size());
    if (missing > 0) {
        text.insert(0, static_cast<size_t>(missing) * 2, ' ');
    }
    return text;
}

std::string IntToTextZeroPadded(int32_t value, int32_t width) {
    std::string text = IntToText(value);
    if (width > static_cast<int32_t>(text.size())) {
        text.insert(0, static_cast<size_t>(width) - text.size(), '0');
    }
    return text;
}

char ToUpperGerman(char c) {
    const auto code = static_cast<unsigned char>(c);
    if (c >= 'a' && c <= 'z') {
        return static_cast<char>(c - 'a' + 'A');
    }
    // The umlauts lie 0x20 above their capitals in code page 1252, as the ASCII letters do.
    if (code == 0xE4 || code == 0xF6 || code == 0xFC) {
        return static_cast<char>(code - 0x20);
    }
    return c;
}

}  // namespace quillon
