// The program's version number, shown by the progress dialog's version line and by --version.
#pragma once

namespace quillon {

inline constexpr char kProgramVersion[] = "2.10";

}  // namespace quillon
