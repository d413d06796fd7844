// Outline fonts, the part every system shares: the Windows-1252 character
// table, the checks on a call's glyph range, and what a call that found no
// font (or built no glyph) leaves and says. The back end builds the glyphs.
#include "platform/outline_font.h"

#include "platform/backend/outline_font.h"
#include "platform/problem_report.h"
#include "platform/problem_report.h"

#include <GL/gl.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <strings.h>

namespace platform {

unsigned windows1252ToUnicode(unsigned char code)
{
    // 0x80..0x9F differ from Latin-1; 0 marks the five unassigned slots.
    static const unsigned short high[32] = {
        0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
    };
    if (code < 0x20 || code == 0x7F) return 0;
    if (code >= 0x80 && code < 0xA0) return high[code - 0x80];
    return code;
}

namespace {

// A Windows-1252 face name as UTF-8 text.
std::string faceNameUtf8(const char* name)
{
    std::string out;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); p && *p; ++p) {
        const unsigned u = windows1252ToUnicode(*p);
        if (u == 0) continue;
        if (u < 0x80) {
            out += char(u);
        } else if (u < 0x800) {
            out += char(0xC0 | (u >> 6));
            out += char(0x80 | (u & 0x3F));
        } else {
            out += char(0xE0 | (u >> 12));
            out += char(0x80 | ((u >> 6) & 0x3F));
            out += char(0x80 | (u & 0x3F));
        }
    }
    return out;
}

void emptyLists(unsigned listBase, int count)
{
    if (!listBase) return;
    for (int i = 0; i < count; ++i) {
        glNewList(listBase + unsigned(i), GL_COMPILE);
        glEndList();
    }
}

void copyText(char* field, size_t size, const std::string& text) { std::snprintf(field, size, "%s", text.c_str()); }

} // namespace

bool useFontOutlines(const char* faceName, bool italic, int first, int count, unsigned listBase, float deviation,
                     float extrusion, GlyphMetricsFloat* metrics, OutlineFontChoice* choice)
{
    if (choice) *choice = OutlineFontChoice{};
    if (first < 0 || count <= 0 || count > 256 || first > 256 - count) {
        platform::reportProblem("outline font: glyph range %d + %d is outside 0..255\n", first, count);
        return false;
    }
    if (metrics) std::memset(metrics, 0, sizeof(GlyphMetricsFloat) * size_t(count));
    const std::string asked = faceNameUtf8(faceName);
    OutlineFontFound found;
    const OutlineFontResult result =
        buildOutlineFont(asked, italic, first, count, listBase, deviation, extrusion, metrics, found);
    if (result == OutlineFontResult::noContext) return false;
    if (result == OutlineFontResult::noFont) {
        platform::reportProblem("outline font: no outline font for \"%s\"\n", asked.c_str());
        emptyLists(listBase, count);
        return false;
    }
    // A name found through its weight word ("DejaVu Sans Bold") is the face
    // asked for; only a real substitute is worth a line.
    const std::string name = found.family + " " + found.style;
    if (!found.exact && strcasecmp(name.c_str(), asked.c_str()) != 0) {
        if (found.file == name) // the system's name for the font, no file
            platform::reportProblem("outline font: no face \"%s\", using %s\n", asked.c_str(), name.c_str());
        else
            platform::reportProblem("outline font: no face \"%s\", using %s (%s)\n", asked.c_str(), found.file.c_str(),
                        name.c_str());
    }
    if (choice) {
        copyText(choice->file, sizeof choice->file, found.file);
        copyText(choice->family, sizeof choice->family, found.family);
        copyText(choice->style, sizeof choice->style, found.style);
        choice->exact = found.exact;
    }
    if (result == OutlineFontResult::noGlyphs) {
        platform::reportProblem("outline font: the system built no glyph of \"%s\"\n", name.c_str());
        if (metrics) std::memset(metrics, 0, sizeof(GlyphMetricsFloat) * size_t(count));
        emptyLists(listBase, count);
        return false;
    }
    return true;
}

} // namespace platform
