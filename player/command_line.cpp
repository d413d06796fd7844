#include "player/command_line.h"

#include "player/ffmpeg_tool.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

bool readInt(const char* text, long long min, long long max, long long& out)
{
    if (!text || !*text) return false;
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text, &end, 10);
    if (errno || *end || v < min || v > max) return false;
    out = v;
    return true;
}

bool readSeconds(const char* text, double& out)
{
    if (!text || !*text) return false;
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    if (*end || !std::isfinite(v) || v <= 0 || v > 24 * 3600) return false;
    out = v;
    return true;
}

} // namespace

const char* usageText()
{
    return "usage: kestrelux [script] [options]\n"
           "  script                 the script's name under data/ (default script.txt);\n"
           "                         further plain arguments and unknown options are ignored\n"
           "  --capture DIR          render without pacing and write DIR/frame_000000.png ...\n"
           "                         and DIR/audio.wav\n"
           "  --capture NAME.mp4     render without pacing into one video file through ffmpeg\n"
           "                         (also .mkv, .mov, .webm)\n"
           "  --fps N                frames per second of show time in capture mode\n"
           "  --frames N             number of frames to capture, or\n"
           "  --seconds S            length of the capture in seconds\n"
           "  --ffmpeg PATH          the ffmpeg program for a video capture (else KESTRELUX_FFMPEG,\n"
           "                         the player's folder, the search path)\n"
           "  --ffmpeg-args \"...\"    further ffmpeg options for the picture's encoding\n"
           "  --capture-serial       read back and encode each frame in turn (slower; for comparison)\n"
           "  --no-reload            do not rebuild the show when its script or data files\n"
           "                         change or F5 is pressed (capture mode never does)\n"
           "  --gl-census FILE       write the textures, display lists and shader objects\n"
           "                         alive to FILE once a second (for leak hunts)\n"
           "  --midi NAME            a show with <midi> mappings listens only to the MIDI input\n"
           "                         ports whose name contains NAME (ignoring case), not to\n"
           "                         every port; wins over the demo element's midi attribute\n"
           "  --osc PORT             take OSC messages on UDP port PORT of this computer\n"
           "                         (127.0.0.1; the script's oscbind= may open it to others)\n"
           "  --check                read the script and its includes, look up every file\n"
           "                         it names, print each error and warning with its place\n"
           "                         (file:line:column), and play nothing; exit status 0\n"
           "                         clean, 1 warnings only, 2 errors\n"
           "  --help                 this text\n"
           "  --version              the build banner\n"
           "Ctrl+C or SIGTERM ends the whole run at the next frame or loading step.\n";
}

sCommandLine parseCommandLine(int argc, char** argv)
{
    sCommandLine cl;
    bool haveScript = false;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        auto value = [&](const char* option) -> const char* {
            if (i + 1 < argc) return argv[++i];
            cl.error = std::string(option) + " needs a value";
            return nullptr;
        };
        if (std::strncmp(a, "--", 2) != 0) {
            // The first plain argument is the script; later ones are ignored.
            if (!haveScript) {
                cl.script = a;
                haveScript = true;
            }
        } else if (std::strcmp(a, "--help") == 0) {
            cl.help = true;
        } else if (std::strcmp(a, "--version") == 0) {
            cl.version = true;
        } else if (std::strcmp(a, "--check") == 0) {
            cl.check = true;
        } else if (std::strcmp(a, "--no-reload") == 0) {
            cl.noReload = true;
        } else if (std::strcmp(a, "--osc") == 0) {
            const char* v = value(a);
            if (v) cl.oscPort = v;
        } else if (std::strcmp(a, "--gl-census") == 0) {
            const char* v = value(a);
            if (v) cl.glCensusFile = v;
        } else if (std::strcmp(a, "--midi") == 0) {
            const char* v = value(a);
            if (v && !*v) cl.error = "--midi needs part of a MIDI port's name";
            if (v) cl.midiPort = v;
        } else if (std::strcmp(a, "--capture") == 0) {
            const char* v = value(a);
            if (v) {
                cl.capture = true;
                cl.captureFolder = v;
            }
        } else if (std::strcmp(a, "--capture-serial") == 0) {
            cl.captureSerial = true;
        } else if (std::strcmp(a, "--ffmpeg") == 0) {
            const char* v = value(a);
            if (v && !*v) cl.error = "--ffmpeg needs the path of the program";
            if (v) cl.ffmpeg = v;
        } else if (std::strcmp(a, "--ffmpeg-args") == 0) {
            const char* v = value(a);
            if (v && !splitArguments(v, cl.ffmpegArgs)) cl.error = "--ffmpeg-args has a quote that is not closed";
        } else if (std::strcmp(a, "--fps") == 0) {
            long long n = 0;
            const char* v = value(a);
            if (v && !readInt(v, 1, 1000, n)) cl.error = "--fps needs a whole number from 1 to 1000";
            cl.fps = static_cast<int>(n);
        } else if (std::strcmp(a, "--frames") == 0) {
            const char* v = value(a);
            if (v && !readInt(v, 1, 10000000, cl.frames)) cl.error = "--frames needs a whole number from 1 to 10000000";
        } else if (std::strcmp(a, "--seconds") == 0) {
            const char* v = value(a);
            if (v && !readSeconds(v, cl.seconds)) cl.error = "--seconds needs a positive number of seconds";
        } else {
            // A newer script's launcher may pass options this player does
            // not know; the show plays all the same.
            cl.warnings.push_back(std::string("unknown option ") + a + " ignored");
        }
        if (!cl.error.empty()) return cl;
    }
    if (cl.capture) {
        if (cl.fps <= 0)
            cl.error = "--capture needs --fps N";
        else if (cl.frames <= 0 && cl.seconds <= 0)
            cl.error = "--capture needs --frames N or --seconds S";
        else if (cl.frames > 0 && cl.seconds > 0)
            cl.error = "--frames and --seconds exclude each other";
        else if (cl.frames <= 0)
            cl.frames = static_cast<long long>(std::llround(cl.seconds * cl.fps));
        if (cl.error.empty() && cl.frames <= 0) cl.error = "the capture would hold no frame";
        if (cl.error.empty() && cl.check) cl.error = "--check plays nothing, so it takes no --capture";
    } else if (cl.fps || cl.frames || cl.seconds > 0 || cl.captureSerial) {
        cl.error = "--fps, --frames, --seconds and --capture-serial belong to --capture";
    }
    // A capture renders without a person playing: it takes no live input.
    if (cl.error.empty() && cl.capture && !cl.midiPort.empty())
        cl.warnings.push_back("--midi ignored: a capture takes no input from MIDI ports");
    const bool video = cl.capture && videoContainerOf(cl.captureFolder) != eVideoContainer::none;
    if (cl.error.empty() && !video && (!cl.ffmpeg.empty() || !cl.ffmpegArgs.empty()))
        cl.error = "--ffmpeg and --ffmpeg-args belong to a video capture (--capture NAME.mp4, .mkv, .mov or .webm)";
    return cl;
}
