// The error line under a file that could not be stored, as the list of the run shows it:
// "                     Error   5:   <text>".
#pragma once

#include <cstdint>
#include <string>

namespace quillon {

std::string CopyErrorLine(int32_t code);

}  // namespace quillon
