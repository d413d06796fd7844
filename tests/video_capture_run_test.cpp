// Video capture in the real player: "--capture NAME.mp4" (and .mkv, .mov,
// .webm) writes one video file through ffmpeg, with the frames a PNG capture
// writes and sound of the same length; without a usable ffmpeg, or when it
// fails, nothing is left behind and the exit status says so. The pipe to the
// encoder is also checked with kx_encoder_standin, which reports what it
// received (and which runs where ffmpeg cannot).
#include "player_runner.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#ifndef KX_ENCODER_STANDIN_PATH
#error "KX_ENCODER_STANDIN_PATH must name kx_encoder_standin"
#endif

namespace {

using namespace kxtest;
namespace fs = std::filesystem;

// 63 x 47: odd both ways. Red, green from 0.15 s, blue from 0.45 s.
const char* kScript = R"(<demo name="v" width="63" height="47">
    <loadplugin file="lumafold.dll"/>
    <add type="clear" name="bg"/><bg color="ffff0000"/>
    <draworder effect="bg"/>
    <event time="0.15"><bg color="ff00ff00"/></event>
    <event time="0.45"><bg color="ff0000ff"/></event>
    <create/><load/><run/>
</demo>)";

// The encoder the stand-in cases name; the Windows suite gives its own.
std::string standin()
{
    const char* given = std::getenv("KX_ENCODER_STANDIN");
    return given && *given ? given : KX_ENCODER_STANDIN_PATH;
}

// log.txt's last line is "Show ended: <how>."
void expectLogEnds(const std::string& how)
{
    const std::string log = readFile("log.txt"), last = "Show ended: " + how + ".\r\n";
    EXPECT_TRUE(log.size() >= last.size() && log.compare(log.size() - last.size(), last.size(), last) == 0) << log;
}

// Files whose names start with `prefix` in the current folder.
int filesStartingWith(const std::string& prefix)
{
    int n = 0;
    for (const auto& entry : fs::directory_iterator("."))
        if (entry.path().filename().string().rfind(prefix, 0) == 0) ++n;
    return n;
}

class VideoCaptureRun : public ::testing::Test {
protected:
    TempDir dir;
};

// Every container: its codecs, every frame, sound as long as the picture,
// and the frames the PNG capture wrote, within what lossy coding changes.
TEST_F(VideoCaptureRun, EveryContainerHoldsThePngCapturesFramesAndSoundOfTheSameLength)
{
    writeDataFile("script.txt", kScript);
    PlayerResult r = runPlayer("--capture png --fps 10 --frames 8");
    ASSERT_EQ(r.status, 0) << r.out;

    struct Case {
        const char* name;
        const char* video;
        const char* audio;
    };
    const Case cases[] = {{"show.mp4", "h264", "aac"},
                          {"show.MKV", "h264", "aac"},
                          {"show.mov", "h264", "aac"},
                          {"show.webm", "vp9", "opus"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        r = runPlayer(std::string("--capture ") + c.name + " --fps 10 --frames 8");
        ASSERT_EQ(r.status, 0) << r.out;
        EXPECT_NE(r.out.find("capture: 8 of 8 frames"), std::string::npos) << r.out;
        // Nothing but the video itself is left.
        EXPECT_EQ(filesStartingWith(c.name), 1);

        const StreamInfo v = probeStream(c.name, "v:0"), a = probeStream(c.name, "a:0");
        EXPECT_EQ(v.codec, c.video);
        EXPECT_EQ(v.pixelFormat, "yuv420p");
        // Odd sizes grow by the repeated last row and column.
        EXPECT_EQ(v.width, 64);
        EXPECT_EQ(v.height, 48);
        EXPECT_EQ(v.frames, 8);
        EXPECT_EQ(a.codec, c.audio);
        EXPECT_NEAR(a.duration, v.frames / 10.0, 0.1); // within one frame

        // Frames 1 (red), 3 (green) and 7 (blue) against the PNG frames, and
        // against each other, so a frame out of place fails.
        for (const int k : {1, 3, 7}) {
            const Image decoded = decodeVideoFrame(c.name, k, "decoded.png");
            ASSERT_EQ(decoded.width, 64) << "frame " << k;
            for (const int other : {1, 3, 7}) {
                const Image png = readPng(frameName("png", other));
                ASSERT_EQ(png.width, 63);
                double sum = 0, worst = 0;
                for (int y = 0; y < 47; ++y)
                    for (int x = 0; x < 63; ++x)
                        for (int ch = 0; ch < 3; ++ch) {
                            const double d = std::abs(decoded.at(x, y)[size_t(ch)] - png.at(x, y)[size_t(ch)]);
                            sum += d;
                            worst = std::max(worst, d);
                        }
                const double mean = sum / (63 * 47 * 3);
                if (other == k) {
                    EXPECT_LT(mean, 3.0) << "frame " << k;
                    EXPECT_LT(worst, 24.0) << "frame " << k;
                } else {
                    EXPECT_GT(mean, 40.0) << "frame " << k << " against " << other;
                }
            }
        }
    }
}

// The pipe: every frame arrives whole and in order, the odd size made even,
// and the sound is exactly frames / fps long; a word of --ffmpeg-args with
// a blank and a final backslash arrives as one word, unchanged.
TEST_F(VideoCaptureRun, PipeCarriesEveryFrameAndTheSoundToTheEncoder)
{
    writeDataFile("script.txt", kScript);
    const PlayerResult r = runPlayer("--ffmpeg " + quoted(standin()) +
                                     " --capture out/show.mkv --fps 10 --frames 7"
                                     " --ffmpeg-args '-metadata \"title=Kestrel show C:\\\"'");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(readFile("out/show.mkv"), "picture 64x48 frames 7 rest 0\n"
                                        "metadata title=Kestrel show C:\\\n"
                                        "frame 0 FF0000\nframe 1 FF0000\nframe 2 00FF00\nframe 3 00FF00\n"
                                        "frame 4 00FF00\nframe 5 0000FF\nframe 6 0000FF\n"
                                        "sound 30870\n");
    std::string left;
    for (const auto& entry : fs::directory_iterator("out")) left += entry.path().filename().string() + " ";
    EXPECT_EQ(left, "show.mkv ") << "only the video is left";
}

// ffmpeg failing mid-way, with a message or crashing without one: the
// player says what happened, the exit status is not 0, the capture stops
// early and no file is left, finished or not.
TEST_F(VideoCaptureRun, EncoderFailingMidwayIsShownAndLeavesNothing)
{
    writeDataFile("script.txt", kScript);
    struct Case {
        const char* env;
        const char* message;
    };
    const Case cases[] = {
        {"KX_STANDIN_FAIL_AFTER=3", "kestrelux: ffmpeg failed while encoding the picture (exit status 3); it said:\n"
                                    "  stand-in encoder: giving up after 3 frames\n"},
        {"KX_STANDIN_FAIL_AFTER=3 KX_STANDIN_CRASH=1",
         "kestrelux: ffmpeg failed while encoding the picture (it crashed or was ended from outside); it said "
         "nothing\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.env);
        const PlayerResult r =
            runPlayer("--ffmpeg " + quoted(standin()) + " --capture show.mp4 --fps 10 --frames 400", c.env);
        EXPECT_NE(r.status, 0) << r.out;
        EXPECT_NE(r.out.find(c.message), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("400 of 400"), std::string::npos) << r.out;
        EXPECT_EQ(filesStartingWith("show.mp4"), 0);
        // log.txt says it too.
        EXPECT_NE(readFile("log.txt").find("ffmpeg failed while encoding the picture ("), std::string::npos);
        expectLogEnds("the capture failed");
    }
}

// The encoder receives the very pixels a PNG capture writes, top row first,
// an odd size padded with copies of the last column and row. A moving
// wallpaper of an 8 x 8 gradient: no two rows or columns alike.
TEST_F(VideoCaptureRun, EncoderReceivesThePngCapturesPixels)
{
    std::string tga(18, '\0');
    tga[2] = 2;
    tga[12] = tga[14] = 8;
    tga[16] = 24;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) tga += {char(x * y * 4), char(y * 32), char(x * 32)};
    writeDataFile("textures/gradient.tga", tga);
    writeDataFile("script.txt", R"(<demo name="v" width="63" height="47">
        <loadplugin file="lumafold.dll"/>
        <add type="clear" name="bg"/><bg color="ff204060"/>
        <add type="picture" name="pic"/><pic filename="gradient.tga" trainc="0.02,0.01,0"/>
        <draworder effect="bg" effect="pic"/>
        <create/><load/><run/>
    </demo>)");
    ASSERT_EQ(runPlayer("--capture png --fps 10 --frames 4").status, 0);
    const PlayerResult r = runPlayer("--ffmpeg " + quoted(standin()) + " --capture show.mkv --fps 10 --frames 4",
                                     "KX_STANDIN_RAW=raw.rgb");
    ASSERT_EQ(r.status, 0) << r.out;
    const std::string raw = readFile("raw.rgb");
    const size_t frameBytes = 64 * 48 * 3;
    ASSERT_EQ(raw.size(), 4 * frameBytes);
    for (int k = 0; k < 4; ++k) {
        const Image png = readPng(frameName("png", k));
        ASSERT_EQ(png.width, 63);
        int differ = 0;
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64; ++x)
                for (int ch = 0; ch < 3; ++ch) {
                    const unsigned char sent = uint8_t(raw[size_t(k) * frameBytes + size_t(y * 64 + x) * 3 + ch]);
                    differ += sent != png.at(std::min(x, 62), std::min(y, 46))[size_t(ch)];
                }
        EXPECT_EQ(differ, 0) << "frame " << k;
    }
}

#ifndef _WIN32
// Without a usable ffmpeg: a message that says what to do, a failed exit
// and no file, before anything is rendered.
TEST_F(VideoCaptureRun, WithoutAUsableFfmpegNothingIsWritten)
{
    writeDataFile("script.txt", kScript);
    fs::create_directories("empty");
    writeFile("old", "#!/bin/sh\necho 'ffmpeg version 3.4.11 Copyright'\n");
    writeFile("bare", "#!/bin/sh\ncase \"$*\" in *-version*) echo 'ffmpeg version 5.1';; *) echo ' A..... aac';; esac\n");
    writeFile("notes.txt", "not a program");
    for (const char* f : {"old", "bare"}) fs::permissions(f, fs::perms::owner_all);
    const std::string here = fs::current_path().string();

    struct Case {
        const char* what;
        std::string settings; // environment and options
        std::string message;
    };
    const Case cases[] = {
        {"nowhere", "PATH=" + here + "/empty", "ffmpeg, which was not found beside the player nor on the search "
                                               "path: install ffmpeg (on Debian and Ubuntu: apt-get install ffmpeg)"},
        {"option", "--ffmpeg " + here + "/missing", "--ffmpeg " + here + "/missing: there is no program there"},
        {"variable", "KESTRELUX_FFMPEG=" + here + "/notes.txt", "/notes.txt: there is no program there"},
        {"too old", "--ffmpeg " + here + "/old", "is ffmpeg 3, too old for capture (it needs ffmpeg 4 or newer)"},
        {"no H.264", "--ffmpeg " + here + "/bare", "has no H.264 encoder (libx264)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const bool option = c.settings.rfind("--", 0) == 0;
        const std::string cmd = "env -u KESTRELUX_FFMPEG ASAN_OPTIONS=detect_leaks=0 SDL_VIDEODRIVER=offscreen "
                                "SDL_AUDIODRIVER=dummy " +
                                (option ? std::string() : c.settings) + " " + KX_PLAYER_PATH + " " +
                                (option ? c.settings : std::string()) + " --capture show.mp4 --fps 10 --frames 3 2>&1";
        std::string out;
        FILE* p = popen(cmd.c_str(), "r");
        ASSERT_TRUE(p);
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        const int status = pclose(p);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 0) << out;
        EXPECT_NE(out.find(c.message), std::string::npos) << out;
        EXPECT_EQ(out.find("capture: frame"), std::string::npos) << out;
        EXPECT_EQ(filesStartingWith("show.mp4"), 0);
        EXPECT_NE(readFile("log.txt").find(c.message), std::string::npos);
        expectLogEnds("the capture could not be started");
    }
}
#endif

} // namespace
