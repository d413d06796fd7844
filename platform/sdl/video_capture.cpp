// Linux back end: video capture through V4L2 and libv4l2, plus the built-in
// test-pattern driver.
//
// libv4l2 converts whatever the camera sends (YUYV, MJPEG, Bayer, ...) into
// the 24-bit BGR that callers ask for; when the camera cannot deliver the
// requested size, the frame is scaled here (nearest neighbour). Frames are
// handed out bottom row first, as a 24-bit device-independent bitmap.
#include "platform/video_capture.h"

#include <SDL.h>
#include <libv4l2.h>
#include <linux/videodev2.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <poll.h>
#include <string>
#include <strings.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

char gCaptureError[512];

void setError(const char* format, ...) __attribute__((format(printf, 1, 2)));
void setError(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::vsnprintf(gCaptureError, sizeof gCaptureError, format, args);
    va_end(args);
}

void copyText(char* out, size_t size, const char* text)
{
    if (!out || !size) return;
    std::snprintf(out, size, "%s", text ? text : "");
}

// Largest side either driver hands out: keeps a hostile size request from
// asking for gigabytes.
constexpr int kMaxSide = 4096;
// How long one grab waits for the camera before it counts as gone.
constexpr int kGrabTimeoutMs = 2000;

const char kTestPatternName[] = "testpattern";

double monotonicMs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) * 1000.0 + double(t.tv_nsec) / 1e6;
}

} // namespace

// One open driver: either a V4L2 device or the test pattern.
struct CaptureDevice {
    virtual ~CaptureDevice() = default;
    virtual bool setFormat(int width, int height) = 0;
    // Writes one frame of width x height x 3 bytes, bottom row first, into
    // out (which holds exactly that); 0 when the frame was dropped, -1 when
    // the device failed.
    virtual int grabInto(unsigned char* out) = 0;

    CaptureCaps caps{};
    int width = 0; // size of the frames handed out
    int height = 0;
    bool failed = false;
};

// ---- Test pattern --------------------------------------------------------

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

    bool setFormat(int w, int h) override
    {
        if (fixedWidth) return w == fixedWidth && h == fixedHeight;
        if (w < 1 || h < 1 || w > kMaxSide || h > kMaxSide) return false;
        width = w;
        height = h;
        return true;
    }

    int grabInto(unsigned char* out) override
    {
        if (frameLimit >= 0 && frame >= static_cast<unsigned long>(frameLimit)) {
            setError("%s: the device went away after %ld frames", kTestPatternName, frameLimit);
            return -1;
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
            setError("%s: option too long", kTestPatternName);
            return false;
        }
        std::memcpy(option, options, len);
        option[len] = 0;
        long w = 0, h = 0, n = 0;
        if (std::strncmp(option, "size=", 5) == 0 && readNumber(option + 5, 'x', w) &&
            readNumber(std::strchr(option, 'x') + 1, 0, h)) {
            if (w < 1 || h < 1 || w > kMaxSide || h > kMaxSide) {
                setError("%s: size %ldx%ld is outside 1..%d", kTestPatternName, w, h, kMaxSide);
                return false;
            }
            d.fixedWidth = d.width = int(w);
            d.fixedHeight = d.height = int(h);
        } else if (std::strncmp(option, "frames=", 7) == 0 && readNumber(option + 7, 0, n)) {
            d.frameLimit = n;
        } else {
            setError("%s: unknown option \"%s\" (size=WxH or frames=N)", kTestPatternName, option);
            return false;
        }
        options = end ? end + 1 : nullptr;
    }
    return true;
}

CaptureDevice* openTestPattern(const char* options)
{
    auto* d = new (std::nothrow) TestPatternDevice;
    if (!d) {
        setError("%s: out of memory", kTestPatternName);
        return nullptr;
    }
    d->width = 160;
    d->height = 120;
    if (!readPatternOptions(options, *d)) {
        delete d;
        return nullptr;
    }
    d->caps.isInitialized = true;
    return d;
}

} // namespace

// ---- V4L2 ------------------------------------------------------------------

namespace {

int xioctl(int fd, unsigned long request, void* arg)
{
    int r;
    do r = v4l2_ioctl(fd, request, arg);
    while (r == -1 && errno == EINTR);
    return r;
}

// The capabilities of the device itself, not of the whole driver.
uint32_t deviceCaps(const v4l2_capability& cap)
{
    return (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
}

std::string fourcc(uint32_t code)
{
    char s[5];
    for (int i = 0; i < 4; ++i) {
        const char c = char((code >> (8 * i)) & 0xff);
        s[i] = (c >= 32 && c < 127) ? c : '?';
    }
    s[4] = 0;
    return s;
}

struct V4l2Device final : CaptureDevice {
    int fd = -1;
    char path[256] = {};
    // The format the device actually delivers.
    uint32_t pixelFormat = 0;
    int sourceWidth = 0, sourceHeight = 0;
    size_t bytesPerLine = 0;
    size_t imageSize = 0;
    std::vector<unsigned char> raw;

    ~V4l2Device() override
    {
        if (fd >= 0) v4l2_close(fd);
    }

    bool readFormat()
    {
        v4l2_format f{};
        f.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (xioctl(fd, VIDIOC_G_FMT, &f) != 0) {
            setError("%s: cannot read the frame format: %s", path, std::strerror(errno));
            return false;
        }
        takeFormat(f);
        return true;
    }

    void takeFormat(const v4l2_format& f)
    {
        pixelFormat = f.fmt.pix.pixelformat;
        sourceWidth = int(f.fmt.pix.width);
        sourceHeight = int(f.fmt.pix.height);
        bytesPerLine = f.fmt.pix.bytesperline;
        imageSize = f.fmt.pix.sizeimage;
    }

    bool setFormat(int w, int h) override
    {
        if (w < 1 || h < 1 || w > kMaxSide || h > kMaxSide) return false;
        v4l2_format f{};
        f.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        f.fmt.pix.width = unsigned(w);
        f.fmt.pix.height = unsigned(h);
        f.fmt.pix.pixelformat = V4L2_PIX_FMT_BGR24;
        f.fmt.pix.field = V4L2_FIELD_NONE;
        if (xioctl(fd, VIDIOC_S_FMT, &f) != 0) {
            // Some drivers refuse while busy; keep what they have.
            readFormat();
            return false;
        }
        takeFormat(f);
        if (pixelFormat != V4L2_PIX_FMT_BGR24) return false;
        // Whatever size the camera settled on is scaled to the one asked for.
        width = w;
        height = h;
        return true;
    }

    // Reads one frame into raw: the whole image, or -1 / 0 as grabInto.
    int readFrame()
    {
        try {
            raw.resize(imageSize);
        } catch (const std::bad_alloc&) {
            setError("%s: out of memory for a frame of %zu bytes", path, imageSize);
            return -1;
        }
        const double deadline = monotonicMs() + kGrabTimeoutMs;
        for (;;) {
            const ssize_t n = v4l2_read(fd, raw.data(), raw.size());
            if (n >= 0) return size_t(n) < size_t(sourceHeight) * bytesPerLine ? 0 : 1; // a short frame is dropped
            if (errno == EINTR) continue;
            if (errno != EAGAIN) {
                setError("%s: reading a frame failed: %s", path, std::strerror(errno));
                return -1;
            }
            const double left = deadline - monotonicMs();
            if (left <= 0) {
                setError("%s: no frame within %d ms", path, kGrabTimeoutMs);
                return -1;
            }
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, int(left) + 1) < 0 && errno != EINTR) {
                setError("%s: waiting for a frame failed: %s", path, std::strerror(errno));
                return -1;
            }
        }
    }

    int grabInto(unsigned char* out) override
    {
        if (pixelFormat != V4L2_PIX_FMT_BGR24) {
            setError("%s: frames come as %s, which cannot be converted to BGR24", path, fourcc(pixelFormat).c_str());
            return -1;
        }
        if (sourceWidth < 1 || sourceHeight < 1 || sourceWidth > kMaxSide || sourceHeight > kMaxSide ||
            bytesPerLine < size_t(sourceWidth) * 3 || bytesPerLine > size_t(kMaxSide) * 4 ||
            imageSize < size_t(sourceHeight) * bytesPerLine || imageSize > size_t(kMaxSide) * kMaxSide * 4) {
            setError("%s: the driver reports an unusable frame layout (%dx%d, %zu bytes per line, %zu bytes)", path,
                     sourceWidth, sourceHeight, bytesPerLine, imageSize);
            return -1;
        }
        const int r = readFrame();
        if (r <= 0) return r;
        // Nearest neighbour into the requested size, top row first in, bottom
        // row first out.
        for (int y = 0; y < height; ++y) {
            const size_t sy = size_t(y) * size_t(sourceHeight) / size_t(height);
            const unsigned char* src = raw.data() + sy * bytesPerLine;
            unsigned char* dst = out + size_t(height - 1 - y) * size_t(width) * 3;
            if (sourceWidth == width) {
                std::memcpy(dst, src, size_t(width) * 3);
                continue;
            }
            for (int x = 0; x < width; ++x) {
                const size_t sx = size_t(x) * size_t(sourceWidth) / size_t(width);
                std::memcpy(dst + size_t(x) * 3, src + sx * 3, 3);
            }
        }
        return 1;
    }
};

void devicePath(int index, char* out, size_t size) { std::snprintf(out, size, "/dev/video%d", index); }

// Whether a file is a video4linux device node. Nothing else is opened: a
// script may name any path, and opening a file, a FIFO or another device
// read-write can have effects of its own.
bool isVideoNode(const struct stat& st)
{
    // The kernel gives every video4linux node (video, vbi, radio, subdevice)
    // this major number.
    constexpr unsigned kVideoMajor = 81;
    return S_ISCHR(st.st_mode) && major(st.st_rdev) == kVideoMajor;
}

const char* fileKind(const struct stat& st)
{
    if (S_ISREG(st.st_mode)) return "a regular file";
    if (S_ISDIR(st.st_mode)) return "a folder";
    if (S_ISFIFO(st.st_mode)) return "a FIFO";
    if (S_ISSOCK(st.st_mode)) return "a socket";
    if (S_ISBLK(st.st_mode)) return "a block device";
    if (S_ISCHR(st.st_mode)) return "a character device that is not a video device";
    return "not a device";
}

// Opens a device node without libv4l2 and reads its capability record.
// The file descriptor, or -1 (with the reason set) for anything that is not
// a V4L2 video capture device; libv4l2 would print its own complaints.
int openCaptureNode(const char* path, v4l2_capability& cap)
{
    struct stat st { };
    if (stat(path, &st) != 0) {
        setError("%s: %s", path, errno == ENOENT ? "no such device" : std::strerror(errno));
        return -1;
    }
    if (!isVideoNode(st)) {
        setError("%s: not a video device (%s); not opened", path, fileKind(st));
        return -1;
    }
    const int fd = open(path, O_RDWR | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        setError("%s: %s", path, errno == ENOENT ? "no such device" : std::strerror(errno));
        return -1;
    }
    // The name may have been pointed elsewhere between the look and the open.
    if (fstat(fd, &st) != 0 || !isVideoNode(st)) {
        setError("%s: not a video device (it changed while being opened)", path);
        close(fd);
        return -1;
    }
    int r;
    do r = ioctl(fd, VIDIOC_QUERYCAP, &cap);
    while (r == -1 && errno == EINTR);
    if (r != 0) {
        setError("%s: not a video device (%s)", path, std::strerror(errno));
        close(fd);
        return -1;
    }
    if (!(deviceCaps(cap) & V4L2_CAP_VIDEO_CAPTURE)) {
        setError("%s: %.32s cannot capture video", path, reinterpret_cast<const char*>(cap.card));
        close(fd);
        return -1;
    }
    return fd;
}

CaptureDevice* openV4l2(const char* path)
{
    v4l2_capability cap{};
    const int fd = openCaptureNode(path, cap);
    if (fd < 0) return nullptr;
    // From here on libv4l2 serves the descriptor, converting frames.
    if (v4l2_fd_open(fd, 0) < 0) {
        setError("%s: libv4l2 cannot use the device (%s)", path, std::strerror(errno));
        close(fd);
        return nullptr;
    }
    const uint32_t caps = deviceCaps(cap);
    auto* d = new (std::nothrow) V4l2Device;
    if (!d) {
        setError("%s: out of memory", path);
        v4l2_close(fd);
        return nullptr;
    }
    d->fd = fd;
    copyText(d->path, sizeof d->path, path);
    d->caps.hasOverlay = (caps & V4L2_CAP_VIDEO_OVERLAY) != 0;
    d->caps.isInitialized = true;
    if (!d->readFormat()) {
        delete d;
        return nullptr;
    }
    d->width = d->sourceWidth;
    d->height = d->sourceHeight;
    if (d->width < 1 || d->height < 1 || d->width > kMaxSide || d->height > kMaxSide) {
        setError("%s: the driver reports a frame size of %dx%d", path, d->width, d->height);
        delete d;
        return nullptr;
    }
    return d;
}

} // namespace

// ---- The interface -----------------------------------------------------------

bool captureDriverDescription(int index, char* name, size_t nameSize, char* description, size_t descriptionSize)
{
    if (index == kTestPatternDriver) {
        copyText(name, nameSize, kTestPatternName);
        copyText(description, descriptionSize, "built-in test pattern: colour bars with a moving white square");
        return true;
    }
    if (index < 0 || index >= kCaptureDeviceSlots) return false;
    char path[32];
    devicePath(index, path, sizeof path);
    v4l2_capability cap{};
    const int fd = openCaptureNode(path, cap);
    if (fd < 0) return false;
    close(fd);
    char card[sizeof cap.card + 1] = {};
    std::memcpy(card, cap.card, sizeof cap.card);
    char driver[sizeof cap.driver + 1] = {};
    std::memcpy(driver, cap.driver, sizeof cap.driver);
    char bus[sizeof cap.bus_info + 1] = {};
    std::memcpy(bus, cap.bus_info, sizeof cap.bus_info);
    copyText(name, nameSize, card);
    if (description && descriptionSize)
        std::snprintf(description, descriptionSize, "%s (%s) %s, version %u.%u.%u", path, driver, bus,
                      (cap.version >> 16) & 0xff, (cap.version >> 8) & 0xff, cap.version & 0xff);
    return true;
}

CaptureDevice* openCaptureDriver(int index)
{
    if (index == kTestPatternDriver) return openTestPattern(nullptr);
    if (index < 0 || index >= kCaptureDeviceSlots) {
        setError("no capture driver %d", index);
        return nullptr;
    }
    char path[32];
    devicePath(index, path, sizeof path);
    return openV4l2(path);
}

CaptureDevice* openCaptureDevice(const char* device)
{
    if (!device || !*device) return openCaptureDriver(0);
    const size_t n = sizeof kTestPatternName - 1;
    if (strncasecmp(device, kTestPatternName, n) == 0 && (device[n] == 0 || device[n] == ':'))
        return openTestPattern(device[n] ? device + n + 1 : nullptr);
    if (device[0] >= '0' && device[0] <= '9' && device[1] == 0) return openCaptureDriver(device[0] - '0');
    return openV4l2(device);
}

void closeCaptureDevice(CaptureDevice* device) { delete device; }

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
        setError("no capture device");
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
