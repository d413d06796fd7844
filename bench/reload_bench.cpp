// Reload on save, timed on the bundled show: plays a copy of data/ in the
// real player (headless unless SDL_VIDEODRIVER says otherwise), then changes
// the background colour in script.txt a number of times (10 by default, or
// the first argument) and measures, for each change, the time from writing
// the file to the end of the first frame of the rebuilt show, which the
// player logs. No media file changes, so textures, pictures, glyphs and the
// playing tune are all kept. Prints every round, the median and the
// median's ratio to one frame (14 ms, the player's pacing), and the part of
// it the player spent rebuilding. Given another build of the player as its
// second argument, it measures that one first and prints the ratio of the
// two medians.
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

struct sRounds {
    std::vector<double> total, rebuild;
};

// Plays a fresh copy of the bundled show in `player` and times `rounds`
// changes of its script.
bool measure(const char* player, int rounds, sRounds& out)
{
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
        return false;
    }

    std::fflush(stdout); // the child must not print what is buffered again
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(folder.c_str()) != 0) _exit(127);
        setenv("SDL_VIDEODRIVER", getenv("SDL_VIDEODRIVER") ? getenv("SDL_VIDEODRIVER") : "offscreen", 1);
        setenv("SDL_AUDIODRIVER", getenv("SDL_AUDIODRIVER") ? getenv("SDL_AUDIODRIVER") : "dummy", 1);
        setenv("KESTRELUX_TEST_DEADLINE", "600", 1);
        if (!freopen("/dev/null", "w", stdout) || !freopen("/dev/null", "w", stderr)) _exit(127);
        execl(player, player, static_cast<char*>(nullptr));
        _exit(127);
    }
    // Playing, and past the first second of the show.
    if (!waitForLines(log, "[run]", 1, pid)) {
        std::fprintf(stderr, "reload_bench: the show did not start in %s\n", player);
        return false;
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));

    for (int r = 0; r < rounds; ++r) {
        std::string changed = original;
        char text[32];
        std::snprintf(text, sizeof text, "color=\"ff%02x0c1e\"", (r * 37 + 11) & 0xFF);
        changed.replace(at, colour.size(), text);
        const double written = utcMsOfDay();
        writeFile(script, changed);
        if (!waitForLines(log, "reload: first frame of the new show", size_t(r) + 1, pid)) {
            std::fprintf(stderr, "reload_bench: no reload after change %d\n", r + 1);
            break;
        }
        const std::string now = readFile(log);
        const double shown = logLines(now, "reload: first frame of the new show")[size_t(r)].first;
        const std::string built = logLines(now, "show rebuilt at")[size_t(r)].second;
        std::smatch m;
        const double rebuiltMs = std::regex_search(built, m, std::regex(R"(in (\d+) ms)")) ? std::stod(m[1]) : 0.0;
        out.total.push_back(shown - written);
        out.rebuild.push_back(rebuiltMs);
        std::printf("change %2d: first frame of the new show after %6.1f ms (rebuilt in %3.0f ms)\n", r + 1,
                    shown - written, rebuiltMs);
        // Apart from the next change, as a person's saves are.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    fs::remove_all(folder);
    return !out.total.empty();
}

void summarize(const char* what, const sRounds& r)
{
    const double frame = 14.0;
    std::printf("%s, %zu changes: median %.1f ms from the change to the first frame of the new show (%.1f frames "
                "of %.0f ms), of which %.0f ms rebuilding; worst %.1f ms\n",
                what, r.total.size(), median(r.total), median(r.total) / frame, frame, median(r.rebuild),
                *std::max_element(r.total.begin(), r.total.end()));
}

} // namespace

// Arguments: the number of changes (10), and optionally another build of
// the player to measure first, in the same run, as the reference.
int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const char* reference = argc > 2 ? argv[2] : nullptr;
    sRounds before, after;
    if (reference) {
        std::printf("reference player %s\n", reference);
        if (!measure(reference, rounds, before)) return 1;
    }
    std::printf("this player %s\n", KX_PLAYER_PATH);
    if (!measure(KX_PLAYER_PATH, rounds, after)) return 1;
    if (reference) summarize("reference player", before);
    summarize("reload of the bundled show", after);
    if (reference)
        std::printf("ratio of the medians, this player to the reference: %.2f\n", median(after.total) / median(before.total));
    return 0;
}
