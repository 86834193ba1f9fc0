// Error numbers and their texts: the short English text a copy or disk failure is reported with, the
// test which failures count as disk errors, and the translation of the compression library's result
// codes into the Windows error numbering, so that a failed zip copy is reported like a failed plain copy.
//
// Besides the Windows system error numbers the program uses two of its own: 40 (a failure without a
// system error number) and 41 (the staging folder ran out of space). All functions are stateless and
// may be called from any thread.
#pragma once

#include <cstdint>
#include <string>

namespace quillon {

// The fixed English text of an error number; "General Copy Error" for a number without a text of its
// own. The texts are the program's, not the operating system's, so they read the same everywhere.
std::string ErrorText(int32_t error);

// True for the numbers that report a problem of the disk or of a file on it (missing path, bad sector,
// file in use, ...) rather than a lack of space: 2, 3, 9, 15, 20, 23, 25, 27, 30, 32, 33, 41, 123, 132,
// 180 and 276. Neither 40 nor 112 is a disk error in this sense.
bool IsDiskError(int32_t error);

// The Windows error number for a failed call of the compression library. negatedCode is the library's
// negative result with its sign turned; a code of 0 (no code at all) becomes 40 when noCodeMeansFailure is
// set and 2 otherwise. Codes without a counterpart are answered unchanged.
int32_t MapZipError(int32_t negatedCode, bool noCodeMeansFailure);

}  // namespace quillon
