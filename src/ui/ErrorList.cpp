#include "ui/ErrorList.h"

#include <algorithm>

#include "support/TextCase.h"
#include "support/TextEstimates.h"

namespace quillon {

std::vector<std::string> ErrorListInDisplayOrder(std::vector<std::string> paths) {
    std::stable_sort(paths.begin(), paths.end(), [](const std::string& a, const std::string& b) {
        return ToUpperPath(a) < ToUpperPath(b);
    });
    return paths;
}

}  // namespace quillon

namespace quillon {

int32_t ListHorizontalExtent(const std::vector<std::string>& texts, bool largeFonts) {
    int32_t widest = 0;
    for (const std::string& text : texts) {
        widest = std::max(widest, static_cast<int32_t>(EstimateTextWidth(text, largeFonts) * 0.9));
    }
    return static_cast<int32_t>(widest * 1.05) + 5;
}

}  // namespace quillon
