// Text extent estimates: how many pixels a text needs in the dialog font, without a device context.
//
// The dialogs size their windows and list boxes from these numbers, so the numbers are fixed: a table of
// character widths that approximates the normal dialog font, scaled when the system uses large dialog
// fonts (largeFonts, decided once at start-up). Texts are 8-bit bytes. Stateless; any thread may call.
#pragma once

#include <cstdint>
#include <string_view>

namespace quillon {

// Width of text as one line, in pixels; 0 for the empty text. LF counts as an ordinary character, CR as
// nothing.
int32_t EstimateTextWidth(std::string_view text, bool largeFonts);

// Width of the widest of the lines of text (split at LF; a CR before the LF adds nothing); 0 for the
// empty text.
int32_t EstimateMaxLineWidth(std::string_view text, bool largeFonts);

// Height of text in pixels: 13 per line, one line more for every LF (a trailing LF too).
int32_t EstimateTextHeight(std::string_view text, bool largeFonts);

}  // namespace quillon
