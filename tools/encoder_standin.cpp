// kx_encoder_standin: answers the way ffmpeg does to the calls a video
// capture makes, without encoding anything, so the pipe between the player
// and its encoder can be checked where ffmpeg cannot run (Windows under
// Wine) and its failures can be played out on purpose.
//
//   -version               prints an ffmpeg-style version line
//   -encoders              lists the encoders a capture asks for
//   ... -f rawvideo -s WxH ... -i - ... OUT
//                          reads raw RGB frames from standard input until it
//                          ends and writes OUT as text: "picture WxH frames N
//                          rest R", "metadata VALUE" when -metadata VALUE
//                          was given, then per frame "frame I RRGGBB", the
//                          colour of its middle pixel
//   ... -i VIDEO -i WAV ... OUT
//                          writes OUT: VIDEO's text and "sound N" (sample
//                          frames in WAV)
//
// KX_STANDIN_FAIL_AFTER=N: the picture run stops after N frames with a
// message on standard error and exit status 3, as an encoder that failed
// mid-way does; with KX_STANDIN_CRASH set as well it ends silently as a
// crashed program does instead.
// KX_STANDIN_RAW=FILE: the picture run also writes the frames it read to
// FILE, byte for byte.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <csignal>
#endif

namespace {

std::string valueAfter(const std::vector<std::string>& args, const char* option)
{
    for (size_t i = 0; i + 1 < args.size(); ++i)
        if (args[i] == option) return args[i + 1];
    return std::string();
}

bool has(const std::vector<std::string>& args, const char* word)
{
    for (const std::string& a : args)
        if (a == word) return true;
    return false;
}

// Ends the process at once, without a word, the way a crash or a kill does.
void crash()
{
#if defined(_WIN32)
    ExitProcess(0xC0000005u);
#else
    std::raise(SIGKILL);
#endif
}

int picture(const std::vector<std::string>& args)
{
    int width = 0, height = 0;
    if (std::sscanf(valueAfter(args, "-s").c_str(), "%dx%d", &width, &height) != 2 || width <= 0 || height <= 0 ||
        width > 16384 || height > 16384) {
        std::fprintf(stderr, "stand-in encoder: no frame size\n");
        return 2;
    }
    const char* failAfter = std::getenv("KX_STANDIN_FAIL_AFTER");
    const long limit = failAfter ? std::strtol(failAfter, nullptr, 10) : -1;
#if defined(_WIN32)
    _setmode(_fileno(stdin), _O_BINARY);
#endif
    const size_t frameBytes = size_t(width) * size_t(height) * 3;
    std::vector<unsigned char> frame(frameBytes);
    const char* rawName = std::getenv("KX_STANDIN_RAW");
    std::ofstream raw;
    if (rawName) raw.open(rawName, std::ios::binary);
    std::string report;
    long frames = 0;
    size_t got = 0;
    for (;;) {
        if (limit >= 0 && frames >= limit) {
            if (std::getenv("KX_STANDIN_CRASH")) {
                crash();
                return 99;
            }
            std::fprintf(stderr, "stand-in encoder: giving up after %ld frames\n", frames);
            return 3;
        }
        got = std::fread(frame.data(), 1, frameBytes, stdin);
        if (got < frameBytes) break;
        raw.write(reinterpret_cast<const char*>(frame.data()), std::streamsize(frameBytes));
        const unsigned char* middle = frame.data() + (size_t(height / 2) * size_t(width) + size_t(width / 2)) * 3;
        char line[64];
        std::snprintf(line, sizeof line, "frame %ld %02X%02X%02X\n", frames, middle[0], middle[1], middle[2]);
        report += line;
        ++frames;
    }
    std::ofstream out(args.back(), std::ios::binary);
    out << "picture " << width << "x" << height << " frames " << frames << " rest " << got << "\n";
    // One option a user may add, to show how extra words arrive.
    if (has(args, "-metadata")) out << "metadata " << valueAfter(args, "-metadata") << "\n";
    out << report;
    return out.good() ? 0 : 1;
}

int join(const std::vector<std::string>& args)
{
    std::string inputs[2];
    int n = 0;
    for (size_t i = 0; i + 1 < args.size() && n < 2; ++i)
        if (args[i] == "-i") inputs[n++] = args[i + 1];
    std::ifstream video(inputs[0], std::ios::binary), wav(inputs[1], std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(video)), std::istreambuf_iterator<char>());
    const std::string sound((std::istreambuf_iterator<char>(wav)), std::istreambuf_iterator<char>());
    if (text.empty() || sound.size() < 44) {
        std::fprintf(stderr, "stand-in encoder: cannot read %s or %s\n", inputs[0].c_str(), inputs[1].c_str());
        return 1;
    }
    std::ofstream out(args.back(), std::ios::binary);
    out << text << "sound " << (sound.size() - 44) / 4 << "\n";
    return out.good() ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (has(args, "-version")) {
        std::printf("ffmpeg version 6.0-standin Copyright (c) the kestrelux developers\n");
        return 0;
    }
    if (has(args, "-encoders")) {
        std::printf("Encoders:\n V..... libx264              H.264\n V..... libvpx-vp9           VP9\n"
                    " A..... aac                  AAC\n A..... libopus              Opus\n");
        return 0;
    }
    if (args.empty()) return 2;
    if (valueAfter(args, "-f") == "rawvideo") return picture(args);
    return join(args);
}
