// Windows back end: GL entry points through WGL. The WGL calls that take or
// return a device context are wrapped, so callers pass the NativeWindow* of
// a window where WGL expects its HDC, as with every back end.
#include "platform/gl_procs.h"

#include "platform/win32/native_window.h"

#include <cstdint>
#include <cstring>

namespace platform {

namespace {

using GetExtensionsStringARB = const char*(WINAPI*)(HDC);
using MakeContextCurrentARB = BOOL(WINAPI*)(HDC, HDC, HGLRC);
using GetCurrentReadDCARB = HDC(WINAPI*)();

// The driver's own entry point. Some drivers answer a missing name with
// 1, 2, 3 or -1 instead of null; OpenGL 1.1 names come only from
// opengl32.dll itself.
void* driverProc(const char* name)
{
    PROC p = wglGetProcAddress(name);
    const auto value = reinterpret_cast<std::intptr_t>(p);
    if (value == 0 || value == 1 || value == 2 || value == 3 || value == -1) {
        HMODULE gl = GetModuleHandleA("opengl32.dll");
        p = gl ? GetProcAddress(gl, name) : nullptr;
    }
    return reinterpret_cast<void*>(p);
}

template <typename Fn> Fn driverFn(const char* name) { return reinterpret_cast<Fn>(driverProc(name)); }

HDC deviceContextOf(void* window) { return window ? static_cast<NativeWindow*>(window)->dc : nullptr; }

const char* KX_APIENTRY getExtensionsStringARB(void* deviceContext)
{
    const auto real = driverFn<GetExtensionsStringARB>("wglGetExtensionsStringARB");
    if (!real) return nullptr;
    HDC dc = deviceContextOf(deviceContext);
    return real(dc ? dc : wglGetCurrentDC());
}

int KX_APIENTRY makeContextCurrentARB(void* drawDC, void* readDC, void* renderContext)
{
    const auto real = driverFn<MakeContextCurrentARB>("wglMakeContextCurrentARB");
    if (!real) return 0;
    return real(deviceContextOf(drawDC), deviceContextOf(readDC), static_cast<HGLRC>(renderContext)) ? 1 : 0;
}

void* KX_APIENTRY getCurrentReadDCARB()
{
    const auto real = driverFn<GetCurrentReadDCARB>("wglGetCurrentReadDCARB");
    return real ? windowOfDeviceContext(real()) : nullptr;
}

template <typename Fn> void* address(Fn fn) { return reinterpret_cast<void*>(fn); }

struct Wrapper {
    const char* name;
    void* entry;
};

} // namespace

void* getProcAddress(const char* name)
{
    if (!name || !*name) return nullptr;
    void* real = driverProc(name);
    if (!real || std::strncmp(name, "wgl", 3) != 0) return real;
    // The driver has it; the calls with device contexts go through the
    // wrappers. wglGetExtensionsStringEXT, wglSwapIntervalEXT and
    // wglGetSwapIntervalEXT take none and are the driver's own, as is every
    // other WGL name (those take the system's handles).
    const Wrapper wrappers[] = {
        {"wglGetExtensionsStringARB", address(&getExtensionsStringARB)},
        {"wglMakeContextCurrentARB", address(&makeContextCurrentARB)},
        {"wglGetCurrentReadDCARB", address(&getCurrentReadDCARB)},
    };
    for (const Wrapper& w : wrappers)
        if (std::strcmp(w.name, name) == 0) return w.entry;
    return real;
}

const char* windowSystemExtensions()
{
    using GetExtensionsStringEXT = const char*(WINAPI*)();
    if (const auto arb = driverFn<GetExtensionsStringARB>("wglGetExtensionsStringARB")) return arb(wglGetCurrentDC());
    if (const auto ext = driverFn<GetExtensionsStringEXT>("wglGetExtensionsStringEXT")) return ext();
    return nullptr;
}

} // namespace platform
