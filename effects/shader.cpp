#include "effects/shader.h"

#include "common/media/media_shelf.h"
#include "common/media/stream.h"
#include "common/scene/camera.h"
#include "common/scene/named_texture.h"
#include "common/scene/scene_registry.h"
#include "common/script/xml_tag.h"
#include "effects/spectrum.h"
#include "platform/clock.h"
#include "platform/window_system.h"
#include "platform/file_name.h"

#include <GL/gl.h>

#include <cctype>
#include <cfloat>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <strings.h>

namespace {

// The vertex stage every shader is linked with: the fixed-function
// transform, texture coordinate 0 and the current colour passed on.
const char kVertexBody[] = "void main()\n"
                           "{\n"
                           "    gl_Position = ftransform();\n"
                           "    gl_TexCoord[0] = gl_MultiTexCoord0;\n"
                           "    gl_FrontColor = gl_Color;\n"
                           "}\n";

const char* const kBuiltinNames[] = {"time", "step", "resolution", "spectrum", "tex0", "tex1", "tex2", "tex3"};

// The vertex stage in the GLSL version the fragment shader asks for (a
// program's stages must agree), from its leading "#version" line.
std::string vertexSourceFor(const std::string& fragment)
{
    size_t at = fragment.find_first_not_of(" \t\r\n");
    if (at == std::string::npos || fragment.compare(at, 8, "#version") != 0) return kVertexBody;
    const size_t end = fragment.find('\n', at);
    return fragment.substr(at, end == std::string::npos ? std::string::npos : end - at) + "\n" + kVertexBody;
}

bool isImageFileName(const char* name)
{
    const size_t n = std::strlen(name);
    for (const char* ext : {".tga", ".jpg", ".gif", ".bmp"})
        if (n >= 4 && strcasecmp(name + n - 4, ext) == 0) return true;
    return false;
}

void copyCut(char* field, size_t size, const char* text, const char* what)
{
    if (std::strlen(text) >= size)
        std::printf("shader: %s longer than %d characters, cut: %s\n", what, int(size) - 1, text);
    std::snprintf(field, size, "%s", text);
}

// Replaces what a console cannot show as text: control characters and
// bytes that are not part of a well-formed UTF-8 sequence become '?'.
// A binary file's bytes, quoted by the driver or echoed as the line it
// points at, then cannot reach the console or the log raw.
void makePrintable(char* text)
{
    auto* p = reinterpret_cast<unsigned char*>(text);
    while (*p) {
        const unsigned c = *p;
        int follow = c >= 0xC2 && c <= 0xDF ? 1 : c >= 0xE0 && c <= 0xEF ? 2 : c >= 0xF0 && c <= 0xF4 ? 3 : -1;
        if (c >= 0x20 && c < 0x7F) follow = 0;
        if (c == '\t') follow = 0;
        int n = 0;
        while (follow > 0 && n < follow && (p[n + 1] & 0xC0) == 0x80) ++n;
        if (follow < 0 || n < follow) {
            *p++ = '?';
            continue;
        }
        p += 1 + follow;
    }
}

void texturedSquare(float from, float to)
{
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex2f(from, from);
    glTexCoord2f(1, 0);
    glVertex2f(to, from);
    glTexCoord2f(1, 1);
    glVertex2f(to, to);
    glTexCoord2f(0, 1);
    glVertex2f(from, to);
    glEnd();
}

} // namespace

cShader::cShader()
{
    for (int& b : builtins_) b = -1;
}

cShader::~cShader() { unload(); }

const cShader::sUniform* cShader::findUniform(const char* uniformName) const
{
    for (int i = 0; i < uniformCount; ++i)
        if (std::strcmp(uniforms[i].name, uniformName) == 0) return &uniforms[i];
    return nullptr;
}

void cShader::setTexture(int unit, const char* textureName)
{
    copyCut(textureNames[unit], sizeof textureNames[unit], textureName, "texture name");
    textures[unit] = nullptr;
}

int cShader::doXML(cXmlTag* element)
{
    cEffect::doXML(element);
    int nextTex = 0;
    for (const cXmlParam* p : element->params()) {
        const char* n = p->name;
        const char* v = p->value;
        if (strcasecmp(n, "filename") == 0) {
            char cut[kFileNameSize];
            copyCut(cut, sizeof cut, v, "file name");
            // Once loaded, a new name is read at the next frame; the name
            // it has already is no change (a change of the file itself is
            // found by the poll in update).
            if (std::strcmp(cut, fileName) == 0) continue;
            std::memcpy(fileName, cut, sizeof cut);
            rebuildDue_ = loaded_;
        } else if (strcasecmp(n, "camera") == 0) {
            if (registry) camera = registry->findCamera(v);
        } else if (strcasecmp(n, "tex") == 0) {
            // The script reader ends attribute names at a digit, so tex0,
            // tex1, ... all arrive as "tex": they count in order.
            if (nextTex < kTextureCount)
                setTexture(nextTex++, v);
            else
                std::printf("shader %s: more than %d tex attributes, %s is ignored\n", name, kTextureCount, v);
        }
    }
    for (cXmlTag* child : element->children()) {
        if (child->nameIs("sampler")) {
            const int unit = child->getInt("unit");
            const char* texture = child->getString("texture");
            if (unit >= 0 && unit < kTextureCount)
                setTexture(unit, texture ? texture : "");
            else
                std::printf("shader %s: sampler unit %d is not 0 to %d, ignored\n", name, unit, kTextureCount - 1);
            continue;
        }
        if (!child->nameIs("uniform")) continue;
        const char* uniformName = child->getString("name");
        if (!uniformName || !*uniformName) {
            std::printf("shader %s: a uniform without a name is ignored\n", name);
            continue;
        }
        setUniform(uniformName, child->getString("value"));
    }
    return 0;
}

bool cShader::readUniformValue(const char* text, float& value)
{
    if (!text) return false;
    const char* p = text;
    while (std::isspace(static_cast<unsigned char>(*p))) ++p;
    const char* digits = p + (*p == '+' || *p == '-');
    // Decimal only: strtod alone would also read "inf", "nan" and hexadecimal.
    const bool decimal = std::isdigit(static_cast<unsigned char>(digits[0])) ||
                         (digits[0] == '.' && std::isdigit(static_cast<unsigned char>(digits[1])));
    if (!decimal || (digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))) return false;
    char* end = nullptr;
    const double read = std::strtod(p, &end);
    while (std::isspace(static_cast<unsigned char>(*end))) ++end;
    if (*end != '\0' || !std::isfinite(read) || std::fabs(read) > double(FLT_MAX)) return false;
    value = float(read);
    return true;
}

void cShader::setUniform(const char* uniformName, const char* valueText)
{
    char cut[kUniformNameSize];
    copyCut(cut, sizeof cut, uniformName, "uniform name");
    sUniform* u = const_cast<sUniform*>(findUniform(cut));
    float value = 0;
    if (!readUniformValue(valueText, value)) {
        char kept[32] = "it is not set";
        if (u) std::snprintf(kept, sizeof kept, "keeping %g", double(u->value));
        if (valueText)
            report("uniform %s: \"%.40s\" is not a decimal number within the range of a float; %s", cut, valueText,
                   kept);
        else
            report("uniform %s has no value; %s", cut, kept);
        return;
    }
    if (!u) {
        if (uniformCount == kUniformMax) {
            std::printf("shader %s: more than %d uniforms, %s is ignored\n", name, kUniformMax, cut);
            return;
        }
        u = &uniforms[uniformCount++];
        std::memcpy(u->name, cut, sizeof cut);
        u->location = -2;
    }
    u->value = value;
}

void cShader::report(const char* format, ...)
{
    char line[1024];
    const int used = std::snprintf(line, sizeof line, "shader %s: ", name);
    va_list args;
    va_start(args, format);
    std::vsnprintf(line + used, sizeof line - size_t(used), format, args);
    va_end(args);
    makePrintable(line);
    std::printf("%s\n", line);
    std::fflush(stdout);
    if (registry && registry->logLine) registry->logLine(line);
}

void cShader::reportDriverLog(const std::string& log, const std::string& source)
{
    size_t at = 0;
    while (at < log.size()) {
        size_t end = log.find('\n', at);
        if (end == std::string::npos) end = log.size();
        const std::string line = log.substr(at, end - at);
        at = end + 1;
        if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
        report("  %s", line.c_str());
        // The line it points at, as the file has it.
        const int number = driverLineNumber(line.c_str());
        if (number < 1) continue;
        size_t from = 0;
        for (int n = 1; n < number && from != std::string::npos; ++n) {
            from = source.find('\n', from);
            if (from != std::string::npos) ++from;
        }
        if (from == std::string::npos || from >= source.size()) continue;
        size_t to = source.find('\n', from);
        if (to == std::string::npos) to = source.size();
        if (to > from && source[to - 1] == '\r') --to;
        report("    %d| %.200s", number, source.substr(from, to - from).c_str());
    }
}

void cShader::fileStamp(long long& time, long long& size) const
{
    time = 0;
    size = -1;
    char path[512];
    if (!locateDataFile(fileName, path, sizeof path)) return;
    std::error_code ec;
    const auto written = std::filesystem::last_write_time(platform::filePath(path), ec);
    if (ec) return;
    const auto bytes = std::filesystem::file_size(platform::filePath(path), ec);
    if (ec) return;
    time = static_cast<long long>(written.time_since_epoch().count());
    size = static_cast<long long>(bytes);
}

bool cShader::inContext() const { return context_ && platform::currentGLContext() == context_; }

bool cShader::build()
{
    fileStamp(stampTime_, stampSize_);
    if (!gl.loaded() || !inContext()) return false;
    const char* const keeping = program ? "keeping the last shader that built" : "nothing to draw";
    // Checked before the file is read, and again on what was read (it may
    // have grown in between).
    if (stampSize_ > kMaxSourceBytes) {
        report("%s has %lld bytes, more than the %d a shader file may have; %s", fileName, stampSize_,
               int(kMaxSourceBytes), keeping);
        return false;
    }
    cMemoryStream file(fileName);
    if (file.size() == 0) {
        report("cannot read %s; %s", fileName[0] ? fileName : "(no file name)", keeping);
        return false;
    }
    if (file.size() > unsigned(kMaxSourceBytes)) {
        report("%s has %u bytes, more than the %d a shader file may have; %s", fileName, file.size(),
               int(kMaxSourceBytes), keeping);
        return false;
    }
    const char* const text = reinterpret_cast<const char*>(file.data());
    if (const void* zero = std::memchr(text, 0, file.size())) {
        report("%s is not a text file (a zero byte at offset %ld); %s", fileName,
               long(static_cast<const char*>(zero) - text), keeping);
        return false;
    }
    const std::string source(text, file.size());
    std::string log;
    const unsigned built = buildProgram(gl, vertexSourceFor(source).c_str(), source.c_str(), log);
    if (!built) {
        report("%s does not build; %s", fileName, keeping);
        reportDriverLog(log, source);
        return false;
    }
    if (!log.empty()) {
        report("%s built with messages:", fileName);
        reportDriverLog(log, source);
    }
    if (program) gl.deleteProgram(program);
    program = built;
    lookUpLocations();
    return true;
}

void cShader::lookUpLocations()
{
    for (int b = 0; b < kBuiltinCount; ++b)
        builtins_[b] = program ? gl.getUniformLocation(program, kBuiltinNames[b]) : -1;
    for (int i = 0; i < uniformCount; ++i) uniforms[i].location = -2;
}

namespace {

// A built program kept over a reload of the show, with what it was built
// from, so the rebuilt show's effect neither builds it again nor misses a
// change of the file made since.
struct sKeptProgram {
    unsigned program;
    long long stampTime;
    long long stampSize;
    decltype(sGlslProcs::deleteProgram) deleteProgram;
    void* context; // the program's; without it current there is nothing to delete
};

void releaseKeptProgram(void* item)
{
    auto* kept = static_cast<sKeptProgram*>(item);
    if (kept->program && kept->deleteProgram && kept->context == platform::currentGLContext())
        kept->deleteProgram(kept->program);
    delete kept;
}

} // namespace

int cShader::load()
{
    unload();
    loaded_ = true;
    std::string why;
    if (!gl.load(why)) {
        report("%s; the effect draws nothing", why.c_str());
        return 0;
    }
    context_ = platform::currentGLContext();
    spectrum = new (std::nothrow) cSpectrum();
    if (spectrum) spectrum->upload();
    for (int i = 0; i < kTextureCount; ++i) texture(i);
    lastPoll_ = platform::ticks();
    // While the show is rebuilt, the old show's program of the same file
    // is taken as it is; a change of the file is then found as usual.
    if (registry && registry->shelf) {
        auto* kept = static_cast<sKeptProgram*>(registry->shelf->take("program", fileName));
        if (kept && kept->context != context_) {
            releaseKeptProgram(kept); // made in a context that is not this one
            kept = nullptr;
        }
        if (kept) {
            program = kept->program;
            stampTime_ = kept->stampTime;
            stampSize_ = kept->stampSize;
            delete kept;
            lookUpLocations();
            return 0;
        }
    }
    build();
    return 0;
}

int cShader::unload()
{
    if (!inContext()) {
        // The context went first (an exit, a closed window) and took the
        // program and the spectrum's texture with it: nothing to delete.
        program = 0;
        if (spectrum) spectrum->texture = 0;
    }
    if (program && gl.loaded() && registry && registry->shelf && registry->shelf->open) {
        auto* kept = new (std::nothrow) sKeptProgram{program, stampTime_, stampSize_, gl.deleteProgram, context_};
        if (kept && registry->shelf->put("program", fileName, kept, &releaseKeptProgram))
            program = 0;
        else
            delete kept;
    }
    if (program && gl.loaded()) gl.deleteProgram(program);
    program = 0;
    if (spectrum) {
        spectrum->release();
        delete spectrum;
        spectrum = nullptr;
    }
    for (cNamedTexture*& t : textures) t = nullptr;
    gl = sGlslProcs();
    loaded_ = false;
    rebuildDue_ = false;
    context_ = nullptr;
    return 0;
}

bool cShader::reloadIfChanged()
{
    if (!gl.loaded() || !inContext()) return false;
    long long time = 0, size = 0;
    fileStamp(time, size);
    if (time == stampTime_ && size == stampSize_) return false;
    if (!build()) return false;
    report("%s changed; the new shader draws", fileName);
    return true;
}

void cShader::update(float step)
{
    stepValue = step * speed;
    if (!gl.loaded() || !inContext()) return;
    if (rebuildDue_) {
        rebuildDue_ = false;
        build();
    }
    const uint32_t now = platform::ticks();
    if (now - lastPoll_ >= pollMilliseconds) {
        lastPoll_ = now;
        reloadIfChanged();
    }
    if (spectrum) {
        spectrum->capture(step * 0.01f);
        spectrum->upload();
    }
}

cNamedTexture* cShader::texture(int i)
{
    if (textures[i] || !textureNames[i][0] || !registry) return textures[i];
    // A texture another effect makes at its load (the webcam's) is found
    // once it exists; an image file is loaded under its name.
    textures[i] = registry->findTexture(textureNames[i]);
    if (!textures[i] && isImageFileName(textureNames[i])) textures[i] = registry->loadTexture(textureNames[i]);
    return textures[i];
}

void cShader::draw()
{
    if (!program || !inContext()) return;
    int viewport[4] = {0, 0, 0, 0};
    if (camera) {
        camera->getViewportPixels(width, height, viewport);
        glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
    } else {
        glGetIntegerv(GL_VIEWPORT, viewport);
    }

    gl.useProgram(program);
    if (builtins_[kTime] >= 0) gl.uniform1f(builtins_[kTime], registry ? registry->showSeconds : 0.0f);
    if (builtins_[kStep] >= 0) gl.uniform1f(builtins_[kStep], stepValue);
    if (builtins_[kResolution] >= 0) gl.uniform2f(builtins_[kResolution], float(viewport[2]), float(viewport[3]));
    if (builtins_[kSpectrum] >= 0) gl.uniform1i(builtins_[kSpectrum], kSpectrumUnit);
    for (int i = 0; i < kTextureCount; ++i)
        if (builtins_[kTex0 + i] >= 0) gl.uniform1i(builtins_[kTex0 + i], i);
    for (int i = 0; i < uniformCount; ++i) {
        sUniform& u = uniforms[i];
        if (u.location == -2) u.location = gl.getUniformLocation(program, u.name);
        if (u.location >= 0) gl.uniform1f(u.location, u.value);
    }
    for (int i = 0; i < kTextureCount; ++i) {
        gl.activeTexture(glsl::kTexture0 + unsigned(i));
        const cNamedTexture* t = texture(i);
        glBindTexture(GL_TEXTURE_2D, t ? t->texture.id : 0);
        // Registry textures have no mipmaps; their filters are set when
        // they are bound for drawing, which may not have happened yet.
        if (t && t->texture.id) {
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        }
    }
    gl.activeTexture(glsl::kTexture0 + kSpectrumUnit);
    glBindTexture(GL_TEXTURE_2D, spectrum ? spectrum->texture : 0);
    gl.activeTexture(glsl::kTexture0);

    if (camera) {
        glMatrixMode(GL_MODELVIEW);
        glLoadMatrixf(camera->getViewMatrix());
        glTranslatef(-0.5f, -0.5f, 0.0f);
        texturedSquare(0, 1);
    } else {
        // Over the whole viewport, whatever depth earlier effects left.
        glPushAttrib(GL_DEPTH_BUFFER_BIT);
        glDisable(GL_DEPTH_TEST);
        glDepthMask(GL_FALSE);
        glMatrixMode(GL_PROJECTION);
        glPushMatrix();
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();
        glLoadIdentity();
        texturedSquare(-1, 1);
        glPopMatrix();
        glMatrixMode(GL_PROJECTION);
        glPopMatrix();
        glMatrixMode(GL_MODELVIEW);
        glPopAttrib();
    }

    // The program and the extra texture units are not part of the saved
    // attributes: leave them as the next effect expects them.
    gl.useProgram(0);
    for (int unit = kSpectrumUnit; unit >= 0; --unit) {
        gl.activeTexture(glsl::kTexture0 + unsigned(unit));
        glBindTexture(GL_TEXTURE_2D, 0);
    }
}
