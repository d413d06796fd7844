// The video sink: one video file made by ffmpeg. Frames go to ffmpeg's
// standard input as raw RGB through a pipe, written by a thread of their
// own so the frame loop waits only when several frames are already queued;
// ffmpeg encodes the picture into a temporary file while the sound collects
// in a temporary WAV. At the end a second, short run joins both into
// NAME.part, which is renamed to NAME when complete. However the capture
// ends, the temporary files go; when ffmpeg fails, its messages are shown.
#pragma once

#include "player/capture_sink.h"
#include "player/ffmpeg_tool.h"

#include <memory>
#include <string>
#include <vector>

struct sVideoCapture {
    std::string ffmpeg; // the program
    std::string output; // the video file
    eVideoContainer container = eVideoContainer::mp4;
    int fps = 0;
    std::vector<std::string> extraArgs; // --ffmpeg-args, for the picture's encoding
};

std::unique_ptr<cCaptureSink> makeVideoSink(const sVideoCapture& settings);

// The size the video has for frames of width x height: the next even
// numbers, as 4:2:0 chroma needs (the last row and column are repeated).
inline int evenSize(int n) { return n + (n & 1); }
