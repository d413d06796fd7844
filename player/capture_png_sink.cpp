#include "platform/file_name.h"
#include "player/capture_png_sink.h"

#include "player/capture.h"
#include "player/capture_audio.h"
#include "player/capture_queue.h"

#include <png.h>
#include <zlib.h>

#include <cstdio>

namespace {

// "frame_000012.png": the file name of captured frame `index` (0-based).
std::string frameFileName(long long index)
{
    char name[64];
    std::snprintf(name, sizeof name, "frame_%06lld.png", index);
    return name;
}

void appendToVector(png_structp png, png_bytep data, png_size_t size)
{
    auto* out = static_cast<std::vector<unsigned char>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + size);
}

void flushNothing(png_structp) {}

bool writeWholeFile(const std::string& path, const std::vector<unsigned char>& bytes)
{
    std::FILE* f = platform::openFile(path.c_str(), "wb");
    if (!f) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && written;
}

class cPngSink : public cFileCaptureSink {
public:
    cPngSink(const std::string& folder, unsigned workers)
        : cFileCaptureSink(folder + "/audio.wav"), folder(folder), serial(workers == 0)
    {
        // Room for each worker's frame and one waiting for each, so a
        // worker never waits for the frame loop.
        if (workers > 0) queue.reset(new cCaptureQueue(workers, workers * 2));
    }

    bool frame(sCaptureFrame&& f) override
    {
        if (failed) return false;
        if (queue) queueFrame(*queue, std::move(f), [this](const sCaptureFrame& queued) { store(queued); });
        else store(f);
        return !failed;
    }

    bool finish() override
    {
        if (queue) queue->drain();
        if (!finishSound()) failed = true;
        return !failed;
    }

private:
    void store(const sCaptureFrame& f)
    {
        const double start = captureSeconds();
        std::vector<unsigned char> png;
        const bool encoded = encodeFramePng(f, png, serial);
        const double encodedAt = captureSeconds();

        const std::string path = folder + "/" + frameFileName(f.index);
        const std::string partial = path + ".part";
        bool ok = encoded && writeWholeFile(partial, png) && platform::replaceFile(partial.c_str(), path.c_str());
        if (!ok) {
            platform::removeFile(partial.c_str());
            // One line for the first failure; the capture ends there.
            if (!failed.exchange(true)) reportCaptureProblem("cannot write " + path);
        }
        addWork(encodedAt - start, captureSeconds() - encodedAt);
    }

    std::string folder;
    bool serial; // compresses the way frames always were
    std::unique_ptr<cCaptureQueue> queue; // last: its workers end before the rest goes
};

} // namespace

bool encodeFramePng(const sCaptureFrame& f, std::vector<unsigned char>& out, bool adaptiveFilters)
{
    out.clear();
    if (f.width <= 0 || f.height <= 0 || f.pixels.size() < f.rowBytes() * size_t(f.height)) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, &out, appendToVector, flushNothing);
    // Speed over size: a capture writes many frames. Shows are mostly flat
    // colours and smooth gradients: the "up" filter with run-length deflate
    // compresses them about as well as trying every filter on every row
    // with full deflate, in a third of the time.
    png_set_compression_level(png, 1);
    if (!adaptiveFilters) {
        png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
        png_set_compression_strategy(png, Z_RLE);
    }
    png_set_IHDR(png, info, static_cast<png_uint_32>(f.width), static_cast<png_uint_32>(f.height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    if (!f.rgb) {
        // libpng reorders BGRX to RGB itself, row by row.
        png_set_bgr(png);
        png_set_filler(png, 0, PNG_FILLER_AFTER);
    }
    // Read-back rows run bottom first; PNG rows top first.
    for (int row = f.height - 1; row >= 0; --row)
        png_write_row(png, const_cast<png_bytep>(f.pixels.data() + size_t(row) * f.rowBytes()));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

std::unique_ptr<cCaptureSink> makePngSink(const std::string& folder, unsigned workers)
{
    return std::unique_ptr<cCaptureSink>(new cPngSink(folder, workers));
}
