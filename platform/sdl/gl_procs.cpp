// Linux back end: GL entry points, and the few WGL calls the player uses,
// provided as shims over SDL.
#include "platform/gl_procs.h"

#include "platform/window_system.h"

#include <SDL.h>

#include <cstring>

namespace platform {

namespace {

// What the shims below provide, in WGL's terms.
const char kWglExtensions[] = "WGL_EXT_swap_control WGL_ARB_make_current_read";

// The NativeWindow of the window whose context is current. The window code
// attaches it to its SDL window under "kx".
NativeWindow* currentNativeWindow()
{
    SDL_Window* w = SDL_GL_GetCurrentWindow();
    return w ? static_cast<NativeWindow*>(SDL_GetWindowData(w, "kx")) : nullptr;
}

const char* KX_APIENTRY getExtensionsStringARB(void* /*deviceContext*/) { return kWglExtensions; }
const char* KX_APIENTRY getExtensionsStringEXT() { return kWglExtensions; }

int KX_APIENTRY swapIntervalEXT(int interval) { return SDL_GL_SetSwapInterval(interval) == 0 ? 1 : 0; }
int KX_APIENTRY getSwapIntervalEXT() { return SDL_GL_GetSwapInterval(); }

int KX_APIENTRY makeContextCurrentARB(void* drawDC, void* readDC, void* renderContext)
{
    // SDL reads and draws through the same window: a separate read
    // surface cannot be honoured.
    if (readDC && readDC != drawDC) return 0;
    return makeCurrent(static_cast<NativeWindow*>(drawDC), renderContext) ? 1 : 0;
}

void* KX_APIENTRY getCurrentReadDCARB() { return currentNativeWindow(); }

template <typename Fn> void* address(Fn fn) { return reinterpret_cast<void*>(fn); }

struct Shim {
    const char* name;
    void* entry;
};

} // namespace

void* getProcAddress(const char* name)
{
    if (!name || !*name) return nullptr;
    if (std::strncmp(name, "wgl", 3) == 0) {
        const Shim shims[] = {
            {"wglGetExtensionsStringARB", address(&getExtensionsStringARB)},
            {"wglGetExtensionsStringEXT", address(&getExtensionsStringEXT)},
            {"wglSwapIntervalEXT", address(&swapIntervalEXT)},
            {"wglGetSwapIntervalEXT", address(&getSwapIntervalEXT)},
            {"wglMakeContextCurrentARB", address(&makeContextCurrentARB)},
            {"wglGetCurrentReadDCARB", address(&getCurrentReadDCARB)},
        };
        for (const Shim& s : shims)
            if (std::strcmp(s.name, name) == 0) return s.entry;
        return nullptr;
    }
    return SDL_GL_GetProcAddress(name);
}

const char* windowSystemExtensions()
{
    using StringARB = const char*(KX_APIENTRY*)(void*);
    using StringEXT = const char*(KX_APIENTRY*)();
    if (void* arb = getProcAddress("wglGetExtensionsStringARB"))
        return reinterpret_cast<StringARB>(arb)(currentNativeWindow());
    if (void* ext = getProcAddress("wglGetExtensionsStringEXT")) return reinterpret_cast<StringEXT>(ext)();
    return nullptr;
}

} // namespace platform
