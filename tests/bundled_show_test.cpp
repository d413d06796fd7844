// The bundled show (data/script.txt and everything it uses), played from a
// copy of data/ in capture mode: it must end by itself at its exit event;
// selected frames must match the reference colours in
// tests/golden/bundled_show.txt; its sound track must be exactly as long as
// the frames and carry the tune, with the echo and rotation switched by the
// show's events. A second run without the webcam library, from a folder
// named "Démo Ω", must play on.
//
// The references are the mean colours of an 8 x 6 grid of 80 x 80 pixel
// cells of each selected frame, so that small differences between software
// renderers, font versions or JPEG rounding pass while a missing picture, a
// wrong colour, a lost text or a show out of step fail. After a deliberate
// change to the show, write new references with
//   KX_UPDATE_GOLDEN=1 ctest -R BundledShow
// and look at the frames before committing them.
#include "player_runner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#ifndef KX_BUNDLED_DATA_DIR
#error "KX_BUNDLED_DATA_DIR must name the bundled show's data folder"
#endif
#ifndef KX_GOLDEN_DIR
#error "KX_GOLDEN_DIR must name the folder of the reference files"
#endif
// The largest difference allowed in one cell's channel. The Windows suite
// under Wine allows more: Wine's font engine lays the text out with slightly
// other outlines and advances, which move letters across cell borders.
#ifndef KX_GOLDEN_CELL_TOLERANCE
#define KX_GOLDEN_CELL_TOLERANCE 16.0
#endif

namespace {

using namespace kxtest;
namespace fs = std::filesystem;

constexpr int kFps = 10;
constexpr int kWidth = 640, kHeight = 480;
constexpr int kCols = 8, kRows = 6, kCell = 80;
constexpr int kRate = 44100;
constexpr int kFramesPerVideoFrame = kRate / kFps;

// Moments away from flashes and cuts, one or two per part of the show.
struct Moment {
    int frame;
    const char* what;
};
const Moment kMoments[] = {
    {50, "the title over the plasma"},
    {200, "the emblem in flight, with trails and bouncing text"},
    {280, "the music made visible by the shader"},
    {333, "the webcam test pattern with swaying text"},
    {425, "the woven wallpaper, the waveform and plain text"},
    {500, "the landscape through the moving camera and the scroller"},
    {550, "the landscape and the pulsing title"},
    {598, "faded to black"},
};

std::string goldenFile() { return std::string(KX_GOLDEN_DIR) + "/bundled_show.txt"; }

// The player with a time limit fit for a whole show under the sanitizers.
PlayerResult runShow(const std::string& args, int limitSeconds) { return runPlayer(args, "", limitSeconds); }

// Copies the bundled data/ into the current (temporary) folder.
void copyBundledData()
{
    std::error_code ec;
    fs::remove_all("data", ec);
    fs::copy(KX_BUNDLED_DATA_DIR, "data", fs::copy_options::recursive, ec);
    ASSERT_FALSE(ec) << "cannot copy " << KX_BUNDLED_DATA_DIR << ": " << ec.message();
    ASSERT_TRUE(fileExists("data/script.txt"));
}

int countFrames(const std::string& folder)
{
    int n = 0;
    while (fileExists(frameName(folder, n))) ++n;
    return n;
}

// Mean colour of each cell, cells row by row from the top left, r g b each.
std::vector<double> cellMeans(const Image& img)
{
    std::vector<double> out;
    for (int row = 0; row < kRows; ++row)
        for (int col = 0; col < kCols; ++col) {
            double sum[3] = {0, 0, 0};
            for (int y = row * kCell; y < (row + 1) * kCell; ++y)
                for (int x = col * kCell; x < (col + 1) * kCell; ++x) {
                    const size_t i = (size_t(y) * size_t(img.width) + size_t(x)) * 3;
                    for (int c = 0; c < 3; ++c) sum[c] += img.rgb[i + size_t(c)];
                }
            for (double s : sum) out.push_back(s / (kCell * kCell));
        }
    return out;
}

// frame index -> cell means, from the reference file.
std::vector<std::pair<int, std::vector<double>>> readGolden(const std::string& file)
{
    std::vector<std::pair<int, std::vector<double>>> out;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream words(line);
        std::string first;
        words >> first;
        if (first == "frame") {
            int index = -1;
            words >> index;
            out.push_back({index, {}});
            continue;
        }
        if (out.empty()) continue;
        words.clear();
        words.str(line);
        double v;
        while (words >> v) out.back().second.push_back(v);
    }
    return out;
}

void writeGolden(const std::string& file, const std::vector<std::pair<int, std::vector<double>>>& frames)
{
    std::ofstream out(file, std::ios::trunc);
    out << "# The bundled show captured at " << kFps << " fps, " << kWidth << " x " << kHeight << ":\n"
        << "# for each frame below, the mean red, green and blue of " << kCols << " x " << kRows << " cells of "
        << kCell << " x " << kCell << " pixels,\n"
        << "# one line per row of cells from the top, cells from the left.\n"
        << "# Written by tests/bundled_show_test.cpp with KX_UPDATE_GOLDEN=1.\n";
    for (const auto& f : frames) {
        out << "frame " << f.first << "\n";
        for (int row = 0; row < kRows; ++row) {
            for (int col = 0; col < kCols; ++col) {
                const size_t at = size_t(row * kCols + col) * 3;
                char cell[64];
                std::snprintf(cell, sizeof cell, "%s%5.1f %5.1f %5.1f", col ? "   " : "", f.second[at],
                              f.second[at + 1], f.second[at + 2]);
                out << cell;
            }
            out << "\n";
        }
    }
}

// The sound track as left and right samples.
struct Track {
    uint32_t dataBytes = 0, riffBytes = 0;
    std::vector<int16_t> left, right;
};
Track readTrack(const std::string& file)
{
    const std::string b = readFile(file);
    Track t;
    if (b.size() < 44 || b.compare(0, 4, "RIFF") != 0 || b.compare(8, 4, "WAVE") != 0) return t;
    auto le32 = [&](size_t at) {
        return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 | uint32_t(uint8_t(b[at + 2])) << 16 |
               uint32_t(uint8_t(b[at + 3])) << 24;
    };
    t.riffBytes = le32(4);
    t.dataBytes = le32(40);
    for (size_t at = 44; at + 4 <= b.size(); at += 4) {
        t.left.push_back(int16_t(uint8_t(b[at]) | uint8_t(b[at + 1]) << 8));
        t.right.push_back(int16_t(uint8_t(b[at + 2]) | uint8_t(b[at + 3]) << 8));
    }
    return t;
}

double rms(const std::vector<int16_t>& x, double from, double to)
{
    const size_t a = size_t(from * kRate), b = std::min(x.size(), size_t(to * kRate));
    if (b <= a) return 0;
    double sum = 0;
    for (size_t i = a; i < b; ++i) sum += double(x[i]) * double(x[i]);
    return std::sqrt(sum / double(b - a));
}

double rmsBoth(const Track& t, double from, double to)
{
    const double l = rms(t.left, from, to), r = rms(t.right, from, to);
    return std::sqrt((l * l + r * r) / 2);
}

TEST(BundledShow, PlaysToItsEndMatchingTheReferencesWithItsTune)
{
    TempDir dir;
    copyBundledData();
    // Five seconds more than the show: it must end by itself.
    const PlayerResult r = runShow("--capture cap --fps " + std::to_string(kFps) + " --seconds 65", 900);
    ASSERT_EQ(r.status, 0) << r.out;

    // Every file the show names was found and read.
    EXPECT_EQ(r.out.find("Error: file not found"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Warning"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("error bad texture dimensions"), std::string::npos) << r.out;
    const std::string log = readFile("log.txt");
    EXPECT_NE(log.find("loadlibrary: lumafold.dll"), std::string::npos) << log;
    EXPECT_NE(log.find("loadlibrary: irisloom.dll"), std::string::npos) << log;
    EXPECT_EQ(log.find("could not find effect"), std::string::npos) << log;
    EXPECT_EQ(log.find("XML Error"), std::string::npos) << log;
    // The included file adds its events: 38 in all.
    EXPECT_NE(log.find("event37 - 60.000"), std::string::npos) << log;
    EXPECT_EQ(log.find("event38 -"), std::string::npos) << log;
    // The shader segment's program built without a word from the driver.
    EXPECT_EQ(log.find("shader pulse:"), std::string::npos) << log;
    // The performer's keys were played by the timeline, in both banks.
    const std::string keys = readFile("keylog.txt");
    EXPECT_EQ(count(keys, "<event "), 16u) << keys;
    EXPECT_NE(keys.find("<event time=\"37.5\" bank=\"1\" trigger=\"1\">"), std::string::npos) << keys;
    EXPECT_NE(keys.find("<event time=\"48.8\" bank=\"0\" trigger=\"2\">"), std::string::npos) << keys;

    // The exit event at 60 s ends the show in the frame that starts there.
    const int frames = countFrames("cap");
    EXPECT_GE(frames, 60 * kFps) << r.out;
    EXPECT_LE(frames, 60 * kFps + 2) << r.out;

    // The frames.
    std::vector<std::pair<int, std::vector<double>>> got;
    for (const Moment& m : kMoments) {
        const Image img = readPng(frameName("cap", m.frame));
        ASSERT_EQ(img.width, kWidth) << "frame " << m.frame;
        ASSERT_EQ(img.height, kHeight) << "frame " << m.frame;
        got.push_back({m.frame, cellMeans(img)});
    }
    if (std::getenv("KX_UPDATE_GOLDEN")) {
        writeGolden(goldenFile(), got);
        std::printf("wrote %s\n", goldenFile().c_str());
    }
    const auto want = readGolden(goldenFile());
    ASSERT_EQ(want.size(), got.size()) << "reference frames in " << goldenFile();
    for (size_t i = 0; i < got.size(); ++i) {
        const Moment& m = kMoments[i];
        ASSERT_EQ(want[i].first, m.frame) << goldenFile();
        ASSERT_EQ(want[i].second.size(), size_t(kCols * kRows * 3)) << "frame " << m.frame;
        double worst = 0, total = 0;
        size_t worstAt = 0;
        for (size_t k = 0; k < got[i].second.size(); ++k) {
            const double d = std::fabs(got[i].second[k] - want[i].second[k]);
            total += d;
            if (d > worst) {
                worst = d;
                worstAt = k;
            }
        }
        const double mean = total / double(got[i].second.size());
        const size_t cell = worstAt / 3;
        std::printf("frame %d: largest difference %.2f, mean %.3f\n", m.frame, worst, mean);
        // No cell may be off by more than 16 levels in a channel, and the
        // frame as a whole by more than 3 on average.
        EXPECT_LE(worst, KX_GOLDEN_CELL_TOLERANCE)
            << "frame " << m.frame << " (" << m.what << "): cell column " << cell % kCols << ", row " << cell / kCols
            << ", channel "
            << "rgb"[worstAt % 3] << " is " << got[i].second[worstAt] << ", reference " << want[i].second[worstAt];
        EXPECT_LE(mean, 3.0) << "frame " << m.frame << " (" << m.what << "): mean difference " << mean;
    }

    // The sound track: exactly as long as the frames.
    const Track t = readTrack("cap/audio.wav");
    EXPECT_EQ(t.dataBytes, uint32_t(frames) * kFramesPerVideoFrame * 4);
    EXPECT_EQ(t.riffBytes, t.dataBytes + 36);
    ASSERT_EQ(t.left.size(), size_t(frames) * kFramesPerVideoFrame);

    // The tune plays from the first frame to its fade out at 58 s, and not
    // after its end.
    for (int s = 0; s < 57; ++s) {
        const double level = rmsBoth(t, s, s + 1);
        EXPECT_GT(level, 1200) << "second " << s;
        EXPECT_LT(level, 12000) << "second " << s;
    }
    EXPECT_LT(rmsBoth(t, 59.2, 60.0), 30);
    for (size_t i = 0; i < t.left.size(); ++i)
        if (std::abs(t.left[i]) == 32767 || std::abs(t.right[i]) == 32767) {
            ADD_FAILURE() << "clipped at " << double(i) / kRate << " s";
            break;
        }

    // The echo, on from 15 s to 30 s, makes the answer phrase louder than
    // the same bars three patterns later without it.
    EXPECT_GT(rmsBoth(t, 15.1, 16.8), 1.1 * rmsBoth(t, 37.6, 39.3));
    // The rotation, switched on at 22.5 s, starts with the left side silent.
    EXPECT_GT(rms(t.left, 21.5, 22.4), 0.5 * rms(t.right, 21.5, 22.4));
    EXPECT_LT(rms(t.left, 22.52, 22.6), 0.25 * rms(t.right, 22.52, 22.6));
    // Off again at 30 s.
    EXPECT_GT(rms(t.left, 30.2, 31.0), 0.5 * rms(t.right, 30.2, 31.0));
}

TEST(BundledShow, PlaysOnWithoutTheWebcamLibrary)
{
    TempDir dir;
    // From a folder whose name no single ANSI code page holds.
    fs::create_directory("Démo Ω");
    fs::current_path("Démo Ω");
    copyBundledData();
    std::string script = readFile("data/script.txt");
    const size_t at = script.find("irisloom.dll");
    ASSERT_NE(at, std::string::npos);
    script.replace(at, std::string("irisloom.dll").size(), "no-irisloom.dll");
    writeDataFile("script.txt", script);

    // Two frames a second into the webcam's part of the show.
    const PlayerResult r = runShow("--capture cap --fps 2 --seconds 34", 300);
    ASSERT_EQ(r.status, 0) << r.out;
    const std::string log = readFile("log.txt");
    EXPECT_NE(log.find("ERROR loadlibrary: no-irisloom.dll not found"), std::string::npos) << log;
    EXPECT_NE(log.find("could not find effect: cam"), std::string::npos) << log;
    EXPECT_NE(log.find("loadlibrary: lumafold.dll"), std::string::npos) << log;
    ASSERT_EQ(countFrames("cap"), 68);

    // At 30.5 s the plasma below shows where the test pattern's white bar
    // would be.
    const Image img = readPng(frameName("cap", 61));
    ASSERT_EQ(img.width, kWidth);
    const std::vector<double> cells = cellMeans(img);
    EXPECT_LT(cells[0] + cells[1] + cells[2], 3 * 200.0);
    double brightest = 0;
    for (size_t c = 0; c < cells.size(); c += 3)
        brightest = std::max(brightest, cells[c] + cells[c + 1] + cells[c + 2]);
    EXPECT_GT(brightest, 3 * 60.0) << "the plasma is not drawn";
    // The tune is unaffected.
    const Track t = readTrack("cap/audio.wav");
    EXPECT_GT(rmsBoth(t, 30.0, 33.0), 1200);
    EXPECT_EQ(t.left.size(), 68u * kRate / 2);
}

} // namespace
