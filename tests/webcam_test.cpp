// The webcam library: its exports, the resampling into the 256 x 256 frame,
// the frame size check, the test-pattern capture driver, and the effect's
// load / update / unload against a real GL context and scene registry.
#include "common/effect/effect.h"
#include "common/scene/named_texture.h"
#include "common/scene/scene_registry.h"
#include "common/script/xml_tag.h"
#include "gl_context.h"
#include "platform/library.h"
#include "platform/message_box.h"
#include "platform/video_capture.h"
#include "platform/window_system.h"
#include "test_util.h"
#include "webcam/webcam.h"
#include "webcam/webcam_capture.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;
using Capture = cWebcamCapture;

size_t count(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// A 160 x 120 frame whose pixel (x, y) is blue x, green y, red 0xA5.
Bytes numberedFrame()
{
    Bytes f(Capture::kSourceBytes);
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 160; ++x) {
            unsigned char* p = &f[size_t(y) * 480 + size_t(x) * 3];
            p[0] = static_cast<unsigned char>(x);
            p[1] = static_cast<unsigned char>(y);
            p[2] = 0xA5;
        }
    return f;
}

TEST(WebcamResample, DestinationPixelsTakeTheSourcePixelsAtTheFlooredIndices)
{
    const Bytes source = numberedFrame();
    Bytes frame(Capture::kFrameBytes, 0);
    Capture::resample(source.data(), frame.data());
    // {destination x, y, source x, y}, worked out by hand from x * 0.625 and y * 0.46875.
    const int cases[][4] = {{0, 0, 0, 0},     {1, 1, 0, 0},       {2, 3, 1, 1},         {7, 31, 4, 14},
                            {8, 32, 5, 15},   {100, 200, 62, 93}, {254, 254, 158, 119}, {255, 255, 159, 119},
                            {255, 0, 159, 0}, {0, 255, 0, 119}};
    for (const auto& c : cases) {
        const unsigned char* p = &frame[size_t(c[1]) * 768 + size_t(c[0]) * 3];
        EXPECT_EQ(p[0], c[2]) << "x " << c[0] << " y " << c[1];
        EXPECT_EQ(p[1], c[3]) << "x " << c[0] << " y " << c[1];
        EXPECT_EQ(p[2], 0xA5) << "x " << c[0] << " y " << c[1];
    }
}

TEST(WebcamCapture, OnlyFramesOfExactly57600BytesAreResampled)
{
    SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
    Capture capture;
    testing::internal::CaptureStdout();
    ASSERT_TRUE(capture.open("/nonexistent/video0")); // no device: a black frame
    const Bytes good = numberedFrame();
    const Bytes black(Capture::kFrameBytes, 0);
    EXPECT_FALSE(capture.takeFrame(good.data(), Capture::kSourceBytes - 1));
    EXPECT_FALSE(capture.takeFrame(good.data(), Capture::kSourceBytes + 3));
    EXPECT_FALSE(capture.takeFrame(good.data(), 0));
    EXPECT_FALSE(capture.takeFrame(nullptr, Capture::kSourceBytes));
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(count(out, "webcam: skipping frames of 57599 bytes"), 1u) << out;
    EXPECT_EQ(count(out, "skipping frames"), 1u) << "said once per capture: " << out;
    EXPECT_EQ(Bytes(capture.frameBuffer, capture.frameBuffer + Capture::kFrameBytes), black);

    EXPECT_TRUE(capture.takeFrame(good.data(), Capture::kSourceBytes));
    EXPECT_EQ(capture.frameBuffer[768 * 255 + 3 * 255], 159);
    capture.close();
    platform::pumpMessages(); // the host window's quit message
}

// ---- The test-pattern driver ------------------------------------------------

struct Pattern {
    platform::CaptureDevice* device;
    explicit Pattern(const char* name) : device(platform::openCaptureDevice(name)) { }
    ~Pattern() { platform::closeCaptureDevice(device); }
    long grab(Bytes& frame) { return platform::grabCaptureFrame(device, frame.data(), frame.size()); }
};

// Blue, green, red of pixel (x, y) counted from the top of a 160 x 120 frame.
std::vector<int> bgr(const Bytes& frame, int x, int y)
{
    const unsigned char* p = &frame[size_t(119 - y) * 480 + size_t(x) * 3];
    return {p[0], p[1], p[2]};
}

// Where the white square starts in a row through it, -1 when it is not there.
int squareLeft(const Bytes& frame)
{
    for (int x = 0; x < 160; ++x)
        if (bgr(frame, x, 100) == std::vector<int>{255, 255, 255}) return x;
    return -1;
}

TEST(WebcamTestPattern, IsListedAfterTheTenDeviceSlots)
{
    char name[512], description[512];
    ASSERT_TRUE(platform::captureDriverDescription(platform::kTestPatternDriver, name, sizeof name, description,
                                                   sizeof description));
    EXPECT_STREQ(name, "testpattern");
    EXPECT_NE(std::string(description).find("colour bars"), std::string::npos);
    EXPECT_FALSE(platform::captureDriverDescription(11, name, sizeof name, description, sizeof description));
    EXPECT_FALSE(platform::captureDriverDescription(-1, name, sizeof name, description, sizeof description));
    // Cut to a small buffer, still terminated.
    char small[5];
    ASSERT_TRUE(platform::captureDriverDescription(10, small, sizeof small, nullptr, 0));
    EXPECT_STREQ(small, "test");
}

TEST(WebcamTestPattern, BarsOverABlueStripWithASquareBouncingFourPixelsAFrame)
{
    Pattern p("TestPattern");
    ASSERT_NE(p.device, nullptr) << platform::lastCaptureError();
    const platform::CaptureCaps caps = platform::captureCaps(p.device);
    EXPECT_TRUE(caps.isInitialized);
    EXPECT_FALSE(caps.hasSourceDialog || caps.hasFormatDialog || caps.hasDisplayDialog || caps.hasOverlay);
    ASSERT_TRUE(platform::setCaptureFormat(p.device, 160, 120));

    Bytes frame(Capture::kSourceBytes);
    ASSERT_EQ(p.grab(frame), Capture::kSourceBytes);
    const std::vector<std::vector<int>> bars = {{255, 255, 255}, {0, 255, 255}, {255, 255, 0}, {0, 255, 0},
                                                {255, 0, 255},   {0, 0, 255},   {255, 0, 0},   {0, 0, 0}};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(bgr(frame, 20 * i + 10, 40), bars[size_t(i)]) << "bar " << i;
        EXPECT_EQ(bgr(frame, 20 * i, 0), bars[size_t(i)]) << "bar " << i << " first column";
    }
    EXPECT_EQ(bgr(frame, 159, 119), (std::vector<int>{255, 0, 0}));
    EXPECT_EQ(bgr(frame, 100, 85), (std::vector<int>{255, 0, 0}));
    // The 24-pixel square sits in rows 88..111 and starts at the left.
    EXPECT_EQ(squareLeft(frame), 0);
    EXPECT_EQ(bgr(frame, 23, 88), (std::vector<int>{255, 255, 255}));
    EXPECT_EQ(bgr(frame, 24, 88), (std::vector<int>{255, 0, 0}));
    EXPECT_EQ(bgr(frame, 10, 87), (std::vector<int>{255, 0, 0}));
    EXPECT_EQ(bgr(frame, 10, 112), (std::vector<int>{255, 0, 0}));

    std::vector<int> lefts;
    for (int f = 1; f <= 36; ++f) {
        ASSERT_EQ(p.grab(frame), Capture::kSourceBytes);
        lefts.push_back(squareLeft(frame));
    }
    EXPECT_EQ(lefts[0], 4);
    EXPECT_EQ(lefts[1], 8);
    EXPECT_EQ(lefts[33], 136); // frame 34 touches the right edge
    EXPECT_EQ(lefts[34], 132); // and turns back
    EXPECT_EQ(lefts[35], 128);
}

TEST(WebcamTestPattern, FramesThatDoNotFitAreNotGrabbed)
{
    Pattern p("testpattern");
    ASSERT_NE(p.device, nullptr);
    Bytes small(1000, 7);
    EXPECT_EQ(p.grab(small), Capture::kSourceBytes);
    EXPECT_EQ(small, Bytes(1000, 7));
    EXPECT_FALSE(platform::setCaptureFormat(p.device, 0, 120));
    EXPECT_FALSE(platform::setCaptureFormat(p.device, 160, 100000));
    int w = 0, h = 0;
    platform::captureFormat(p.device, &w, &h);
    EXPECT_EQ(w, 160);
    EXPECT_EQ(h, 120);
}

TEST(WebcamTestPattern, OptionsMakeAFixedSizeOrAnUnpluggedDevice)
{
    Pattern fixed("testpattern:size=80x60");
    ASSERT_NE(fixed.device, nullptr) << platform::lastCaptureError();
    EXPECT_FALSE(platform::setCaptureFormat(fixed.device, 160, 120));
    Bytes frame(Capture::kSourceBytes);
    EXPECT_EQ(fixed.grab(frame), 80 * 60 * 3);

    Pattern unplugged("testpattern:frames=2,size=160x120");
    ASSERT_NE(unplugged.device, nullptr) << platform::lastCaptureError();
    EXPECT_TRUE(platform::setCaptureFormat(unplugged.device, 160, 120));
    EXPECT_EQ(unplugged.grab(frame), Capture::kSourceBytes);
    EXPECT_EQ(unplugged.grab(frame), Capture::kSourceBytes);
    EXPECT_EQ(unplugged.grab(frame), -1);
    EXPECT_NE(std::string(platform::lastCaptureError()).find("went away after 2 frames"), std::string::npos);
    EXPECT_EQ(unplugged.grab(frame), -1);

    for (const char* bad : {"testpattern:size=0x5", "testpattern:frames=-1", "testpattern:colour=red",
                            "testpattern:size=99999999999x1", "testpattern:size=10x10x"}) {
        Pattern p(bad);
        EXPECT_EQ(p.device, nullptr) << bad;
    }
    EXPECT_NE(std::string(platform::lastCaptureError()).find("unknown option"), std::string::npos);
}

TEST(WebcamDevice, OnlyVideoDeviceNodesAreOpened)
{
    kxtest::TempDir dir;
    kxtest::writeFile("plain.bin", "keep me");
    std::filesystem::create_directory("folder");
    ASSERT_EQ(mkfifo("pipe", 0600), 0);
    const struct {
        const char* path;
        const char* kind;
        bool watch; // /dev/null is opened by everyone all the time
    } cases[] = {
        {"plain.bin", "(a regular file)", true},
        {"folder", "(a folder)", true},
        {"pipe", "(a FIFO)", true},
        {"/dev/null", "(a character device that is not a video device)", false},
    };
    for (const auto& c : cases) {
        // Every open of the file shows as an event.
        const int events = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        ASSERT_GE(events, 0);
        if (c.watch) {
            ASSERT_GE(inotify_add_watch(events, c.path, IN_OPEN | IN_MODIFY), 0) << c.path;
        }
        platform::CaptureDevice* device = platform::openCaptureDevice(c.path);
        EXPECT_EQ(device, nullptr) << c.path;
        platform::closeCaptureDevice(device);
        const std::string why = platform::lastCaptureError();
        EXPECT_NE(why.find(c.kind), std::string::npos) << why;
        char buf[4096];
        EXPECT_LT(read(events, buf, sizeof buf), 0) << c.path << " was opened";
        close(events);
    }
    EXPECT_EQ(kxtest::readFile("plain.bin"), "keep me");
}

// ---- The exports ------------------------------------------------------------

TEST(WebcamExports, MakeOnlyWebcamsInAnyLetterCase)
{
    void* library = platform::openLibrary(KX_IRISLOOM_PATH);
    ASSERT_NE(library, nullptr) << platform::lastLibraryError();
    auto has = reinterpret_cast<HasFxFunction>(platform::librarySymbol(library, "hasFX"));
    auto get = reinterpret_cast<GetFxFunction>(platform::librarySymbol(library, "getFX"));
    ASSERT_NE(has, nullptr);
    ASSERT_NE(get, nullptr);
    for (const char* t : {"webcam", "WEBCAM", "WebCam"}) EXPECT_TRUE(has(t)) << t;
    for (const char* t : {"webcams", "webcam2", "webca", "", "clear"}) EXPECT_FALSE(has(t)) << t;
    EXPECT_FALSE(has(nullptr));
    EXPECT_EQ(get("clear"), nullptr);
    EXPECT_EQ(get(nullptr), nullptr);

    cEffect* e = get("Webcam");
    ASSERT_NE(e, nullptr);
    EXPECT_TRUE(e->active);
    EXPECT_FLOAT_EQ(e->speed, 1.0f);
    EXPECT_NE(e->renderState, nullptr);
    EXPECT_EQ(e->getParams(), nullptr);
    EXPECT_EQ(static_cast<cWebcam*>(e)->capture, nullptr);
    EXPECT_EQ(static_cast<cWebcam*>(e)->texture, nullptr);
    // Never loaded: nothing to close.
    e->unload();
    delete e;
    platform::closeLibrary(library);
}

// ---- The effect ---------------------------------------------------------------

class WebcamEffect : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(gl.ok());
        cam.registry = &registry;
    }
    void configure(const char* device)
    {
        cXmlTag root;
        cXmlTag* tag = root.addChild("cam");
        tag->addParam("device", device);
        cam.doXML(tag);
    }
    kxtest::GLContext gl;
    cSceneRegistry registry;
    cWebcam cam;
};

TEST_F(WebcamEffect, UnloadAndASecondLoadCloseTheHostWindowAndPostTheQuitMessage)
{
    configure("testpattern");
    platform::pumpMessages();
    testing::internal::CaptureStdout();
    cam.load();
    EXPECT_TRUE(platform::pumpMessages()) << "opening posts nothing";
    cNamedTexture* first = cam.texture;

    cam.load();
    testing::internal::GetCapturedStdout();
    EXPECT_FALSE(platform::pumpMessages()) << "the first host window was destroyed";
    ASSERT_NE(cam.capture, nullptr);
    EXPECT_NE(cam.capture->hostWindow.window, nullptr);
    EXPECT_NE(cam.capture->captureWindow, nullptr);
    EXPECT_NE(cam.texture, first);
    EXPECT_EQ(registry.findTexture("webcamtex"), first); // lookups find the first
    EXPECT_EQ(registry.textureCount(), 2);

    cam.unload();
    EXPECT_EQ(cam.capture, nullptr);
    EXPECT_EQ(cam.texture, nullptr);
    EXPECT_FALSE(platform::pumpMessages());
    EXPECT_EQ(registry.textureCount(), 2); // the registry keeps them
    cam.unload();
    EXPECT_TRUE(platform::pumpMessages()) << "nothing left to close";
}

TEST_F(WebcamEffect, DriverDialogsComeInOrderAroundTheCaptureParametersOnlyWithAPersonThere)
{
    const std::string params = "testpattern: capture parameters: 200001 us per frame, 0% dropped frames, 5 buffers, "
                               "yield 0, audio 0, abort by mouse 0/0, time limit 0 (0 s)\n";
    struct Case {
        const char* device;
        bool interactive;
        std::string expected; // the console from "capture setup" on
    };
    const Case cases[] = {
        {"testpattern:dialogs", true,
         "testpattern: source dialog\ntestpattern: format dialog\n" + params + "testpattern: display dialog\n"},
        {"testpattern:dialogs", false, "webcam: no one to answer the driver's dialogs; not shown\n" + params},
        {"testpattern:dialogs=fail", true,
         "webcam: testpattern: the source dialog did not open; going on without it\n"
         "webcam: testpattern: the format dialog did not open; going on without it\n"
         "webcam: testpattern: the display dialog did not open; going on without it\n"},
        {"testpattern", true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.device);
        configure(c.device);
        platform::setInteractive(c.interactive);
        testing::internal::CaptureStdout();
        cam.load();
        const std::string out = testing::internal::GetCapturedStdout();
        platform::setInteractive(true);
        const std::string setupLines = "capture setup\nvideoformatcool\n";
        const size_t setup = out.find(setupLines);
        ASSERT_NE(setup, std::string::npos) << out;
        EXPECT_EQ(out.substr(setup + setupLines.size()), c.expected);
        // The capture goes on whatever became of the dialogs.
        ASSERT_NE(cam.capture, nullptr);
        EXPECT_NE(cam.capture->captureWindow, nullptr);
        cam.unload();
        platform::pumpMessages();
    }
}

TEST_F(WebcamEffect, BrokenFramesAreDroppedWithOneLine)
{
    configure("testpattern:short");
    testing::internal::CaptureStdout();
    cam.load();
    for (int i = 0; i < 4; ++i) cam.update(1.0f);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(count(out, "webcam: testpattern: a frame of 57599 bytes is shorter than its format's 57600; dropped; "
                         "keeping the last frame\n"),
              1u)
        << out;
    ASSERT_NE(cam.capture, nullptr);
    EXPECT_NE(cam.capture->captureWindow, nullptr) << "a broken frame is no broken device";
    cam.unload();
    platform::pumpMessages();
}

// The window of this process with this title, or null.
SDL_Window* windowTitled(const char* title)
{
    for (Uint32 id = 1; id < 4096; ++id)
        if (SDL_Window* w = SDL_GetWindowFromID(id))
            if (std::string(SDL_GetWindowTitle(w)) == title) return w;
    return nullptr;
}

// Red, green, blue of pixel (x, y) of a window's surface, from the top left.
std::vector<int> rgb(SDL_Surface* s, int x, int y)
{
    Uint32 value = 0;
    const int bytes = s->format->BytesPerPixel;
    std::memcpy(&value, static_cast<const Uint8*>(s->pixels) + y * s->pitch + x * bytes, size_t(bytes));
    Uint8 r = 0, g = 0, b = 0;
    SDL_GetRGB(value, s->format, &r, &g, &b);
    return {r, g, b};
}

TEST_F(WebcamEffect, TheHostWindowPreviewsEveryFrameAndTheShowKeepsItsGLContext)
{
    configure("testpattern");
    SDL_Window* const showWindow = SDL_GL_GetCurrentWindow();
    SDL_GLContext const showContext = SDL_GL_GetCurrentContext();
    testing::internal::CaptureStdout();
    cam.load();
    testing::internal::GetCapturedStdout();
    SDL_Window* host = windowTitled("webcam");
    ASSERT_NE(host, nullptr);
    SDL_Surface* shown = SDL_GetWindowSurface(host);
    ASSERT_NE(shown, nullptr) << SDL_GetError();
    ASSERT_EQ(shown->w, 320);
    ASSERT_EQ(shown->h, 240);
    EXPECT_EQ(rgb(shown, 20, 60), (std::vector<int>{0, 0, 0})) << "black before the first frame";

    cam.update(1.0f);
    shown = SDL_GetWindowSurface(host);
    // The eight bars over the top two thirds, the blue strip below, upright.
    const std::vector<std::vector<int>> bars = {{255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {0, 255, 0},
                                                {255, 0, 255},   {255, 0, 0},   {0, 0, 255},   {0, 0, 0}};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(rgb(shown, 40 * i + 20, 60), bars[size_t(i)]) << "bar " << i;
    EXPECT_EQ(rgb(shown, 300, 232), (std::vector<int>{0, 0, 255}));
    EXPECT_EQ(SDL_GL_GetCurrentWindow(), showWindow);
    EXPECT_EQ(SDL_GL_GetCurrentContext(), showContext);

    cam.unload();
    platform::pumpMessages(); // the host window's quit message
}

} // namespace
