// Capture speed on the bundled show: plays a copy of data/ through the real
// player (headless unless SDL_VIDEODRIVER says otherwise), 640 x 480 at 30
// frames a second for 20 seconds (or the first argument's seconds), three
// ways in one run: the serial PNG path (--capture-serial: each frame read
// back, compressed and written in turn on the frame loop's thread), the PNG
// path that overlaps those steps, and a video file through ffmpeg. Prints,
// for each, seconds of show per second of wall time (start-up and loading
// included), its ratio to the serial path, and where the time went as the
// player logged it: rendering, reading back, encoding (PNG compression
// summed over the workers, or ffmpeg's processor time) and writing (files,
// or the pipe), and how long the frame loop waited for a full queue.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <unistd.h>

#ifndef KX_PLAYER_PATH
#error "KX_PLAYER_PATH must name the player"
#endif
#ifndef KX_BUNDLED_DATA_DIR
#error "KX_BUNDLED_DATA_DIR must name the bundled show's data folder"
#endif

namespace fs = std::filesystem;

namespace {

struct sRun {
    const char* name;
    const char* options;
    double wall = 0;
    std::string times; // the player's breakdown line
};

std::string readAll(const std::string& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace

int main(int argc, char** argv)
{
    const double seconds = argc > 1 ? std::atof(argv[1]) : 20.0;
    if (!(seconds > 0 && seconds <= 600)) {
        std::fprintf(stderr, "usage: kx_capture_bench [seconds of show, default 20]\n");
        return 2;
    }
    std::error_code error;
    const fs::path work = fs::temp_directory_path() / ("kx_capture_bench_" + std::to_string(::getpid()));
    fs::create_directories(work, error);
    fs::copy(KX_BUNDLED_DATA_DIR, work / "data", fs::copy_options::recursive, error);
    if (error) {
        std::fprintf(stderr, "cannot copy %s: %s\n", KX_BUNDLED_DATA_DIR, error.message().c_str());
        return 1;
    }
    fs::current_path(work);

    sRun runs[] = {{"PNG, serial (as before)", "--capture serial --capture-serial", 0, {}},
                   {"PNG, overlapped", "--capture png", 0, {}},
                   {"MP4 through ffmpeg", "--capture show.mp4", 0, {}}};
    char length[64];
    std::snprintf(length, sizeof length, " --fps 30 --seconds %g", seconds);
    const std::regex breakdown(R"(capture: \d+ frames; (.*))");
    for (sRun& run : runs) {
        const std::string command = std::string("SDL_VIDEODRIVER=${SDL_VIDEODRIVER:-offscreen} SDL_AUDIODRIVER=dummy ") +
                                    KX_PLAYER_PATH + " " + run.options + length + " >output.txt 2>&1";
        const auto start = std::chrono::steady_clock::now();
        const int status = std::system(command.c_str());
        run.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::smatch m;
        const std::string log = readAll("log.txt");
        if (status != 0 || !std::regex_search(log, m, breakdown)) {
            std::fprintf(stderr, "%s failed:\n%s", run.name, readAll("output.txt").c_str());
            return 1;
        }
        run.times = m[1].str();
        while (!run.times.empty() && (run.times.back() == '\r' || run.times.back() == '\n')) run.times.pop_back();
    }
    std::printf("The bundled show, 640 x 480, 30 fps, %g s (%d frames):\n\n", seconds, int(seconds * 30 + 0.5));
    std::printf("| path | wall s | show s per wall s | vs serial | where the time went |\n|---|---|---|---|---|\n");
    for (const sRun& run : runs)
        std::printf("| %s | %.1f | %.2f | %.2f x | %s |\n", run.name, run.wall, seconds / run.wall,
                    runs[0].wall / run.wall, run.times.c_str());
    std::printf("\nMP4: %.1f MB\n", double(fs::file_size("show.mp4", error)) / 1e6);
    fs::current_path(work.parent_path());
    fs::remove_all(work, error);
    return 0;
}
