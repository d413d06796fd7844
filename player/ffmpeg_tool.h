// The encoder program of video capture: which video file names it makes,
// where it is found, whether it will do, and the command lines it is run
// with. Kept apart from the sink so each rule can be checked on its own.
#pragma once

#include <string>
#include <vector>

enum class eVideoContainer { none, mp4, mkv, mov, webm };

// The container a capture name asks for by its extension (any case), or
// none: the name is a folder for PNG files.
eVideoContainer videoContainerOf(const std::string& name);

// Where ffmpeg is looked for, in this order: the --ffmpeg option, the
// KESTRELUX_FFMPEG variable, the player's own folder, the search path.
struct sFfmpegSearch {
    std::string option;        // --ffmpeg PATH, empty when not given
    std::string environment;   // KESTRELUX_FFMPEG, empty when unset
    std::string programFolder; // the player's folder
    std::string searchPath;    // the PATH variable
};

// The program to run, or empty with the message for the user in `problem`.
// A program named by the option or the variable must exist: it is not
// replaced by another one silently.
std::string locateFfmpeg(const sFfmpegSearch& search, std::string& problem);

// The major version in the first line of "ffmpeg -version": "ffmpeg
// version 5.1.2-..." and "n6.0" give 5 and 6; builds from the development
// tree ("N-112345-g...", "git-2023-...") give 9999; 0 when there is no such
// line.
int ffmpegMajorVersion(const std::string& versionOutput);

// The oldest major version whose options and encoders the capture uses.
constexpr int kOldestFfmpeg = 4;

// Runs the program to check its version and encoders for the container.
// Empty when it will do, else the message for the user.
std::string checkFfmpeg(const std::string& program, eVideoContainer container);

// The words of --ffmpeg-args: split at blanks; single or double quotes
// keep blanks inside a word. False when a quote is not closed.
bool splitArguments(const std::string& text, std::vector<std::string>& words);

// The run that encodes the picture: raw RGB frames of width x height
// (both even) on standard input, into `videoFile`; extra words go last
// before the output.
std::vector<std::string> encodeCommand(const std::string& program, eVideoContainer container, int width, int height,
                                       int fps, const std::vector<std::string>& extra, const std::string& videoFile);

// The run that joins the picture with the WAV sound into `output`, in the
// container's format, the picture copied as it is.
std::vector<std::string> muxCommand(const std::string& program, eVideoContainer container,
                                    const std::string& videoFile, const std::string& wavFile,
                                    const std::string& output);

// What to install, for the messages.
const char* ffmpegInstallHint();
