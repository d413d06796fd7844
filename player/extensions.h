// OpenGL extension loader.
//
// Everything above OpenGL 1.1 has to be asked for at run time. After the
// demo's window and its rendering context are made, loadExtensions() records
// which core versions (1.2, 1.3, 1.4) and which of a fixed list of GL and WGL
// extensions the driver offers, one flag each, and fetches their entry
// points. Flags and pointers live in the process-wide record gExt.
//
// The list itself is one table (extension_tables.cpp): one row per flag with
// its name and its entry point names. Flags are indexed by row, pointers by
// row and entry position; both can be looked up by name. The WGL entry points
// that the player calls also have typed members of their own.
#pragma once

#include "platform/gl_procs.h"

#include <functional>

// Version 1.2/1.3/1.4, the two WGL extension-string entry points and every
// extension of the list.
constexpr int kExtensionRowCount = 111;
// Entry points of all rows together.
constexpr int kEntryPointCount = 630;

enum class ExtensionKind : unsigned char {
    coreVersion,   // flag from the GL_VERSION string
    glExtension,   // flag from the GL_EXTENSIONS string
    wglStringProc, // flag set when the entry point of the same name exists
    wglExtension,  // flag from the WGL extension string
};

struct sEntryPoint {
    const char* name;
    // Some entry points are fetched only beside another feature: when
    // `needs` is set, the flag of that row (or of `needsOr`) must be set too.
    const char* needs = nullptr;
    const char* needsOr = nullptr;
};

struct sExtensionRow {
    const char* name; // "GL_VERSION_1_3", "GL_ARB_multitexture", "wglGetExtensionsStringARB", ...
    ExtensionKind kind;
    const sEntryPoint* entryPoints; // null when the row has none
    int entryPointCount;
};

// The table, kExtensionRowCount rows long.
const sExtensionRow* extensionTable();
// Index into sGLExtensions::procs of the first entry point of a row.
int firstEntryPoint(int row);
// Row of a name, or -1.
int extensionRow(const char* name);

// Signatures of the WGL entry points the player calls. A device context
// (HDC) is a platform::NativeWindow* and a rendering context (HGLRC) a
// platform::GLContext on every back end (platform/gl_procs.h); BOOL is int.
using PfnWglSwapIntervalEXT = int(KX_APIENTRY*)(int interval);
using PfnWglGetSwapIntervalEXT = int(KX_APIENTRY*)();
using PfnWglMakeContextCurrentARB = int(KX_APIENTRY*)(void* drawDC, void* readDC, void* renderContext);
using PfnWglGetCurrentReadDCARB = void*(KX_APIENTRY*)();
using PfnWglGetExtensionsStringARB = const char*(KX_APIENTRY*)(void* deviceContext);
using PfnWglGetExtensionsStringEXT = const char*(KX_APIENTRY*)();

struct sGLExtensions {
    int flags[kExtensionRowCount]; // 0 or 1, by table row
    void* procs[kEntryPointCount]; // null when absent or not fetched
    int error;                     // a requested entry point came back null

    PfnWglSwapIntervalEXT wglSwapIntervalEXT;
    PfnWglGetSwapIntervalEXT wglGetSwapIntervalEXT;
    PfnWglMakeContextCurrentARB wglMakeContextCurrentARB;
    PfnWglGetCurrentReadDCARB wglGetCurrentReadDCARB;
    PfnWglGetExtensionsStringARB wglGetExtensionsStringARB;
    PfnWglGetExtensionsStringEXT wglGetExtensionsStringEXT;

    // The flag of a row by its name; 0 for a name that is not in the table.
    int flag(const char* name) const;
    // The pointer of one entry point of one row; null when either name is
    // unknown. The row is needed because some names occur in several rows
    // (glBlendColor in version 1.4 and in GL_ARB_imaging).
    void* proc(const char* row, const char* entryPoint) const;
};

extern sGLExtensions gExt;

// Whole-word test: true when `name` occurs in the blank-separated list
// `extensionString` as a word of its own. An empty name, a name with a
// blank and a null list are never supported.
bool extensionSupported(const char* name, const char* extensionString);

// The core versions a GL_VERSION string stands for: 0 (1.1 or unknown),
// 2 (1.2), 3 (1.3) or 4 (1.4 and later).
int coreVersionLevel(const char* version);

// Fetches one entry point by name; null when there is none.
using ProcLookup = std::function<void*(const char* name)>;

// The loader without a GL context: the GL_VERSION and GL_EXTENSIONS strings,
// the string the WGL extension-string entry point returns (used only when
// the lookup yields wglGetExtensionsStringARB or wglGetExtensionsStringEXT),
// and the lookup for entry points. Fills `ext` anew; returns its error flag,
// which reflects only the WGL fetches.
int loadExtensionsFrom(const char* glVersion, const char* glExtensions, const char* wglExtensions,
                       const ProcLookup& lookup, sGLExtensions& ext);

// Loads gExt from the current context. Returns the error flag.
int loadExtensions();
