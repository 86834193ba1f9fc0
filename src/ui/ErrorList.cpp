#include "ui/ErrorList.h"

#include <algorithm>

#include "support/TextCase.h"

namespace quillon {

std::vector<std::string> ErrorListInDisplayOrder(std::vector<std::string> paths) {
    std::stable_sort(paths.begin(), paths.end(), [](const std::string& a, const std::string& b) {
        return ToUpperPath(a) < ToUpperPath(b);
    });
    return paths;
}

}  // namespace quillon
