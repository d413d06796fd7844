// The PNG sink: every frame as DIR/frame_000000.png, ..., and the sound as
// DIR/audio.wav. Frames are converted and compressed on worker threads, a
// few at a time; each file is written under a temporary name and renamed
// when complete, so the folder never holds a half-written frame.
#pragma once

#include "player/capture_sink.h"

#include <memory>
#include <string>

// workers: threads that encode; 0 encodes each frame on the calling thread
// as it arrives, one after the other.
std::unique_ptr<cCaptureSink> makePngSink(const std::string& folder, unsigned workers);

// Compresses a read-back frame as a PNG file's bytes (rows top first) at
// the fastest level, with one filter for every row and run-length deflate,
// or with the filter chosen row by row and full deflate when adaptiveFilters
// is set. False when libpng fails.
bool encodeFramePng(const sCaptureFrame& f, std::vector<unsigned char>& out, bool adaptiveFilters);
