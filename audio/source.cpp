#include "source.h"

#include "platform/file_name.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <new>

namespace kxaudio {

namespace {

struct tFileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// 64-bit file positions on every system: `long`, which fseek and ftell
// take, has 32 bits on Windows, too few for a file beyond 2 GiB.
bool seekTo(std::FILE* file, QWORD offset, int whence)
{
#if defined(_WIN32)
    return _fseeki64(file, static_cast<__int64>(offset), whence) == 0;
#else
    return fseeko(file, static_cast<off_t>(offset), whence) == 0;
#endif
}

// The position in `file`, -1 on failure.
int64_t tellOf(std::FILE* file)
{
#if defined(_WIN32)
    return _ftelli64(file);
#else
    return ftello(file);
#endif
}

int readFile(const char* path, QWORD offset, QWORD length, tSource& source)
{
    // A folder opens like a file on some systems, but is none.
    std::error_code ignored;
    if (std::filesystem::is_directory(platform::filePath(path), ignored)) {
        return BASS_ERROR_FILEOPEN;
    }
    std::unique_ptr<std::FILE, tFileCloser> file(platform::openFile(path, "rb"));
    if (!file) {
        return BASS_ERROR_FILEOPEN;
    }
    if (!seekTo(file.get(), 0, SEEK_END)) {
        return BASS_ERROR_FILEOPEN;
    }
    const int64_t end = tellOf(file.get());
    if (end < 0) {
        return BASS_ERROR_FILEOPEN;
    }
    const QWORD fileSize = QWORD(end);
    if (offset > fileSize) {
        return BASS_ERROR_FILEOPEN;
    }
    QWORD size = fileSize - offset;
    if (length != 0 && length < size) {
        size = length;
    }
    if (size == 0) {
        return BASS_ERROR_FILEFORM;
    }
    if (size > KXAUDIO_MAX_FILE_LENGTH) {
        return BASS_ERROR_FILEFORM;
    }
    if (!seekTo(file.get(), offset, SEEK_SET)) {
        return BASS_ERROR_FILEOPEN;
    }
    auto bytes = std::make_shared<std::vector<unsigned char>>(size_t(size));
    if (std::fread(bytes->data(), 1, bytes->size(), file.get()) != bytes->size()) {
        return BASS_ERROR_FILEOPEN;
    }
    source.data = bytes->data();
    source.size = bytes->size();
    source.owned = std::move(bytes);
    return BASS_OK;
}

} // namespace

int openSource(BOOL mem, const void* file, QWORD offset, QWORD length, tSource& source)
{
    if (!file) {
        return BASS_ERROR_ILLPARAM;
    }
    if (!mem) {
        try {
            return readFile(static_cast<const char*>(file), offset, length, source);
        } catch (const std::bad_alloc&) {
            return BASS_ERROR_MEM;
        }
    }
    // In memory the length is the caller's word; all that can be checked is
    // that it is not absurd and that the offset does not wrap the address.
    if (length == 0 || length > KXAUDIO_MAX_FILE_LENGTH) {
        return BASS_ERROR_ILLPARAM;
    }
    const auto base = reinterpret_cast<uintptr_t>(file);
    if (offset > QWORD(UINTPTR_MAX - base) || length > QWORD(UINTPTR_MAX - base - offset)) {
        return BASS_ERROR_ILLPARAM;
    }
    source.data = static_cast<const unsigned char*>(file) + offset;
    source.size = size_t(length);
    source.owned.reset();
    return BASS_OK;
}

} // namespace kxaudio
