#include "support/TextEstimates.h"

#include <algorithm>
#include <cstdint>

namespace quillon {
namespace {

constexpr double kLargeFontWidthFactor = 1.333;
constexpr double kLargeFontHeightFactor = 1.227;
constexpr double kLineHeight = 13.0;

double CharacterWidth(unsigned char c) {
    switch (c) {
        case ' ':
        case '.':
        case 'i':
        case ',':
        case 'l':
        case ':':
        case ';':
        case 'j':
        case 'r':
            return 3.0;
        case 't':
        case '-':
        case '\\':
        case '/':
            return 4.0;
        case 'W':
        case 'M':
            return 10.0;
        case '_':
        case 'w':
        case 'm':
            return 8.0;
        case '\r':
            return 0.0;
        default:
            break;
    }
    if (c >= 'A' && c <= 'Z') {
        return 7.0;
    }
    if (c >= '0' && c <= '9') {
        return 6.0;
    }
    return 5.7;
}

// Rounds a non-negative pixel count to the nearest whole pixel. A text of hundreds of millions of
// characters would exceed 32 bits; it gets the largest width instead of an undefined conversion.
int32_t RoundPixels(double pixels) {
    double rounded = pixels + 0.5;
    if (rounded >= static_cast<double>(INT32_MAX)) {
        return INT32_MAX;
    }
    return static_cast<int32_t>(rounded);
}

}  // namespace

int32_t EstimateTextWidth(std::string_view text, bool largeFonts) {
    // Summed from the last character to the first, the order the dialogs' sizes were fixed with; with
    // fractional widths the order can decide a result that lies on a half pixel.
    double width = 0.0;
    for (auto it = text.rbegin(); it != text.rend(); ++it) {
        width += CharacterWidth(static_cast<unsigned char>(*it));
    }
    if (largeFonts) {
        width *= kLargeFontWidthFactor;
    }
    return RoundPixels(width);
}

int32_t EstimateMaxLineWidth(std::string_view text, bool largeFonts) {
    int32_t widest = 0;
    while (!text.empty()) {
        size_t end = text.find('\n');
        widest = std::max(widest, EstimateTextWidth(text.substr(0, end), largeFonts));
        if (end == std::string_view::npos) {
            break;
        }
        text.remove_prefix(end + 1);
    }
    return widest;
}

int32_t EstimateTextHeight(std::string_view text, bool largeFonts) {
    double lines = 1.0 + static_cast<double>(std::count(text.begin(), text.end(), '\n'));
    double height = lines * kLineHeight;
    if (largeFonts) {
        height *= kLargeFontHeightFactor;
    }
    return RoundPixels(height);
}

}  // namespace quillon
