#include "effects/glsl_program.h"

#include "platform/gl_procs.h"

#include <GL/gl.h>

#include <cctype>
#include <cstring>
#include <vector>

namespace {

template <typename Fn> bool fetch(void* (*lookup)(const char*), Fn& slot, const char* name, std::string& missing)
{
    slot = reinterpret_cast<Fn>(lookup(name));
    if (!slot) missing += missing.empty() ? name : std::string(", ") + name;
    return slot != nullptr;
}

// Reads a decimal number at p; false when there is none.
bool readNumber(const char*& p, int& value)
{
    if (!std::isdigit(static_cast<unsigned char>(*p))) return false;
    long v = 0;
    while (std::isdigit(static_cast<unsigned char>(*p))) {
        if (v < 100000000) v = v * 10 + (*p - '0');
        ++p;
    }
    value = int(v);
    return true;
}

// The info log of a shader or a program.
template <typename GetIv, typename GetLog> std::string infoLog(unsigned object, GetIv getIv, GetLog getLog)
{
    int length = 0;
    getIv(object, glsl::kInfoLogLength, &length);
    if (length <= 1) return std::string();
    std::vector<char> text(size_t(length) + 1, '\0');
    int written = 0;
    getLog(object, length, &written, text.data());
    if (written < 0 || written > length) written = 0;
    return std::string(text.data(), size_t(written));
}

} // namespace

bool sGlslProcs::load(std::string& why)
{
    return loadFrom(reinterpret_cast<const char*>(glGetString(GL_VERSION)), platform::getProcAddress, why);
}

bool sGlslProcs::loadFrom(const char* version, void* (*lookup)(const char* name), std::string& why)
{
    *this = sGlslProcs();
    if (glMajorVersion(version) < 2) {
        why = std::string("OpenGL 2.0 is needed for GLSL, this context offers ") + (version ? version : "no version");
        return false;
    }
    std::string missing;
    fetch(lookup, createShader, "glCreateShader", missing);
    fetch(lookup, shaderSource, "glShaderSource", missing);
    fetch(lookup, compileShader, "glCompileShader", missing);
    fetch(lookup, getShaderiv, "glGetShaderiv", missing);
    fetch(lookup, getShaderInfoLog, "glGetShaderInfoLog", missing);
    fetch(lookup, deleteShader, "glDeleteShader", missing);
    fetch(lookup, createProgram, "glCreateProgram", missing);
    fetch(lookup, attachShader, "glAttachShader", missing);
    fetch(lookup, linkProgram, "glLinkProgram", missing);
    fetch(lookup, getProgramiv, "glGetProgramiv", missing);
    fetch(lookup, getProgramInfoLog, "glGetProgramInfoLog", missing);
    fetch(lookup, deleteProgram, "glDeleteProgram", missing);
    fetch(lookup, getUniformLocation, "glGetUniformLocation", missing);
    fetch(lookup, uniform1f, "glUniform1f", missing);
    fetch(lookup, uniform2f, "glUniform2f", missing);
    fetch(lookup, uniform1i, "glUniform1i", missing);
    fetch(lookup, activeTexture, "glActiveTexture", missing);
    // useProgram last: loaded() tells from it that everything is there.
    fetch(lookup, useProgram, "glUseProgram", missing);
    if (!missing.empty()) {
        *this = sGlslProcs();
        why = "the GL driver lacks " + missing;
        return false;
    }
    return true;
}

int glMajorVersion(const char* version)
{
    if (!version) return 0;
    // OpenGL ES contexts say "OpenGL ES 2.0 ..."; desktop ones start with the number.
    const char* p = version;
    if (std::strncmp(p, "OpenGL ES ", 10) == 0) p += 10;
    int major = 0;
    if (!readNumber(p, major) || *p != '.') return 0;
    return major;
}

int driverLineNumber(const char* message)
{
    if (!message) return -1;
    const char* p = message;
    while (*p == ' ' || *p == '\t') ++p;
    for (const char* word : {"ERROR: ", "WARNING: "})
        if (std::strncmp(p, word, std::strlen(word)) == 0) p += std::strlen(word);
    int source = 0, line = 0;
    if (!readNumber(p, source)) return -1;
    if (*p != ':' && *p != '(') return -1;
    ++p;
    if (!readNumber(p, line)) return -1;
    return line;
}

unsigned buildProgram(const sGlslProcs& gl, const char* vertexSource, const char* fragmentSource, std::string& log)
{
    log.clear();
    if (!gl.loaded()) return 0;
    const struct {
        unsigned type;
        const char* source;
        const char* stage;
    } stages[2] = {{glsl::kVertexShader, vertexSource, "vertex shader"},
                   {glsl::kFragmentShader, fragmentSource, "fragment shader"}};
    unsigned shaders[2] = {0, 0};
    bool compiled = true;
    for (int i = 0; i < 2; ++i) {
        shaders[i] = gl.createShader(stages[i].type);
        if (!shaders[i]) {
            log += std::string(stages[i].stage) + ": the driver made no shader object\n";
            compiled = false;
            break;
        }
        const char* text = stages[i].source ? stages[i].source : "";
        gl.shaderSource(shaders[i], 1, &text, nullptr);
        gl.compileShader(shaders[i]);
        int ok = 0;
        gl.getShaderiv(shaders[i], glsl::kCompileStatus, &ok);
        const std::string messages = infoLog(shaders[i], gl.getShaderiv, gl.getShaderInfoLog);
        if (!ok) {
            log += std::string(stages[i].stage) + " did not compile:\n" + messages;
            compiled = false;
            break;
        }
        log += messages;
    }
    unsigned program = 0;
    if (compiled) {
        program = gl.createProgram();
        if (program) {
            gl.attachShader(program, shaders[0]);
            gl.attachShader(program, shaders[1]);
            gl.linkProgram(program);
            int ok = 0;
            gl.getProgramiv(program, glsl::kLinkStatus, &ok);
            const std::string messages = infoLog(program, gl.getProgramiv, gl.getProgramInfoLog);
            if (!ok) {
                log += "the program did not link:\n" + messages;
                gl.deleteProgram(program);
                program = 0;
            } else {
                log += messages;
            }
        } else {
            log += "the driver made no program object\n";
        }
    }
    // Attached shaders live on inside the program; the names can go.
    for (unsigned s : shaders)
        if (s) gl.deleteShader(s);
    return program;
}
