// The shader effect in the real player, in capture mode: a constant colour,
// a uniform driven by a key, a shader that breaks while the show runs,
// textures bound by name (an image file and the live webcam texture) and
// the silent spectrum texture, and an exit that leaves nothing to build.
#include "player_runner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace kxtest;
using Rgb = std::vector<int>;

class ShaderRun : public ::testing::Test {
protected:
    // Plays a 160 x 120 show at 10 frames per second over a grey clear.
    void play(const std::string& body, int frames)
    {
        writeDataFile("script.txt", R"(<demo name="fx" width="160" height="120">
            <loadplugin file="lumafold.dll"/><loadplugin file="irisloom.dll"/>
            <add type="clear" name="bg"/><bg color="ff404040"/>
            )" + body + R"(
            <create/><load/><run/></demo>)");
        result = runPlayer("--capture cap --fps 10 --frames " + std::to_string(frames));
        ASSERT_EQ(result.status, 0) << result.out;
        log = readFile("log.txt");
        for (int i = 0; i < frames; ++i) {
            shots.push_back(readPng(frameName("cap", i)));
            ASSERT_EQ(shots.back().width, 160) << "frame " << i;
        }
    }
    // Within 2 levels per channel.
    void expectNear(int frame, int x, int y, const Rgb& want)
    {
        const Rgb got = shots[size_t(frame)].at(x, y);
        for (size_t c = 0; c < 3; ++c)
            EXPECT_NEAR(got[c], want[c], 2) << "frame " << frame << " at " << x << "," << y << " channel " << c;
    }

    TempDir dir;
    PlayerResult result;
    std::string log;
    std::vector<Image> shots;
};

TEST_F(ShaderRun, ConstantColourAKeyDrivenUniformAndABrokenShaderThatKeepsTheLastPicture)
{
    writeDataFile("shaders/flat.frag", "uniform float gain;\n"
                                       "void main() { gl_FragColor = vec4(gain, 0.5, 1.0, 1.0); }\n");
    writeDataFile("shaders/broken.glsl", "uniform float gain;\n"
                                         "void main() {\n"
                                         "    gl_FragColor = vec4(gain, 0.5, undeclared, 1.0);\n"
                                         "}\n");
    ASSERT_NO_FATAL_FAILURE(play(R"(
        <add type="shader" name="fx"/><fx filename="flat.frag"><uniform name="gain" value="0.25"/></fx>
        <draworder effect="bg" effect="fx"/>
        <event key="G"><fx><uniform name="gain" value="1"/></fx></event>
        <event time="0.25" trigger="G"/>
        <event time="0.45"><fx filename="broken.glsl"/></event>)",
                                 8));
    // The whole window, corners too, in the shader's colour.
    for (int xy : {0, 60, 119}) expectNear(1, xy, xy, {64, 128, 255});
    expectNear(4, 80, 60, {255, 128, 255});
    // The broken file is reported with the driver's line and its text; the
    // last program keeps drawing.
    expectNear(7, 80, 60, {255, 128, 255});
    for (const std::string* where : {&result.out, &log}) {
        EXPECT_NE(where->find("shader fx: broken.glsl does not build; keeping the last shader that built"),
                  std::string::npos)
            << *where;
        EXPECT_NE(where->find("    3|     gl_FragColor = vec4(gain, 0.5, undeclared, 1.0);"), std::string::npos)
            << *where;
    }
    EXPECT_NE(result.out.find("load[data/shaders/broken.glsl]"), std::string::npos);
}

TEST_F(ShaderRun, TexturesByNameTheWebcamAndTheSilentSpectrum)
{
    // Top left: tex0, a red TGA; top right: tex1, the webcam's test
    // pattern; bottom: the spectrum's two rows as red and green.
    std::string tga(18, '\0');
    tga[2] = 2;
    tga[12] = 8;
    tga[14] = 8;
    tga[16] = 24;
    for (int i = 0; i < 64; ++i) tga += std::string("\x00\x00\xff", 3);
    writeDataFile("textures/red.tga", tga);
    writeDataFile("shaders/show.frag", R"(uniform sampler2D tex0, tex1, spectrum;
        void main() {
            vec2 uv = gl_TexCoord[0].st;
            if (uv.y < 0.5)
                gl_FragColor = vec4(texture2D(spectrum, vec2(uv.x, 0.25)).r, texture2D(spectrum, vec2(uv.x, 0.75)).r, 0.0, 1.0);
            else if (uv.x < 0.5)
                gl_FragColor = texture2D(tex0, uv * 2.0);
            else
                gl_FragColor = texture2D(tex1, vec2(uv.x * 2.0 - 1.0, uv.y * 2.0 - 1.0));
        })");
    ASSERT_NO_FATAL_FAILURE(play(R"(
        <add type="shader" name="fx"/><fx filename="show.frag" tex0="red.tga" tex1="nothing"><sampler unit="1" texture="webcamtex"/></fx>
        <add type="webcam" name="cam"/><cam device="testpattern"/>
        <draworder effect="cam" effect="fx"/>)",
                                 3));
    expectNear(2, 40, 30, {255, 0, 0});
    // The pattern's first bars, white then yellow, at its top.
    expectNear(2, 85, 5, {255, 255, 255});
    expectNear(2, 95, 5, {255, 255, 0});
    // No music: no bands, the waveform at its middle.
    expectNear(2, 40, 90, {0, 128, 0});
    expectNear(2, 120, 110, {0, 128, 0});
}

TEST_F(ShaderRun, AnExitBeforeANewFileNameLeavesNothingToBuildWithoutTheWindow)
{
    // The exit closes the window and its context once the event's
    // commands are done; the file the event names after it is built, if at
    // all, while the context is still there, never without it.
    writeDataFile("shaders/a.frag", "void main() { gl_FragColor = vec4(1.0); }\n");
    writeDataFile("shaders/b.frag", "void main() { gl_FragColor = vec4(0.5); }\n");
    writeDataFile("script.txt", R"(<demo name="fx" width="160" height="120">
        <loadplugin file="lumafold.dll"/>
        <add type="shader" name="fx"/><fx filename="a.frag"/><draworder effect="fx"/>
        <event time="0.2"><exit/><fx filename="b.frag"/></event>
        <create/><load/><run/></demo>)");
    result = runPlayer("--capture cap --fps 10 --frames 10");
    EXPECT_EQ(result.status, 0) << result.out;
    EXPECT_EQ(count(result.out, "load[data/shaders/a.frag]"), 1u) << result.out;
    EXPECT_EQ(result.out.find("the driver made no"), std::string::npos) << result.out;
    EXPECT_EQ(result.out.find("no current GL context"), std::string::npos) << result.out;
}

} // namespace
