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
// "wgl" names are served by the back end: on SDL, "wglGetExtensionsStringARB",
// "wglGetExtensionsStringEXT", "wglSwapIntervalEXT", "wglGetSwapIntervalEXT",
// "wglMakeContextCurrentARB" and "wglGetCurrentReadDCARB" are small shims over
// SDL; every other "wgl" name gives null. For these shims a device context
// (HDC) is the NativeWindow* of a window and a rendering context (HGLRC) its
// GLContext.
KX_PLATFORM_API void* getProcAddress(const char* name);

// The WGL extension string of the current context: what
// wglGetExtensionsStringARB returns for the current device context, else
// what wglGetExtensionsStringEXT returns; null when neither exists.
KX_PLATFORM_API const char* windowSystemExtensions();

} // namespace platform
