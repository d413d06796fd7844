// Outline fonts: glyphs of a system font as filled, optionally extruded GL
// display lists with their metrics.
#pragma once

#include "platform/api.h"

namespace platform {

// The metrics of one glyph of an outline font, in em units (the em square
// is 1.0), with the fields of the Windows GLYPHMETRICSFLOAT record. The
// origin is the top left corner of the black box relative to the glyph's
// origin on the baseline, y upward.
struct GlyphMetricsFloat {
    float blackBoxX, blackBoxY;       // size of the smallest box around the ink
    float glyphOriginX, glyphOriginY; // top left corner of that box
    float cellIncX, cellIncY;         // advance to the next glyph's origin
};

// Which font file an outline-font call used.
struct OutlineFontChoice {
    char file[512]; // empty when no usable font was found
    char family[128];
    char style[64];
    bool exact; // the face name named this font's family
};

// Builds one display list per glyph of a face, in the shape of the Windows
// outline-font call with polygon output: glyphs first .. first + count - 1
// (byte codes read as Windows-1252 characters) become lists listBase + 0 ..
// listBase + count - 1, and metrics[0 .. count - 1] their metrics.
//
// Each list draws the glyph filled, front face at z = 0 facing +z; with an
// extrusion above 0 also side walls with outward normals and a back face at
// z = -extrusion facing -z. Curves are flattened to within the deviation
// (em units). Each list ends with a translation by the glyph's advance.
// No texture coordinates are given.
//
// faceName (Windows-1252 text, as a face name of the Windows font call) is
// looked up through the system's font configuration; a name that matches no
// family falls back to a sans face, and a console line tells which file was
// chosen. Codes without a character (control codes, the unassigned
// Windows-1252 slots) give empty lists of zero advance; characters the font
// lacks use its missing-glyph shape. A deviation that is not above 0 (or
// not finite) is taken as a small minimum; an extrusion that is not above 0
// (or not finite) gives flat glyphs.
//
// Needs a current GL context for the lists (a listBase of 0 builds only the
// metrics). first + count must not exceed 256. Returns false, with empty
// lists and zero metrics, when no usable font exists or the range is bad.
KX_PLATFORM_API bool useFontOutlines(const char* faceName, bool italic, int first, int count, unsigned listBase,
                                     float deviation, float extrusion, GlyphMetricsFloat* metrics,
                                     OutlineFontChoice* choice = nullptr);

// The Unicode character of a Windows-1252 byte, or 0 for control codes and
// the unassigned slots.
KX_PLATFORM_API unsigned windows1252ToUnicode(unsigned char code);

} // namespace platform
