// The platform layer: everything the core needs from the operating system,
// behind one header. The Linux back end lives in platform/sdl/.
#pragma once

#include <cstdint>

namespace platform {

struct UtcTime {
    unsigned year, month, day;
    unsigned hour, minute, second, millisecond;
};

// The current wall-clock time in UTC.
UtcTime utcNow();

enum class MessageIcon { information, error };

// A modal message box without an owner window. When there is no display,
// or the program runs non-interactively, the text goes to standard error
// and nothing blocks.
void messageBox(const char* caption, const char* text, MessageIcon icon);

// Non-interactive runs (capture mode, tests) never block on a dialog.
void setInteractive(bool interactive);
bool isInteractive();

} // namespace platform

// ---- Windows, GL contexts and the message queue ---------------------------
namespace platform {

struct NativeWindow;     // one top-level window
using GLContext = void*; // one GL rendering context

// Receives the messages of one window, already turned into handler calls.
class WindowSink {
public:
    virtual ~WindowSink() = default;
    virtual void onMove(int x, int y) = 0;
    virtual void onSize(int width, int height) = 0;
    virtual void onPaint() = 0;
    virtual void onClose() = 0;
    virtual void onKey(int virtualKey, bool down) = 0;
    virtual void onMouseMove(int screenX, int screenY) = 0;
    virtual void onMouseButton(int button, bool down) = 0; // 0 left, 1 middle, 2 right
};

struct WindowStyle {
    bool popup = false; // no caption
    bool border = true;
    bool resizable = true;
    bool topmost = false;
    bool toolWindow = false;
    bool openGL = false; // the window will get a GL context
    int colourBits = 32; // GL pixel format
    int depthBits = 24;
};

// Millisecond tick counter (wraps after 49 days, as 32-bit arithmetic expects).
uint32_t ticks();
// A monotonic clock in milliseconds with sub-millisecond resolution.
double preciseMilliseconds();

// Size of the desktop the windows open on; false without a display.
bool desktopSize(int* width, int* height);

// Creates and shows a window whose client area has the given size. Null on
// failure, with the reason in lastWindowError().
NativeWindow* createWindow(const char* className, const char* title, int x, int y, int width, int height,
                           const WindowStyle& style, WindowSink* sink);
const char* lastWindowError();
void destroyWindow(NativeWindow* window);
// The sink receiving the window's messages; null stops forwarding.
void setWindowSink(NativeWindow* window, WindowSink* sink);
void raiseWindow(NativeWindow* window);
// Shows a picture in a window that has no GL context: width x height pixels
// of 3 bytes, blue-green-red, bottom row first, scaled to fill the client
// area; null pixels paint it black. Whatever GL context was current stays
// current. False when the window cannot be painted.
bool paintWindow(NativeWindow* window, const unsigned char* pixels, int width, int height);

// Switches the display to a full-screen mode of the window's size; false when refused.
bool enterFullScreen(NativeWindow* window, int width, int height, int colourBits);
void leaveFullScreen(NativeWindow* window);
void showCursor(bool visible);

GLContext createGLContext(NativeWindow* window);
bool makeCurrent(NativeWindow* window, GLContext context); // null context: none current
bool deleteGLContext(GLContext context);
void swapBuffers(NativeWindow* window);

// Takes every pending message without waiting and hands it to its window's
// sink. Returns false when the quit message was among them.
bool pumpMessages();
// Posts the process-wide quit message.
void postQuit();

} // namespace platform

// ---- GL entry points --------------------------------------------------------
// Calling convention of GL and WGL entry points: __stdcall on Windows,
// the default elsewhere.
#if defined(_WIN32)
#define KX_APIENTRY __stdcall
#else
#define KX_APIENTRY
#endif

namespace platform {

// The entry point of the current GL context with this name, or null.
// "wgl" names are served by the back end: on SDL, "wglGetExtensionsStringARB",
// "wglGetExtensionsStringEXT", "wglSwapIntervalEXT", "wglGetSwapIntervalEXT",
// "wglMakeContextCurrentARB" and "wglGetCurrentReadDCARB" are small shims over
// SDL; every other "wgl" name gives null. For these shims a device context
// (HDC) is the NativeWindow* of a window and a rendering context (HGLRC) its
// GLContext.
void* getProcAddress(const char* name);

// The WGL extension string of the current context: what
// wglGetExtensionsStringARB returns for the current device context, else
// what wglGetExtensionsStringEXT returns; null when neither exists.
const char* windowSystemExtensions();

} // namespace platform

// ---- Dynamic libraries -----------------------------------------------------
namespace platform {

// Loads a library. The name stands for the file names of
// libraryFileNames() (platform/library_name.h): without an extension the
// platform's suffix is added, and a ".dll" name is also tried with the
// platform's own suffix. Each file name with a folder in it is used as it
// stands; a bare one is looked for in the program's folder, in the working
// folder, then wherever the system's loader looks. Null when nothing loads.
void* openLibrary(const char* name);
void* librarySymbol(void* library, const char* symbol);
void closeLibrary(void* library);
// Why the last openLibrary failed.
const char* lastLibraryError();

} // namespace platform

// ---- Outline fonts ------------------------------------------------------------
namespace platform {

// The metrics of one glyph of an outline font, in em units (the em square
// is 1.0), with the fields of the Windows GLYPHMETRICSFLOAT record. The
// origin is the top left corner of the black box relative to the glyph's
// origin on the baseline, y upward.
struct GlyphMetricsFloat {
    float blackBoxX, blackBoxY;       // size of the smallest box around the ink
    float glyphOriginX, glyphOriginY; // top left corner of that box
    float cellIncX, cellIncY;         // advance to the next glyph's origin
};

// Which font file an outline-font call used.
struct OutlineFontChoice {
    char file[512]; // empty when no usable font was found
    char family[128];
    char style[64];
    bool exact; // the face name named this font's family
};

// Builds one display list per glyph of a face, in the shape of the Windows
// outline-font call with polygon output: glyphs first .. first + count - 1
// (byte codes read as Windows-1252 characters) become lists listBase + 0 ..
// listBase + count - 1, and metrics[0 .. count - 1] their metrics.
//
// Each list draws the glyph filled, front face at z = 0 facing +z; with an
// extrusion above 0 also side walls with outward normals and a back face at
// z = -extrusion facing -z. Curves are flattened to within the deviation
// (em units). Each list ends with a translation by the glyph's advance.
// No texture coordinates are given.
//
// faceName (Windows-1252 text, as a face name of the Windows font call) is
// looked up through the system's font configuration; a name that matches no
// family falls back to a sans face, and a console line tells which file was
// chosen. Codes without a character (control codes, the unassigned
// Windows-1252 slots) give empty lists of zero advance; characters the font
// lacks use its missing-glyph shape. A deviation that is not above 0 (or
// not finite) is taken as a small minimum; an extrusion that is not above 0
// (or not finite) gives flat glyphs.
//
// Needs a current GL context for the lists (a listBase of 0 builds only the
// metrics). first + count must not exceed 256. Returns false, with empty
// lists and zero metrics, when no usable font exists or the range is bad.
bool useFontOutlines(const char* faceName, bool italic, int first, int count, unsigned listBase, float deviation,
                     float extrusion, GlyphMetricsFloat* metrics, OutlineFontChoice* choice = nullptr);

// The Unicode character of a Windows-1252 byte, or 0 for control codes and
// the unassigned slots.
unsigned windows1252ToUnicode(unsigned char code);

} // namespace platform

// ---- Video capture ------------------------------------------------------------
#include <cstddef>

namespace platform {

// Capture drivers by index: 0 .. 9 are the video devices /dev/video0 ..
// /dev/video9 (V4L2 through libv4l2, which converts any camera format to
// 24-bit BGR); index 10 is the built-in test pattern (colour bars with a
// moving white square), so shows and tests run without a camera.
enum : int { kCaptureDeviceSlots = 10, kTestPatternDriver = 10 };

// What an open driver offers. This back end has no driver dialogs.
struct CaptureCaps {
    bool hasOverlay;
    bool hasSourceDialog;
    bool hasFormatDialog;
    bool hasDisplayDialog;
    bool isInitialized;
};

struct CaptureDevice; // one open capture driver

// Name and description of driver `index`, each cut to its buffer. False when
// there is no such driver: no device node, or one that cannot capture video.
bool captureDriverDescription(int index, char* name, size_t nameSize, char* description, size_t descriptionSize);

// Opens driver `index`. Null on failure, with the reason in lastCaptureError().
CaptureDevice* openCaptureDriver(int index);
// Opens a device by name: null or "" for driver 0, "0" .. "9" for those
// drivers, "testpattern" for the test pattern, anything else as the path of
// a V4L2 device node. Null on failure, with the reason in lastCaptureError().
//
// Options of the test pattern follow a colon, separated by commas:
// "size=WxH" gives it a size of its own that it keeps whatever is asked (a
// camera that cannot deliver the requested format), "frames=N" makes it fail
// after N frames (a camera unplugged during the show).
CaptureDevice* openCaptureDevice(const char* device);
void closeCaptureDevice(CaptureDevice* device);
const char* lastCaptureError();

CaptureCaps captureCaps(const CaptureDevice* device);
// Asks for frames of this size in 24-bit BGR. True when frames will come that
// way (a size the camera lacks is scaled by the back end); false when the
// device keeps a format of its own.
bool setCaptureFormat(CaptureDevice* device, int width, int height);
// The size of the frames the device delivers now.
void captureFormat(const CaptureDevice* device, int* width, int* height);

// Grabs one frame: width x height pixels of 3 bytes, blue-green-red, rows
// packed end to end, bottom row first (a 24-bit device-independent bitmap).
// Returns the frame's byte count, and copies the frame into `pixels` only
// when it fits in `capacity` (otherwise nothing is grabbed); 0 when the
// device delivered a broken frame, which is dropped; -1 when the device
// failed or went away (the reason in lastCaptureError()), and on every later
// call.
long grabCaptureFrame(CaptureDevice* device, unsigned char* pixels, size_t capacity);

} // namespace platform
