// The shader effect's parts: reading the driver's line numbers, the
// spectrum texture's bands, smoothing and waveform, and the effect made by
// the real lumafold library in a GL context: its uniforms, reloading its
// file on change, and a broken file that leaves the last program drawing.
#include "audio/bass.h"
#include "common/scene/scene_registry.h"
#include "common/script/xml_tag.h"
#include "effects/glsl_program.h"
#include "effects/shader.h"
#include "effects/spectrum.h"
#include "gl_context.h"
#include "platform/library.h"
#include "test_util.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

TEST(GlslProgram, DriverLineNumbersAndVersions)
{
    const struct {
        const char* message;
        int line;
    } lines[] = {
        {"0:12(5): error: `x' undeclared", 12},              // Mesa
        {"0(7) : error C1008: undefined variable \"x\"", 7}, // NVIDIA
        {"ERROR: 0:3: 'x' : undeclared identifier", 3},      // AMD
        {"WARNING: 0:9: unused", 9},
        {"  0:4(1): warning: x", 4},
        {"error: linking failed", -1},
        {"0:", -1},
        {"", -1},
        {nullptr, -1},
    };
    for (const auto& c : lines) EXPECT_EQ(driverLineNumber(c.message), c.line) << (c.message ? c.message : "null");
    const struct {
        const char* version;
        int major;
    } versions[] = {{"4.5 (Compatibility Profile) Mesa 22.3.6", 4},
                    {"2.1 Mesa", 2},
                    {"1.4", 1},
                    {"OpenGL ES 3.2 Mesa", 3},
                    {"x.1", 0},
                    {"2", 0},
                    {nullptr, 0}};
    for (const auto& c : versions) EXPECT_EQ(glMajorVersion(c.version), c.major) << (c.version ? c.version : "null");
}

// Every entry point but the one named here.
const char* gMissingEntryPoint = nullptr;
void anEntryPoint() { }
void* lookUp(const char* name)
{
    if (gMissingEntryPoint && std::strcmp(name, gMissingEntryPoint) == 0) return nullptr;
    return reinterpret_cast<void*>(&anEntryPoint);
}

TEST(GlslProgram, OnlyVersion2WithEveryEntryPointHasGlsl)
{
    const struct {
        const char* version;
        const char* missing;
        const char* why; // null: GLSL is there
    } contexts[] = {
        {"1.4 Mesa", nullptr, "OpenGL 2.0 is needed for GLSL, this context offers 1.4 Mesa"},
        {nullptr, nullptr, "OpenGL 2.0 is needed for GLSL, this context offers no version"},
        {"2.1", "glUniform2f", "the GL driver lacks glUniform2f"},
        {"2.1", "glUseProgram", "the GL driver lacks glUseProgram"},
        {"4.6 (Compatibility Profile)", nullptr, nullptr},
    };
    for (const auto& c : contexts) {
        gMissingEntryPoint = c.missing;
        sGlslProcs gl;
        std::string why;
        EXPECT_EQ(gl.loadFrom(c.version, lookUp, why), c.why == nullptr) << c.version;
        EXPECT_EQ(gl.loaded(), c.why == nullptr) << c.version;
        EXPECT_EQ(gl.createShader != nullptr, c.why == nullptr) << c.version;
        EXPECT_EQ(why, c.why ? c.why : "") << c.version;
    }
    gMissingEntryPoint = nullptr;
}

TEST(Spectrum, BandsInDecibelsSmoothingAndWaveform)
{
    cSpectrum s;
    // A loud bin reads in the bands that take it (the lowest bins are
    // shared by several), in decibels from -60 (0) to 0 (1).
    const struct {
        int bin;
        float magnitude;
        int firstBand, bands;
        float level;
    } tones[] = {
        {1, 1.0f, 0, 29, 1.0f},       // 43 Hz: the first 29 bands
        {23, 0.1f, 129, 2, 2 / 3.0f}, // 990 Hz at -20 dB
        {511, 0.5f, 255, 1, 0.8997f}, // the last bin at -6 dB
        {100, 0.0005f, 189, 0, 0.0f}, // below -60 dB
    };
    for (const auto& t : tones) {
        std::vector<float> bins(cSpectrum::kBins, 0.0f), levels(cSpectrum::kWidth, -1.0f);
        bins[size_t(t.bin)] = t.magnitude;
        s.bandLevels(bins.data(), levels.data());
        EXPECT_NEAR(levels[size_t(t.firstBand)], t.level, 0.001f) << "bin " << t.bin;
        int lit = 0;
        for (float l : levels) lit += l > 0;
        EXPECT_EQ(lit, t.bands) << "bin " << t.bin;
    }
    // Every bin from 1 to 511 belongs to a band, in order.
    std::vector<float> bins(cSpectrum::kBins, 0.0f), levels(cSpectrum::kWidth);
    int lastBand = 0;
    for (int k = 1; k < cSpectrum::kBins; ++k) {
        bins.assign(bins.size(), 0.0f);
        bins[size_t(k)] = 1.0f;
        s.bandLevels(bins.data(), levels.data());
        int band = -1;
        for (int b = 0; b < cSpectrum::kWidth; ++b)
            if (levels[size_t(b)] == 1.0f) band = b;
        ASSERT_GE(band, lastBand) << "bin " << k;
        lastBand = band;
    }

    // Up at once, down by 2 a second.
    std::vector<float> up(cSpectrum::kWidth, 1.0f), silent(cSpectrum::kWidth, 0.0f);
    s.smooth(up.data(), 0.01f);
    EXPECT_EQ(s.pixels[10], 255);
    s.smooth(silent.data(), 0.1f);
    EXPECT_NEAR(s.bands[10], 0.8f, 1e-5f);
    EXPECT_EQ(s.pixels[10], 204);
    s.smooth(silent.data(), 1.0f);
    EXPECT_EQ(s.bands[10], 0.0f);

    // The waveform: four frames, both sides, to a texel.
    std::vector<short> frames(cSpectrum::kWaveFrames * 2, 0);
    for (int i = 0; i < 8; ++i) frames[size_t(i)] = 32767;      // texel 0 full up
    for (int i = 8; i < 16; ++i) frames[size_t(i)] = -32768;    // texel 1 full down
    for (int i = 16; i < 24; i += 2) frames[size_t(i)] = 16384; // texel 2: left half up, right 0
    s.takeWaveform(frames.data());
    const unsigned char* wave = s.pixels + cSpectrum::kWidth;
    EXPECT_EQ(wave[0], 255);
    EXPECT_EQ(wave[1], 0);
    EXPECT_EQ(wave[2], 159);
    EXPECT_EQ(wave[3], 128);
}

// A mono 16-bit WAV of a full-scale sine.
std::string sineWav(double hertz, int frames)
{
    std::string w("RIFF\0\0\0\0WAVEfmt ", 16);
    auto le = [&w](unsigned v, int bytes) {
        for (int i = 0; i < bytes; ++i) w += char((v >> (8 * i)) & 0xff);
    };
    for (unsigned v : {16u, 1u | 1u << 16, 44100u, 88200u, 2u | 16u << 16}) le(v, 4);
    w += "data";
    le(unsigned(frames) * 2, 4);
    for (int i = 0; i < frames; ++i)
        le(unsigned(std::lround(32767 * std::sin(2 * 3.14159265358979 * hertz * i / 44100))) & 0xffff, 2);
    const unsigned riff = unsigned(w.size() - 8);
    for (int i = 0; i < 4; ++i) w[size_t(4 + i)] = char((riff >> (8 * i)) & 0xff);
    return w;
}

TEST(Spectrum, ATonePlayedByTheEngineLightsItsBandsAndDrawsItsWave)
{
    cSpectrum s;
    s.capture(0.01f); // outside a session: silence
    for (int b = 0; b < cSpectrum::kWidth; ++b) {
        ASSERT_EQ(s.pixels[b], 0) << b;
        ASSERT_EQ(s.pixels[cSpectrum::kWidth + b], 128) << b;
    }

    // Bin 23 of 1024 frames at 44.1 kHz (990.5 Hz), full scale: bands 129
    // and 130 at the top, the rest far below.
    ASSERT_TRUE(BASS_SetOffline(TRUE));
    ASSERT_TRUE(BASS_Init(0, 44100, 0, nullptr, nullptr)) << BASS_ErrorGetCode();
    const std::string wav = sineWav(23 * 44100.0 / 1024, 8192);
    const HSTREAM tone = BASS_StreamCreateFile(TRUE, wav.data(), 0, DWORD(wav.size()), 0);
    ASSERT_NE(tone, 0u) << BASS_ErrorGetCode();
    ASSERT_TRUE(BASS_StreamPlay(tone, TRUE, 0));
    std::vector<short> mixed(4096 * 2);
    ASSERT_EQ(BASS_MixOffline(mixed.data(), 4096), 4096u);
    s.capture(0.01f);
    EXPECT_GE(s.bands[129], 0.99f);
    EXPECT_GE(s.bands[130], 0.99f);
    for (int b : {0, 64, 110, 150, 200, 255}) EXPECT_LT(s.bands[b], 0.5f) << b;
    const unsigned char* wave = s.pixels + cSpectrum::kWidth;
    EXPECT_GE(*std::max_element(wave, wave + cSpectrum::kWidth), 245);
    EXPECT_LE(*std::min_element(wave, wave + cSpectrum::kWidth), 10);
    BASS_Free();
    BASS_SetOffline(FALSE);
}

// The colour in the middle of the 64 x 64 context.
std::vector<int> middle()
{
    unsigned char p[4] = {};
    glReadPixels(32, 32, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
    return {p[0], p[1], p[2]};
}

// Rewrites a shader file with a later modification time, so a change is
// seen however coarse the file system's clock.
void rewrite(const std::string& file, const std::string& text)
{
    const std::filesystem::path path = "data/shaders/" + file;
    const auto before = std::filesystem::exists(path) ? std::filesystem::last_write_time(path)
                                                      : std::filesystem::file_time_type::clock::now();
    kxtest::writeDataFile("shaders/" + file, text);
    std::filesystem::last_write_time(path, before + std::chrono::seconds(2));
}

TEST(ShaderEffect, UniformsReloadOnChangeAndABrokenFileKeepsTheLastProgram)
{
    kxtest::TempDir dir;
    kxtest::GLContext context;
    ASSERT_TRUE(context.ok());
    void* library = platform::openLibrary(KX_LUMAFOLD_PATH);
    ASSERT_NE(library, nullptr) << platform::lastLibraryError();
    auto get = reinterpret_cast<GetFxFunction>(platform::librarySymbol(library, "getFX"));
    ASSERT_NE(get, nullptr);

    cSceneRegistry registry;
    std::vector<std::string> logged;
    static std::vector<std::string>* sink;
    sink = &logged;
    registry.logLine = [](const char* text) { sink->push_back(text); };
    cEffect* effect = get("shader");
    ASSERT_NE(effect, nullptr);
    effect->registry = &registry;
    effect->setName("fx");
    effect->resize(64, 64);
    cShader* s = static_cast<cShader*>(effect);

    rewrite("a.frag", "uniform float red;\nvoid main() { gl_FragColor = vec4(red, 0.0, 1.0, 1.0); }\n");
    cXmlTag root;
    cXmlTag* e = root.addChild("fx");
    e->addParam("filename", "a.frag");
    for (const char* n : {"red", "green", "red"}) {
        cXmlTag* u = e->addChild("uniform");
        u->addParam("name", n);
        u->addParam("value", "0.5");
    }
    e->addChild("uniform")->addParam("value", "3"); // no name: ignored
    // tex0 ... tex3 reach the effect as "tex", in order; a fifth is ignored.
    for (const char* t : {"a.tga", "b", "c", "d", "e"}) e->addParam("tex", t);
    cXmlTag* sampler = e->addChild("sampler");
    sampler->addParam("unit", "2");
    sampler->addParam("texture", "webcamtex");
    e->addChild("sampler")->addParam("unit", "4"); // no such unit: ignored
    effect->doXML(e);
    const char* const units[] = {"a.tga", "b", "webcamtex", "d"};
    for (int i = 0; i < cShader::kTextureCount; ++i) EXPECT_STREQ(s->textureNames[i], units[i]);
    ASSERT_EQ(s->uniformCount, 2);
    EXPECT_STREQ(s->uniforms[0].name, "red");
    EXPECT_STREQ(s->uniforms[1].name, "green");

    testing::internal::CaptureStdout();
    s->pollMilliseconds = 0; // every update looks at the file
    effect->load();
    effect->update(1);
    effect->draw();
    EXPECT_EQ(middle(), (std::vector<int>{128, 0, 255}));

    // An event changes the uniform; the next frame shows it.
    cXmlTag* later = root.addChild("fx");
    later->addChild("uniform")->addParam("name", "red");
    later->lastChild()->addParam("value", "1");
    effect->doXML(later);
    effect->draw();
    EXPECT_EQ(middle(), (std::vector<int>{255, 0, 255}));

    // Unchanged: nothing to do. Saved anew: built again.
    const unsigned first = s->program;
    effect->update(1);
    EXPECT_EQ(s->program, first);
    rewrite("a.frag", "void main() { gl_FragColor = vec4(0.0, 1.0, 0.0, 1.0); }\n");
    effect->update(1);
    EXPECT_NE(s->program, first);
    effect->draw();
    EXPECT_EQ(middle(), (std::vector<int>{0, 255, 0}));
    const unsigned good = s->program;

    // Saved broken: reported with the line, the last program stays.
    rewrite("a.frag", "void main()\n{\n    gl_FragColor = vec4(0.0, 1.0, 0.0, 1.0)\n}\n");
    effect->update(1);
    EXPECT_EQ(s->program, good);
    glClear(GL_COLOR_BUFFER_BIT);
    effect->draw();
    EXPECT_EQ(middle(), (std::vector<int>{0, 255, 0}));
    // Not read again until it changes.
    effect->update(1);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("shader fx: a.frag changed; the new shader draws\n"), std::string::npos) << out;
    EXPECT_NE(out.find("shader fx: a.frag does not build; keeping the last shader that built\n"), std::string::npos)
        << out;
    bool pointed = false;
    for (const std::string& line : logged) pointed = pointed || line.rfind("shader fx:     ", 0) == 0;
    EXPECT_TRUE(pointed) << out;
    // Every line of the effect's own went to the log as well; the file
    // was read three times (load, change, broken change), not at every look.
    size_t own = 0;
    for (size_t at = out.find("shader fx:"); at != std::string::npos; at = out.find("shader fx:", at + 1)) ++own;
    EXPECT_EQ(own, logged.size()) << out;
    size_t reads = 0;
    for (size_t at = out.find("load[data/shaders/a.frag]"); at != std::string::npos;
         at = out.find("load[data/shaders/a.frag]", at + 1))
        ++reads;
    EXPECT_EQ(reads, 3u) << out;

    // unload releases every GL object.
    effect->unload();
    EXPECT_EQ(s->program, 0u);
    EXPECT_EQ(s->spectrum, nullptr);
    EXPECT_EQ(glGetError(), unsigned(GL_NO_ERROR));
    delete effect;
    platform::closeLibrary(library);
}

// The real effect from lumafold, named fx, in the test's GL context, with
// what it reports to the log.
class ShaderFromLibrary {
public:
    ShaderFromLibrary()
    {
        library_ = platform::openLibrary(KX_LUMAFOLD_PATH);
        auto get = library_ ? reinterpret_cast<GetFxFunction>(platform::librarySymbol(library_, "getFX")) : nullptr;
        effect_ = get ? get("shader") : nullptr;
        if (!effect_) return;
        static std::vector<std::string>* sink;
        sink = &logged;
        registry_.logLine = [](const char* text) { sink->push_back(text); };
        effect_->registry = &registry_;
        effect_->setName("fx");
        effect_->resize(64, 64);
        shader()->pollMilliseconds = 0;
    }
    ~ShaderFromLibrary()
    {
        if (effect_) effect_->unload();
        delete effect_;
        if (library_) platform::closeLibrary(library_);
    }
    bool ok() const { return effect_ != nullptr; }
    cShader* shader() { return static_cast<cShader*>(effect_); }
    // The effect's uniform of that name, or null (read from its fields:
    // the test links none of the effect's own code).
    const cShader::sUniform* uniform(const char* uniformName)
    {
        for (int i = 0; i < shader()->uniformCount; ++i)
            if (std::strcmp(shader()->uniforms[i].name, uniformName) == 0) return &shader()->uniforms[i];
        return nullptr;
    }
    // Runs <fx ATTRIBUTE="VALUE"> with one uniform child (none when
    // uniformName is null).
    void run(const char* attribute, const char* value, const char* uniformName = nullptr,
             const char* uniformValue = nullptr)
    {
        cXmlTag* e = root_.addChild("fx");
        if (attribute) e->addParam(attribute, value);
        if (uniformName) {
            cXmlTag* u = e->addChild("uniform");
            u->addParam("name", uniformName);
            if (uniformValue) u->addParam("value", uniformValue);
        }
        effect_->doXML(e);
    }

    // Writes data/shaders/FILE, names it and loads the effect: the program built.
    unsigned load(const char* file, const std::string& text)
    {
        rewrite(file, text);
        run("filename", file);
        effect_->load();
        return shader()->program;
    }

    std::vector<std::string> logged;

private:
    void* library_ = nullptr;
    cEffect* effect_ = nullptr;
    cSceneRegistry registry_;
    cXmlTag root_;
};

TEST(ShaderEffect, AUniformValueThatIsNotANumberIsReportedAndTheLastGoodValueStays)
{
    ShaderFromLibrary fx;
    ASSERT_TRUE(fx.ok());
    const struct {
        const char* value; // null: no value attribute
        float kept;        // the uniform's value afterwards
        bool reported;
    } cases[] = {
        {"1.5", 1.5f, false},       {"abc", 1.5f, true},      {"0,5", 1.5f, true}, {"1e39", 1.5f, true},
        {"-1e39", 1.5f, true},      {"nan", 1.5f, true},      {"inf", 1.5f, true}, {"0x10", 1.5f, true},
        {"", 1.5f, true},           {nullptr, 1.5f, true},    {"2 ", 2.0f, false}, {" -0.25", -0.25f, false},
        {"3.4e38", 3.4e38f, false}, {"1.5.2", 3.4e38f, true}, {"7", 7.0f, false},
    };
    for (const auto& c : cases) {
        const std::string label = c.value ? std::string("value \"") + c.value + "\"" : "no value";
        fx.logged.clear();
        fx.run(nullptr, nullptr, "hue", c.value);
        const cShader::sUniform* u = fx.uniform("hue");
        ASSERT_NE(u, nullptr) << label;
        EXPECT_EQ(u->value, c.kept) << label;
        ASSERT_EQ(fx.logged.size(), c.reported ? 1u : 0u) << label;
        if (!c.reported) continue;
        // The message names the uniform, the value it refused and what stays.
        const std::string& line = fx.logged[0];
        EXPECT_NE(line.find("shader fx: uniform hue"), std::string::npos) << line;
        if (c.value) {
            EXPECT_NE(line.find(std::string("\"") + c.value + "\""), std::string::npos) << line;
        }
        EXPECT_NE(line.find("keeping"), std::string::npos) << line;
    }
    // A new uniform whose first value is not a number is not made at all.
    fx.logged.clear();
    fx.run(nullptr, nullptr, "gain", "lots");
    EXPECT_EQ(fx.uniform("gain"), nullptr);
    ASSERT_EQ(fx.logged.size(), 1u);
    EXPECT_EQ(fx.logged[0], "shader fx: uniform gain: \"lots\" is not a decimal number within the range of a float; "
                            "it is not set");
}

size_t reads(const std::string& out, const std::string& file)
{
    size_t n = 0;
    const std::string line = "load[data/shaders/" + file + "]";
    for (size_t at = out.find(line); at != std::string::npos; at = out.find(line, at + 1)) ++n;
    return n;
}

TEST(ShaderEffect, TheSameFileNameAgainBuildsNothingAndWithoutItsContextNothingIsBuilt)
{
    kxtest::TempDir dir;
    kxtest::GLContext context;
    ShaderFromLibrary fx;
    ASSERT_TRUE(context.ok() && fx.ok());
    rewrite("b.frag", "void main() { gl_FragColor = vec4(0.0, 1.0, 0.0, 1.0); }\n");
    testing::internal::CaptureStdout();
    const unsigned first = fx.load("a.frag", "void main() { gl_FragColor = vec4(1.0, 0.0, 0.0, 1.0); }\n");
    ASSERT_NE(first, 0u);
    // Scrubbing runs the event that names the file at every frame.
    for (int frame = 0; frame < 5; ++frame) {
        fx.run("filename", "a.frag");
        fx.shader()->update(1);
    }
    EXPECT_EQ(fx.shader()->program, first);
    fx.run("filename", "b.frag");
    fx.run("filename", "b.frag");
    fx.shader()->update(1);
    const unsigned second = fx.shader()->program;
    EXPECT_NE(second, first);
    fx.shader()->draw();
    EXPECT_EQ(middle(), (std::vector<int>{0, 255, 0}));

    // The window closed (an exit): a new file name, a change of the file,
    // frames and the unload all happen without a GL call.
    SDL_Window* window = SDL_GL_GetCurrentWindow();
    SDL_GLContext current = SDL_GL_GetCurrentContext();
    ASSERT_EQ(SDL_GL_MakeCurrent(window, nullptr), 0);
    rewrite("b.frag", "void main() { gl_FragColor = vec4(0.0, 0.0, 1.0, 1.0); }\n");
    fx.run("filename", "a.frag");
    fx.shader()->update(1);
    fx.shader()->draw();
    fx.shader()->unload();
    EXPECT_EQ(fx.shader()->program, 0u);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(reads(out, "a.frag"), 1u) << out;
    EXPECT_EQ(reads(out, "b.frag"), 1u) << out;
    EXPECT_TRUE(fx.logged.empty()) << fx.logged.front();
    ASSERT_EQ(SDL_GL_MakeCurrent(window, current), 0);
    EXPECT_EQ(glGetError(), unsigned(GL_NO_ERROR));
}

TEST(ShaderEffect, AnOversizedOrBinaryFileIsRefusedAndMessagesHoldOnlyPrintableText)
{
    kxtest::TempDir dir;
    kxtest::GLContext context;
    ShaderFromLibrary fx;
    ASSERT_TRUE(context.ok() && fx.ok());
    const std::string good = "void main() { gl_FragColor = vec4(1.0, 0.0, 0.0, 1.0); }\n";
    const unsigned built = fx.load("a.frag", good);
    ASSERT_NE(built, 0u);
    std::string noise;
    for (int i = 0; i < 600; ++i) noise += char((i * 77 + 13) % 255 + 1); // no zero, no well-formed UTF-8
    const struct {
        const char* label;
        std::string text;
        const char* message; // a line the effect reports
        bool read;           // the file was read (a "load[...]" line)
    } cases[] = {
        {"one byte over the cap", good + std::string(cShader::kMaxSourceBytes - good.size() + 1, ' '),
         "shader fx: a.frag has 1048577 bytes, more than the 1048576 a shader file may have; keeping the last "
         "shader that built",
         false},
        {"a zero byte", good + std::string(1, '\0') + noise,
         "shader fx: a.frag is not a text file (a zero byte at offset 57); keeping the last shader that built", true},
        {"control characters and broken UTF-8", "void main() {\n\x01\x1b[2J\xff\xfe gl_FragColor;\n}\n" + noise,
         "shader fx: a.frag does not build; keeping the last shader that built", true},
    };
    for (const auto& c : cases) {
        fx.logged.clear();
        testing::internal::CaptureStdout();
        rewrite("a.frag", c.text);
        fx.shader()->update(1);
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(fx.shader()->program, built) << c.label;
        EXPECT_EQ(reads(out, "a.frag"), c.read ? 1u : 0u) << c.label;
        EXPECT_NE(std::find(fx.logged.begin(), fx.logged.end(), c.message), fx.logged.end())
            << c.label << ": " << (fx.logged.empty() ? "nothing" : fx.logged.front());
        // The files hold no well-formed UTF-8: every byte shown is printable ASCII.
        for (const std::string& line : fx.logged)
            for (unsigned char ch : line)
                EXPECT_TRUE(ch == '\t' || (ch >= 0x20 && ch < 0x7f))
                    << c.label << ": byte " << int(ch) << " in " << line;
    }
    // Exactly at the cap is still a shader.
    rewrite("a.frag", good + std::string(cShader::kMaxSourceBytes - good.size(), ' '));
    fx.shader()->update(1);
    EXPECT_NE(fx.shader()->program, built);
}

} // namespace
