// Conversions between numbers and text: the two decimal readers of the date and registry texts,
// decimal formatting with three ways of filling to a width, and upper-casing of single characters
// including the German umlauts of code page 1252.
//
// Stateless; any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quillon {

// Reads a decimal number leniently and never fails: an optional '-' first, then blanks (' ' only),
// then digits up to the first character that is not one; the rest is ignored. Text without digits
// gives 0, and so does a blank before the '-' (" -5" is 0). A number beyond the 32-bit range gives
// the nearest end of the range.
int32_t ParseIntLoose(std::string_view text);

// Reads text that must be a clean decimal number: white space at both ends is ignored, then an
// optional '-' followed by blanks, then digits to the end. Empty text, any other character, or a
// number beyond the 32-bit range sets error and gives 0. A lone '-' gives 0 and leaves error alone.
// error is only ever set, never cleared, so one flag can collect the result of several fields.
int32_t ParseIntStrict(std::string_view text, bool& error);

// value as "%d" writes it.
std::string IntToText(int32_t value);
// value padded on the left with blanks to width characters; widths above 118 count as 118. Longer
// text is returned whole.
std::string IntToTextRightAligned(int32_t value, int32_t width);
// value padded on the left with two blanks per missing character, for proportional fonts in which a
// digit is about as wide as two blanks. A negative value counts one blank more for its '-'.
std::string IntToTextProportional(int32_t value, int32_t width);
// value padded on the left with '0' to width characters (zeros go in front of a '-': -5 at width 3 is
// "0-5"). Longer text is returned whole.
std::string IntToTextZeroPadded(int32_t value, int32_t width);

// 'a' to 'z' and the code page 1252 umlauts (0xE4, 0xF6, 0xFC) in upper case; every other character,
// the sharp s 0xDF included, unchanged.
char ToUpperGerman(char c);

}  // namespace quillon
