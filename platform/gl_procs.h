// GL entry points of the current context, and the window system's own
// extension string.
#pragma once

#include "platform/api.h"

// Calling convention of GL and WGL entry points: __stdcall on Windows,
// the default elsewhere.
#if defined(_WIN32)
#define KX_APIENTRY __stdcall
#else
#define KX_APIENTRY
#endif

namespace platform {

// The entry point of the current GL context with this name, or null.
//
// The player hands a window's NativeWindow* wherever a WGL call takes a
// device context (HDC), and its GLContext where it takes a rendering context
// (HGLRC); it receives them back the same way. So on every back end the WGL
// entry points that take or return a device context,
// "wglGetExtensionsStringARB", "wglMakeContextCurrentARB" and
// "wglGetCurrentReadDCARB", are shims that translate. On SDL these three,
// "wglGetExtensionsStringEXT", "wglSwapIntervalEXT" and
// "wglGetSwapIntervalEXT" are small shims over SDL, and every other "wgl"
// name gives null.
KX_PLATFORM_API void* getProcAddress(const char* name);

// The WGL extension string of the current context: what
// wglGetExtensionsStringARB returns for the current device context, else
// what wglGetExtensionsStringEXT returns; null when neither exists.
KX_PLATFORM_API const char* windowSystemExtensions();

} // namespace platform
