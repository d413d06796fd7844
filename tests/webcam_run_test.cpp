// The webcam effect in the real player, in capture mode: the test pattern on
// screen, devices that are missing, refuse the format or go away, the quit
// message of a second load, and the live texture drawn by another effect.
#include "player_runner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace kxtest;
using Pixel = std::vector<int>;

const Pixel kWhite{255, 255, 255}, kBlack{0, 0, 0}, kBlue{0, 0, 255};

class WebcamRun : public ::testing::Test {
protected:
    // A 320 x 240 show of the webcam alone, opening `device`.
    void play(const std::string& device, int frames, const std::string& extra = "")
    {
        writeDataFile("script.txt", "<demo name=\"cam\" width=\"320\" height=\"240\">\n"
                                    "<loadplugin file=\"irisloom.dll\"/>\n"
                                    "<add type=\"webcam\" name=\"cam\"/>" +
                                        (device.empty() ? "" : "<cam device=\"" + device + "\"/>") +
                                        "\n<draworder effect=\"cam\"/>\n" + extra + "<create/><load/><run/></demo>\n");
        result = runPlayer("--capture cap --fps 100 --frames " + std::to_string(frames));
        ASSERT_EQ(result.status, 0) << result.out;
        images.clear();
        for (int i = 0; fileExists(frameName("cap", i)); ++i) images.push_back(readPng(frameName("cap", i)));
    }
    // Where the white square starts in screen row 200, -1 when it is not there.
    static int squareLeft(const Image& img)
    {
        for (int x = 0; x < img.width; ++x)
            if (img.at(x, 200) == kWhite) return x;
        return -1;
    }
    static bool allBlack(const Image& img)
    {
        for (int y = 5; y < img.height; y += 10)
            for (int x = 5; x < img.width; x += 10)
                if (img.at(x, y) != kBlack) return false;
        return img.width > 0;
    }

    TempDir dir;
    PlayerResult result;
    std::vector<Image> images;
};

TEST_F(WebcamRun, TheTestPatternFillsTheWindowThroughWebcamtex)
{
    play("testpattern", 3);
    const std::string& o = result.out;
    EXPECT_NE(o.find("device10\nname: testpattern\ndescription: "), std::string::npos) << o;
    EXPECT_NE(o.find("index: 10\nhasOverlay: 0\nhasSourceDialog: 0\nhasFormatDialog: 0\nhasDisplayDialog: 0\n"
                     "isInitialized: 1\n"),
              std::string::npos);
    EXPECT_NE(o.find("capture setup\nvideoformatcool\n"), std::string::npos);
    ASSERT_EQ(images.size(), 3u);
    ASSERT_EQ(images[0].width, 320);

    // Eight bars of 40 pixels over the top two thirds, upright.
    const std::vector<Pixel> bars = {{255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {0, 255, 0},
                                     {255, 0, 255},   {255, 0, 0},   {0, 0, 255},   {0, 0, 0}};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(images[1].at(40 * i + 20, 10), bars[size_t(i)]) << "bar " << i;
        EXPECT_EQ(images[1].at(40 * i + 20, 150), bars[size_t(i)]) << "bar " << i;
    }
    EXPECT_EQ(images[1].at(300, 170), kBlue);
    EXPECT_EQ(images[1].at(300, 235), kBlue);
    // The square starts at the left and moves 4 pattern pixels (8 on screen)
    // with every grab, one grab per drawn frame.
    const int left0 = squareLeft(images[0]);
    EXPECT_LE(left0, 1);
    EXPECT_NEAR(squareLeft(images[1]) - left0, 8, 1);
    EXPECT_NEAR(squareLeft(images[2]) - left0, 16, 1);
    EXPECT_EQ(images[2].at(40, 160 + 40), kWhite);
}

TEST_F(WebcamRun, WithoutAUsableDeviceTheShowGoesOnInBlack)
{
    writeFile("notacamera", "bytes");
    struct Case {
        std::string device, line;
    };
    std::vector<Case> cases = {
        {"/nonexistent/video0", "webcam: no video capture device: /nonexistent/video0: no such device"},
        {"notacamera", "webcam: no video capture device: notacamera: "},
    };
    // The default device, when this machine has no camera.
    if (!fileExists("/dev/video0"))
        cases.push_back({"", "webcam: no video capture device: /dev/video0: no such device"});
    for (const Case& c : cases) {
        play(c.device, 3);
        EXPECT_NE(result.out.find(c.line), std::string::npos) << result.out;
        EXPECT_EQ(result.out.find("capture setup"), std::string::npos);
        ASSERT_EQ(images.size(), 3u) << c.device;
        for (const Image& img : images) EXPECT_TRUE(allBlack(img)) << c.device;
    }
}

TEST_F(WebcamRun, ADeviceThatGoesAwayLeavesItsLastFrame)
{
    play("testpattern:frames=3", 6);
    ASSERT_EQ(images.size(), 6u);
    EXPECT_EQ(count(result.out, "webcam: the capture device stopped: testpattern: the device went away after 3 "
                                "frames; keeping the last frame"),
              1u)
        << result.out;
    EXPECT_NE(squareLeft(images[1]), squareLeft(images[2]));
    for (int f = 3; f < 6; ++f) {
        EXPECT_EQ(squareLeft(images[f]), squareLeft(images[2])) << "frame " << f;
        EXPECT_EQ(images[f].rgb, images[2].rgb) << "frame " << f;
    }
}

TEST_F(WebcamRun, FramesOfAnotherSizeAreSkippedNotResampled)
{
    play("testpattern:size=80x60", 3);
    EXPECT_EQ(result.out.find("videoformatcool"), std::string::npos);
    EXPECT_NE(result.out.find("webcam: the driver keeps its own format of 80x60"), std::string::npos) << result.out;
    EXPECT_EQ(count(result.out, "webcam: skipping frames of 14400 bytes"), 1u) << result.out;
    ASSERT_EQ(images.size(), 3u);
    for (const Image& img : images) EXPECT_TRUE(allBlack(img));
}

TEST_F(WebcamRun, NoDriverDialogWaitsInACaptureAndBrokenFramesAreSaidOnce)
{
    struct Case {
        const char* device;
        const char* line; // said once
        bool picture;     // the pattern reaches the screen
    };
    const Case cases[] = {
        {"testpattern:dialogs", "webcam: no one to answer the driver's dialogs; not shown\n", true},
        {"testpattern:short", "webcam: testpattern: a frame of 57599 bytes is shorter than its format's 57600; dropped",
         false},
    };
    for (const Case& c : cases) {
        play(c.device, 3);
        EXPECT_EQ(count(result.out, c.line), 1u) << result.out;
        EXPECT_EQ(result.out.find(" dialog\n"), std::string::npos) << result.out;
        ASSERT_EQ(images.size(), 3u) << c.device;
        EXPECT_EQ(allBlack(images[2]), !c.picture) << c.device;
    }
}

TEST_F(WebcamRun, ASecondLoadDuringTheShowDestroysTheHostWindowAndEndsTheShow)
{
    // The event at 0.03 loads again at the start of frame 3: the first host
    // window goes, its quit message ends the run after that frame.
    play("testpattern", 20, "<event time=\"0.03\"><load/></event>\n");
    EXPECT_EQ(images.size(), 4u);
    EXPECT_EQ(count(result.out, "capture setup"), 2u) << result.out;
}

TEST(WebcamRunFontcool, ATextureLookupAfterLoadFindsTheLivePicture)
{
    TempDir dir;
    // Each webcam update leaves its texture bound, so a second webcam whose
    // driver only sends frames of the wrong size leaves a black one bound:
    // text that shows the pattern bound the first "webcamtex" itself.
    // The glyphs carry no texture coordinates, so every letter takes the
    // colour at (0, 0): with linear filtering and repeat wrap, the mean of
    // the pattern's four corners (white, black and the blue strip twice).
    writeDataFile("script.txt", R"(<demo name="fc" width="192" height="96">
<loadplugin file="lumafold.dll"/><loadplugin file="irisloom.dll"/>
<add type="webcam" name="cam"/><cam device="testpattern"/>
<add type="webcam" name="dark"/><dark device="testpattern:size=80x60"/>
<add type="clear" name="bg"/>
<add type="fontcool" name="txt"/>
<txt basefont="DejaVu Sans" numtexts="1"><text num="0" active="1" string="HH" tra="-1.1,-1,-3"/></txt>
<draworder effect="cam" effect="dark" effect="bg" effect="txt"/>
<event time="0"><txt texture="webcamtex"/></event>
<create/><load/><run/></demo>
)");
    const PlayerResult r = runPlayer("--capture cap --fps 100 --frames 2");
    ASSERT_EQ(r.status, 0) << r.out;
    const Image img = readPng(frameName("cap", 1));
    ASSERT_EQ(img.width, 192);
    long ink = 0, red = 0, green = 0, blue = 0;
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x) {
            const Pixel p = img.at(x, y);
            if (p[0] + p[1] + p[2] < 30) continue;
            ++ink;
            red += p[0];
            green += p[1];
            blue += p[2];
        }
    ASSERT_GT(ink, 200) << "the text was drawn";
    EXPECT_GT(blue, 2 * red);
    EXPECT_GT(blue, 2 * green);
}

} // namespace
