// Capture mode: renders a show without pacing at a fixed frame rate and
// hands every frame and its sound to a sink: numbered PNG files and a WAV
// in a folder, or one video file (capture_sink.h). Reading back, encoding
// and rendering overlap.
#pragma once

#include <memory>
#include <string>

class cCaptureSink;

struct sCapture {
    bool enabled = false;
    std::string folder; // the folder, or the video file's name
    int fps = 0;
    long long maxFrames = 0; // frames to write, then the show ends
    long long written = 0;   // frames read back so far in this run
    bool serial = false;     // read back and encode each frame in turn on the frame loop's thread
    bool failed = false;     // the sink failed: the capture ends

    float step() const { return fps > 0 ? 100.0f / float(fps) : 0.0f; }
    bool done() const { return enabled && (failed || written >= maxFrames); }
};

extern sCapture gCapture;

// Starts a capture into `sink` with the settings in gCapture.
void startCapture(std::unique_ptr<cCaptureSink> sink);

// Mixes the current frame's sound, starts reading its pixels (width x
// height) back and hands finished frames to the sink. Returns false when
// the sink has failed.
bool captureFrame(int width, int height);

// Hands over the frame still being read back; called at the end of each
// show, while its GL context is current.
void flushCapture();

// Completes the capture's files and ends the progress display. False when
// they could not be made (the reason was printed).
bool finishCapture();
// Completes the capture's sound file at once, for a process that may be
// ended at any moment (the user's session is ending); frames still to come
// add no sound.
void completeCaptureSound();
