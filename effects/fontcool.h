// Up to 16 lines of extruded, lit 3D text from an outline font's glyphs.
// Each line has a position and a velocity and one of four letter
// animations, driven by a sine of each letter's horizontal position.
#pragma once

#include "common/effect/effect.h"
#include "platform/outline_font.h"

#include <cstddef>

class cNamedTexture;

class cFontCool : public cEffect {
public:
    enum : int {
        kMaxTexts = 16,
        kFaceNameSize = 32,
        kStringSize = 2048,
        kGlyphCount = 256, // metric records kept; glyphs are built for 0..254
        kBuiltGlyphs = 255,
    };

    // Letter animations.
    enum : int { kStylePlain = 0, kStylePulse = 1, kStyleBounce = 2, kStyleSway = 3 };

    struct sText {
        int shown = 0;
        char string[kStringSize] = {};
        float color[4] = {1, 1, 1, 1}; // kept, not drawn
        float position[3] = {0, 0, 0};
        float rotation[3] = {0, 0, 0}; // kept, not drawn
        float scale[3] = {1, 1, 1};    // kept, not drawn
        float velocity[3] = {0, 0, 0};
        float rotationVelocity[3] = {0, 0, 0}; // kept, not drawn
        float scaleVelocity[3] = {0, 0, 0};    // kept, not drawn
        int style = kStylePlain;
    };

    cFontCool();
    ~cFontCool() override; // unloads

    int load() override;
    int unload() override;
    void update(float step) override;
    void draw() override;
    int doXML(cXmlTag* element) override;

    // Reads one text element's attributes into a record.
    static void readText(cXmlTag* element, sText& text);

    float textPosition[3] = {0, 0, -10}; // the text being drawn
    char faceName[kFaceNameSize] = "Arial Black";
    unsigned int listBase = 0;
    platform::GlyphMetricsFloat* glyphs = nullptr; // kGlyphCount records while loaded
    cNamedTexture* texture = nullptr;              // a registry texture, not owned
    int italic = 0;
    float deviation = 0.01f;
    float extrusion = 0.01f;
    int textCount = 0; // 0..kMaxTexts
    sText texts[kMaxTexts];

private:
    void drawString(const sText& text);
    // What the built glyphs depend on, as the key they are kept under.
    void glyphKey(char* key, size_t size) const;
};
