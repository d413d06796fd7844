// One open capture driver, as the capture back end and the built-in test
// pattern share it. Each driver is a CaptureDevice of its own kind behind
// the functions of platform.h.
#pragma once

#include "platform/platform.h"

namespace platform {

struct CaptureDevice {
    virtual ~CaptureDevice() = default;
    // Asks for frames of this size in 24-bit BGR; as setCaptureFormat.
    virtual bool setFormat(int width, int height) = 0;
    // Writes one frame of width x height x 3 bytes, bottom row first, into
    // out (which holds exactly that); 0 when the frame was dropped, -1 when
    // the device failed (the reason set with setCaptureError).
    virtual int grabInto(unsigned char* out) = 0;

    CaptureCaps caps{};
    int width = 0; // size of the frames handed out
    int height = 0;
    bool failed = false;
};

// Largest side any driver hands out: keeps a hostile size request from
// asking for gigabytes.
constexpr int kMaxCaptureSide = 4096;

// Sets the text lastCaptureError() gives.
void setCaptureError(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// The built-in test pattern ("testpattern", driver kTestPatternDriver):
// options as after the colon of openCaptureDevice's name, null for none.
// Null on bad options, with the reason set.
CaptureDevice* openTestPattern(const char* options);

} // namespace platform
