// The platform layer is one shared library (libkxplatform.so, kxplatform.dll)
// that the player and every plug-in link, so the state it keeps (whether
// message boxes may open, the last error texts, the stop request) is one
// per process. KX_PLATFORM_API marks what it exports; everything else in
// it stays inside.
#pragma once

#if defined(_WIN32)
#if defined(KXPLATFORM_BUILD)
#define KX_PLATFORM_API __declspec(dllexport)
#else
#define KX_PLATFORM_API __declspec(dllimport)
#endif
#else
#define KX_PLATFORM_API __attribute__((visibility("default")))
#endif
