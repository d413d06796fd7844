// Runs the real player headless (offscreen video, dummy audio) and reads
// what it wrote: its output, log and captured frames.
#pragma once

#include "test_util.h"

#include <png.h>

#include <algorithm>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <vector>

#ifndef KX_PLAYER_PATH
#error "KX_PLAYER_PATH must name the player binary"
#endif

namespace kxtest {

struct PlayerResult {
    int status = -1;
    std::string out; // standard output and standard error together
};

// Runs the player in the current folder; never longer than a minute. env:
// further VARIABLE=value settings for it.
inline PlayerResult runPlayer(const std::string& args, const std::string& env = "")
{
    // The GL driver leaks from a module it unloads before exit, which the
    // leak checker cannot name or suppress; our own leaks are checked by the
    // in-process tests.
    const std::string cmd =
        "ASAN_OPTIONS=detect_leaks=0 SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy DISPLAY= " + env + " timeout 60 " +
        std::string(KX_PLAYER_PATH) + " " + args + " 2>&1";
    PlayerResult r;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    const int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
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
