// What each back end gives the portable outline-font call
// (platform/outline_font.cpp), which checks the arguments, says on the
// console what became of the call and fills the caller's lists and records
// when the back end could not.
#pragma once

#include "platform/outline_font.h"

#include <string>

namespace platform {

// The font a back end used.
struct OutlineFontFound {
    std::string file; // the font's file, or the system's full name for it
    std::string family;
    std::string style;
    bool exact = false; // the face name named this family
};

enum class OutlineFontResult {
    noContext, // nothing could be made (the back end said why)
    noFont,    // no usable outline font
    noGlyphs,  // a font, but the system built none of the glyphs asked for
    built,
};

// useFontOutlines() once its arguments are checked: first .. first + count - 1
// lies within 0 .. 255, metrics (when given) holds count zeroed records;
// faceName is UTF-8. `found` tells which font was used (noGlyphs, built).
// Every list of a glyph without a character, or one the font could not
// make, is made empty.
OutlineFontResult buildOutlineFont(const std::string& faceName, bool italic, int first, int count, unsigned listBase,
                                   float deviation, float extrusion, GlyphMetricsFloat* metrics,
                                   OutlineFontFound& found);

} // namespace platform
