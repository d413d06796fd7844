// The parts of capture that need neither GL nor a player run: which names
// make a video, finding and judging ffmpeg, the words of --ffmpeg-args, the
// Windows command line handed to a child, frames turned into RGB and PNG
// (flipped, reordered, odd sizes padded), and the encoding queue.
#include "platform/process.h"
#include "player/capture_png_sink.h"
#include "player/capture_queue.h"
#include "player/ffmpeg_tool.h"
#include "test_util.h"

#include <gtest/gtest.h>
#include <png.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

TEST(VideoCapture, ContainerComesFromTheExtensionInAnyCase)
{
    const std::pair<const char*, eVideoContainer> cases[] = {
        {"show.mp4", eVideoContainer::mp4},  {"a/b/SHOW.MKV", eVideoContainer::mkv},
        {"x.Mov", eVideoContainer::mov},     {"clip.webm", eVideoContainer::webm},
        {"frames", eVideoContainer::none},   {"mp4", eVideoContainer::none},
        {"show.mp4/", eVideoContainer::none}, {"show.mp4.d", eVideoContainer::none},
    };
    for (const auto& c : cases) EXPECT_EQ(videoContainerOf(c.first), c.second) << c.first;
}

TEST(VideoCapture, FfmpegVersionLine)
{
    const std::pair<const char*, int> cases[] = {
        {"ffmpeg version 5.1.9-0+deb12u1 Copyright (c) 2000-2026", 5},
        {"ffmpeg version n6.0 Copyright", 6},
        {"ffmpeg version 3.4.11 Copyright", 3},
        {"ffmpeg version N-112345-gabcdef Copyright", 9999},
        {"ffmpeg version git-2023-01-01-abc", 9999},
        {"ffmpeg version 99999999999999999999", 0},
        {"some banner\nffmpeg version 7.0.1\n", 7},
        {"avconv version 12", 0},
        {"", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(ffmpegMajorVersion(c.first), c.second) << c.first;
}

TEST(VideoCapture, FfmpegArgumentsSplitAtBlanksOutsideQuotes)
{
    struct Case {
        const char* text;
        bool ok;
        std::vector<std::string> words;
    };
    const Case cases[] = {
        {"-crf 14 -preset slow", true, {"-crf", "14", "-preset", "slow"}},
        {"  -vf  \"scale=iw*2:ih*2, unsharp\" ", true, {"-vf", "scale=iw*2:ih*2, unsharp"}},
        {"-metadata 'title=My show' -x''", true, {"-metadata", "title=My show", "-x"}},
        {"''", true, {""}},
        {"", true, {}},
        {"-vf 'unclosed", false, {"-vf"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> words;
        EXPECT_EQ(splitArguments(c.text, words), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(words, c.words) << c.text;
        }
    }
}

TEST(VideoCapture, WindowsCommandLineQuotesAsTheCLibrarySplits)
{
    struct Case {
        std::vector<std::string> args;
        const char* line;
    };
    const Case cases[] = {
        {{"C:\\ffmpeg\\ffmpeg.exe", "-i", "-"}, "C:\\ffmpeg\\ffmpeg.exe -i -"},
        {{"C:\\Program Files\\ff.exe", "out file.mp4"}, "\"C:\\Program Files\\ff.exe\" \"out file.mp4\""},
        {{"a", ""}, "a \"\""},
        {{"a", "say \"hi\""}, "a \"say \\\"hi\\\"\""},
        {{"a", "dir\\ with\\"}, "a \"dir\\ with\\\\\""},
        {{"a", "x\\\"y"}, "a \"x\\\\\\\"y\""},
        {{"a", "back\\slash"}, "a back\\slash"},
    };
    for (const Case& c : cases) EXPECT_EQ(platform::windowsCommandLine(c.args), c.line);
}

#ifndef _WIN32
// The search order: the option, the variable, the player's folder, the
// search path; a program named on purpose that is not there is an error,
// not a reason to take another one.
TEST(VideoCapture, FfmpegIsLookedForInOrder)
{
    kxtest::TempDir dir;
    const std::string here = fs::current_path().string();
    for (const char* folder : {"opt", "env", "beside", "path1", "path2", "nothing"}) fs::create_directories(folder);
    for (const char* program : {"opt/ff", "env/ff", "beside/ffmpeg", "path2/ffmpeg"}) {
        kxtest::writeFile(program, "#!/bin/sh\n");
        fs::permissions(program, fs::perms::owner_all);
    }
    kxtest::writeFile("path1/ffmpeg", "not executable");
    const std::string path = here + "/path1::" + here + "/path2";
    struct Case {
        sFfmpegSearch search;
        std::string found;   // relative to here; empty: nothing
        std::string problem; // a part of the message
    };
    const Case cases[] = {
        {{here + "/opt/ff", here + "/env/ff", here + "/beside", path}, "opt/ff", ""},
        {{"", here + "/env/ff", here + "/beside", path}, "env/ff", ""},
        {{"", "", here + "/beside", path}, "beside/ffmpeg", ""},
        {{"", "", here + "/nothing", path}, "path2/ffmpeg", ""},
        {{here + "/opt/none", here + "/env/ff", here + "/beside", path}, "", "opt/none: there is no program there"},
        {{"", here + "/env", here + "/beside", path}, "", "KESTRELUX_FFMPEG=" + here + "/env: there is no program"},
        {{"", "", here + "/nothing", here + "/path1"}, "", "apt-get install ffmpeg"},
    };
    for (const Case& c : cases) {
        std::string problem;
        const std::string found = locateFfmpeg(c.search, problem);
        EXPECT_EQ(found, c.found.empty() ? "" : here + "/" + c.found) << c.search.option << c.search.environment;
        if (c.problem.empty()) {
            EXPECT_EQ(problem, "");
        } else {
            EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
        }
    }
}
#endif

// A 3 x 2 frame as read back (bottom row first): BGRX and RGB layouts of the
// same picture, top row red green blue, bottom row white black grey.
sCaptureFrame smallFrame(bool rgb)
{
    sCaptureFrame f;
    f.width = 3;
    f.height = 2;
    f.rgb = rgb;
    const unsigned char bottom[3][3] = {{255, 255, 255}, {0, 0, 0}, {128, 128, 128}};
    const unsigned char top[3][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    for (const auto* row : {bottom, top})
        for (int x = 0; x < 3; ++x) {
            if (rgb) {
                f.pixels.insert(f.pixels.end(), row[x], row[x] + 3);
            } else {
                f.pixels.insert(f.pixels.end(), {row[x][2], row[x][1], row[x][0], 0x55});
            }
        }
    return f;
}

const std::vector<unsigned char> kTopFirstRgb = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255, 0, 0, 0, 128, 128, 128};

TEST(CaptureFrame, ConvertedTopFirstInRgbAndPaddedByTheLastRowAndColumn)
{
    for (const bool rgb : {false, true}) {
        SCOPED_TRACE(rgb ? "RGB" : "BGRX");
        const sCaptureFrame f = smallFrame(rgb);
        std::vector<unsigned char> out(3 * 2 * 3);
        frameToRgb(f, 3, 2, out.data());
        EXPECT_EQ(out, kTopFirstRgb);

        // 4 x 3: the last column and row repeat.
        std::vector<unsigned char> padded(4 * 3 * 3);
        frameToRgb(f, 4, 3, padded.data());
        const std::vector<unsigned char> expected = {255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 255,
                                                     255, 255, 255, 0, 0, 0, 128, 128, 128, 128, 128, 128,
                                                     255, 255, 255, 0, 0, 0, 128, 128, 128, 128, 128, 128};
        EXPECT_EQ(padded, expected);

        // 2 x 1: cut at the right and the bottom.
        std::vector<unsigned char> cut(2 * 1 * 3);
        frameToRgb(f, 2, 1, cut.data());
        EXPECT_EQ(cut, (std::vector<unsigned char>{255, 0, 0, 0, 255, 0}));
    }
}

TEST(CaptureFrame, PngHoldsThePictureTopFirstEitherWay)
{
    for (const bool rgb : {false, true})
        for (const bool adaptive : {false, true}) {
            SCOPED_TRACE(std::string(rgb ? "RGB" : "BGRX") + (adaptive ? " adaptive" : " fast"));
            std::vector<unsigned char> bytes;
            ASSERT_TRUE(encodeFramePng(smallFrame(rgb), bytes, adaptive));
            png_image image{};
            image.version = PNG_IMAGE_VERSION;
            ASSERT_TRUE(png_image_begin_read_from_memory(&image, bytes.data(), bytes.size()));
            image.format = PNG_FORMAT_RGB;
            std::vector<unsigned char> decoded(PNG_IMAGE_SIZE(image));
            ASSERT_TRUE(png_image_finish_read(&image, nullptr, decoded.data(), 0, nullptr));
            EXPECT_EQ(image.width, 3u);
            EXPECT_EQ(image.height, 2u);
            EXPECT_EQ(decoded, kTopFirstRgb);
        }
    // A frame shorter than its size says is refused.
    sCaptureFrame broken = smallFrame(false);
    broken.pixels.resize(10);
    std::vector<unsigned char> bytes;
    EXPECT_FALSE(encodeFramePng(broken, bytes, false));
}

TEST(CaptureQueue, OneWorkerKeepsTheOrderAndAFullQueueWaits)
{
    std::vector<int> order;
    std::atomic<bool> release{false};
    double waited = 0;
    {
        cCaptureQueue queue(1, 2);
        queue.push([&] {
            while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            order.push_back(0);
        });
        queue.push([&] { order.push_back(1); });
        std::thread releaser([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            release = true;
        });
        // Both slots are taken: this waits until the first job has run.
        waited = queue.push([&] { order.push_back(2); });
        releaser.join();
        queue.drain();
        EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
        queue.push([&] { order.push_back(3); });
    } // the destructor runs what is left
    EXPECT_GT(waited, 0.02);
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3}));
}

} // namespace
