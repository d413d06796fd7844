#include "player/ffmpeg_tool.h"

#include "platform/process.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace {

bool endsWithNoCase(const std::string& text, const char* suffix)
{
    const size_t n = std::strlen(suffix);
    if (text.size() < n) return false;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(text[text.size() - n + i])) != suffix[i]) return false;
    return true;
}

// The encoders a container needs, with a name for the user.
struct sEncoders {
    const char* video;
    const char* videoName;
    const char* audio;
    const char* audioName;
};

sEncoders encodersFor(eVideoContainer container)
{
    if (container == eVideoContainer::webm) return {"libvpx-vp9", "VP9", "libopus", "Opus"};
    return {"libx264", "H.264", "aac", "AAC"};
}

// "-f" names of the containers.
const char* formatName(eVideoContainer container)
{
    switch (container) {
    case eVideoContainer::mp4:
        return "mp4";
    case eVideoContainer::mov:
        return "mov";
    case eVideoContainer::webm:
        return "webm";
    default:
        return "matroska";
    }
}

// Whether the "-encoders" listing has a line for this encoder.
bool listsEncoder(const std::string& listing, const char* encoder)
{
    const std::string word = std::string(" ") + encoder + " ";
    return listing.find(word) != std::string::npos;
}

} // namespace

const char* ffmpegInstallHint()
{
#if defined(_WIN32)
    return "put ffmpeg.exe beside kestrelux.exe or in a folder on the search path (PATH), or name it with "
           "--ffmpeg PATH";
#else
    return "install ffmpeg (on Debian and Ubuntu: apt-get install ffmpeg), or name it with --ffmpeg PATH";
#endif
}

eVideoContainer videoContainerOf(const std::string& name)
{
    if (endsWithNoCase(name, ".mp4")) return eVideoContainer::mp4;
    if (endsWithNoCase(name, ".mkv")) return eVideoContainer::mkv;
    if (endsWithNoCase(name, ".mov")) return eVideoContainer::mov;
    if (endsWithNoCase(name, ".webm")) return eVideoContainer::webm;
    return eVideoContainer::none;
}

std::string locateFfmpeg(const sFfmpegSearch& search, std::string& problem)
{
    problem.clear();
    if (!search.option.empty()) {
        if (platform::isProgramFile(search.option)) return search.option;
        problem = "--ffmpeg " + search.option + ": there is no program there";
        return std::string();
    }
    if (!search.environment.empty()) {
        if (platform::isProgramFile(search.environment)) return search.environment;
        problem = "KESTRELUX_FFMPEG=" + search.environment + ": there is no program there";
        return std::string();
    }
    const std::string fileName = platform::programFileName("ffmpeg");
#if defined(_WIN32)
    const std::string beside = search.programFolder + "\\" + fileName;
#else
    const std::string beside = search.programFolder + "/" + fileName;
#endif
    if (!search.programFolder.empty() && platform::isProgramFile(beside)) return beside;
    const std::string onPath = platform::findProgramOnPath(fileName, search.searchPath);
    if (!onPath.empty()) return onPath;
    problem = "a video capture needs ffmpeg, which was not found beside the player nor on the search path: " +
              std::string(ffmpegInstallHint());
    return std::string();
}

int ffmpegMajorVersion(const std::string& versionOutput)
{
    const char* key = "ffmpeg version ";
    const size_t at = versionOutput.find(key);
    if (at == std::string::npos) return 0;
    const char* v = versionOutput.c_str() + at + std::strlen(key);
    if (*v == 'n' && std::isdigit(static_cast<unsigned char>(v[1]))) ++v;
    if (std::isdigit(static_cast<unsigned char>(*v))) {
        const long major = std::strtol(v, nullptr, 10);
        return major > 0 && major < 9999 ? int(major) : 0;
    }
    if (*v == 'N' || std::strncmp(v, "git", 3) == 0) return 9999;
    return 0;
}

std::string checkFfmpeg(const std::string& program, eVideoContainer container)
{
    std::string output;
    int code = -1;
    if (!platform::runProcess({program, "-hide_banner", "-version"}, output, code) || code != 0 ||
        output.find("ffmpeg version ") == std::string::npos) {
        // -hide_banner keeps the version line; a program without it is not
        // ffmpeg.
        platform::runProcess({program, "-version"}, output, code);
    }
    const int major = ffmpegMajorVersion(output);
    if (major == 0) return program + " does not answer as ffmpeg does: " + ffmpegInstallHint();
    if (major < kOldestFfmpeg)
        return program + " is ffmpeg " + std::to_string(major) + ", too old for capture (it needs ffmpeg " +
               std::to_string(kOldestFfmpeg) + " or newer): " + ffmpegInstallHint();
    if (!platform::runProcess({program, "-hide_banner", "-encoders"}, output, code) || code != 0)
        return program + " cannot list its encoders: " + ffmpegInstallHint();
    const sEncoders need = encodersFor(container);
    for (const auto& encoder : {std::make_pair(need.video, need.videoName), std::make_pair(need.audio, need.audioName)})
        if (!listsEncoder(output, encoder.first))
            return program + " has no " + encoder.second + " encoder (" + encoder.first +
                   "); a full build of ffmpeg has it: " + ffmpegInstallHint();
    return std::string();
}

bool splitArguments(const std::string& text, std::vector<std::string>& words)
{
    words.clear();
    std::string word;
    bool inWord = false;
    char quote = 0;
    for (const char c : text) {
        if (quote) {
            if (c == quote) quote = 0;
            else word += c;
        } else if (c == '\'' || c == '"') {
            quote = c;
            inWord = true;
        } else if (std::isspace(static_cast<unsigned char>(c))) {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) words.push_back(word);
    return quote == 0;
}

std::vector<std::string> encodeCommand(const std::string& program, eVideoContainer container, int width, int height,
                                       int fps, const std::vector<std::string>& extra, const std::string& videoFile)
{
    std::vector<std::string> args = {program, "-hide_banner", "-loglevel", "error", "-y",
                                     "-f", "rawvideo", "-pix_fmt", "rgb24",
                                     "-s", std::to_string(width) + "x" + std::to_string(height),
                                     "-framerate", std::to_string(fps), "-i", "-",
                                     // Studio-range BT.709, said so in the file, so
                                     // players show the colours as rendered.
                                     "-vf", "scale=out_color_matrix=bt709:out_range=tv:flags=bicubic+accurate_rnd+full_chroma_int,format=yuv420p",
                                     "-colorspace", "bt709", "-color_primaries", "bt709", "-color_trc", "bt709",
                                     "-color_range", "tv"};
    if (container == eVideoContainer::webm) {
        // Constant quality; row threads and the faster speed settings keep
        // up with rendering.
        for (const char* a : {"-c:v", "libvpx-vp9", "-crf", "24", "-b:v", "0", "-deadline", "good", "-cpu-used", "5",
                              "-row-mt", "1"})
            args.push_back(a);
    } else {
        // Shows are flat colours and sharp edges, which the "animation"
        // tuning keeps clean; CRF 18 is close to what the eye can tell.
        for (const char* a : {"-c:v", "libx264", "-preset", "veryfast", "-tune", "animation", "-crf", "18"})
            args.push_back(a);
    }
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back("-f");
    args.push_back("matroska");
    args.push_back(videoFile);
    return args;
}

std::vector<std::string> muxCommand(const std::string& program, eVideoContainer container,
                                    const std::string& videoFile, const std::string& wavFile,
                                    const std::string& output)
{
    std::vector<std::string> args = {program, "-hide_banner", "-loglevel", "error", "-y", "-i", videoFile, "-i",
                                     wavFile, "-map", "0:v:0", "-map", "1:a:0", "-c:v", "copy"};
    if (container == eVideoContainer::webm) {
        for (const char* a : {"-c:a", "libopus", "-b:a", "160k"}) args.push_back(a);
    } else {
        for (const char* a : {"-c:a", "aac", "-b:a", "192k"}) args.push_back(a);
    }
    // The index first, so the file starts playing before it has all arrived.
    if (container == eVideoContainer::mp4 || container == eVideoContainer::mov) {
        args.push_back("-movflags");
        args.push_back("+faststart");
    }
    args.push_back("-f");
    args.push_back(formatName(container));
    args.push_back(output);
    return args;
}
