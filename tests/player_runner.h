// Runs the real player headless (offscreen video, dummy audio) and reads
// what it wrote: its output, log and captured frames.
#pragma once

#include "test_util.h"

#include <png.h>

#include <cstdio>
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

inline std::string frameName(const std::string& folder, int index)
{
    char name[64];
    std::snprintf(name, sizeof name, "/frame_%06d.png", index);
    return folder + name;
}

} // namespace kxtest
