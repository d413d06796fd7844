// Reload on save, timed on the bundled show: plays a copy of data/ in the
// real player (headless unless SDL_VIDEODRIVER says otherwise), then changes
// the background colour in script.txt a number of times (10 by default, or
// the first argument) and measures, for each change, the time from writing
// the file to the end of the first frame of the rebuilt show, which the
// player logs. No media file changes, so textures, pictures, glyphs and the
// playing tune are all kept. Prints every round, the median and the
// median's ratio to one frame (14 ms, the player's pacing), and the part of
// it the player spent rebuilding.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#ifndef KX_PLAYER_PATH
#error "KX_PLAYER_PATH must name the player"
#endif
#ifndef KX_BUNDLED_DATA_DIR
#error "KX_BUNDLED_DATA_DIR must name the bundled show's data folder"
#endif

namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const fs::path& file, const std::string& text)
{
    std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
}

// Milliseconds since midnight UTC, as the log's time field counts them.
double utcMsOfDay()
{
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const long long ms = std::chrono::duration_cast<std::chrono::microseconds>(now).count();
    return double(ms % (24LL * 3600 * 1000000)) / 1000.0;
}

// The log lines holding `text`, with the time of each in ms of the day.
std::vector<std::pair<double, std::string>> logLines(const std::string& log, const std::string& text)
{
    std::vector<std::pair<double, std::string>> found;
    static const std::regex line(R"(\[(\d\d):(\d\d):(\d\d)\.(\d\d\d)\][^\n]*)");
    for (std::sregex_iterator it(log.begin(), log.end(), line), end; it != end; ++it) {
        const std::string whole = (*it)[0];
        if (whole.find(text) == std::string::npos) continue;
        const double ms = ((std::stoi((*it)[1]) * 60 + std::stoi((*it)[2])) * 60 + std::stoi((*it)[3])) * 1000.0 +
                          std::stoi((*it)[4]);
        found.emplace_back(ms, whole);
    }
    return found;
}

bool waitForLines(const fs::path& log, const std::string& text, size_t count, pid_t player)
{
    for (int i = 0; i < 3000; ++i) {
        if (logLines(readFile(log), text).size() >= count) return true;
        if (waitpid(player, nullptr, WNOHANG) == player) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const fs::path folder = fs::temp_directory_path() / ("kx_reload_bench_" + std::to_string(getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    fs::copy(KX_BUNDLED_DATA_DIR, folder / "data", fs::copy_options::recursive);
    const fs::path script = folder / "data" / "script.txt";
    const fs::path log = folder / "log.txt";
    const std::string original = readFile(script);
    const std::string colour = "color=\"ff0a0c1e\"";
    const size_t at = original.find(colour);
    if (at == std::string::npos) {
        std::fprintf(stderr, "reload_bench: the bundled show's background colour was not found\n");
        return 1;
    }

    const pid_t player = fork();
    if (player == 0) {
        if (chdir(folder.c_str()) != 0) _exit(127);
        setenv("SDL_VIDEODRIVER", getenv("SDL_VIDEODRIVER") ? getenv("SDL_VIDEODRIVER") : "offscreen", 1);
        setenv("SDL_AUDIODRIVER", getenv("SDL_AUDIODRIVER") ? getenv("SDL_AUDIODRIVER") : "dummy", 1);
        if (!freopen("/dev/null", "w", stdout) || !freopen("/dev/null", "w", stderr)) _exit(127);
        execl(KX_PLAYER_PATH, KX_PLAYER_PATH, static_cast<char*>(nullptr));
        _exit(127);
    }
    // Playing, and past the first second of the show.
    if (!waitForLines(log, "[run]", 1, player)) {
        std::fprintf(stderr, "reload_bench: the show did not start\n");
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));

    std::vector<double> total, rebuild;
    for (int r = 0; r < rounds; ++r) {
        std::string changed = original;
        char text[32];
        std::snprintf(text, sizeof text, "color=\"ff%02x0c1e\"", (r * 37 + 11) & 0xFF);
        changed.replace(at, colour.size(), text);
        const double written = utcMsOfDay();
        writeFile(script, changed);
        if (!waitForLines(log, "reload: first frame of the new show", size_t(r) + 1, player)) {
            std::fprintf(stderr, "reload_bench: no reload after change %d\n", r + 1);
            break;
        }
        const std::string now = readFile(log);
        const double shown = logLines(now, "reload: first frame of the new show")[size_t(r)].first;
        const std::string built = logLines(now, "show rebuilt at")[size_t(r)].second;
        std::smatch m;
        const double rebuiltMs = std::regex_search(built, m, std::regex(R"(in (\d+) ms)")) ? std::stod(m[1]) : 0.0;
        total.push_back(shown - written);
        rebuild.push_back(rebuiltMs);
        std::printf("change %2d: first frame of the new show after %6.1f ms (rebuilt in %3.0f ms)\n", r + 1,
                    shown - written, rebuiltMs);
        // Apart from the next change, as a person's saves are.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    kill(player, SIGTERM);
    waitpid(player, nullptr, 0);
    fs::remove_all(folder);
    if (total.empty()) return 1;
    const double frame = 14.0;
    std::printf("reload of the bundled show, %zu changes: median %.1f ms from the change to the first frame "
                "of the new show (%.1f frames of %.0f ms), of which %.0f ms rebuilding; worst %.1f ms\n",
                total.size(), median(total), median(total) / frame, frame, median(rebuild),
                *std::max_element(total.begin(), total.end()));
    return 0;
}
