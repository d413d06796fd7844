// Windows back end: the system's capture drivers, through Video for
// Windows.
//
// Each open driver has a hidden capture window of its own. Frames are
// grabbed one at a time (WM_CAP_GRAB_FRAME_NOSTOP); the capture interface
// hands each to the frame callback before the grab returns, and the callback
// copies it into the caller's buffer. Frames of a format other than the
// 24-bit BGR asked for are converted here: uncompressed 24- and 32-bit ones
// directly, compressed ones (YUY2, MJPG, ...) through the system's video
// decompressor for that format when one is installed; a size the driver
// lacks is scaled by the layer's frame scaler (platform/frame_scale.h).
//
// The driver's own dialogs (source, format, display) and its capture
// parameters are the capture interface's messages to the same window.
#include "platform/backend/video_capture.h"

#include "platform/frame_scale.h"
#include "platform/win32/dib_frame.h"
#include "platform/win32/native_window.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <vector>
#include <vfw.h>

namespace platform {

namespace {

// The driver's frame format in words: its four-character code or depth.
void describeFormat(const BITMAPINFOHEADER& f, char* out, size_t size)
{
    if (f.biCompression == BI_RGB) {
        std::snprintf(out, size, "uncompressed %u-bit", unsigned(f.biBitCount));
        return;
    }
    char code[5];
    fourCharacterCode(uint32_t(f.biCompression), code);
    std::snprintf(out, size, "%s", code);
}

// The layout of frames of this format when they are read as they come.
bool directLayout(const BITMAPINFOHEADER& f, FrameLayout& layout)
{
    DibFormat d;
    d.width = f.biWidth;
    d.height = f.biHeight;
    d.bitCount = f.biBitCount;
    d.compression = uint32_t(f.biCompression);
    return directDibLayout(d, kMaxCaptureSide, layout);
}

struct VfwDevice final : CaptureDevice {
    int driver = 0;
    HWND window = nullptr;
    std::vector<unsigned char> formatBytes; // the driver's BITMAPINFO
    HIC decompressor = nullptr;
    BITMAPINFOHEADER decoded{}; // what the decompressor writes
    std::vector<unsigned char> decodedFrame;
    // During a grab: where the frame goes, and what became of it.
    unsigned char* target = nullptr;
    int frameResult = 0;

    ~VfwDevice() override
    {
        closeDecompressor();
        if (window && IsWindow(window)) {
            capSetCallbackOnFrame(window, nullptr);
            capSetUserData(window, 0);
            capDriverDisconnect(window);
            DestroyWindow(window);
        }
    }

    const BITMAPINFOHEADER* format() const
    {
        return formatBytes.size() >= sizeof(BITMAPINFOHEADER)
                   ? reinterpret_cast<const BITMAPINFOHEADER*>(formatBytes.data())
                   : nullptr;
    }

    int sourceWidth() const { return format() ? int(format()->biWidth) : 0; }
    int sourceHeight() const
    {
        const BITMAPINFOHEADER* f = format();
        return f ? (f->biHeight < 0 ? -int(f->biHeight) : int(f->biHeight)) : 0;
    }

    bool readFormat()
    {
        formatBytes.clear();
        closeDecompressor();
        const DWORD size = capGetVideoFormatSize(window);
        if (size < sizeof(BITMAPINFOHEADER) || size > 64 * 1024) return false;
        try {
            formatBytes.assign(size, 0);
        } catch (const std::bad_alloc&) {
            return false;
        }
        if (capGetVideoFormat(window, formatBytes.data(), size) < sizeof(BITMAPINFOHEADER)) {
            formatBytes.clear();
            return false;
        }
        const int w = sourceWidth(), h = sourceHeight();
        if (w < 1 || h < 1 || w > kMaxCaptureSide || h > kMaxCaptureSide) {
            formatBytes.clear();
            return false;
        }
        FrameLayout direct;
        if (!directLayout(*format(), direct)) openDecompressor();
        return true;
    }

    // A decompressor from the driver's format to 24-bit BGR of its size.
    void openDecompressor()
    {
        decoded = BITMAPINFOHEADER{};
        decoded.biSize = sizeof decoded;
        decoded.biWidth = sourceWidth();
        decoded.biHeight = sourceHeight();
        decoded.biPlanes = 1;
        decoded.biBitCount = 24;
        decoded.biCompression = BI_RGB;
        const size_t stride = (size_t(decoded.biWidth) * 3 + 3) & ~size_t(3);
        decoded.biSizeImage = DWORD(stride * size_t(decoded.biHeight));
        auto* in = reinterpret_cast<BITMAPINFOHEADER*>(formatBytes.data());
        HIC hic = ICLocate(ICTYPE_VIDEO, 0, in, &decoded, ICMODE_DECOMPRESS);
        if (!hic) return;
        if (ICDecompressBegin(hic, in, &decoded) != ICERR_OK) {
            ICClose(hic);
            return;
        }
        try {
            decodedFrame.assign(decoded.biSizeImage, 0);
        } catch (const std::bad_alloc&) {
            ICDecompressEnd(hic);
            ICClose(hic);
            return;
        }
        decompressor = hic;
    }

    void closeDecompressor()
    {
        if (!decompressor) return;
        ICDecompressEnd(decompressor);
        ICClose(decompressor);
        decompressor = nullptr;
        decodedFrame.clear();
    }

    bool convertible() const
    {
        FrameLayout direct;
        return format() && (directLayout(*format(), direct) || decompressor);
    }

    bool setFormat(int w, int h) override
    {
        if (w < 1 || h < 1 || w > kMaxCaptureSide || h > kMaxCaptureSide || !IsWindow(window)) return false;
        BITMAPINFOHEADER asked{};
        asked.biSize = sizeof asked;
        asked.biWidth = w;
        asked.biHeight = h;
        asked.biPlanes = 1;
        asked.biBitCount = 24;
        asked.biCompression = BI_RGB;
        asked.biSizeImage = DWORD(((size_t(w) * 3 + 3) & ~size_t(3)) * size_t(h));
        // Whether the driver said yes or no, what it delivers now decides.
        capSetVideoFormat(window, &asked, sizeof asked);
        if (!readFormat() || !convertible()) {
            width = sourceWidth();
            height = sourceHeight();
            return false;
        }
        width = w;
        height = h;
        return true;
    }

    // Called by the frame callback with one frame as the driver sent it.
    void takeFrame(const unsigned char* data, size_t bytes)
    {
        frameResult = 0; // dropped unless it converts
        const BITMAPINFOHEADER* f = format();
        if (!f || !target) return;
        FrameLayout layout;
        if (directLayout(*f, layout)) {
            scale(layout, data, bytes);
            return;
        }
        if (!decompressor) return;
        BITMAPINFOHEADER in = *f;
        in.biSizeImage = DWORD(bytes);
        if (ICDecompress(decompressor, 0, &in, const_cast<unsigned char*>(data), &decoded, decodedFrame.data()) !=
            ICERR_OK) {
            setCaptureError("capture driver %d: the video decompressor refused a frame; dropped", driver);
            return;
        }
        if (directLayout(decoded, layout)) scale(layout, decodedFrame.data(), decodedFrame.size());
    }

    void scale(const FrameLayout& layout, const unsigned char* data, size_t bytes)
    {
        if (scaleFrame(layout, data, bytes, kMaxCaptureSide, width, height, target) == FrameScale::done) {
            frameResult = 1;
            return;
        }
        char who[32];
        std::snprintf(who, sizeof who, "capture driver %d", driver);
        setShortFrameError(who, bytes, frameLayoutBytes(layout));
    }

    bool showDialog(CaptureDialog dialog) override
    {
        if (!IsWindow(window)) {
            setCaptureError("capture driver %d: the capture window went away", driver);
            return false;
        }
        BOOL shown = FALSE;
        switch (dialog) {
        case CaptureDialog::source:
            shown = caps.hasSourceDialog ? capDlgVideoSource(window) : FALSE;
            break;
        case CaptureDialog::format:
            shown = caps.hasFormatDialog ? capDlgVideoFormat(window) : FALSE;
            break;
        case CaptureDialog::display:
            shown = caps.hasDisplayDialog ? capDlgVideoDisplay(window) : FALSE;
            break;
        }
        if (dialog == CaptureDialog::format) refreshFormat();
        if (!shown) {
            setCaptureError("capture driver %d: the %s dialog did not open", driver, captureDialogName(dialog));
            return false;
        }
        return true;
    }

    // After the format dialog: frames come in whatever the user chose, and
    // are still handed out at the size asked for.
    void refreshFormat() { readFormat(); }

    bool setParameters(const CaptureParameters& p) override
    {
        CAPTUREPARMS parms{};
        if (!IsWindow(window) || !capCaptureGetSetup(window, &parms, sizeof parms)) {
            setCaptureError("capture driver %d: the capture parameters cannot be read", driver);
            return false;
        }
        parms.dwRequestMicroSecPerFrame = p.microSecondsPerFrame;
        parms.wPercentDropForError = UINT(p.percentDropForError);
        parms.fYield = p.yield ? TRUE : FALSE;
        parms.wNumVideoRequested = UINT(p.videoBuffers);
        parms.fCaptureAudio = p.captureAudio ? TRUE : FALSE;
        parms.fAbortLeftMouse = p.abortLeftMouse ? TRUE : FALSE;
        parms.fAbortRightMouse = p.abortRightMouse ? TRUE : FALSE;
        parms.fLimitEnabled = p.timeLimited ? TRUE : FALSE;
        parms.wTimeLimit = UINT(p.timeLimitSeconds);
        if (!capCaptureSetSetup(window, &parms, sizeof parms)) {
            setCaptureError("capture driver %d: the driver refused the capture parameters", driver);
            return false;
        }
        return true;
    }

    int grabInto(unsigned char* out) override
    {
        if (!IsWindow(window)) {
            setCaptureError("capture driver %d: the capture window went away", driver);
            return -1;
        }
        if (!convertible()) {
            char kind[64] = "no format";
            if (format()) describeFormat(*format(), kind, sizeof kind);
            char who[32];
            std::snprintf(who, sizeof who, "capture driver %d", driver);
            setUnconvertibleError(who, kind);
            return -1;
        }
        target = out;
        frameResult = 0;
        // Replaced by the frame's own fault when one arrives and is dropped.
        setCaptureError("capture driver %d: the driver delivered no frame", driver);
        const bool grabbed = capGrabFrameNoStop(window) != FALSE;
        target = nullptr;
        if (!grabbed) {
            setCaptureError("capture driver %d: grabbing a frame failed", driver);
            return -1;
        }
        return frameResult;
    }
};

LRESULT CALLBACK frameArrived(HWND window, LPVIDEOHDR header)
{
    if (!IsWindow(window) || !header || !header->lpData) return TRUE;
    auto* device = reinterpret_cast<VfwDevice*>(capGetUserData(window));
    if (!device || !device->target) return TRUE;
    // Some drivers leave the byte count of uncompressed frames at 0.
    const DWORD bytes = header->dwBytesUsed ? header->dwBytesUsed : header->dwBufferLength;
    if (bytes > header->dwBufferLength) return TRUE;
    device->takeFrame(header->lpData, bytes);
    return TRUE;
}

CaptureDevice* openVfw(int index)
{
    auto* d = new (std::nothrow) VfwDevice;
    if (!d) {
        setCaptureError("capture driver %d: out of memory", index);
        return nullptr;
    }
    d->driver = index;
    // Hidden, without a parent: frames are only grabbed, never shown.
    d->window = capCreateCaptureWindowA("capture", WS_POPUP, 0, 0, 160, 120, nullptr, 0);
    if (!d->window) {
        char why[300];
        systemErrorText(GetLastError(), why, sizeof why);
        setCaptureError("capture driver %d: no capture window (%s)", index, why);
        delete d;
        return nullptr;
    }
    if (!capDriverConnect(d->window, index)) {
        setCaptureError("capture driver %d: the driver does not connect", index);
        delete d;
        return nullptr;
    }
    CAPDRIVERCAPS caps{};
    if (capDriverGetCaps(d->window, &caps, sizeof caps)) {
        d->caps.hasOverlay = caps.fHasOverlay != FALSE;
        d->caps.hasSourceDialog = caps.fHasDlgVideoSource != FALSE;
        d->caps.hasFormatDialog = caps.fHasDlgVideoFormat != FALSE;
        d->caps.hasDisplayDialog = caps.fHasDlgVideoDisplay != FALSE;
        d->caps.isInitialized = caps.fCaptureInitialized != FALSE;
    }
    capSetUserData(d->window, d);
    capSetCallbackOnFrame(d->window, &frameArrived);
    capPreviewScale(d->window, FALSE);
    capPreview(d->window, FALSE);
    if (d->caps.hasOverlay) capOverlay(d->window, FALSE);
    if (!d->readFormat()) {
        setCaptureError("capture driver %d: the driver reports no usable frame format", index);
        delete d;
        return nullptr;
    }
    d->width = d->sourceWidth();
    d->height = d->sourceHeight();
    return d;
}

bool vfwDescription(int index, char* name, size_t nameSize, char* description, size_t descriptionSize)
{
    char n[512] = {}, v[512] = {};
    if (!capGetDriverDescriptionA(UINT(index), n, sizeof n, v, sizeof v)) return false;
    n[sizeof n - 1] = 0;
    v[sizeof v - 1] = 0;
    copyCaptureText(name, nameSize, n);
    copyCaptureText(description, descriptionSize, v);
    return true;
}

// The driver of this name, or -1.
int driverNamed(const char* device)
{
    for (int i = 0; i < kCaptureDeviceSlots; ++i) {
        char name[512];
        if (vfwDescription(i, name, sizeof name, nullptr, 0) && _stricmp(name, device) == 0) return i;
    }
    return -1;
}

} // namespace

bool systemCaptureDriverDescription(int index, char* name, size_t nameSize, char* description, size_t descriptionSize)
{
    return vfwDescription(index, name, nameSize, description, descriptionSize);
}

CaptureDevice* openSystemCaptureDriver(int index) { return openVfw(index); }

// A name other than a driver number or the test pattern is a driver's name
// as capGetDriverDescription gives it, in any letter case.
CaptureDevice* openSystemCaptureDevice(const char* device)
{
    const int index = driverNamed(device);
    if (index < 0) {
        setCaptureError("no capture driver named \"%.200s\"", device);
        return nullptr;
    }
    return openVfw(index);
}

} // namespace platform
