#include "player/frame_readback.h"

#include "platform/gl_procs.h"

#include <GL/gl.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// GL 1.5 and ARB_pixel_buffer_object names, declared here so the code does
// not depend on one system's glext.h.
constexpr GLenum kPixelPackBuffer = 0x88EB;
constexpr GLenum kStreamRead = 0x88E1;
constexpr GLenum kReadOnly = 0x88B8;
constexpr GLenum kBgra = 0x80E1;

using GenBuffers = void(KX_APIENTRY*)(GLsizei, GLuint*);
using DeleteBuffers = void(KX_APIENTRY*)(GLsizei, const GLuint*);
using BindBuffer = void(KX_APIENTRY*)(GLenum, GLuint);
using BufferData = void(KX_APIENTRY*)(GLenum, ptrdiff_t, const void*, GLenum);
using MapBuffer = void*(KX_APIENTRY*)(GLenum, GLenum);
using UnmapBuffer = GLboolean(KX_APIENTRY*)(GLenum);

struct sBufferProcs {
    GenBuffers gen = nullptr;
    DeleteBuffers del = nullptr;
    BindBuffer bind = nullptr;
    BufferData data = nullptr;
    MapBuffer map = nullptr;
    UnmapBuffer unmap = nullptr;
};
sBufferProcs gProcs;

bool hasExtension(const char* name)
{
    const char* all = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    const size_t n = std::strlen(name);
    for (const char* at = all; at && (at = std::strstr(at, name)) != nullptr; at += n)
        if ((at == all || at[-1] == ' ') && (at[n] == ' ' || at[n] == 0)) return true;
    return false;
}

bool loadBufferProcs()
{
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    int major = 0, minor = 0;
    const bool core = version && std::sscanf(version, "%d.%d", &major, &minor) == 2 && (major > 2 || (major == 2 && minor >= 1));
    const bool arb = !core && hasExtension("GL_ARB_pixel_buffer_object") && hasExtension("GL_ARB_vertex_buffer_object");
    if (!core && !arb) return false;
    auto proc = [&](const char* name) {
        return platform::getProcAddress(arb ? (std::string(name) + "ARB").c_str() : name);
    };
    gProcs.gen = reinterpret_cast<GenBuffers>(proc("glGenBuffers"));
    gProcs.del = reinterpret_cast<DeleteBuffers>(proc("glDeleteBuffers"));
    gProcs.bind = reinterpret_cast<BindBuffer>(proc("glBindBuffer"));
    gProcs.data = reinterpret_cast<BufferData>(proc("glBufferData"));
    gProcs.map = reinterpret_cast<MapBuffer>(proc("glMapBuffer"));
    gProcs.unmap = reinterpret_cast<UnmapBuffer>(proc("glUnmapBuffer"));
    return gProcs.gen && gProcs.del && gProcs.bind && gProcs.data && gProcs.map && gProcs.unmap;
}

size_t frameBytes(int width, int height) { return size_t(width) * size_t(height) * 4; }

} // namespace

cFrameReadback::cFrameReadback(bool overlapped)
{
    buffers = overlapped && loadBufferProcs();
    if (buffers) gProcs.gen(2, ids);
}

cFrameReadback::~cFrameReadback()
{
    if (!buffers) return;
    gProcs.bind(kPixelPackBuffer, 0);
    gProcs.del(2, ids);
}

void cFrameReadback::read(int width, int height, long long index,
                          const std::function<void(sCaptureFrame&&)>& deliver)
{
    if (width <= 0 || height <= 0) return;
    const double start = captureSeconds();
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadBuffer(GL_BACK);
    if (!buffers) {
        // Read at once, as RGB rows packed tight, the way frames were always
        // read.
        sCaptureFrame f;
        f.width = width;
        f.height = height;
        f.index = index;
        f.rgb = true;
        f.pixels.resize(f.rowBytes() * size_t(height));
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, f.pixels.data());
        seconds += captureSeconds() - start;
        deliver(std::move(f));
        return;
    }
    const size_t bytes = frameBytes(width, height);
    gProcs.bind(kPixelPackBuffer, ids[next]);
    if (sizes[next] != bytes) {
        gProcs.data(kPixelPackBuffer, static_cast<ptrdiff_t>(bytes), nullptr, kStreamRead);
        sizes[next] = bytes;
    }
    glReadPixels(0, 0, width, height, kBgra, GL_UNSIGNED_BYTE, nullptr);
    gProcs.bind(kPixelPackBuffer, 0);
    seconds += captureSeconds() - start;
    // The frame before this one is complete by now, or nearly.
    collect(deliver);
    pendingFrame.width = width;
    pendingFrame.height = height;
    pendingFrame.index = index;
    pending = true;
    next = 1 - next;
}

void cFrameReadback::flush(const std::function<void(sCaptureFrame&&)>& deliver) { collect(deliver); }

void cFrameReadback::collect(const std::function<void(sCaptureFrame&&)>& deliver)
{
    if (!pending) return;
    pending = false;
    const double start = captureSeconds();
    const int id = 1 - next;
    sCaptureFrame f;
    f.width = pendingFrame.width;
    f.height = pendingFrame.height;
    f.index = pendingFrame.index;
    f.pixels.resize(frameBytes(f.width, f.height));
    gProcs.bind(kPixelPackBuffer, ids[id]);
    const void* mapped = gProcs.map(kPixelPackBuffer, kReadOnly);
    if (mapped) {
        std::memcpy(f.pixels.data(), mapped, f.pixels.size());
        gProcs.unmap(kPixelPackBuffer);
    }
    gProcs.bind(kPixelPackBuffer, 0);
    seconds += captureSeconds() - start;
    deliver(std::move(f));
}
