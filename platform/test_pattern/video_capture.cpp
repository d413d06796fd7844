// The test-pattern capture driver: draws its frames itself, so it needs
// nothing of the system.
#include "platform/test_pattern/video_capture.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace platform {

namespace {

// Colour bars over the top two thirds, a blue strip below with a white
// square bouncing from side to side, moved by the frame counter. Bottom
// row first.
void drawTestPattern(unsigned long frame, int width, int height, unsigned char* pixels)
{
    // Eight bars, blue-green-red: white, yellow, cyan, green, magenta, red,
    // blue, black.
    static const unsigned char bars[8][3] = {
        {255, 255, 255}, {0, 255, 255}, {255, 255, 0}, {0, 255, 0}, {255, 0, 255}, {0, 0, 255}, {255, 0, 0}, {0, 0, 0},
    };
    static const unsigned char strip[3] = {255, 0, 0}; // blue
    static const unsigned char square[3] = {255, 255, 255};
    if (!pixels || width < 1 || height < 1) return;

    const int stripTop = height * 2 / 3; // rows counted from the top
    const int side = height / 5 > 0 ? height / 5 : 1;
    const int squareTop = stripTop + (height - stripTop - side) / 2;
    const int travel = width > side ? width - side : 0;
    const unsigned long step = width / 40 > 0 ? unsigned(width / 40) : 1u;
    int squareLeft = 0;
    if (travel > 0) {
        const unsigned long p = (frame * step) % (2ul * unsigned(travel));
        squareLeft = int(p <= unsigned(travel) ? p : 2ul * unsigned(travel) - p);
    }

    for (int y = 0; y < height; ++y) {
        // Bottom row first: row y from the top lands at height - 1 - y.
        unsigned char* row = pixels + size_t(height - 1 - y) * size_t(width) * 3;
        const bool inStrip = y >= stripTop;
        const bool squareRow = y >= squareTop && y < squareTop + side;
        for (int x = 0; x < width; ++x) {
            const unsigned char* c = inStrip ? strip : bars[size_t(x) * 8 / size_t(width)];
            if (squareRow && x >= squareLeft && x < squareLeft + side) c = square;
            row[x * 3 + 0] = c[0];
            row[x * 3 + 1] = c[1];
            row[x * 3 + 2] = c[2];
        }
    }
}

struct TestPatternDevice final : CaptureDevice {
    int fixedWidth = 0; // nonzero: the only size this driver delivers
    int fixedHeight = 0;
    long frameLimit = -1; // frames until it "unplugs"; -1 for never
    unsigned long frame = 0;
    // "dialogs": it reports the three driver dialogs, and showing one (or
    // writing the capture parameters) prints a console line instead of
    // opening a window; "dialogs=fail": none of them opens.
    enum class Dialogs { none, shown, failing } dialogs = Dialogs::none;
    bool shortFrames = false; // "short": every frame arrives cut short

    bool showDialog(CaptureDialog dialog) override
    {
        if (dialogs == Dialogs::none) return CaptureDevice::showDialog(dialog);
        if (dialogs == Dialogs::failing) {
            setCaptureError("%s: the %s dialog did not open", kTestPatternName, captureDialogName(dialog));
            return false;
        }
        std::printf("%s: %s dialog\n", kTestPatternName, captureDialogName(dialog));
        return true;
    }

    bool setParameters(const CaptureParameters& p) override
    {
        if (dialogs == Dialogs::shown)
            std::printf("%s: capture parameters: %u us per frame, %u%% dropped frames, %u buffers, yield %d, audio %d, "
                        "abort by mouse %d/%d, time limit %d (%u s)\n",
                        kTestPatternName, p.microSecondsPerFrame, p.percentDropForError, p.videoBuffers, int(p.yield),
                        int(p.captureAudio), int(p.abortLeftMouse), int(p.abortRightMouse), int(p.timeLimited),
                        p.timeLimitSeconds);
        return true;
    }

    bool setFormat(int w, int h) override
    {
        if (fixedWidth) return w == fixedWidth && h == fixedHeight;
        if (w < 1 || h < 1 || w > kMaxCaptureSide || h > kMaxCaptureSide) return false;
        width = w;
        height = h;
        return true;
    }

    int grabInto(unsigned char* out) override
    {
        if (frameLimit >= 0 && frame >= static_cast<unsigned long>(frameLimit)) {
            setCaptureError("%s: the device went away after %ld frames", kTestPatternName, frameLimit);
            return -1;
        }
        if (shortFrames) {
            const size_t bytes = size_t(width) * size_t(height) * 3;
            setShortFrameError(kTestPatternName, bytes - 1, bytes);
            return 0;
        }
        drawTestPattern(frame++, width, height, out);
        return 1;
    }
};

// Reads a decimal number of at most 9 digits ending at `stop` (0: the end of
// the text).
bool readNumber(const char* text, char stop, long& value)
{
    int digits = 0;
    value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        if (++digits > 9) return false;
        value = value * 10 + (*text - '0');
    }
    return digits > 0 && *text == stop;
}

// Reads "size=WxH" and "frames=N" options, separated by commas.
bool readPatternOptions(const char* options, TestPatternDevice& d)
{
    while (options && *options) {
        const char* end = std::strchr(options, ',');
        const size_t len = end ? size_t(end - options) : std::strlen(options);
        char option[64];
        if (len >= sizeof option) {
            setCaptureError("%s: option too long", kTestPatternName);
            return false;
        }
        std::memcpy(option, options, len);
        option[len] = 0;
        long w = 0, h = 0, n = 0;
        if (std::strncmp(option, "size=", 5) == 0 && readNumber(option + 5, 'x', w) &&
            readNumber(std::strchr(option, 'x') + 1, 0, h)) {
            if (w < 1 || h < 1 || w > kMaxCaptureSide || h > kMaxCaptureSide) {
                setCaptureError("%s: size %ldx%ld is outside 1..%d", kTestPatternName, w, h, kMaxCaptureSide);
                return false;
            }
            d.fixedWidth = d.width = int(w);
            d.fixedHeight = d.height = int(h);
        } else if (std::strncmp(option, "frames=", 7) == 0 && readNumber(option + 7, 0, n)) {
            d.frameLimit = n;
        } else if (std::strcmp(option, "short") == 0) {
            d.shortFrames = true;
        } else if (std::strcmp(option, "dialogs") == 0 || std::strcmp(option, "dialogs=fail") == 0) {
            d.dialogs = option[7] ? TestPatternDevice::Dialogs::failing : TestPatternDevice::Dialogs::shown;
        } else {
            setCaptureError("%s: unknown option \"%s\" (size=WxH, frames=N, short, dialogs or dialogs=fail)",
                            kTestPatternName, option);
            return false;
        }
        options = end ? end + 1 : nullptr;
    }
    return true;
}

} // namespace

CaptureDevice* openTestPattern(const char* options)
{
    auto* d = new (std::nothrow) TestPatternDevice;
    if (!d) {
        setCaptureError("%s: out of memory", kTestPatternName);
        return nullptr;
    }
    d->width = 160;
    d->height = 120;
    if (!readPatternOptions(options, *d)) {
        delete d;
        return nullptr;
    }
    d->caps.isInitialized = true;
    const bool dialogs = d->dialogs != TestPatternDevice::Dialogs::none;
    d->caps.hasSourceDialog = d->caps.hasFormatDialog = d->caps.hasDisplayDialog = dialogs;
    return d;
}

void testPatternDescription(char* name, size_t nameSize, char* description, size_t descriptionSize)
{
    copyCaptureText(name, nameSize, kTestPatternName);
    copyCaptureText(description, descriptionSize, "built-in test pattern: colour bars with a moving white square");
}

} // namespace platform
