// Outline fonts, the part every system shares: the Windows-1252 character
// table and the checks on a call's glyph range, before the back end builds
// the glyphs.
#include "platform/outline_font.h"

#include "platform/backend/outline_font.h"
#include "platform/problem_report.h"

#include <cstdio>
#include <cstring>

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

bool useFontOutlines(const char* faceName, bool italic, int first, int count, unsigned listBase, float deviation,
                     float extrusion, GlyphMetricsFloat* metrics, OutlineFontChoice* choice)
{
    if (choice) *choice = OutlineFontChoice{};
    if (first < 0 || count <= 0 || count > 256 || first > 256 - count) {
        platform::reportProblem("outline font: glyph range %d + %d is outside 0..255\n", first, count);
        return false;
    }
    if (metrics) std::memset(metrics, 0, sizeof(GlyphMetricsFloat) * size_t(count));
    return buildOutlineFont(faceName, italic, first, count, listBase, deviation, extrusion, metrics, choice);
}

} // namespace platform
