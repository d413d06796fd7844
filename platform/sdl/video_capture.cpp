// Linux back end: the system's capture drivers, V4L2 devices through
// libv4l2.
//
// libv4l2 converts whatever the camera sends (YUYV, MJPEG, Bayer, ...) into
// the 24-bit BGR that callers ask for; when the camera cannot deliver the
// requested size, the layer's frame scaler (platform/frame_scale.h) fits
// it. Frames are handed out bottom row first, as a 24-bit
// device-independent bitmap.
#include "platform/backend/video_capture.h"

#include "platform/frame_scale.h"

#include <libv4l2.h>
#include <linux/videodev2.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <poll.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

// How long one grab waits for the camera before it counts as gone.
constexpr int kGrabTimeoutMs = 2000;

double monotonicMs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) * 1000.0 + double(t.tv_nsec) / 1e6;
}

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

struct V4l2Device final : CaptureDevice {
    int fd = -1;
    char path[256] = {};
    // The format the device actually delivers.
    uint32_t pixelFormat = 0;
    int sourceWidth = 0, sourceHeight = 0;
    size_t bytesPerLine = 0;
    size_t imageSize = 0;
    std::vector<unsigned char> raw;
    size_t bytesRead = 0; // of the last frame read into raw

    ~V4l2Device() override
    {
        if (fd >= 0) v4l2_close(fd);
    }

    bool readFormat()
    {
        v4l2_format f{};
        f.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (xioctl(fd, VIDIOC_G_FMT, &f) != 0) {
            setCaptureError("%s: cannot read the frame format: %s", path, std::strerror(errno));
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
        if (w < 1 || h < 1 || w > kMaxCaptureSide || h > kMaxCaptureSide) return false;
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

    // Reads one frame into raw (bytesRead long): 1, or -1 as grabInto.
    int readFrame()
    {
        try {
            raw.resize(imageSize);
        } catch (const std::bad_alloc&) {
            setCaptureError("%s: out of memory for a frame of %zu bytes", path, imageSize);
            return -1;
        }
        const double deadline = monotonicMs() + kGrabTimeoutMs;
        for (;;) {
            const ssize_t n = v4l2_read(fd, raw.data(), raw.size());
            if (n >= 0) {
                bytesRead = size_t(n);
                return 1;
            }
            if (errno == EINTR) continue;
            if (errno != EAGAIN) {
                setCaptureError("%s: reading a frame failed: %s", path, std::strerror(errno));
                return -1;
            }
            const double left = deadline - monotonicMs();
            if (left <= 0) {
                setCaptureError("%s: no frame within %d ms", path, kGrabTimeoutMs);
                return -1;
            }
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, int(left) + 1) < 0 && errno != EINTR) {
                setCaptureError("%s: waiting for a frame failed: %s", path, std::strerror(errno));
                return -1;
            }
        }
    }

    int grabInto(unsigned char* out) override
    {
        if (pixelFormat != V4L2_PIX_FMT_BGR24) {
            char kind[5];
            fourCharacterCode(pixelFormat, kind);
            setUnconvertibleError(path, kind);
            return -1;
        }
        FrameLayout layout;
        layout.width = sourceWidth;
        layout.height = sourceHeight;
        layout.stride = bytesPerLine;
        layout.topDown = true;
        if (!usableFrameLayout(layout, kMaxCaptureSide) || imageSize < frameLayoutBytes(layout) ||
            imageSize > size_t(kMaxCaptureSide) * kMaxCaptureSide * 4) {
            setCaptureError("%s: the driver reports an unusable frame layout (%dx%d, %zu bytes per line, %zu bytes)",
                            path, sourceWidth, sourceHeight, bytesPerLine, imageSize);
            return -1;
        }
        const int r = readFrame();
        if (r <= 0) return r;
        if (scaleFrame(layout, raw.data(), bytesRead, kMaxCaptureSide, width, height, out) == FrameScale::done)
            return 1;
        setShortFrameError(path, bytesRead, frameLayoutBytes(layout));
        return 0;
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
        setCaptureError("%s: %s", path, errno == ENOENT ? "no such device" : std::strerror(errno));
        return -1;
    }
    if (!isVideoNode(st)) {
        setCaptureError("%s: not a video device (%s); not opened", path, fileKind(st));
        return -1;
    }
    const int fd = open(path, O_RDWR | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        setCaptureError("%s: %s", path, errno == ENOENT ? "no such device" : std::strerror(errno));
        return -1;
    }
    // The name may have been pointed elsewhere between the look and the open.
    if (fstat(fd, &st) != 0 || !isVideoNode(st)) {
        setCaptureError("%s: not a video device (it changed while being opened)", path);
        close(fd);
        return -1;
    }
    int r;
    do r = ioctl(fd, VIDIOC_QUERYCAP, &cap);
    while (r == -1 && errno == EINTR);
    if (r != 0) {
        setCaptureError("%s: not a video device (%s)", path, std::strerror(errno));
        close(fd);
        return -1;
    }
    if (!(deviceCaps(cap) & V4L2_CAP_VIDEO_CAPTURE)) {
        setCaptureError("%s: %.32s cannot capture video", path, reinterpret_cast<const char*>(cap.card));
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
        setCaptureError("%s: libv4l2 cannot use the device (%s)", path, std::strerror(errno));
        close(fd);
        return nullptr;
    }
    const uint32_t caps = deviceCaps(cap);
    auto* d = new (std::nothrow) V4l2Device;
    if (!d) {
        setCaptureError("%s: out of memory", path);
        v4l2_close(fd);
        return nullptr;
    }
    d->fd = fd;
    copyCaptureText(d->path, sizeof d->path, path);
    d->caps.hasOverlay = (caps & V4L2_CAP_VIDEO_OVERLAY) != 0;
    d->caps.isInitialized = true;
    if (!d->readFormat()) {
        delete d;
        return nullptr;
    }
    d->width = d->sourceWidth;
    d->height = d->sourceHeight;
    if (d->width < 1 || d->height < 1 || d->width > kMaxCaptureSide || d->height > kMaxCaptureSide) {
        setCaptureError("%s: the driver reports a frame size of %dx%d", path, d->width, d->height);
        delete d;
        return nullptr;
    }
    return d;
}

} // namespace

// ---- The system's drivers -----------------------------------------------------

bool systemCaptureDriverDescription(int index, char* name, size_t nameSize, char* description, size_t descriptionSize)
{
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
    copyCaptureText(name, nameSize, card);
    if (description && descriptionSize)
        std::snprintf(description, descriptionSize, "%s (%s) %s, version %u.%u.%u", path, driver, bus,
                      (cap.version >> 16) & 0xff, (cap.version >> 8) & 0xff, cap.version & 0xff);
    return true;
}

CaptureDevice* openSystemCaptureDriver(int index)
{
    char path[32];
    devicePath(index, path, sizeof path);
    return openV4l2(path);
}

CaptureDevice* openSystemCaptureDevice(const char* name) { return openV4l2(name); }

} // namespace platform
