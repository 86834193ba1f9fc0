// Code page 1252 to UTF-8, for configuration texts that name files.
//
// The registry keeps 8-bit texts of code page 1252, as the configuration program writes them; Linux
// names files with UTF-8 bytes. Paths and patterns are converted once, where they leave the
// configuration, so that everything the engine compares with a name on disk is in the disk's form.
// ASCII text is unchanged. Stateless; any thread.
#pragma once

#include <string>
#include <string_view>

namespace quillon {

// The UTF-8 form of code page 1252 text. The five bytes the code page leaves undefined (0x81, 0x8D,
// 0x8F, 0x90, 0x9D) become the control characters of the same number, as Windows maps them.
std::string Cp1252ToUtf8(std::string_view text);

}  // namespace quillon
