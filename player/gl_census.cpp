#include "platform/file_name.h"
#include "player/gl_census.h"

#include "platform/clock.h"
#include "platform/gl_procs.h"

#include <GL/gl.h>

#include <cstdio>

namespace {

std::string censusFile;
uint32_t lastCensus = 0;
bool censusTaken = false;

using IsObject = GLboolean(KX_APIENTRY*)(GLuint);
using CreateObject = GLuint(KX_APIENTRY*)();
using DeleteObject = void(KX_APIENTRY*)(GLuint);

long countPrograms()
{
    const auto isShader = reinterpret_cast<IsObject>(platform::getProcAddress("glIsShader"));
    const auto isProgram = reinterpret_cast<IsObject>(platform::getProcAddress("glIsProgram"));
    const auto create = reinterpret_cast<CreateObject>(platform::getProcAddress("glCreateProgram"));
    const auto remove = reinterpret_cast<DeleteObject>(platform::getProcAddress("glDeleteProgram"));
    if (!isShader || !isProgram || !create || !remove) return 0; // a GL 1.x context has none
    const GLuint fresh = create();
    remove(fresh);
    return countLiveNames([&](unsigned long n) { return isShader(GLuint(n)) || isProgram(GLuint(n)); }, fresh);
}

} // namespace

sGLCensus takeGLCensus()
{
    sGLCensus census;
    GLuint fresh = 0;
    glGenTextures(1, &fresh);
    glDeleteTextures(1, &fresh);
    census.textures = countLiveNames([](unsigned long n) { return glIsTexture(GLuint(n)) == GL_TRUE; }, fresh);
    fresh = glGenLists(1);
    if (fresh) glDeleteLists(fresh, 1);
    census.lists = countLiveNames([](unsigned long n) { return glIsList(GLuint(n)) == GL_TRUE; }, fresh);
    census.programs = countPrograms();
    return census;
}

std::string formatGLCensus(const sGLCensus& census)
{
    char text[128];
    std::snprintf(text, sizeof text, "textures %ld\nlists %ld\nprograms %ld\n", census.textures, census.lists,
                  census.programs);
    return text;
}

void setGLCensusFile(const std::string& path)
{
    censusFile = path;
    censusTaken = false;
}

void glCensusFrame()
{
    if (censusFile.empty()) return;
    const uint32_t now = platform::ticks();
    if (censusTaken && now - lastCensus < 1000) return;
    lastCensus = now;
    censusTaken = true;
    const std::string text = formatGLCensus(takeGLCensus());
    const std::string part = censusFile + ".part";
    std::FILE* f = platform::openFile(part.c_str(), "wb");
    if (!f) return;
    const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    if (std::fclose(f) != 0 || !written) return;
    platform::replaceFile(part.c_str(), censusFile.c_str());
}
