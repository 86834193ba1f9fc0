// The order in which the list of files that could not be copied is shown: alphabetical without regard
// to letter case, as a sorted list box shows it, whatever order the copy step collected them in.
// Stateless; any thread.
#pragma once

#include <string>
#include <vector>

namespace quillon {

// The paths sorted by their upper-cased form; paths equal in that form keep their order.
std::vector<std::string> ErrorListInDisplayOrder(std::vector<std::string> paths);

}  // namespace quillon
