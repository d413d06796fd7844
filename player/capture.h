// Capture mode: renders a show without pacing at a fixed frame rate and
// writes every frame as a PNG file.
#pragma once

#include <string>

struct sCapture {
    bool enabled = false;
    std::string folder;
    int fps = 0;
    long long maxFrames = 0; // frames to write, then the show ends
    long long written = 0;   // frames written so far in this run

    float step() const { return fps > 0 ? 100.0f / float(fps) : 0.0f; }
    bool done() const { return enabled && written >= maxFrames; }
};

extern sCapture gCapture;

// Reads the current frame's pixels (width x height) and writes the next
// numbered PNG file. Returns false with a console line when it cannot.
bool captureFrame(int width, int height);

// Writes RGB rows (top row first) as a PNG file.
bool writePng(const char* path, int width, int height, const unsigned char* rgb);
