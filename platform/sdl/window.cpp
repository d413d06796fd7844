// Linux back end: SDL windows, GL contexts and the message queue.
#include "platform/backend/display.h"
#include "platform/sdl/input_focus.h"
#include "platform/sdl/virtual_keys.h"
#include "platform/sdl/window_class.h"
#include "platform/window_system.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

struct platform::NativeWindow {
    SDL_Window* sdl = nullptr;
    WindowSink* sink = nullptr;
};

namespace platform {

namespace {

char gWindowError[512];

bool initVideo()
{
    if (SDL_WasInit(SDL_INIT_VIDEO)) return true;
    // The program ends its loop on its own quit message, not when SDL sees
    // the last window go.
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    // Ctrl+C and SIGTERM are the program's own business (it ends the whole
    // run, not only the show that is playing), so SDL installs no handlers.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // Without a display SDL would fall back to a driver that shows nothing,
    // and the show would play unseen. A driver the environment names (a
    // headless run's offscreen driver) is taken as asked.
    if (!std::getenv("SDL_VIDEODRIVER") && !displayAvailable()) {
        std::snprintf(gWindowError, sizeof gWindowError,
                      "There is no display to open a window on (neither DISPLAY nor WAYLAND_DISPLAY is set).");
        return false;
    }
    if (SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS | SDL_INIT_TIMER) != 0) {
        std::snprintf(gWindowError, sizeof gWindowError, "%s", SDL_GetError());
        return false;
    }
    return true;
}

WindowSink* sinkOf(Uint32 windowId)
{
    SDL_Window* w = SDL_GetWindowFromID(windowId);
    if (!w) return nullptr;
    auto* native = static_cast<NativeWindow*>(SDL_GetWindowData(w, "kx"));
    return native ? native->sink : nullptr;
}

void mouseToSink(WindowSink* sink)
{
    int x = 0, y = 0;
    SDL_GetGlobalMouseState(&x, &y);
    sink->onMouseMove(x, y);
}

int buttonNumber(Uint8 sdlButton)
{
    switch (sdlButton) {
    case SDL_BUTTON_LEFT:
        return 0;
    case SDL_BUTTON_MIDDLE:
        return 1;
    case SDL_BUTTON_RIGHT:
        return 2;
    default:
        return -1;
    }
}

void dispatch(const SDL_Event& e)
{
    switch (e.type) {
    case SDL_WINDOWEVENT: {
        WindowSink* sink = sinkOf(e.window.windowID);
        if (!sink) return;
        switch (e.window.event) {
        case SDL_WINDOWEVENT_MOVED:
            sink->onMove(e.window.data1, e.window.data2);
            break;
        case SDL_WINDOWEVENT_SIZE_CHANGED:
            sink->onSize(e.window.data1, e.window.data2);
            break;
        case SDL_WINDOWEVENT_EXPOSED:
            sink->onPaint();
            break;
        case SDL_WINDOWEVENT_CLOSE:
            sink->onClose();
            break;
        default:
            break;
        }
        break;
    }
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
        WindowSink* sink = sinkOf(e.key.windowID);
        const int code = virtualKeyFromSdl(e.key.keysym.sym, e.key.keysym.scancode);
        // Held keys repeat as further presses.
        if (sink && code) sink->onKey(code, e.type == SDL_KEYDOWN);
        break;
    }
    case SDL_MOUSEMOTION: {
        if (WindowSink* sink = sinkOf(e.motion.windowID)) mouseToSink(sink);
        break;
    }
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
        WindowSink* sink = sinkOf(e.button.windowID);
        const int button = buttonNumber(e.button.button);
        if (sink && button >= 0) {
            mouseToSink(sink);
            sink->onMouseButton(button, e.type == SDL_MOUSEBUTTONDOWN);
        }
        break;
    }
    default:
        break;
    }
}

} // namespace

bool desktopSize(int* width, int* height)
{
    SDL_Rect r;
    if (!initVideo() || SDL_GetDisplayBounds(0, &r) != 0) return false;
    *width = r.w;
    *height = r.h;
    return true;
}

const char* lastWindowError() { return gWindowError; }

NativeWindow* createWindow(const char* className, const char* title, int x, int y, int width, int height,
                           const WindowStyle& style, WindowSink* sink)
{
    if (!initVideo()) return nullptr;

    Uint32 flags = SDL_WINDOW_HIDDEN;
    if (style.openGL) {
        flags |= SDL_WINDOW_OPENGL;
        const int bits = style.colourBits <= 16 ? 5 : 8;
        SDL_GL_ResetAttributes();
        SDL_GL_SetAttribute(SDL_GL_RED_SIZE, bits);
        SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, style.colourBits <= 16 ? 6 : 8);
        SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, bits);
        SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 0);
        SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, style.depthBits);
        SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
        SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    }
    if (style.popup || !style.border) flags |= SDL_WINDOW_BORDERLESS;
    if (style.resizable) flags |= SDL_WINDOW_RESIZABLE;
    if (style.topmost) flags |= SDL_WINDOW_ALWAYS_ON_TOP;
    if (style.toolWindow) flags |= SDL_WINDOW_UTILITY;

    SDL_Window* w = SDL_CreateWindow(title, x, y, width, height, flags);
    if (!w) {
        std::snprintf(gWindowError, sizeof gWindowError, "%s", SDL_GetError());
        return nullptr;
    }
    auto* native = new NativeWindow;
    native->sdl = w;
    native->sink = sink;
    SDL_SetWindowData(w, "kx", native);
    // The class name stands in for a registered window class; it must be
    // on the window before the window is mapped.
    setWindowClass(w, className);
    if (style.activate) {
        SDL_ShowWindow(w);
        SDL_RaiseWindow(w);
    } else {
        cKeptFocus focus(w);
        SDL_ShowWindow(w);
        focus.restore();
    }
    return native;
}

bool destroyWindow(NativeWindow* window)
{
    if (!window) return true;
    SDL_SetWindowData(window->sdl, "kx", nullptr);
    SDL_DestroyWindow(window->sdl);
    delete window;
    return true;
}

void setWindowSink(NativeWindow* window, WindowSink* sink)
{
    if (window) window->sink = sink;
}

void raiseWindow(NativeWindow* window)
{
    if (window) SDL_RaiseWindow(window->sdl);
}

void setWindowTitle(NativeWindow* window, const char* title)
{
    if (window) SDL_SetWindowTitle(window->sdl, title ? title : "");
}

bool paintWindow(NativeWindow* window, const unsigned char* pixels, int width, int height)
{
    if (!window || (pixels && (width < 1 || height < 1))) return false;
    // The window's surface is drawn by the window system itself (XPutImage
    // on X11). SDL would otherwise back it with a GL renderer of its own,
    // whose context would push the show's aside.
    SDL_SetHintWithPriority(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0", SDL_HINT_OVERRIDE);
    SDL_Window* const currentWindow = SDL_GL_GetCurrentWindow();
    SDL_GLContext const currentContext = SDL_GL_GetCurrentContext();

    bool painted = false;
    SDL_Surface* surface = SDL_GetWindowSurface(window->sdl);
    if (surface && SDL_LockSurface(surface) == 0) {
        const SDL_PixelFormat* format = surface->format;
        const int bytes = format->BytesPerPixel;
        const Uint32 black = SDL_MapRGB(format, 0, 0, 0);
        for (int y = 0; y < surface->h; ++y) {
            Uint8* row = static_cast<Uint8*>(surface->pixels) + size_t(y) * size_t(surface->pitch);
            // Nearest pixel; the picture's rows run bottom up.
            const unsigned char* source =
                pixels ? pixels + size_t(height - 1 - int(long(y) * height / surface->h)) * size_t(width) * 3 : nullptr;
            for (int x = 0; x < surface->w; ++x) {
                Uint32 value = black;
                if (source) {
                    const unsigned char* p = source + size_t(long(x) * width / surface->w) * 3;
                    value = SDL_MapRGB(format, p[2], p[1], p[0]);
                }
                Uint8* out = row + size_t(x) * size_t(bytes);
                switch (bytes) {
                case 4:
                    std::memcpy(out, &value, 4);
                    break;
                case 2: {
                    const Uint16 v = Uint16(value);
                    std::memcpy(out, &v, 2);
                    break;
                }
                case 1:
                    *out = Uint8(value);
                    break;
                default:
                    // Three bytes, in the surface's own byte order.
                    for (int b = 0; b < 3; ++b)
                        out[b] = Uint8(value >> (SDL_BYTEORDER == SDL_LIL_ENDIAN ? 8 * b : 16 - 8 * b));
                    break;
                }
            }
        }
        SDL_UnlockSurface(surface);
        painted = SDL_UpdateWindowSurface(window->sdl) == 0;
    }
    if (SDL_GL_GetCurrentContext() != currentContext || SDL_GL_GetCurrentWindow() != currentWindow)
        SDL_GL_MakeCurrent(currentWindow, currentContext);
    return painted;
}

bool enterFullScreen(NativeWindow* window, int width, int height, int colourBits)
{
    if (!window) return false;
    SDL_DisplayMode mode{};
    mode.w = width;
    mode.h = height;
    mode.format = colourBits <= 16 ? SDL_PIXELFORMAT_RGB565 : SDL_PIXELFORMAT_RGB888;
    SDL_DisplayMode closest{};
    if (!SDL_GetClosestDisplayMode(0, &mode, &closest) || closest.w != width || closest.h != height) return false;
    if (SDL_SetWindowDisplayMode(window->sdl, &closest) != 0) return false;
    return SDL_SetWindowFullscreen(window->sdl, SDL_WINDOW_FULLSCREEN) == 0;
}

void leaveFullScreen(NativeWindow* window)
{
    if (window) SDL_SetWindowFullscreen(window->sdl, 0);
}

void showCursor(bool visible) { SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE); }

PixelFormatStep setPixelFormat(NativeWindow* window)
{
    // SDL chose the visual, and with it the pixel format, when it made the
    // window (the attributes set in createWindow).
    if (!window) return PixelFormatStep::deviceContext;
    if (!(SDL_GetWindowFlags(window->sdl) & SDL_WINDOW_OPENGL)) {
        std::snprintf(gWindowError, sizeof gWindowError, "the window was not made for OpenGL");
        return PixelFormatStep::choose;
    }
    return PixelFormatStep::done;
}

bool releaseDeviceContext(NativeWindow*) { return true; }

GLContext createGLContext(NativeWindow* window)
{
    if (!window) return nullptr;
    SDL_GLContext c = SDL_GL_CreateContext(window->sdl);
    if (!c) std::snprintf(gWindowError, sizeof gWindowError, "%s", SDL_GetError());
    return c;
}

bool makeCurrent(NativeWindow* window, GLContext context)
{
    return SDL_GL_MakeCurrent(window ? window->sdl : nullptr, context) == 0;
}

bool deleteGLContext(GLContext context)
{
    if (!context) return false;
    SDL_GL_DeleteContext(context);
    return true;
}

GLContext currentGLContext() { return SDL_GL_GetCurrentContext(); }

void swapBuffers(NativeWindow* window)
{
    if (window) SDL_GL_SwapWindow(window->sdl);
}

void postQuit()
{
    // The quit message is SDL's own quit event, in the process's one event
    // queue. Closing the last window does not post it (see initVideo).
    if (!SDL_WasInit(SDL_INIT_EVENTS)) return;
    SDL_Event e{};
    e.type = SDL_QUIT;
    SDL_PushEvent(&e);
}

void discardQuit()
{
    if (SDL_WasInit(SDL_INIT_EVENTS)) SDL_FlushEvent(SDL_QUIT);
}

bool pumpMessages()
{
    if (!SDL_WasInit(SDL_INIT_VIDEO)) return true;
    bool quit = false;
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
        if (e.type == SDL_QUIT)
            quit = true;
        else
            dispatch(e);
    }
    return !quit;
}

} // namespace platform
