// Runs the real player (headless: offscreen video, dummy audio) and reads
// what it wrote: its output, log and captured frames.
#pragma once

#include "test_util.h"

#include <png.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sstream>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#ifndef KX_PLAYER_PATH
#error "KX_PLAYER_PATH must name the player binary"
#endif

namespace kxtest {

// The one way the tests start the player. The player is a child of the
// test in a process group of its own, gets SIGKILL when the test's process
// ends however it ends (the parent-death signal), and carries a deadline of
// its own (KESTRELUX_TEST_DEADLINE), so a test that dies, times out or is
// killed never leaves a player running.
class PlayerProcess {
public:
    struct Options {
        std::vector<std::string> args;
        std::vector<std::string> env; // further NAME=value settings; NAME= unsets
        std::string out = "console.txt"; // standard output
        std::string err;                 // standard error; empty: with the output
        bool headless = true;            // offscreen video, dummy audio, no display
        int deadlineSeconds = 60;
    };

    explicit PlayerProcess(const Options& options) : deadline_(options.deadlineSeconds)
    {
        const pid_t parent = getpid();
        pid_ = fork();
        if (pid_ != 0) return;
        setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(126); // the test went before the signal was set
        const int out = open(options.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = options.err.empty() ? out : open(options.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0) _exit(126);
        dup2(out, 1);
        dup2(err, 2);
        // A test runner started in the background passes Ctrl+C on ignored.
        signal(SIGINT, SIG_DFL);
        signal(SIGTERM, SIG_DFL);
        if (options.headless) {
            setenv("SDL_VIDEODRIVER", "offscreen", 1);
            setenv("SDL_AUDIODRIVER", "dummy", 1);
            setenv("DISPLAY", "", 1);
        }
        // The GL driver leaks from a module it unloads before exit, which
        // the leak checker cannot name or suppress; our own leaks are
        // checked by the in-process tests.
        setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
        setenv("KESTRELUX_TEST_DEADLINE", std::to_string(options.deadlineSeconds).c_str(), 1);
        for (const std::string& e : options.env) {
            const size_t equals = e.find('=');
            if (equals == std::string::npos) continue;
            // NAME= takes the variable away, as a run without it needs.
            if (equals + 1 == e.size())
                unsetenv(e.substr(0, equals).c_str());
            else
                setenv(e.substr(0, equals).c_str(), e.c_str() + equals + 1, 1);
        }
        std::vector<char*> argv{const_cast<char*>(KX_PLAYER_PATH)};
        for (const std::string& a : options.args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(KX_PLAYER_PATH, argv.data());
        _exit(127);
    }
    ~PlayerProcess() { stop(); }
    PlayerProcess(const PlayerProcess&) = delete;
    PlayerProcess& operator=(const PlayerProcess&) = delete;

    pid_t pid() const { return pid_; }
    // Whether it has ended (and is reaped).
    bool ended()
    {
        if (pid_ <= 0 || status_ != kRunning) return true;
        int st = 0;
        if (waitpid(pid_, &st, WNOHANG) != pid_) return false;
        status_ = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
        killed_ = WIFSIGNALED(st);
        return true;
    }
    // Waits for it to end by itself, at most its deadline and a little
    // more; its exit code, -1 when a signal ended it or it did not end.
    int wait()
    {
        for (int i = 0; i < (deadline_ + 10) * 50 && !ended(); ++i) usleep(20000);
        return ended() ? status_ : -1;
    }
    // True when it ended through a signal (or never started).
    bool killed() const { return killed_ || pid_ <= 0; }
    // Asks it to stop (SIGTERM), then kills its process group.
    void stop()
    {
        if (ended()) return;
        kill(pid_, SIGTERM);
        for (int i = 0; i < 500 && !ended(); ++i) usleep(20000);
        if (!ended()) {
            kill(-pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
            status_ = -1;
        }
    }

private:
    static constexpr int kRunning = -2;
    pid_t pid_ = -1;
    int status_ = kRunning;
    bool killed_ = false;
    int deadline_;
};

// Splits a command line at its blanks, as a shell would: text in single or
// double quotes is one word with the quotes taken away.
inline std::vector<std::string> words(const std::string& line)
{
    std::vector<std::string> out;
    std::string word;
    bool inWord = false;
    char quote = 0;
    for (const char c : line) {
        if (quote) {
            if (c == quote)
                quote = 0;
            else
                word += c;
        } else if (c == '\'' || c == '"') {
            quote = c;
            inWord = true;
        } else if (c == ' ' || c == '\t' || c == '\n') {
            if (inWord) out.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) out.push_back(word);
    return out;
}

struct PlayerResult {
    int status = -1;
    std::string out; // standard output and standard error together
};

// Runs the player in the current folder to its end, headless, and reads
// what it printed; it is stopped after `seconds`. env: further NAME=value
// settings, separated by blanks.
inline PlayerResult runPlayer(const std::string& args, const std::string& env = "", int seconds = 60)
{
    PlayerProcess::Options options;
    options.args = words(args);
    options.env = words(env);
    static int runs = 0;
    options.out = (std::filesystem::temp_directory_path() /
                   ("kx_player_" + std::to_string(getpid()) + "_" + std::to_string(++runs) + ".txt"))
                      .string();
    options.deadlineSeconds = seconds;
    PlayerResult r;
    {
        PlayerProcess player(options);
        r.status = player.wait();
    }
    r.out = readFile(options.out);
    std::remove(options.out.c_str());
    return r;
}

inline size_t count(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// Width and height from a PNG file's header.
inline std::pair<int, int> pngSize(const std::string& file)
{
    const std::string b = kxtest::readFile(file);
    if (b.size() < 24 || b.compare(1, 3, "PNG") != 0) return {0, 0};
    auto be = [&](size_t at) {
        return (int(uint8_t(b[at])) << 24) | (int(uint8_t(b[at + 1])) << 16) | (int(uint8_t(b[at + 2])) << 8) |
               int(uint8_t(b[at + 3]));
    };
    return {be(16), be(20)};
}

// A PNG file as RGB rows, top row first.
struct Image {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;
    // The pixel at x, y counted from the top left.
    std::vector<int> at(int x, int y) const
    {
        const size_t i = (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3;
        return {rgb[i], rgb[i + 1], rgb[i + 2]};
    }
};

inline Image readPng(const std::string& file)
{
    Image img;
    png_image p{};
    p.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&p, file.c_str())) return img;
    p.format = PNG_FORMAT_RGB;
    img.rgb.resize(PNG_IMAGE_SIZE(p));
    if (!png_image_finish_read(&p, nullptr, img.rgb.data(), 0, nullptr)) {
        img.rgb.clear();
        return img;
    }
    img.width = static_cast<int>(p.width);
    img.height = static_cast<int>(p.height);
    return img;
}

// What ffprobe says of one stream of a video file ("v:0", "a:0"): codec
// name, size, pixel format, duration in seconds and the frames counted by
// decoding; codec empty when there is no such stream.
struct StreamInfo {
    std::string codec, pixelFormat;
    int width = 0, height = 0;
    double duration = 0;
    long frames = 0;
};

inline StreamInfo probeStream(const std::string& file, const std::string& stream)
{
    const std::string cmd = "ffprobe -v error -count_frames -select_streams " + stream +
                            " -show_entries stream=codec_name,pix_fmt,width,height,duration,nb_read_frames"
                            ":packet=pts_time,duration_time"
                            " -of default=noprint_wrappers=1 '" +
                            file + "' 2>/dev/null";
    StreamInfo info;
    double lastPacket = 0, packetsEnd = 0;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return info;
    char line[256];
    while (std::fgets(line, sizeof line, p)) {
        std::string text(line);
        const size_t eq = text.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = text.substr(0, eq), value = text.substr(eq + 1, text.find_last_not_of("\r\n") - eq);
        if (key == "codec_name") info.codec = value;
        if (key == "pix_fmt") info.pixelFormat = value;
        if (key == "width") info.width = std::atoi(value.c_str());
        if (key == "height") info.height = std::atoi(value.c_str());
        if (key == "duration") info.duration = std::atof(value.c_str());
        if (key == "nb_read_frames") info.frames = std::atol(value.c_str());
        // Matroska gives no stream duration: the end of the last packet.
        if (key == "pts_time") lastPacket = std::atof(value.c_str());
        if (key == "duration_time") packetsEnd = std::max(packetsEnd, lastPacket + std::atof(value.c_str()));
    }
    pclose(p);
    if (info.duration <= 0) info.duration = packetsEnd;
    return info;
}

// Frame `index` (0-based) of a video file decoded to RGB; empty on failure.
inline Image decodeVideoFrame(const std::string& file, int index, const std::string& png)
{
    const std::string cmd = "ffmpeg -v error -y -i '" + file + "' -vf 'select=eq(n\\," + std::to_string(index) +
                            ")' -frames:v 1 '" + png + "' 2>/dev/null";
    if (std::system(cmd.c_str()) != 0) return Image();
    return readPng(png);
}

inline std::string frameName(const std::string& folder, int index)
{
    char name[64];
    std::snprintf(name, sizeof name, "/frame_%06d.png", index);
    return folder + name;
}

} // namespace kxtest
