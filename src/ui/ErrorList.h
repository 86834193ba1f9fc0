// The order in which the list of files that could not be copied is shown: alphabetical without regard
// to letter case, as a sorted list box shows it, whatever order the copy step collected them in.
// Stateless; any thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quillon {

// The paths sorted by their upper-cased form; paths equal in that form keep their order.
std::vector<std::string> ErrorListInDisplayOrder(std::vector<std::string> paths);

// How far the list scrolls sideways, in pixels: a little more than the estimated width of its widest
// text (support/TextEstimates.h), so that the end of every path can be brought into view.
int32_t ListHorizontalExtent(const std::vector<std::string>& texts, bool largeFonts);

}  // namespace quillon
