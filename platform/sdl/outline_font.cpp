// Outline fonts as display lists: fontconfig finds the face, FreeType gives
// the glyph outlines in font units, the GLU tessellator fills them. Every
// coordinate is divided by the font's units per em, so the em square is 1.0
// whatever the font.
#include "platform/backend/outline_font.h"

#include "platform/problem_report.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_BBOX_H

#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string>
#include <strings.h>
#include <vector>

namespace platform {

namespace {

// Flattening finer than this costs vertices without showing.
constexpr double kMinDeviation = 1.0 / 2048.0;
// Segments per curve at most, however fine the deviation.
constexpr int kMaxSegments = 64;
// Side walls are shaded smooth across a corner flatter than this (cosine
// of 40 degrees): flattened curves look round, real corners stay sharp.
constexpr double kSmoothCos = 0.766;
// The slant of a synthesised italic, as FreeType's own oblique.
constexpr double kSyntheticShear = 0.2126;

struct Vec2 {
    double x, y;
};

struct Face {
    std::string file;
    int index = 0;
    std::string family;
    std::string style;
    bool exact = false;
    bool synthesiseItalic = false;
};

// What fontconfig picks for a family at an OpenType weight (400 regular).
bool matchFace(const std::string& family, int weight, bool italic, Face& out)
{
    FcPattern* pattern = FcPatternCreate();
    if (!pattern) return false;
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(weight));
    FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcPatternAddBool(pattern, FC_OUTLINE, FcTrue);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (!match) return false;

    bool found = false;
    FcChar8* file = nullptr;
    if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file) {
        found = true;
        out = Face();
        out.file = reinterpret_cast<const char*>(file);
        int index = 0;
        if (FcPatternGetInteger(match, FC_INDEX, 0, &index) == FcResultMatch) out.index = index;
        FcChar8* s = nullptr;
        for (int i = 0; FcPatternGetString(match, FC_FAMILY, i, &s) == FcResultMatch; ++i) {
            if (i == 0) out.family = reinterpret_cast<const char*>(s);
            if (strcasecmp(reinterpret_cast<const char*>(s), family.c_str()) == 0) {
                out.exact = true;
                out.family = reinterpret_cast<const char*>(s);
            }
        }
        if (FcPatternGetString(match, FC_STYLE, 0, &s) == FcResultMatch) out.style = reinterpret_cast<const char*>(s);
        int slant = FC_SLANT_ROMAN;
        FcPatternGetInteger(match, FC_SLANT, 0, &slant);
        out.synthesiseItalic = italic && slant == FC_SLANT_ROMAN;
    }
    FcPatternDestroy(match);
    return found;
}

// The OpenType weight of a trailing weight word ("Arial Black"), or 0.
int trailingWeight(const std::string& name, std::string& stem)
{
    static const struct {
        const char* word;
        int weight;
    } words[] = {
        {"Thin", 100}, {"ExtraLight", 200}, {"Light", 300},     {"Medium", 500}, {"SemiBold", 600}, {"DemiBold", 600},
        {"Bold", 700}, {"ExtraBold", 800},  {"UltraBold", 800}, {"Black", 900},  {"Heavy", 900},
    };
    const size_t space = name.find_last_of(' ');
    if (space == std::string::npos || space == 0) return 0;
    const std::string last = name.substr(space + 1);
    for (const auto& w : words) {
        if (strcasecmp(last.c_str(), w.word) == 0) {
            stem = name.substr(0, space);
            return w.weight;
        }
    }
    return 0;
}

// The face for a name: the family itself, else the family without its
// weight word at that weight ("Arial Black" as a black "Arial"), else
// whatever the font configuration substitutes, which for an unknown name is
// its default sans face.
bool resolveFace(const std::string& name, bool italic, Face& out)
{
    if (!matchFace(name, 400, italic, out)) return false;
    if (out.exact) return true;
    std::string stem;
    if (const int weight = trailingWeight(name, stem)) {
        Face heavier;
        if (matchFace(stem, weight, italic, heavier)) out = heavier;
        out.exact = false;
    }
    return true;
}

// Points of one glyph's contours, flattened, in em units.
struct Contours {
    std::vector<std::vector<Vec2>> list;
    double scale = 1.0;      // em per font unit
    double tolerance = 0.01; // em
    Vec2 last{0, 0};

    Vec2 point(const FT_Vector* v) const { return {double(v->x) * scale, double(v->y) * scale}; }
    void add(Vec2 p)
    {
        if (list.empty()) list.emplace_back();
        std::vector<Vec2>& c = list.back();
        if (!c.empty() && c.back().x == p.x && c.back().y == p.y) return;
        c.push_back(p);
        last = p;
    }
    int segments(double bend) const
    {
        // A curve whose second difference is 'bend' strays from n chords by
        // at most bend / (8 n^2) for a unit parameter step.
        const double n = std::ceil(std::sqrt(bend / (8.0 * tolerance)));
        if (!(n >= 1)) return 1;
        return n > kMaxSegments ? kMaxSegments : int(n);
    }
};

int moveTo(const FT_Vector* to, void* user)
{
    Contours& c = *static_cast<Contours*>(user);
    c.list.emplace_back();
    c.last = c.point(to);
    c.list.back().push_back(c.last);
    return 0;
}

int lineTo(const FT_Vector* to, void* user)
{
    Contours& c = *static_cast<Contours*>(user);
    c.add(c.point(to));
    return 0;
}

int conicTo(const FT_Vector* control, const FT_Vector* to, void* user)
{
    Contours& c = *static_cast<Contours*>(user);
    const Vec2 p0 = c.last, p1 = c.point(control), p2 = c.point(to);
    // The second derivative of a quadratic is 2 (p0 - 2 p1 + p2).
    const double bend = 2.0 * std::hypot(p0.x - 2 * p1.x + p2.x, p0.y - 2 * p1.y + p2.y);
    const int n = c.segments(bend);
    for (int i = 1; i <= n; ++i) {
        const double t = double(i) / n, u = 1.0 - t;
        c.add({u * u * p0.x + 2 * u * t * p1.x + t * t * p2.x, u * u * p0.y + 2 * u * t * p1.y + t * t * p2.y});
    }
    return 0;
}

int cubicTo(const FT_Vector* control1, const FT_Vector* control2, const FT_Vector* to, void* user)
{
    Contours& c = *static_cast<Contours*>(user);
    const Vec2 p0 = c.last, p1 = c.point(control1), p2 = c.point(control2), p3 = c.point(to);
    // The second derivative of a cubic is at most 6 times its largest
    // second difference.
    const double b1 = std::hypot(p0.x - 2 * p1.x + p2.x, p0.y - 2 * p1.y + p2.y);
    const double b2 = std::hypot(p1.x - 2 * p2.x + p3.x, p1.y - 2 * p2.y + p3.y);
    const int n = c.segments(6.0 * (b1 > b2 ? b1 : b2));
    for (int i = 1; i <= n; ++i) {
        const double t = double(i) / n, u = 1.0 - t;
        const double a = u * u * u, b = 3 * u * u * t, d = 3 * u * t * t, e = t * t * t;
        c.add({a * p0.x + b * p1.x + d * p2.x + e * p3.x, a * p0.y + b * p1.y + d * p2.y + e * p3.y});
    }
    return 0;
}

// Triangles of a filled glyph, gathered from the GLU tessellator.
struct Fill {
    std::deque<std::array<double, 3>> vertices; // stable addresses for GLU
    std::vector<const double*> strip;           // the primitive being received
    GLenum mode = GL_TRIANGLES;
    std::vector<std::array<Vec2, 3>> triangles;
    bool failed = false;

    void triangle(const double* a, const double* b, const double* c)
    {
        std::array<Vec2, 3> t = {Vec2{a[0], a[1]}, Vec2{b[0], b[1]}, Vec2{c[0], c[1]}};
        const double area = (t[1].x - t[0].x) * (t[2].y - t[0].y) - (t[2].x - t[0].x) * (t[1].y - t[0].y);
        if (area == 0 || !std::isfinite(area)) return;
        // Counter-clockwise seen from +z, whatever the tessellator chose.
        if (area < 0) std::swap(t[1], t[2]);
        triangles.push_back(t);
    }
};

void GLAPIENTRY tessBegin(GLenum mode, void* user)
{
    Fill& f = *static_cast<Fill*>(user);
    f.mode = mode;
    f.strip.clear();
}

void GLAPIENTRY tessVertex(void* vertex, void* user)
{
    Fill& f = *static_cast<Fill*>(user);
    const double* v = static_cast<const double*>(vertex);
    f.strip.push_back(v);
    const size_t n = f.strip.size();
    switch (f.mode) {
    case GL_TRIANGLES:
        if (n % 3 == 0) f.triangle(f.strip[n - 3], f.strip[n - 2], f.strip[n - 1]);
        break;
    case GL_TRIANGLE_FAN:
        if (n >= 3) f.triangle(f.strip[0], f.strip[n - 2], f.strip[n - 1]);
        break;
    case GL_TRIANGLE_STRIP:
        if (n >= 3) f.triangle(f.strip[n - 3], f.strip[n - 2], f.strip[n - 1]);
        break;
    default:
        break;
    }
}

void GLAPIENTRY tessEnd(void* user) { static_cast<Fill*>(user)->strip.clear(); }

void GLAPIENTRY tessCombine(GLdouble coords[3], void* /*neighbours*/[4], GLfloat /*weights*/[4], void** out, void* user)
{
    Fill& f = *static_cast<Fill*>(user);
    f.vertices.push_back({coords[0], coords[1], coords[2]});
    *out = f.vertices.back().data();
}

void GLAPIENTRY tessError(GLenum /*error*/, void* user) { static_cast<Fill*>(user)->failed = true; }

// Asking for edge flags makes the tessellator give separate triangles only.
void GLAPIENTRY tessEdgeFlag(GLboolean /*flag*/, void* /*user*/) { }

bool tessellate(GLUtesselator* tess, const Contours& contours, bool evenOdd, Fill& fill)
{
    gluTessProperty(tess, GLU_TESS_WINDING_RULE, evenOdd ? GLU_TESS_WINDING_ODD : GLU_TESS_WINDING_NONZERO);
    gluTessNormal(tess, 0, 0, 1);
    gluTessBeginPolygon(tess, &fill);
    for (const std::vector<Vec2>& c : contours.list) {
        if (c.size() < 3) continue;
        gluTessBeginContour(tess);
        for (const Vec2& p : c) {
            fill.vertices.push_back({p.x, p.y, 0.0});
            double* v = fill.vertices.back().data();
            gluTessVertex(tess, v, v);
        }
        gluTessEndContour(tess);
    }
    gluTessEndPolygon(tess);
    if (fill.failed) fill.triangles.clear();
    return !fill.failed;
}

// Side walls: one quad per contour edge between z = 0 and z = -depth, its
// normal pointing away from the ink. fillRight: the font fills to the right
// of its contours' direction (TrueType's clockwise outer contours).
void emitSides(const Contours& contours, bool fillRight, double depth)
{
    glBegin(GL_QUADS);
    for (const std::vector<Vec2>& c : contours.list) {
        const size_t n = c.size();
        if (n < 3) continue;
        std::vector<Vec2> normals(n);
        for (size_t i = 0; i < n; ++i) {
            const Vec2 a = c[i], b = c[(i + 1) % n];
            double dx = b.x - a.x, dy = b.y - a.y;
            const double len = std::hypot(dx, dy);
            if (len > 0) {
                dx /= len;
                dy /= len;
            }
            normals[i] = fillRight ? Vec2{-dy, dx} : Vec2{dy, -dx};
        }
        // The normal of edge i at its start (a) and at its end (b).
        auto blended = [&](size_t edge, size_t neighbour) {
            const Vec2 e = normals[edge], o = normals[neighbour];
            if (e.x * o.x + e.y * o.y < kSmoothCos) return e;
            const double x = e.x + o.x, y = e.y + o.y, len = std::hypot(x, y);
            return len > 0 ? Vec2{x / len, y / len} : e;
        };
        for (size_t i = 0; i < n; ++i) {
            const Vec2 a = c[i], b = c[(i + 1) % n];
            const Vec2 na = blended(i, (i + n - 1) % n), nb = blended(i, (i + 1) % n);
            // Counter-clockwise seen from outside the ink.
            if (fillRight) {
                glNormal3d(na.x, na.y, 0);
                glVertex3d(a.x, a.y, 0);
                glNormal3d(nb.x, nb.y, 0);
                glVertex3d(b.x, b.y, 0);
                glVertex3d(b.x, b.y, -depth);
                glNormal3d(na.x, na.y, 0);
                glVertex3d(a.x, a.y, -depth);
            } else {
                glNormal3d(na.x, na.y, 0);
                glVertex3d(a.x, a.y, 0);
                glVertex3d(a.x, a.y, -depth);
                glNormal3d(nb.x, nb.y, 0);
                glVertex3d(b.x, b.y, -depth);
                glVertex3d(b.x, b.y, 0);
            }
        }
    }
    glEnd();
}

void emitGlyph(const Fill& fill, const Contours& contours, bool fillRight, double depth, double advanceX)
{
    glBegin(GL_TRIANGLES);
    glNormal3d(0, 0, 1);
    for (const auto& t : fill.triangles)
        for (const Vec2& p : t) glVertex3d(p.x, p.y, 0);
    glEnd();
    if (depth > 0) {
        emitSides(contours, fillRight, depth);
        glBegin(GL_TRIANGLES);
        glNormal3d(0, 0, -1);
        for (const auto& t : fill.triangles) {
            glVertex3d(t[0].x, t[0].y, -depth);
            glVertex3d(t[2].x, t[2].y, -depth);
            glVertex3d(t[1].x, t[1].y, -depth);
        }
        glEnd();
    }
    glTranslated(advanceX, 0, 0);
}

// The glyph index of a byte code, or -1 for a code without a character.
long glyphIndex(FT_Face face, bool symbolFont, unsigned char code)
{
    if (symbolFont) {
        // Symbol fonts put their shapes at U+F000 + code.
        FT_UInt g = FT_Get_Char_Index(face, 0xF000u + code);
        if (!g) g = FT_Get_Char_Index(face, code);
        return g;
    }
    const unsigned u = windows1252ToUnicode(code);
    if (!u) return -1;
    return FT_Get_Char_Index(face, u); // 0 is the font's missing-glyph shape
}

bool openFace(FT_Library library, const Face& f, FT_Face* face)
{
    if (f.file.empty() || FT_New_Face(library, f.file.c_str(), f.index, face) != 0) return false;
    if (!FT_IS_SCALABLE(*face) || (*face)->units_per_EM == 0) {
        FT_Done_Face(*face);
        *face = nullptr;
        return false;
    }
    return true;
}

} // namespace

OutlineFontResult buildOutlineFont(const std::string& name, bool italic, int first, int count, unsigned listBase,
                                   float deviation, float extrusion, GlyphMetricsFloat* metrics,
                                   OutlineFontFound& found)
{
    Face chosen;
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    if (FT_Init_FreeType(&library) != 0) library = nullptr;
    if (library && resolveFace(name, italic, chosen) && !openFace(library, chosen, &face)) {
        platform::reportProblem("outline font: cannot read %s\n", chosen.file.c_str());
        chosen = Face();
    }
    if (library && !face && matchFace("sans-serif", 400, italic, chosen)) {
        chosen.exact = false;
        if (!openFace(library, chosen, &face)) chosen = Face();
    }
    if (!face) {
        if (library) FT_Done_FreeType(library);
        return OutlineFontResult::noFont;
    }
    found.file = chosen.file;
    found.family = chosen.family;
    found.style = chosen.style;
    found.exact = chosen.exact;

    const bool symbolFont =
        FT_Select_Charmap(face, FT_ENCODING_UNICODE) != 0 && FT_Select_Charmap(face, FT_ENCODING_MS_SYMBOL) == 0;
    const double em = double(face->units_per_EM);
    const double tolerance = std::isfinite(deviation) && deviation > kMinDeviation ? double(deviation) : kMinDeviation;
    const double depth = std::isfinite(extrusion) && extrusion > 0 ? double(extrusion) : 0.0;

    GLUtesselator* tess = gluNewTess();
    if (tess) {
        using Callback = _GLUfuncptr;
        gluTessCallback(tess, GLU_TESS_BEGIN_DATA, reinterpret_cast<Callback>(&tessBegin));
        gluTessCallback(tess, GLU_TESS_VERTEX_DATA, reinterpret_cast<Callback>(&tessVertex));
        gluTessCallback(tess, GLU_TESS_END_DATA, reinterpret_cast<Callback>(&tessEnd));
        gluTessCallback(tess, GLU_TESS_COMBINE_DATA, reinterpret_cast<Callback>(&tessCombine));
        gluTessCallback(tess, GLU_TESS_ERROR_DATA, reinterpret_cast<Callback>(&tessError));
        gluTessCallback(tess, GLU_TESS_EDGE_FLAG_DATA, reinterpret_cast<Callback>(&tessEdgeFlag));
    }

    FT_Outline_Funcs funcs{};
    funcs.move_to = &moveTo;
    funcs.line_to = &lineTo;
    funcs.conic_to = &conicTo;
    funcs.cubic_to = &cubicTo;

    for (int i = 0; i < count; ++i) {
        const long g = glyphIndex(face, symbolFont, static_cast<unsigned char>(first + i));
        Contours contours;
        contours.scale = 1.0 / em;
        contours.tolerance = tolerance;
        Fill fill;
        bool fillRight = true;
        double advance = 0;
        if (g >= 0 && FT_Load_Glyph(face, FT_UInt(g), FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) == 0) {
            FT_GlyphSlot slot = face->glyph;
            advance = double(slot->metrics.horiAdvance) / em;
            if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
                FT_Outline& outline = slot->outline;
                if (italic && chosen.synthesiseItalic) {
                    FT_Matrix shear = {0x10000, FT_Fixed(kSyntheticShear * 0x10000), 0, 0x10000};
                    FT_Outline_Transform(&outline, &shear);
                }
                FT_BBox box{};
                if (outline.n_points > 0 && FT_Outline_Get_BBox(&outline, &box) == 0 && metrics) {
                    metrics[i].blackBoxX = float(double(box.xMax - box.xMin) / em);
                    metrics[i].blackBoxY = float(double(box.yMax - box.yMin) / em);
                    metrics[i].glyphOriginX = float(double(box.xMin) / em);
                    metrics[i].glyphOriginY = float(double(box.yMax) / em);
                }
                fillRight = FT_Outline_Get_Orientation(&outline) != FT_ORIENTATION_POSTSCRIPT;
                if (FT_Outline_Decompose(&outline, &funcs, &contours) != 0) contours.list.clear();
                // The closing segment returns to the start point: drop the copy.
                for (std::vector<Vec2>& c : contours.list)
                    if (c.size() > 1 && c.front().x == c.back().x && c.front().y == c.back().y) c.pop_back();
                if (listBase && tess) tessellate(tess, contours, (outline.flags & FT_OUTLINE_EVEN_ODD_FILL) != 0, fill);
            }
        }
        if (metrics) {
            metrics[i].cellIncX = float(advance);
            metrics[i].cellIncY = 0;
        }
        if (listBase) {
            glNewList(listBase + unsigned(i), GL_COMPILE);
            emitGlyph(fill, contours, fillRight, depth, advance);
            glEndList();
        }
    }

    if (tess) gluDeleteTess(tess);
    FT_Done_Face(face);
    FT_Done_FreeType(library);
    return OutlineFontResult::built;
}

} // namespace platform
