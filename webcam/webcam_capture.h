// The capture side of the webcam effect: a host window, one open capture
// driver, and the 256 x 256 frame buffer every grabbed frame is resampled
// into.
#pragma once

#include "platform/video_capture.h"
#include "platform/window.h"

// The capture's top-level window. It previews the picture it is given (a
// square of side x side pixels, blue-green-red, bottom row first), scaled
// to its size, whenever it is painted; black while it has none.
class cWebcamHostWindow : public cWindow {
public:
    void setPicture(const unsigned char* picture, int side);
    void paint() override;

private:
    const unsigned char* picture_ = nullptr; // not owned
    int side_ = 0;
};

class cWebcamCapture {
public:
    enum : int {
        kSourceWidth = 160,
        kSourceHeight = 120,
        kSourceRowBytes = kSourceWidth * 3,             // 480
        kSourceBytes = kSourceRowBytes * kSourceHeight, // 57,600
        kFrameSide = 256,
        kFrameRowBytes = kFrameSide * 3,           // 768
        kFrameBytes = kFrameRowBytes * kFrameSide, // 196,608
        kHostWidth = 320,
        kHostHeight = 240,
    };

    cWebcamCapture() = default;
    ~cWebcamCapture(); // close()

    cWebcamCapture(const cWebcamCapture&) = delete;
    cWebcamCapture& operator=(const cWebcamCapture&) = delete;

    // Opens the host window, allocates the frame buffer (black) and shows it
    // there, lists the drivers on the console, sets up capture from
    // `device` (a name for platform::openCaptureDevice; null or empty for
    // driver 0), shows the driver's dialogs (source, format, then display,
    // those it has; not in a run without a person) and writes the capture
    // parameters. False only when the buffers cannot be allocated; a missing
    // device leaves the picture black and says so on the console.
    bool open(const char* device);
    // Grabs one frame into frameBuffer and shows it in the host window. A
    // device that fails is closed with a console line; the buffer and the
    // host window then keep the last frame. A broken frame is dropped, the
    // first one with a console line.
    void grab();
    // Checks one frame as the driver delivered it and resamples it into
    // frameBuffer. Only frames of exactly 160 x 120 pixels of 3 bytes are
    // taken; any other is skipped with a console line (once per capture).
    bool takeFrame(const unsigned char* pixels, long bytes);
    // Closes the driver, frees the buffers, destroys the host window.
    void close();

    // Resamples a 160 x 120 frame (kSourceBytes) into a 256 x 256 one
    // (kFrameBytes): destination pixel (x, y) takes source pixel
    // (floor(x * 0.625), floor(y * 0.46875)), rows in the same order.
    static void resample(const unsigned char* source, unsigned char* destination);

    unsigned char* frameBuffer = nullptr;             // kFrameBytes, BGR, bottom row first
    platform::CaptureDevice* captureWindow = nullptr; // the open driver, null when none
    platform::CaptureCaps caps{};
    cWebcamHostWindow hostWindow; // the top-level window the capture belongs to; previews frameBuffer

private:
    void listDrivers();
    void setupCapture(const char* device);
    void showDialogsAndParameters();
    void showDialog(platform::CaptureDialog dialog);
    void closeDevice();

    unsigned char* grabBuffer_ = nullptr; // one kSourceBytes frame from the driver
    bool toldWrongSize_ = false;
    bool toldDropped_ = false;
};
