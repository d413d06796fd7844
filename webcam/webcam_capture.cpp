#include "webcam/webcam_capture.h"

#include "platform/message_box.h"
#include "platform/video_capture.h"
#include "platform/window_system.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

// Handles are printed as numbers, as window handles are elsewhere: the low
// 32 bits of the object's address, 0 for none.
unsigned handleNumber(const void* object) { return static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(object)); }

} // namespace

void cWebcamHostWindow::setPicture(const unsigned char* picture, int side)
{
    picture_ = picture;
    side_ = picture ? side : 0;
}

void cWebcamHostWindow::paint()
{
    // Also on every exposure: the window system keeps nothing of its own.
    if (window) platform::paintWindow(window, picture_, side_, side_);
}

cWebcamCapture::~cWebcamCapture() { close(); }

void cWebcamCapture::resample(const unsigned char* source, unsigned char* destination)
{
    // x * 0.625 = x * 5 / 8 and y * 0.46875 = y * 15 / 32 exactly, so integer
    // arithmetic gives the same floors; the largest indices are 159 and 119.
    for (int y = 0; y < kFrameSide; ++y) {
        const unsigned char* sourceRow = source + (y * 15 / 32) * kSourceRowBytes;
        unsigned char* row = destination + y * kFrameRowBytes;
        for (int x = 0; x < kFrameSide; ++x) {
            const unsigned char* p = sourceRow + (x * 5 / 8) * 3;
            row[x * 3 + 0] = p[0];
            row[x * 3 + 1] = p[1];
            row[x * 3 + 2] = p[2];
        }
    }
}

bool cWebcamCapture::open(const char* device)
{
    close();
    // The show's window keeps the keyboard: the performer plays on it.
    if (hostWindow.create("webcam", 0, 0, kHostWidth, kHostHeight, WF_NOACTIVATE) != 0)
        std::printf("webcam: no host window; capturing without one\n");
    // Black until the first frame arrives.
    frameBuffer = new (std::nothrow) unsigned char[kFrameBytes]();
    grabBuffer_ = new (std::nothrow) unsigned char[kSourceBytes]();
    if (!frameBuffer || !grabBuffer_) {
        std::printf("webcam: out of memory for the frame buffers\n");
        close();
        return false;
    }
    // The window shows the frame buffer from now on: black until the first
    // frame, never what the screen held before.
    hostWindow.setPicture(frameBuffer, kFrameSide);
    hostWindow.paint();
    listDrivers();
    setupCapture(device);
    if (captureWindow) showDialogsAndParameters();
    return true;
}

void cWebcamCapture::listDrivers()
{
    // The V4L2 devices, then the built-in test pattern.
    for (int i = 0; i <= platform::kTestPatternDriver; ++i) {
        char name[512];
        char description[512];
        if (!platform::captureDriverDescription(i, name, sizeof name, description, sizeof description)) continue;
        std::printf("device%u\n", unsigned(i));
        std::printf("name: %s\n", name);
        std::printf("description: %s\n", description);
        platform::CaptureDevice* d = platform::openCaptureDriver(i);
        std::printf("windowhandle: %u %u\n", handleNumber(hostWindow.window), handleNumber(d));
        if (!d) {
            std::printf("webcam: cannot open device%u: %s\n", unsigned(i), platform::lastCaptureError());
            continue;
        }
        const platform::CaptureCaps c = platform::captureCaps(d);
        std::printf("index: %u\n", unsigned(i));
        std::printf("hasOverlay: %u\n", unsigned(c.hasOverlay));
        std::printf("hasSourceDialog: %u\n", unsigned(c.hasSourceDialog));
        std::printf("hasFormatDialog: %u\n", unsigned(c.hasFormatDialog));
        std::printf("hasDisplayDialog: %u\n", unsigned(c.hasDisplayDialog));
        std::printf("isInitialized: %u\n", unsigned(c.isInitialized));
        platform::closeCaptureDevice(d);
    }
}

void cWebcamCapture::setupCapture(const char* device)
{
    std::printf("\n%u\n", handleNumber(hostWindow.window));
    captureWindow = platform::openCaptureDevice(device);
    if (!captureWindow) {
        std::printf("webcam: no video capture device: %s; the picture stays black\n", platform::lastCaptureError());
        return;
    }
    caps = platform::captureCaps(captureWindow);
    std::printf("capture setup\n");
    if (platform::setCaptureFormat(captureWindow, kSourceWidth, kSourceHeight)) {
        std::printf("videoformatcool\n");
    } else {
        int w = 0, h = 0;
        platform::captureFormat(captureWindow, &w, &h);
        std::printf("webcam: the driver keeps its own format of %dx%d instead of %dx%d 24-bit\n", w, h,
                    int(kSourceWidth), int(kSourceHeight));
    }
}

void cWebcamCapture::showDialogsAndParameters()
{
    // The dialogs are modal and wait for a person; a run without one (a
    // capture, a test) goes on with what the driver has.
    const bool dialogs = platform::isInteractive();
    if (!dialogs && (caps.hasSourceDialog || caps.hasFormatDialog || caps.hasDisplayDialog))
        std::printf("webcam: no one to answer the driver's dialogs; not shown\n");
    if (dialogs && caps.hasSourceDialog) showDialog(platform::CaptureDialog::source);
    if (dialogs && caps.hasFormatDialog) showDialog(platform::CaptureDialog::format);
    // 5 frames per second; frames are grabbed one at a time, so these only
    // concern a sequence capture, which is never started.
    platform::CaptureParameters p;
    p.microSecondsPerFrame = 200001;
    p.percentDropForError = 0;
    p.yield = false;
    p.videoBuffers = 5;
    p.captureAudio = false;
    p.abortLeftMouse = p.abortRightMouse = false;
    p.timeLimited = false;
    p.timeLimitSeconds = 0;
    if (captureWindow && !platform::setCaptureParameters(captureWindow, p))
        std::printf("webcam: %s\n", platform::lastCaptureError());
    if (dialogs && caps.hasDisplayDialog) showDialog(platform::CaptureDialog::display);
}

void cWebcamCapture::showDialog(platform::CaptureDialog dialog)
{
    if (captureWindow && !platform::showCaptureDialog(captureWindow, dialog))
        std::printf("webcam: %s; going on without it\n", platform::lastCaptureError());
}

void cWebcamCapture::grab()
{
    if (!captureWindow || !grabBuffer_) return;
    const long bytes = platform::grabCaptureFrame(captureWindow, grabBuffer_, kSourceBytes);
    if (bytes < 0) {
        std::printf("webcam: the capture device stopped: %s; keeping the last frame\n", platform::lastCaptureError());
        closeDevice();
        return;
    }
    if (bytes == 0) {
        if (!toldDropped_) std::printf("webcam: %s; keeping the last frame\n", platform::lastCaptureError());
        toldDropped_ = true;
        return;
    }
    if (takeFrame(grabBuffer_, bytes)) hostWindow.paint(); // a live preview of every frame taken
}

bool cWebcamCapture::takeFrame(const unsigned char* pixels, long bytes)
{
    if (!frameBuffer || !pixels) return false;
    if (bytes != kSourceBytes) {
        if (!toldWrongSize_)
            std::printf("webcam: skipping frames of %ld bytes (160x120 at 24 bits is %d); keeping the last frame\n",
                        bytes, int(kSourceBytes));
        toldWrongSize_ = true;
        return false;
    }
    resample(pixels, frameBuffer);
    return true;
}

void cWebcamCapture::closeDevice()
{
    platform::closeCaptureDevice(captureWindow);
    captureWindow = nullptr;
}

void cWebcamCapture::close()
{
    closeDevice();
    hostWindow.setPicture(nullptr, 0);
    delete[] frameBuffer;
    frameBuffer = nullptr;
    delete[] grabBuffer_;
    grabBuffer_ = nullptr;
    toldWrongSize_ = false;
    toldDropped_ = false;
    caps = platform::CaptureCaps{};
    hostWindow.close();
}
