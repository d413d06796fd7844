// Per-frame cost of the shader effect at 640 x 480 against the picture
// effect in the same run, and the cost of the spectrum texture for one
// frame. Both effects are made by the real lumafold library and drawn into
// an offscreen 640 x 480 window: the picture as a full-screen wallpaper of a
// 512 x 512 image (49 copies), the shader a full-screen plasma that also
// reads the spectrum and a texture. A frame is update, draw and glFinish;
// the two effects alternate frame by frame so the machine's load falls on
// both alike. Prints the median and fastest frame of each and their ratios.
// The spectrum is timed while the audio engine mixes a tone offline: one
// read of the mix's spectrum and waveform, the bands, and the upload.
//
//   kx_shader_bench [frames]
#include "audio/bass.h"
#include "common/effect/effect.h"
#include "common/scene/scene_registry.h"
#include "common/script/xml_tag.h"
#include "effects/spectrum.h"
#include "platform/library.h"

#include <GL/gl.h>
#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

const char kPlasma[] = "uniform float time;\n"
                       "uniform vec2 resolution;\n"
                       "uniform sampler2D tex0, spectrum;\n"
                       "void main()\n"
                       "{\n"
                       "    vec2 p = (gl_FragCoord.xy - 0.5 * resolution) / resolution.y;\n"
                       "    float v = sin(p.x * 6.0 + time) + sin(p.y * 7.0 - time) + sin(length(p) * 9.0);\n"
                       "    float bass = texture2D(spectrum, vec2(0.1, 0.25)).r;\n"
                       "    vec3 c = 0.5 + 0.5 * vec3(sin(v), sin(v + 2.1), sin(v + 4.2));\n"
                       "    gl_FragColor = vec4(c * (0.5 + bass), 1.0) * texture2D(tex0, gl_TexCoord[0].st);\n"
                       "}\n";

void writeFile(const fs::path& path, const std::string& bytes)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

// A 512 x 512 24-bit TGA of a colour gradient.
std::string gradientTga()
{
    std::string b(18, '\0');
    b[2] = 2;
    b[13] = 2; // width 512
    b[15] = 2; // height 512
    b[16] = 24;
    for (int y = 0; y < 512; ++y)
        for (int x = 0; x < 512; ++x) {
            b += char(x / 2);
            b += char(y / 2);
            b += char((x + y) / 4);
        }
    return b;
}

// Ten seconds of a 1 kHz sine at half scale as a 16-bit stereo WAV.
std::string toneWav()
{
    const int frames = 441000;
    std::string w = "RIFF....WAVEfmt ";
    auto le = [&](unsigned v, int bytes) {
        for (int i = 0; i < bytes; ++i) w += char((v >> (8 * i)) & 0xff);
    };
    le(16, 4);
    le(1, 2);
    le(2, 2);
    le(44100, 4);
    le(44100 * 4, 4);
    le(4, 2);
    le(16, 2);
    w += "data";
    le(unsigned(frames * 4), 4);
    for (int i = 0; i < frames; ++i) {
        const int s = int(std::lround(16384.0 * std::sin(2 * 3.14159265358979 * 1000.0 * i / 44100.0)));
        le(unsigned(s) & 0xffff, 2);
        le(unsigned(s) & 0xffff, 2);
    }
    w.replace(4, 4,
              std::string{char((w.size() - 8) & 0xff), char(((w.size() - 8) >> 8) & 0xff),
                          char(((w.size() - 8) >> 16) & 0xff), char(((w.size() - 8) >> 24) & 0xff)});
    return w;
}

double milliseconds(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double fastest(const std::vector<double>& v) { return v.empty() ? 0 : *std::min_element(v.begin(), v.end()); }

cEffect* makeEffect(GetFxFunction get, cSceneRegistry& registry, const char* type, cXmlTag& root,
                    std::initializer_list<std::pair<const char*, const char*>> attributes)
{
    cEffect* e = get(type);
    if (!e) return nullptr;
    e->registry = &registry;
    e->setName(type);
    e->resize(640, 480);
    cXmlTag* element = root.addChild(type);
    for (const auto& a : attributes) element->addParam(a.first, a.second);
    e->doXML(element);
    e->load();
    return e;
}

} // namespace

int main(int argc, char** argv)
{
    const int frames = argc > 1 ? std::max(10, std::atoi(argv[1])) : 300;
    const fs::path folder = fs::temp_directory_path() / "kx_shader_bench";
    fs::remove_all(folder);
    writeFile(folder / "data/textures/bench.tga", gradientTga());
    writeFile(folder / "data/shaders/bench.frag", kPlasma);
    const std::string wav = toneWav();
    fs::current_path(folder);

    SDL_SetHint(SDL_HINT_VIDEODRIVER, std::getenv("SDL_VIDEODRIVER") ? std::getenv("SDL_VIDEODRIVER") : "offscreen");
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "no video: %s\n", SDL_GetError());
        return 1;
    }
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_Window* window = SDL_CreateWindow("bench", 0, 0, 640, 480, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    SDL_GLContext context = window ? SDL_GL_CreateContext(window) : nullptr;
    if (!context) {
        std::fprintf(stderr, "no GL context: %s\n", SDL_GetError());
        return 1;
    }
    std::printf("renderer: %s, %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)),
                reinterpret_cast<const char*>(glGetString(GL_VERSION)));
    glViewport(0, 0, 640, 480);

    void* library = platform::openLibrary(KX_LUMAFOLD_PATH);
    auto get = library ? reinterpret_cast<GetFxFunction>(platform::librarySymbol(library, "getFX")) : nullptr;
    if (!get) {
        std::fprintf(stderr, "cannot open %s\n", KX_LUMAFOLD_PATH);
        return 1;
    }

    // The audio engine mixing a tone offline, as in a capture.
    BASS_SetOffline(TRUE);
    BASS_Init(0, 44100, 0, nullptr, nullptr);
    const HSTREAM tone = BASS_StreamCreateFile(TRUE, wav.data(), 0, DWORD(wav.size()), 0);
    BASS_StreamPlay(tone, TRUE, 0);
    std::vector<short> mixed(2 * 441 * 2);

    {
        cSceneRegistry registry;
        cXmlTag root;
        cEffect* picture = makeEffect(get, registry, "picture", root, {{"filename", "bench.tga"}});
        cEffect* shader =
            makeEffect(get, registry, "shader", root, {{"filename", "bench.frag"}, {"tex0", "bench.tga"}});
        if (!picture || !shader) {
            std::fprintf(stderr, "lumafold made no picture or shader\n");
            return 1;
        }
        std::vector<double> pictureTimes, shaderTimes;
        for (int i = 0; i < frames; ++i) {
            BASS_MixOffline(mixed.data(), 441);
            registry.setShowTime(float(i) * 0.01f);
            for (cEffect* e : {picture, shader}) {
                glClear(GL_COLOR_BUFFER_BIT);
                glFinish();
                const Clock::time_point start = Clock::now();
                e->update(1.0f);
                e->draw();
                glFinish();
                (e == picture ? pictureTimes : shaderTimes).push_back(milliseconds(Clock::now() - start));
            }
        }
        std::printf("frame at 640 x 480 (update, draw, glFinish), %d frames each, ms: median / fastest\n", frames);
        std::printf("  picture (wallpaper)  %8.3f / %8.3f\n", median(pictureTimes), fastest(pictureTimes));
        std::printf("  shader (plasma)      %8.3f / %8.3f\n", median(shaderTimes), fastest(shaderTimes));
        std::printf("  shader / picture     %8.2f / %8.2f\n", median(shaderTimes) / median(pictureTimes),
                    fastest(shaderTimes) / fastest(pictureTimes));
        picture->unload();
        shader->unload();
        delete picture;
        delete shader;
    }

    // The spectrum of one frame: reading the mix, the bands, the upload.
    cSpectrum spectrum;
    std::vector<double> readTimes, uploadTimes;
    for (int i = 0; i < frames; ++i) {
        BASS_MixOffline(mixed.data(), 441);
        const Clock::time_point start = Clock::now();
        spectrum.capture(0.01f);
        const Clock::time_point read = Clock::now();
        spectrum.upload();
        glFinish();
        readTimes.push_back(milliseconds(read - start));
        uploadTimes.push_back(milliseconds(Clock::now() - read));
    }
    int loudest = 0;
    for (int b = 1; b < cSpectrum::kWidth; ++b)
        if (spectrum.bands[b] > spectrum.bands[loudest]) loudest = b;
    std::printf("spectrum per frame, ms: median / fastest (goal: under 0.2)\n");
    std::printf("  read and bands       %8.4f / %8.4f\n", median(readTimes), fastest(readTimes));
    std::printf("  upload               %8.4f / %8.4f\n", median(uploadTimes), fastest(uploadTimes));
    std::printf("  the tone (1 kHz, -6 dB) in band %d at level %.3f\n", loudest, spectrum.bands[loudest]);
    spectrum.release();

    BASS_Free();
    platform::closeLibrary(library);
    SDL_GL_DeleteContext(context);
    SDL_DestroyWindow(window);
    SDL_Quit();
    fs::current_path(fs::temp_directory_path());
    fs::remove_all(folder);
    return 0;
}
