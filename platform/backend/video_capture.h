// What every capture driver gives the portable part of video capture
// (platform/video_capture.cpp): the open-device object it drives, the
// shared error text, and the system's own drivers, which each back end
// provides.
#pragma once

#include "platform/video_capture.h"

#include <cstddef>

namespace platform {

// Largest side any driver hands out: keeps a hostile size request from
// asking for gigabytes.
constexpr int kMaxCaptureSide = 4096;

// One open driver.
struct CaptureDevice {
    virtual ~CaptureDevice() = default;
    // Frames of this size from now on; false when the device keeps a format
    // of its own (width and height then tell what it delivers).
    virtual bool setFormat(int width, int height) = 0;
    // Writes one frame of width x height x 3 bytes, bottom row first, into
    // out (which holds exactly that); 0 when the frame was dropped, -1 when
    // the device failed.
    virtual int grabInto(unsigned char* out) = 0;
    // The driver's dialog, shown modally; false with the reason set. By
    // default the driver has none.
    virtual bool showDialog(CaptureDialog dialog);
    // By default there is nothing to set.
    virtual bool setParameters(const CaptureParameters&) { return true; }

    CaptureCaps caps{};
    int width = 0; // size of the frames handed out
    int height = 0;
    bool failed = false;
};

// Sets the text lastCaptureError() returns.
void setCaptureError(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The reasons every driver gives in the same words: frames of a kind
// (a four-character code, "uncompressed 16-bit", ...) that cannot become
// BGR24, and a frame dropped for being shorter than its layout.
void setUnconvertibleError(const char* who, const char* kind);
void setShortFrameError(const char* who, size_t bytes, size_t needed);

// Copies text into a buffer of `size` bytes, cut to fit; nothing for a null
// buffer.
void copyCaptureText(char* out, size_t size, const char* text);

// ---- The system's drivers, implemented by each back end ----

// Name and description of the system's driver `index`, 0 .. kCaptureDeviceSlots - 1.
bool systemCaptureDriverDescription(int index, char* name, size_t nameSize, char* description, size_t descriptionSize);
// Opens the system's driver `index`, 0 .. kCaptureDeviceSlots - 1; null with
// the reason set.
CaptureDevice* openSystemCaptureDriver(int index);
// Opens a device by the system's own name for it (on Linux the path of a
// device node); null with the reason set.
CaptureDevice* openSystemCaptureDevice(const char* name);

} // namespace platform
