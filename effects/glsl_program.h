// GLSL programs for the effects: the OpenGL 2.0 entry points, fetched from
// the current context through the platform's GL proc lookup (OpenGL on
// Windows exports only version 1.1, so nothing newer is linked), and
// building a program with the driver's messages kept for the log.
#pragma once

#include <string>

// The OpenGL 2.0 names and values used here (the Windows gl.h stops at 1.1).
namespace glsl {
constexpr unsigned kFragmentShader = 0x8B30;
constexpr unsigned kVertexShader = 0x8B31;
constexpr unsigned kCompileStatus = 0x8B81;
constexpr unsigned kLinkStatus = 0x8B82;
constexpr unsigned kInfoLogLength = 0x8B84;
constexpr unsigned kShadingLanguageVersion = 0x8B8C;
constexpr unsigned kTexture0 = 0x84C0;
} // namespace glsl

// The entry points of the current context; every one is set once load()
// has succeeded. On Windows they belong to the context that was current
// then, so an effect loads them again in each load().
struct sGlslProcs {
#if defined(_WIN32)
#define KX_GLSL_ENTRY __stdcall
#else
#define KX_GLSL_ENTRY
#endif
    unsigned(KX_GLSL_ENTRY* createShader)(unsigned type) = nullptr;
    void(KX_GLSL_ENTRY* shaderSource)(unsigned shader, int count, const char* const* text,
                                      const int* lengths) = nullptr;
    void(KX_GLSL_ENTRY* compileShader)(unsigned shader) = nullptr;
    void(KX_GLSL_ENTRY* getShaderiv)(unsigned shader, unsigned name, int* value) = nullptr;
    void(KX_GLSL_ENTRY* getShaderInfoLog)(unsigned shader, int size, int* length, char* log) = nullptr;
    void(KX_GLSL_ENTRY* deleteShader)(unsigned shader) = nullptr;
    unsigned(KX_GLSL_ENTRY* createProgram)() = nullptr;
    void(KX_GLSL_ENTRY* attachShader)(unsigned program, unsigned shader) = nullptr;
    void(KX_GLSL_ENTRY* linkProgram)(unsigned program) = nullptr;
    void(KX_GLSL_ENTRY* getProgramiv)(unsigned program, unsigned name, int* value) = nullptr;
    void(KX_GLSL_ENTRY* getProgramInfoLog)(unsigned program, int size, int* length, char* log) = nullptr;
    void(KX_GLSL_ENTRY* useProgram)(unsigned program) = nullptr;
    void(KX_GLSL_ENTRY* deleteProgram)(unsigned program) = nullptr;
    int(KX_GLSL_ENTRY* getUniformLocation)(unsigned program, const char* name) = nullptr;
    void(KX_GLSL_ENTRY* uniform1f)(int location, float x) = nullptr;
    void(KX_GLSL_ENTRY* uniform2f)(int location, float x, float y) = nullptr;
    void(KX_GLSL_ENTRY* uniform1i)(int location, int x) = nullptr;
    void(KX_GLSL_ENTRY* activeTexture)(unsigned unit) = nullptr;
#undef KX_GLSL_ENTRY

    // Fetches every entry point from the current context. False, with one
    // line saying why in `why`, when the context has no GLSL: a version
    // below 2.0 or a missing entry point; the pointers are then all null.
    bool load(std::string& why);
    // The same for a context of this GL_VERSION string whose entry points
    // `lookup` gives.
    bool loadFrom(const char* version, void* (*lookup)(const char* name), std::string& why);
    bool loaded() const { return useProgram != nullptr; }
};

// The major version a GL_VERSION string begins with ("2.1 Mesa" gives 2);
// 0 for a null or malformed string.
int glMajorVersion(const char* version);

// The source line a driver's message points at, or -1. Drivers write
// "0:12(5): error: ..." (Mesa), "0(12) : error C0000: ..." (NVIDIA) or
// "ERROR: 0:12: ..." (AMD); the first number is the source string, the
// second the line.
int driverLineNumber(const char* message);

// Compiles a vertex and a fragment shader and links them. Returns the
// program, or 0 with the driver's messages in `log` (prefixed by the stage
// that failed). Warnings of a program that builds are in `log` too. The
// shaders are deleted either way; the caller deletes the program.
unsigned buildProgram(const sGlslProcs& gl, const char* vertexSource, const char* fragmentSource, std::string& log);
