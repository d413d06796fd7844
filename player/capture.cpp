#include "player/capture.h"

#include "platform/file_name.h"
#include "player/capture_progress.h"

#include <GL/gl.h>
#include <png.h>

#include <algorithm>
#include <cstdio>
#include <vector>

sCapture gCapture;

namespace {

// "frame_000012.png": the file name of captured frame `index` (0-based).
std::string frameFileName(long long index)
{
    char name[64];
    std::snprintf(name, sizeof name, "frame_%06lld.png", index);
    return name;
}

} // namespace

bool writePng(const char* path, int width, int height, const unsigned char* rgb)
{
    std::FILE* f = platform::openFile(path, "wb");
    if (!f) {
        std::printf("capture: cannot write %s\n", path);
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        std::printf("capture: cannot write %s\n", path);
        return false;
    }
    png_init_io(png, f);
    // Speed over size: a capture writes many frames.
    png_set_compression_level(png, 1);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int row = 0; row < height; ++row)
        png_write_row(png, const_cast<png_bytep>(rgb + static_cast<size_t>(row) * static_cast<size_t>(width) * 3));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    return true;
}

bool captureFrame(int width, int height)
{
    if (width <= 0 || height <= 0) return false;
    const size_t rowBytes = static_cast<size_t>(width) * 3;
    std::vector<unsigned char> pixels(rowBytes * static_cast<size_t>(height));
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    // GL reads bottom row first; images are written top row first.
    std::vector<unsigned char> flipped(pixels.size());
    for (int row = 0; row < height; ++row)
        std::copy_n(pixels.data() + static_cast<size_t>(height - 1 - row) * rowBytes, rowBytes,
                    flipped.data() + static_cast<size_t>(row) * rowBytes);

    // Written under a temporary name and renamed when complete, so the
    // folder never holds a half-written frame, however the player ends.
    const std::string path = gCapture.folder + "/" + frameFileName(gCapture.written);
    const std::string partial = path + ".part";
    ++gCapture.written;
    bool ok = writePng(partial.c_str(), width, height, flipped.data());
    if (ok && std::rename(partial.c_str(), path.c_str()) != 0) {
        std::printf("capture: cannot write %s\n", path.c_str());
        ok = false;
    }
    if (!ok) std::remove(partial.c_str());
    reportCaptureProgress(gCapture.written, gCapture.maxFrames);
    return ok;
}
