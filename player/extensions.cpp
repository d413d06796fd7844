// OpenGL extension loader: flags from the version and extension strings,
// entry points through the platform layer.
#include "player/extensions.h"

#include "platform/gl_procs.h"

#include <GL/gl.h>

#include <cstring>

sGLExtensions gExt;

bool extensionSupported(const char* name, const char* extensionString)
{
    if (!name || !extensionString || !*name || std::strchr(name, ' ')) return false;
    const std::size_t length = std::strlen(name);
    const char* from = extensionString;
    while (const char* hit = std::strstr(from, name)) {
        const bool startsWord = hit == extensionString || hit[-1] == ' ';
        const char after = hit[length];
        if (startsWord && (after == ' ' || after == '\0')) return true;
        // A name without blanks cannot overlap a later whole-word occurrence,
        // so the search goes on behind this one.
        from = hit + length;
    }
    return false;
}

int coreVersionLevel(const char* version)
{
    if (!version) return 0;
    // GL_VERSION begins "<major>.<minor>". A major version of 2 or more
    // contains 1.2 to 1.4; looking for "1." there would find it inside
    // "2.1" or a vendor's "Mesa 21.3.1" and report far too little.
    const char* p = version;
    unsigned major = 0;
    bool digits = false;
    while (*p >= '0' && *p <= '9') {
        if (major < 1000) major = major * 10 + static_cast<unsigned>(*p - '0');
        digits = true;
        ++p;
    }
    if (digits && *p == '.' && major >= 2) return 4;

    const char* one = std::strstr(version, "1.");
    if (!one) return 0;
    const unsigned char minor = static_cast<unsigned char>(one[2]);
    if (minor == '2') return 2;
    if (minor == '3') return 3;
    if (minor > '3') return 4;
    return 0;
}

int sGLExtensions::flag(const char* name) const
{
    const int row = extensionRow(name);
    return row < 0 ? 0 : flags[row];
}

void* sGLExtensions::proc(const char* rowName, const char* entryPoint) const
{
    const int row = extensionRow(rowName);
    if (row < 0 || !entryPoint) return nullptr;
    const sExtensionRow& r = extensionTable()[row];
    for (int i = 0; i < r.entryPointCount; ++i)
        if (std::strcmp(r.entryPoints[i].name, entryPoint) == 0) return procs[firstEntryPoint(row) + i];
    return nullptr;
}

namespace {

bool rowFlag(const sGLExtensions& ext, const char* name)
{
    const int row = extensionRow(name);
    return row >= 0 && ext.flags[row] != 0;
}

// Whether a conditional entry point's companion feature is there.
bool wanted(const sGLExtensions& ext, const sEntryPoint& e)
{
    if (!e.needs) return true;
    return rowFlag(ext, e.needs) || (e.needsOr && rowFlag(ext, e.needsOr));
}

// Fetches the entry points of every row of one kind whose flag is set.
void fetchKind(sGLExtensions& ext, ExtensionKind kind, const ProcLookup& lookup)
{
    const sExtensionRow* table = extensionTable();
    for (int row = 0; row < kExtensionRowCount; ++row) {
        const sExtensionRow& r = table[row];
        if (r.kind != kind || !ext.flags[row]) continue;
        void** slot = ext.procs + firstEntryPoint(row);
        for (int i = 0; i < r.entryPointCount; ++i) {
            if (!wanted(ext, r.entryPoints[i])) continue;
            slot[i] = lookup ? lookup(r.entryPoints[i].name) : nullptr;
            if (!slot[i]) ext.error = 1;
        }
    }
}

void setFlags(sGLExtensions& ext, ExtensionKind kind, const char* extensionString)
{
    const sExtensionRow* table = extensionTable();
    for (int row = 0; row < kExtensionRowCount; ++row)
        if (table[row].kind == kind) ext.flags[row] = extensionSupported(table[row].name, extensionString) ? 1 : 0;
}

template <typename Fn> Fn typed(void* p) { return reinterpret_cast<Fn>(p); }

} // namespace

int loadExtensionsFrom(const char* glVersion, const char* glExtensions, const char* wglExtensions,
                       const ProcLookup& lookup, sGLExtensions& ext)
{
    // Every flag and pointer is set anew on each load.
    std::memset(&ext, 0, sizeof ext);

    const sExtensionRow* table = extensionTable();
    if (glVersion) {
        const int level = coreVersionLevel(glVersion);
        ext.flags[extensionRow("GL_VERSION_1_2")] = level >= 2;
        ext.flags[extensionRow("GL_VERSION_1_3")] = level >= 3;
        ext.flags[extensionRow("GL_VERSION_1_4")] = level >= 4;
        setFlags(ext, ExtensionKind::glExtension, glExtensions);
        // All flags first: the conditional entry points look at them.
        fetchKind(ext, ExtensionKind::coreVersion, lookup);
        fetchKind(ext, ExtensionKind::glExtension, lookup);
    }

    // WGL, last. The extension-string entry points are always asked for; the
    // GL part's errors do not count.
    for (int row = 0; row < kExtensionRowCount; ++row)
        if (table[row].kind == ExtensionKind::wglStringProc) ext.flags[row] = 1;
    fetchKind(ext, ExtensionKind::wglStringProc, lookup);
    bool haveString = false;
    for (int row = 0; row < kExtensionRowCount; ++row) {
        if (table[row].kind != ExtensionKind::wglStringProc) continue;
        ext.flags[row] = ext.procs[firstEntryPoint(row)] != nullptr;
        haveString = haveString || ext.flags[row];
    }
    ext.error = 0;
    setFlags(ext, ExtensionKind::wglExtension, haveString ? wglExtensions : nullptr);
    fetchKind(ext, ExtensionKind::wglExtension, lookup);

    ext.wglSwapIntervalEXT = typed<PfnWglSwapIntervalEXT>(ext.proc("WGL_EXT_swap_control", "wglSwapIntervalEXT"));
    ext.wglGetSwapIntervalEXT =
        typed<PfnWglGetSwapIntervalEXT>(ext.proc("WGL_EXT_swap_control", "wglGetSwapIntervalEXT"));
    ext.wglMakeContextCurrentARB =
        typed<PfnWglMakeContextCurrentARB>(ext.proc("WGL_ARB_make_current_read", "wglMakeContextCurrentARB"));
    ext.wglGetCurrentReadDCARB =
        typed<PfnWglGetCurrentReadDCARB>(ext.proc("WGL_ARB_make_current_read", "wglGetCurrentReadDCARB"));
    ext.wglGetExtensionsStringARB =
        typed<PfnWglGetExtensionsStringARB>(ext.proc("wglGetExtensionsStringARB", "wglGetExtensionsStringARB"));
    ext.wglGetExtensionsStringEXT =
        typed<PfnWglGetExtensionsStringEXT>(ext.proc("wglGetExtensionsStringEXT", "wglGetExtensionsStringEXT"));
    return ext.error;
}

int loadExtensions()
{
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    return loadExtensionsFrom(version, extensions, platform::windowSystemExtensions(), platform::getProcAddress, gExt);
}
