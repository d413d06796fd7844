#include "common/media/stream.h"

#include "platform/problem_report.h"
#include "platform/file_name.h"

#include <climits>
#include <cstring>
#include <new>
#include <strings.h>
#include <sys/stat.h>

// ---- cStream ---------------------------------------------------------------

int cStream::read(void*, int) { return 0; }
int cStream::write(const void*, int) { return 0; }

void cStream::movePosition(long long delta)
{
    long long p = static_cast<long long>(position_) + delta;
    if (p > INT_MAX) p = INT_MAX;
    if (p < INT_MIN) p = INT_MIN;
    position_ = static_cast<int>(p);
}

int cStream::seek(int offset, int origin)
{
    switch (origin) {
    case 0:
        position_ = offset;
        break;
    case 1:
        movePosition(offset);
        break;
    case 2:
        position_ = 0;
        movePosition(static_cast<long long>(size_) - offset);
        break;
    default:
        break;
    }
    return 0;
}

int cStream::tell() { return position_; }
unsigned cStream::size() { return static_cast<unsigned>(size_); }
bool cStream::eof() { return static_cast<unsigned>(position_) >= size(); }

// ---- cMemoryStream ---------------------------------------------------------

namespace {

// How many bytes from position on lie inside a buffer of the given size.
int bytesInside(int position, int size, int length)
{
    if (length <= 0 || position < 0 || position >= size) return 0;
    const int remaining = size - position;
    return length < remaining ? length : remaining;
}

bool endsWith(const char* name, size_t length, const char* ext)
{
    const size_t n = std::strlen(ext);
    return length >= n && strcasecmp(name + length - n, ext) == 0;
}

const char* folderFor(const char* name)
{
    const size_t n = std::strlen(name);
    static const char* const textures[] = {".tga", ".jpg", ".gif", ".bmp"};
    static const char* const music[] = {".it", ".xm", ".s3m", ".mod", ".wav", ".mp3", ".mid", ".midi"};
    static const char* const scenes[] = {".zen", ".f3d", ".3ds"};
    static const char* const videos[] = {".avi", ".mpg", ".wmv"};
    // GLSL fragment shaders of the shader effect.
    static const char* const shaders[] = {".frag", ".glsl"};
    for (const char* e : textures)
        if (endsWith(name, n, e)) return "textures/";
    for (const char* e : music)
        if (endsWith(name, n, e)) return "music/";
    for (const char* e : scenes)
        if (endsWith(name, n, e)) return "scenes/";
    for (const char* e : videos)
        if (endsWith(name, n, e)) return "videos/";
    for (const char* e : shaders)
        if (endsWith(name, n, e)) return "shaders/";
    return "";
}

} // namespace

bool locateDataFile(const char* name, char* path, int pathSize)
{
    if (!name) name = "";
    const int written = std::snprintf(path, static_cast<size_t>(pathSize), "data/%s%s", folderFor(name), name);
    return written >= 0 && written < pathSize;
}

cMemoryStream::cMemoryStream(const char* name)
{
    char path[512];
    if (!locateDataFile(name, path, sizeof path)) {
        platform::reportProblem("Error: file name too long %.64s...\n", name);
        return;
    }
    std::printf("load[%s]\n", path);

    cFileStream file(path, 1);
    // A file larger than the buffer can hold, or than memory can take, is
    // refused as if it could not be read: the stream stays empty.
    const long long length = file.length();
    unsigned char* buffer = nullptr;
    if (length > kMaxDataFileBytes || (length > 0 && !(buffer = new (std::nothrow) unsigned char[length]))) {
        platform::reportProblem("Error: %s is too large to read (%lld bytes)\n", path, length);
        platform::reportProblem("Error: file not found %s\n", path);
        return;
    }
    if (buffer) {
        const int remembered = file.tell();
        file.seek(0, 0);
        file.read(buffer, static_cast<int>(length));
        file.seek(remembered, 0);
        // A file that shrank while being read keeps only what arrived.
        size_ = file.lastReadCount();
        data_ = buffer;
    }
}

cMemoryStream::cMemoryStream(const void* bytes, int length)
{
    if (bytes && length > 0) {
        unsigned char* buffer = new unsigned char[static_cast<size_t>(length)];
        std::memcpy(buffer, bytes, static_cast<size_t>(length));
        data_ = buffer;
        size_ = length;
    }
}

cMemoryStream::~cMemoryStream()
{
    if (owns_) delete[] static_cast<unsigned char*>(data_);
}

unsigned char* cMemoryStream::releaseBuffer()
{
    // Handed out once: a second call gives nothing, so the buffer never
    // gets two owners (parse() adopts it each time it reads from a source).
    if (!owns_) return nullptr;
    owns_ = false;
    return data();
}

int cMemoryStream::read(void* destination, int length)
{
    const int n = bytesInside(position_, size_, length);
    if (n > 0) std::memcpy(destination, data() + position_, static_cast<size_t>(n));
    // What lies beyond the end reads as zeros, so a short read never leaves
    // the caller's buffer uninitialised.
    if (length > n) std::memset(static_cast<unsigned char*>(destination) + n, 0, static_cast<size_t>(length - n));
    movePosition(length > 0 ? length : 0);
    return 0;
}

int cMemoryStream::write(const void* source, int length)
{
    const int n = bytesInside(position_, size_, length);
    if (n > 0) std::memcpy(data() + position_, source, static_cast<size_t>(n));
    movePosition(length > 0 ? length : 0);
    return 0;
}

unsigned cMemoryStream::size() { return static_cast<unsigned>(size_); }

// ---- cFileStream -----------------------------------------------------------

cFileStream::cFileStream(const char* path, int mode)
{
    const char* fmode = nullptr;
    switch (mode) {
    case 1:
        fmode = "rb";
        break;
    case 2:
        fmode = "wb";
        break;
    case 3:
        fmode = "r+b";
        break; // read and write an existing file
    default:
        break;
    }
    std::FILE* f = fmode ? platform::openFile(path, fmode) : nullptr;
    if (!f) {
        platform::reportProblem("Error: file not found %s\n", path);
        return;
    }
    data_ = f;
}

cFileStream::~cFileStream()
{
    if (file()) std::fclose(file());
}

int cFileStream::read(void* destination, int length)
{
    lastRead_ = 0;
    if (file() && length > 0)
        lastRead_ = static_cast<int>(std::fread(destination, 1, static_cast<size_t>(length), file()));
    movePosition(length > 0 ? length : 0);
    return 0;
}

int cFileStream::write(const void* source, int length)
{
    if (file() && length > 0) std::fwrite(source, 1, static_cast<size_t>(length), file());
    movePosition(length > 0 ? length : 0);
    return 0;
}

int cFileStream::seek(int offset, int origin)
{
    if (origin == 2) size();
    cStream::seek(offset, origin);
    if (file() && position_ >= 0) std::fseek(file(), position_, SEEK_SET);
    return 0;
}

long long cFileStream::length()
{
    // Windows' plain stat has a 32-bit size, which a file of 2 GB or more
    // overflows (a 2 GB + 5 byte file reads as 5 bytes); its 64-bit variant
    // does not.
#ifdef _WIN32
    struct _stat64 status;
    if (!file() || _fstat64(_fileno(file()), &status) != 0 || !S_ISREG(status.st_mode)) return 0;
#else
    struct stat status;
    if (!file() || fstat(fileno(file()), &status) != 0 || !S_ISREG(status.st_mode)) return 0;
#endif
    return static_cast<long long>(status.st_size);
}

unsigned cFileStream::size()
{
    if (!file()) return 0;
    const long remembered = std::ftell(file());
    long end = -1;
    if (std::fseek(file(), 0, SEEK_END) == 0) end = std::ftell(file());
    if (remembered >= 0) std::fseek(file(), remembered, SEEK_SET);
    // Folders and devices report no usable size; such a "file" is empty.
    size_ = (end > 0 && end <= INT_MAX) ? static_cast<int>(end) : 0;
    return static_cast<unsigned>(size_);
}
