// Code page 1252, the 8-bit character set of every text the program keeps, and its conversion to and
// from UTF-16 and UTF-8 for .reg files and for the terminal.
//
// Every byte has a character: the five bytes that code page 1252 leaves undefined (0x81, 0x8D, 0x8F,
// 0x90, 0x9D) stand for the control characters of the same number, as Windows maps them, so that any
// stored bytes survive a trip through UTF-16 unchanged. The table is built once from iconv.
// Thread-safe after the first call (which a static initialiser makes thread-safe too).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quillon {

// False when the C library cannot convert code page 1252 (its conversion modules are missing).
bool CodePage1252Available();

// The Unicode character of a byte.
char16_t CharFrom1252(char byte);

// The byte of a Unicode character, or false when code page 1252 has none for it.
bool CharTo1252(char32_t character, char& byte);

// Every byte as one UTF-16 code unit, little-endian (2 bytes per input byte).
std::string ToUtf16Le(std::string_view text1252);
// The same appended to out, so that a large text is converted without a second copy.
void AppendUtf16Le(std::string_view text1252, std::string& out);

// UTF-8 of 8-bit text, for the terminal.
std::string ToUtf8(std::string_view text1252);

// Converts UTF-8 text to code page 1252. Answers false when the text is not valid UTF-8; when a
// character has no byte in code page 1252, answers false and sets badCharacter to it.
bool Utf8To1252(std::string_view utf8, std::string& text1252, char32_t& badCharacter);

// For text from the command line: valid UTF-8 is converted, anything else is taken as code page 1252
// already. False only for a character outside code page 1252 (badCharacter tells which).
bool ArgumentTo1252(std::string_view argument, std::string& text1252, char32_t& badCharacter);

// "U+00E4" and the like, for messages.
std::string CharacterName(char32_t character);

}  // namespace quillon
