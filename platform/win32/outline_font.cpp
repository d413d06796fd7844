// Windows back end: outline fonts as display lists through GDI and
// wglUseFontOutlines. Glyphs are asked for one Unicode character at a time,
// so byte codes mean Windows-1252 whatever the system's code page, and the
// codes without a character get empty lists as the interface promises.
#include "platform/backend/outline_font.h"

#include "platform/problem_report.h"
#include "platform/file_name.h"
#include "platform/win32/native_window.h"

#include <GL/gl.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace platform {

namespace {

// Flattening finer than this costs vertices without showing (and the
// system's subdivision has no floor of its own).
constexpr double kMinDeviation = 1.0 / 2048.0;
// Any height will do to learn a font's em square.
constexpr int kProbeHeight = 2048;

// A UTF-8 face name as UTF-16, cut to what a LOGFONT holds.
std::wstring faceNameWide(const std::string& name)
{
    std::wstring out = systemName(name.c_str());
    if (out.size() >= LF_FACESIZE) out.resize(LF_FACESIZE - 1);
    return out;
}

HFONT makeFont(const std::wstring& face, bool italic, int emHeight, BYTE precision)
{
    LOGFONTW lf{};
    lf.lfHeight = -emHeight; // negative: the em square, not the cell
    lf.lfWeight = FW_NORMAL;
    lf.lfItalic = italic ? TRUE : FALSE;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfOutPrecision = precision;
    lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    lf.lfQuality = ANTIALIASED_QUALITY;
    std::wmemcpy(lf.lfFaceName, face.c_str(), face.size());
    return CreateFontIndirectW(&lf);
}

// A font selected into a device context, put back and deleted when done.
class SelectedFont {
public:
    explicit SelectedFont(HDC dc) : dc_(dc) { }
    ~SelectedFont() { reset(); }
    SelectedFont(const SelectedFont&) = delete;
    SelectedFont& operator=(const SelectedFont&) = delete;

    void select(HFONT font)
    {
        reset();
        if (!font) return;
        HGDIOBJ old = SelectObject(dc_, font);
        if (!old || old == HGDI_ERROR) {
            DeleteObject(font);
            return;
        }
        font_ = font;
        old_ = old;
    }
    void reset()
    {
        if (!font_) return;
        SelectObject(dc_, old_);
        DeleteObject(font_);
        font_ = nullptr;
    }
    bool selected() const { return font_ != nullptr; }

private:
    HDC dc_;
    HFONT font_ = nullptr;
    HGDIOBJ old_ = nullptr;
};

// What the selected font is, when it is an outline font.
struct FontFacts {
    unsigned em = 0; // design units per em
    std::string style, face;
};

bool outlineFacts(HDC dc, FontFacts& facts)
{
    const UINT size = GetOutlineTextMetricsW(dc, 0, nullptr);
    if (size < sizeof(OUTLINETEXTMETRICW)) return false; // not an outline font
    std::vector<char> buffer(size);
    auto* otm = reinterpret_cast<OUTLINETEXTMETRICW*>(buffer.data());
    if (!GetOutlineTextMetricsW(dc, size, otm) || otm->otmEMSquare == 0) return false;
    // The name fields are offsets into the record.
    auto name = [&](PSTR offset) -> std::string {
        const size_t at = reinterpret_cast<size_t>(offset);
        if (at < sizeof(OUTLINETEXTMETRICW) || at >= size) return std::string();
        const auto* text = reinterpret_cast<const wchar_t*>(buffer.data() + at);
        const size_t room = (size - at) / sizeof(wchar_t);
        return utf8FromWide(std::wstring(text, wcsnlen(text, room)).c_str());
    };
    facts.em = otm->otmEMSquare;
    facts.style = name(otm->otmpStyleName);
    wchar_t face[LF_FACESIZE] = {};
    GetTextFaceW(dc, LF_FACESIZE, face);
    facts.face = utf8FromWide(face);
    return true;
}

// Selects the outline font for a face name at a height of one em in design
// units. An unknown name is what the system's font mapper substitutes; when
// that is no outline font, an outline font of the name is insisted on, then
// the system's sans face.
bool selectFace(HDC dc, SelectedFont& selected, const std::wstring& face, bool italic, FontFacts& facts)
{
    const struct {
        const wchar_t* name;
        BYTE precision;
    } tries[] = {
        {face.c_str(), OUT_TT_PRECIS},
        {face.c_str(), OUT_TT_ONLY_PRECIS},
        {L"Arial", OUT_TT_ONLY_PRECIS},
    };
    for (const auto& t : tries) {
        selected.select(makeFont(t.name, italic, kProbeHeight, t.precision));
        if (!selected.selected() || !outlineFacts(dc, facts)) continue;
        selected.select(makeFont(t.name, italic, int(facts.em), t.precision));
        if (selected.selected() && outlineFacts(dc, facts)) return true;
    }
    selected.reset();
    return false;
}

void emptyList(unsigned list)
{
    glNewList(list, GL_COMPILE);
    glEndList();
}

} // namespace

OutlineFontResult buildOutlineFont(const std::string& faceName, bool italic, int first, int count, unsigned listBase,
                                   float deviation, float extrusion, GlyphMetricsFloat* metrics,
                                   OutlineFontFound& found)
{
    // The lists go into the current context, through its own device
    // context; metrics alone need no window.
    HDC dc = listBase ? wglGetCurrentDC() : CreateCompatibleDC(nullptr);
    if (!dc) {
        platform::reportProblem("outline font: %s\n", listBase ? "no current GL context for the glyph lists" : "no device context");
        return OutlineFontResult::noContext;
    }
    const bool ownDC = listBase == 0;

    const std::wstring face = faceNameWide(faceName);
    const std::string asked = utf8FromWide(face.c_str());
    OutlineFontResult result = OutlineFontResult::noFont;
    {
        SelectedFont font(dc);
        FontFacts facts;
        if (selectFace(dc, font, face, italic, facts)) {
            // The system names the font, not the file that holds it.
            found.family = facts.face;
            found.style = facts.style;
            found.file = facts.face + " " + facts.style;
            found.exact = _stricmp(facts.face.c_str(), asked.c_str()) == 0;

            // Symbol fonts keep their byte codes: the system finds their
            // shapes at U+F000 + code.
            const bool symbolFont = GetTextCharset(dc) == SYMBOL_CHARSET;
            const float tolerance =
                std::isfinite(deviation) && deviation > kMinDeviation ? deviation : float(kMinDeviation);
            const float depth = std::isfinite(extrusion) && extrusion > 0 ? extrusion : 0.0f;
            const double em = double(facts.em);
            const MAT2 identity = {{0, 1}, {0, 0}, {0, 0}, {0, 1}};
            int wanted = 0, made = 0;
            for (int i = 0; i < count; ++i) {
                const unsigned code = unsigned(first + i);
                const unsigned character = symbolFont ? code : windows1252ToUnicode(static_cast<unsigned char>(code));
                if (!character) {
                    if (listBase) emptyList(listBase + unsigned(i));
                    continue;
                }
                ++wanted;
                if (listBase) {
                    GLYPHMETRICSFLOAT gm{};
                    if (!wglUseFontOutlinesW(dc, character, 1, listBase + unsigned(i), tolerance, depth,
                                             WGL_FONT_POLYGONS, &gm)) {
                        emptyList(listBase + unsigned(i));
                        continue;
                    }
                    // Some implementations report success for a glyph they
                    // could not read, and make no list.
                    if (!glIsList(listBase + unsigned(i))) {
                        emptyList(listBase + unsigned(i));
                        continue;
                    }
                    ++made;
                    if (metrics) {
                        metrics[i].blackBoxX = gm.gmfBlackBoxX;
                        metrics[i].blackBoxY = gm.gmfBlackBoxY;
                        metrics[i].glyphOriginX = gm.gmfptGlyphOrigin.x;
                        metrics[i].glyphOriginY = gm.gmfptGlyphOrigin.y;
                        metrics[i].cellIncX = gm.gmfCellIncX;
                        metrics[i].cellIncY = gm.gmfCellIncY;
                    }
                } else {
                    // The font is one em high in design units: its metrics
                    // divided by the em square are the em-unit metrics.
                    GLYPHMETRICS gm{};
                    if (GetGlyphOutlineW(dc, character, GGO_METRICS, &gm, 0, nullptr, &identity) == GDI_ERROR) continue;
                    ++made;
                    if (metrics) {
                        metrics[i].blackBoxX = float(gm.gmBlackBoxX / em);
                        metrics[i].blackBoxY = float(gm.gmBlackBoxY / em);
                        metrics[i].glyphOriginX = float(gm.gmptGlyphOrigin.x / em);
                        metrics[i].glyphOriginY = float(gm.gmptGlyphOrigin.y / em);
                        metrics[i].cellIncX = float(gm.gmCellIncX / em);
                        metrics[i].cellIncY = float(gm.gmCellIncY / em);
                    }
                }
            }
            result = made > 0 || wanted == 0 ? OutlineFontResult::built : OutlineFontResult::noGlyphs;
        }
    }
    if (ownDC) DeleteDC(dc);
    return result;
}

} // namespace platform
