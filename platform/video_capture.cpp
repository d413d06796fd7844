// Video capture, the part every system shares: which driver a name or an
// index opens, the error text, and the frame hand-out. The drivers are the
// built-in test pattern (platform/test_pattern/) and the system's own, from
// the back end.
#include "platform/video_capture.h"

#include "platform/backend/video_capture.h"
#include "platform/test_pattern/video_capture.h"

#include <cstdarg>
#include <cstdio>
#include <strings.h>

namespace platform {

namespace {
char gCaptureError[512];
} // namespace

void setCaptureError(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::vsnprintf(gCaptureError, sizeof gCaptureError, format, args);
    va_end(args);
}

void setUnconvertibleError(const char* who, const char* kind)
{
    setCaptureError("%s: frames come as %s, which cannot be converted to BGR24", who, kind);
}

void setShortFrameError(const char* who, size_t bytes, size_t needed)
{
    setCaptureError("%s: a frame of %llu bytes is shorter than its format's %llu; dropped", who,
                    static_cast<unsigned long long>(bytes), static_cast<unsigned long long>(needed));
}

void copyCaptureText(char* out, size_t size, const char* text)
{
    if (!out || !size) return;
    std::snprintf(out, size, "%s", text ? text : "");
}

bool captureDriverDescription(int index, char* name, size_t nameSize, char* description, size_t descriptionSize)
{
    if (index == kTestPatternDriver) {
        testPatternDescription(name, nameSize, description, descriptionSize);
        return true;
    }
    if (index < 0 || index >= kCaptureDeviceSlots) return false;
    return systemCaptureDriverDescription(index, name, nameSize, description, descriptionSize);
}

CaptureDevice* openCaptureDriver(int index)
{
    if (index == kTestPatternDriver) return openTestPattern(nullptr);
    if (index < 0 || index >= kCaptureDeviceSlots) {
        setCaptureError("no capture driver %d", index);
        return nullptr;
    }
    return openSystemCaptureDriver(index);
}

CaptureDevice* openCaptureDevice(const char* device)
{
    if (!device || !*device) return openCaptureDriver(0);
    const size_t n = sizeof kTestPatternName - 1;
    if (strncasecmp(device, kTestPatternName, n) == 0 && (device[n] == 0 || device[n] == ':'))
        return openTestPattern(device[n] ? device + n + 1 : nullptr);
    if (device[0] >= '0' && device[0] <= '9' && device[1] == 0) return openCaptureDriver(device[0] - '0');
    return openSystemCaptureDevice(device);
}

void closeCaptureDevice(CaptureDevice* device) { delete device; }

const char* captureDialogName(CaptureDialog dialog)
{
    switch (dialog) {
    case CaptureDialog::source:
        return "source";
    case CaptureDialog::format:
        return "format";
    case CaptureDialog::display:
        return "display";
    }
    return "unknown";
}

bool CaptureDevice::showDialog(CaptureDialog dialog)
{
    setCaptureError("the driver has no %s dialog", captureDialogName(dialog));
    return false;
}

bool showCaptureDialog(CaptureDevice* device, CaptureDialog dialog)
{
    if (!device || device->failed) {
        setCaptureError("no capture device");
        return false;
    }
    return device->showDialog(dialog);
}

bool setCaptureParameters(CaptureDevice* device, const CaptureParameters& parameters)
{
    if (!device || device->failed) {
        setCaptureError("no capture device");
        return false;
    }
    return device->setParameters(parameters);
}

const char* lastCaptureError() { return gCaptureError; }

CaptureCaps captureCaps(const CaptureDevice* device) { return device ? device->caps : CaptureCaps{}; }

bool setCaptureFormat(CaptureDevice* device, int width, int height)
{
    return device && !device->failed && device->setFormat(width, height);
}

void captureFormat(const CaptureDevice* device, int* width, int* height)
{
    if (width) *width = device ? device->width : 0;
    if (height) *height = device ? device->height : 0;
}

long grabCaptureFrame(CaptureDevice* device, unsigned char* pixels, size_t capacity)
{
    if (!device) {
        setCaptureError("no capture device");
        return -1;
    }
    if (device->failed) return -1;
    const size_t bytes = size_t(device->width) * size_t(device->height) * 3;
    if (!pixels || bytes > capacity) return long(bytes);
    const int r = device->grabInto(pixels);
    if (r < 0) {
        device->failed = true;
        return -1;
    }
    return r == 0 ? 0 : long(bytes);
}

} // namespace platform
