// The picture effect in the real player: a four-colour test image drawn
// through keyed and rotated cameras and as a moving wallpaper, captured and
// checked at the places where each colour must land.
#include "player_runner.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using namespace kxtest;
using Rgb = std::vector<int>;

const Rgb kRed{255, 0, 0}, kGreen{0, 255, 0}, kBlue{0, 0, 255}, kWhite{255, 255, 255}, kGrey{64, 64, 64};

// A 64 x 64 24-bit TGA: bottom left red, bottom right green, top left blue,
// top right white. Rows are stored bottom row first, pixels blue-green-red.
std::string quadrants()
{
    std::string b(18, '\0');
    b[2] = 2;
    b[12] = 64;
    b[14] = 64;
    b[16] = 24;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            const bool top = y >= 32, right = x >= 32;
            const Rgb& c = top ? (right ? kWhite : kBlue) : (right ? kGreen : kRed);
            b += char(c[2]);
            b += char(c[1]);
            b += char(c[0]);
        }
    return b;
}

class PictureRun : public ::testing::Test {
protected:
    // Plays a 160 x 120 show at 10 frames per second over a grey clear.
    void play(const std::string& body, int frames)
    {
        writeDataFile("textures/quad.tga", quadrants());
        writeDataFile("script.txt", R"(<demo name="pic" width="160" height="120">
            <loadplugin file="lumafold.dll"/>
            <add type="clear" name="bg"/><bg color="ff404040"/>
            )" + body + R"(
            <create/><load/><run/></demo>)");
        result = runPlayer("--capture cap --fps 10 --frames " + std::to_string(frames));
        ASSERT_EQ(result.status, 0) << result.out;
        for (int i = 0; i < frames; ++i) {
            shots.push_back(readPng(frameName("cap", i)));
            ASSERT_EQ(shots.back().width, 160) << "frame " << i;
        }
    }
    // The colour at x, y (from the top left) of a frame, each channel
    // rounded to the nearest of 0, 64, 255 so filtering noise does not count.
    Rgb at(int frame, int x, int y) const
    {
        Rgb c = shots[size_t(frame)].at(x, y);
        for (int& v : c) v = v < 32 ? 0 : (v < 160 ? 64 : 255);
        return c;
    }

    TempDir dir;
    PlayerResult result;
    std::vector<Image> shots;
};

TEST_F(PictureRun, ThroughAKeyedCameraAndARotatedCameraViewport)
{
    // The window projection is 45 degrees high at aspect 4/3; at a distance
    // of 1 / tan(22.5) the view is 2 units high, so the unit picture covers
    // the middle half of the height: rows 30..90, 60 pixels wide.
    // "cam" is named by the effect before the script declares it.
    ASSERT_NO_FATAL_FAILURE(play(R"(
        <add type="picture" name="pic"/><pic filename="quad.tga" camera="cam"/>
        <camera name="cam" mode="keyframe">
            <key t="0" pos="0,0,2.4142135"/><key t="100" pos="0.5,0,2.4142135"/>
        </camera>
        <camera mode="create" name="side" pos="0,0,2.4142135" rot="0,0,90" viewport="0.5,0,0.5,1"/>
        <add type="picture" name="turned"/><turned filename="quad.tga" camera="SIDE"/>
        <draworder effect="bg" effect="pic"/>
        <event time="1.25"><draworder effect="bg" effect="turned"/></event>)",
                                 14));
    EXPECT_NE(result.out.find("cPicture::doXML() 2\n"), std::string::npos);

    // Frame 4: camera clock 50 of 100, eased to the middle of the path, so
    // the camera is at x 0.25 and the picture a quarter unit left of centre:
    // columns 35..95.
    EXPECT_EQ(at(4, 50, 45), kBlue);
    EXPECT_EQ(at(4, 88, 45), kWhite);
    EXPECT_EQ(at(4, 50, 75), kRed);
    EXPECT_EQ(at(4, 88, 75), kGreen);
    EXPECT_EQ(at(4, 20, 60), kGrey);
    EXPECT_EQ(at(4, 110, 60), kGrey);
    EXPECT_EQ(at(4, 65, 20), kGrey);

    // Frame 11: past the last key, the camera rests at x 0.5: columns 20..80.
    EXPECT_EQ(at(11, 35, 45), kBlue);
    EXPECT_EQ(at(11, 65, 45), kWhite);
    EXPECT_EQ(at(11, 35, 75), kRed);
    EXPECT_EQ(at(11, 65, 75), kGreen);
    EXPECT_EQ(at(11, 95, 60), kGrey);

    // Frame 13: the camera turned by 90 degrees about its axis shows the
    // picture turned the other way, in the right half of the window only
    // (columns 105..135 of the 80-pixel viewport at 80).
    EXPECT_EQ(at(13, 113, 45), kRed);
    EXPECT_EQ(at(13, 127, 45), kBlue);
    EXPECT_EQ(at(13, 113, 75), kGreen);
    EXPECT_EQ(at(13, 127, 75), kWhite);
    EXPECT_EQ(at(13, 95, 60), kGrey);
    EXPECT_EQ(at(13, 40, 60), kGrey);
}

TEST_F(PictureRun, WallpaperMovedTurnedScaledTintedAndScrolling)
{
    // Columns 20, 60, 100, 140 and rows 30, 90 sit a quarter of a copy away
    // from the seams; each event switches to the next picture.
    ASSERT_NO_FATAL_FAILURE(play(R"(
        <add type="picture" name="moved"/><moved filename="quad.tga" tra="0.25,0,5" color="ffffff00"/>
        <add type="picture" name="turned"/><turned filename="quad.tga" rot="0,0,90"/>
        <add type="picture" name="small"/><small filename="quad.tga" sca="0.5,0.5,1"/>
        <add type="picture" name="none"/><none filename="nothere.tga"/>
        <add type="picture" name="scroll"/><scroll filename="quad.tga" trainc="0.01,0,0"/>
        <draworder effect="bg" effect="moved"/>
        <event time="0.05"><draworder effect="bg" effect="turned"/></event>
        <event time="0.15"><draworder effect="bg" effect="small"/></event>
        <event time="0.25"><draworder effect="bg" effect="none"/></event>
        <event time="0.35"><draworder effect="bg" effect="scroll"/></event>)",
                                 14));
    const Rgb kYellow{255, 255, 0}, kBlack{0, 0, 0};

    // Frame 0: a quarter screen to the right, wrapping round; the tint
    // keeps red and green.
    const int columns[] = {20, 60, 100, 140};
    const Rgb top[] = {kYellow, kBlack, kBlack, kYellow};
    const Rgb bottom[] = {kGreen, kRed, kRed, kGreen};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(at(0, columns[i], 30), top[i]) << columns[i];
        EXPECT_EQ(at(0, columns[i], 90), bottom[i]) << columns[i];
    }

    // Frame 1: a (nearly) quarter turn about the screen centre, counter-clockwise.
    EXPECT_EQ(at(1, 40, 30), kWhite);
    EXPECT_EQ(at(1, 120, 30), kGreen);
    EXPECT_EQ(at(1, 40, 90), kBlue);
    EXPECT_EQ(at(1, 120, 90), kRed);

    // Frame 2: half size; the centre copy covers the middle quarter.
    EXPECT_EQ(at(2, 60, 45), kBlue);
    EXPECT_EQ(at(2, 100, 75), kGreen);
    EXPECT_EQ(at(2, 140, 45), kBlue);  // the right neighbour's left half
    EXPECT_EQ(at(2, 140, 15), kRed);   // the upper right neighbour's bottom left
    EXPECT_EQ(at(2, 20, 105), kWhite); // the lower left neighbour's top right

    // Frame 3: a file that is not there draws nothing over the clear.
    EXPECT_NE(result.out.find("Warning cLargeTexture::create() error"), std::string::npos);
    EXPECT_EQ(at(3, 40, 30), kGrey);

    // From frame 4 each frame's step of 10 scrolls 0.1 screen: half a
    // screen by frame 8 (the halves change places), a whole one by frame 13.
    EXPECT_EQ(at(8, 40, 30), kWhite);
    EXPECT_EQ(at(8, 120, 90), kRed);
    EXPECT_EQ(at(13, 40, 30), kBlue);
    EXPECT_EQ(at(13, 120, 90), kGreen);
}

TEST_F(PictureRun, AnimatedGifPlaysItsFramesWithTheShowClock)
{
    if (std::system("convert -version >/dev/null 2>&1") != 0) GTEST_SKIP() << "ImageMagick's convert is missing";
    // Red, lime, blue for 24 hundredths each, looping after 0.72 s.
    std::filesystem::create_directories("data/textures");
    ASSERT_EQ(std::system("convert -size 64x64 xc:red xc:lime xc:blue -set delay 24 -loop 0 "
                          "data/textures/anim.gif"),
              0);
    ASSERT_NO_FATAL_FAILURE(play(R"(
        <add type="picture" name="anim"/><anim filename="anim.gif"/>
        <draworder effect="bg" effect="anim"/>)",
                                 11));
    // Frame k shows show time k / 10 s.
    const Rgb expected[] = {kRed, kRed, kRed, kGreen, kGreen, kBlue, kBlue, kBlue, kRed, kRed, kGreen};
    for (int k = 0; k < 11; ++k) {
        EXPECT_EQ(at(k, 80, 60), expected[k]) << "frame " << k;
        EXPECT_EQ(at(k, 20, 100), expected[k]) << "frame " << k;
    }
}

TEST_F(PictureRun, AShowInAFolderAndFilesNamedOutsideTheAnsiCodePage)
{
    // The show's folder, its script (the argument), its picture and the
    // capture's folder all have names no single ANSI code page holds.
    const std::filesystem::path folder = dir.path() / "Démo Ω";
    std::filesystem::create_directories(folder / "data");
    std::filesystem::current_path(folder);
    writeDataFile("textures/Ωmega é.tga", quadrants());
    writeDataFile("Ωmega é.txt", R"(<demo name="pic" width="160" height="120">
        <loadplugin file="lumafold.dll"/>
        <add type="picture" name="pic"/><pic filename="Ωmega é.tga"/>
        <draworder effect="pic"/>
        <create/><load/><run/></demo>)");
    result = runPlayer("--capture " + quoted("cap Ω") + " --fps 10 --frames 2 " + quoted("Ωmega é.txt"));
    ASSERT_EQ(result.status, 0) << result.out;
    EXPECT_NE(result.out.find("load[data/textures/Ωmega é.tga]"), std::string::npos) << result.out;
    EXPECT_EQ(result.out.find("not found"), std::string::npos) << result.out;
    const std::string log = readFile("log.txt");
    EXPECT_NE(log.find("Parsing Script [Ωmega é.txt]"), std::string::npos) << log;
    ASSERT_TRUE(fileExists(frameName("cap Ω", 1))) << result.out;
    shots.push_back(readPng(frameName("cap Ω", 1)));
    EXPECT_EQ(at(0, 50, 75), kRed);
    EXPECT_EQ(at(0, 110, 45), kWhite);
    // A capture that wrote no frame takes away the folder it made.
    result = runPlayer("--capture " + quoted("vide Ω") + " --fps 10 --frames 2 missing.txt");
    EXPECT_EQ(result.status, 1) << result.out;
    EXPECT_FALSE(std::filesystem::exists("vide Ω")) << result.out;
    std::filesystem::current_path(dir.path());
}

} // namespace
