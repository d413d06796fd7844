// Video capture: listing capture drivers, opening one, and grabbing frames
// as 24-bit bottom-up bitmaps.
#pragma once

#include "platform/api.h"

#include <cstddef>

namespace platform {

// Capture drivers by index: 0 .. 9 are the system's (on Linux the video
// devices /dev/video0 .. /dev/video9, V4L2 through libv4l2, which converts
// any camera format to 24-bit BGR); index 10 is the built-in test pattern
// (colour bars with a moving white square), the same on every system, so
// shows and tests run without a camera.
enum : int { kCaptureDeviceSlots = 10, kTestPatternDriver = 10 };

// What an open driver offers. The Linux drivers have no driver dialogs, nor
// has the test pattern unless asked for them.
struct CaptureCaps {
    bool hasOverlay;
    bool hasSourceDialog;
    bool hasFormatDialog;
    bool hasDisplayDialog;
    bool isInitialized;
};

struct CaptureDevice; // one open capture driver

// The driver's own dialogs, as CaptureCaps reports them.
enum class CaptureDialog { source, format, display };

// The capture parameters of a driver's sequence capture (the Video for
// Windows CAPTUREPARMS record). Only Video for Windows drivers keep them;
// the others take them and have nothing to set.
struct CaptureParameters {
    unsigned microSecondsPerFrame = 0;
    unsigned percentDropForError = 0; // dropped frames allowed before an error
    bool yield = false;               // capture on a thread of its own
    unsigned videoBuffers = 0;
    bool captureAudio = false;
    bool abortLeftMouse = false; // a mouse button ends a sequence capture
    bool abortRightMouse = false;
    bool timeLimited = false;
    unsigned timeLimitSeconds = 0;
};

// Name and description of driver `index`, each cut to its buffer. False when
// there is no such driver: no device node, or one that cannot capture video.
KX_PLATFORM_API bool captureDriverDescription(int index, char* name, size_t nameSize, char* description,
                                              size_t descriptionSize);

// Opens driver `index`. Null on failure, with the reason in lastCaptureError().
KX_PLATFORM_API CaptureDevice* openCaptureDriver(int index);
// Opens a device by name: null or "" for driver 0, "0" .. "9" for those
// drivers, "testpattern" for the test pattern, anything else as the
// system's own name for a device (on Linux the path of a V4L2 device node).
// Null on failure, with the reason in lastCaptureError().
//
// Options of the test pattern follow a colon, separated by commas:
// "size=WxH" gives it a size of its own that it keeps whatever is asked (a
// camera that cannot deliver the requested format), "frames=N" makes it fail
// after N frames (a camera unplugged during the show), "dialogs" gives it
// the three driver dialogs, each a console line when shown,
// "dialogs=fail" dialogs that never open, and "short" frames that arrive
// cut short (each one dropped).
KX_PLATFORM_API CaptureDevice* openCaptureDevice(const char* device);
KX_PLATFORM_API void closeCaptureDevice(CaptureDevice* device);
KX_PLATFORM_API const char* lastCaptureError();

KX_PLATFORM_API CaptureCaps captureCaps(const CaptureDevice* device);
// Asks for frames of this size in 24-bit BGR. True when frames will come that
// way (a size the camera lacks is scaled by the back end); false when the
// device keeps a format of its own.
KX_PLATFORM_API bool setCaptureFormat(CaptureDevice* device, int width, int height);
// The size of the frames the device delivers now.
KX_PLATFORM_API void captureFormat(const CaptureDevice* device, int* width, int* height);

// Shows one of the driver's own dialogs and returns when the user closed it
// (it is modal: nothing else runs meanwhile). The format dialog may change
// what the driver delivers; the frames handed out keep their size. False,
// with the reason in lastCaptureError(), when the driver has no such
// dialog or it did not open.
KX_PLATFORM_API bool showCaptureDialog(CaptureDevice* device, CaptureDialog dialog);
// Writes the capture parameters. False, with the reason in
// lastCaptureError(), when the driver refuses them.
KX_PLATFORM_API bool setCaptureParameters(CaptureDevice* device, const CaptureParameters& parameters);
// "source", "format", "display".
KX_PLATFORM_API const char* captureDialogName(CaptureDialog dialog);

// Grabs one frame: width x height pixels of 3 bytes, blue-green-red, rows
// packed end to end, bottom row first (a 24-bit device-independent bitmap).
// Returns the frame's byte count, and copies the frame into `pixels` only
// when it fits in `capacity` (otherwise nothing is grabbed); 0 when the
// device delivered a broken frame, which is dropped; -1 when the device
// failed or went away (the reason in lastCaptureError()), and on every later
// call.
KX_PLATFORM_API long grabCaptureFrame(CaptureDevice* device, unsigned char* pixels, size_t capacity);

} // namespace platform
