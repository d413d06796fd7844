// Draws a GLSL fragment shader read from a data file (data/shaders/ for
// ".frag" and ".glsl"): over the whole viewport, or with a camera on the
// unit square seen through the camera's viewport and view, as the picture
// effect draws.
//
// The shader sees, as ordinary uniforms it may or may not declare:
//   float time         the show clock in seconds
//   float step         the frame step times the effect's speed (10 ms units)
//   vec2 resolution    the viewport it covers, in pixels
//   sampler2D tex0..3  registry textures named by the attributes tex0..tex3
//                      (in this order) or by <sampler unit="N" texture="..."/>
//   sampler2D spectrum the music (cSpectrum: row 0 bands, row 1 waveform)
//   float <name>       each <uniform name="..." value="..."/> child
// and gl_TexCoord[0].st, running 0..1 across the square it draws.
//
// A shader that does not build is reported with the driver's messages on
// the console and in the log; the effect keeps the last program that
// built, or draws nothing. The file is watched while the show runs and
// built again when it changes. A file over kMaxSourceBytes, or one with a
// zero byte (not text), is refused the same way. Every GL call waits for
// the context the effect was loaded in: once it is gone (the window
// closed) nothing is built, drawn or deleted.
#pragma once

#include "common/effect/effect.h"
#include "effects/glsl_program.h"

#include <cstdint>
#include <string>

class cCamera;
class cNamedTexture;
class cSpectrum;

class cShader : public cEffect {
public:
    enum : int {
        kFileNameSize = 64,
        kTextureCount = 4,
        kTextureNameSize = 32,
        kUniformMax = 16,
        kUniformNameSize = 32,
        kSpectrumUnit = kTextureCount, // texture unit of the spectrum
        kPollMilliseconds = 250,
        kMaxSourceBytes = 1 << 20, // the largest shader file read
    };

    struct sUniform {
        char name[kUniformNameSize];
        float value;
        int location; // in the current program; -2 until looked up
    };

    cShader();
    ~cShader() override; // unload()

    int load() override;
    int unload() override;
    void update(float step) override;
    void draw() override;
    // The base attributes; `filename`, `camera`, `tex0` ... `tex3` (read
    // as `tex`, counted in order); then the children: `sampler` (unit,
    // texture) names the texture of one unit, `uniform` (name, value) adds
    // a float or gives a known one its new value. A `filename` equal to
    // the current one changes nothing (scrubbing runs its event again at
    // every frame). A value that is not a decimal number within the range
    // of a float is reported, and the uniform keeps its last value.
    int doXML(cXmlTag* element) override;

    // Reads the file again and builds it when its time or size changed
    // since it was last read. True when a new program took over.
    bool reloadIfChanged();
    // The uniform of that name, or null.
    const sUniform* findUniform(const char* uniformName) const;

    char fileName[kFileNameSize] = {};
    cCamera* camera = nullptr; // a registry camera, not owned
    char textureNames[kTextureCount][kTextureNameSize] = {};
    cNamedTexture* textures[kTextureCount] = {}; // registry entries, not owned
    sUniform uniforms[kUniformMax];
    int uniformCount = 0;

    // How often update() looks at the file's time, in milliseconds of wall time.
    uint32_t pollMilliseconds = kPollMilliseconds;
    sGlslProcs gl;                 // loaded by load(); empty without GLSL
    unsigned program = 0;          // the last program that built, 0 for none
    cSpectrum* spectrum = nullptr; // owned; made by load()
    float stepValue = 0;

    // Reads a uniform's value: decimal, with optional blanks around it,
    // finite and within the range of a float. False for anything else
    // ("abc", "0,5", "1e39", "nan", "0x10", an empty text).
    static bool readUniformValue(const char* text, float& value);

private:
    enum Builtin { kTime, kStep, kResolution, kSpectrum, kTex0, kBuiltinCount = kTex0 + kTextureCount };

    bool build();
    void setTexture(int unit, const char* textureName);
    void lookUpLocations();
    cNamedTexture* texture(int i);
    void report(const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;
    void reportDriverLog(const std::string& log, const std::string& source);
    // The file's modification time and size, or zeros when it is missing.
    void fileStamp(long long& time, long long& size) const;
    // True when the context the effect was loaded in is the current one.
    bool inContext() const;
    void setUniform(const char* uniformName, const char* value);

    int builtins_[kBuiltinCount];
    bool loaded_ = false;     // load() ran (with or without GLSL)
    bool rebuildDue_ = false; // a new file name waits for the next update
    long long stampTime_ = 0; // of the file when last read
    long long stampSize_ = -1;
    uint32_t lastPoll_ = 0;
    void* context_ = nullptr; // current at load(); its GL objects are the effect's
};
