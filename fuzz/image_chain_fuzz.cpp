// Fuzzes the whole image format chain: TGA, then JPEG (through the JPEG
// decoder), then GIF, each from the stream's start. An image that results
// must have a fully readable pixel block of width x height x depth / 8 bytes
// when it has one at all.

#include "common/media/image_format.h"
#include "common/media/stream.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 1 << 24)
        return 0;
    cMemoryStream stream(data, static_cast<int>(size));
    std::unique_ptr<cFormat> image(loadImage(&stream));
    if (!image)
        return 0;
    const unsigned char* pixels = image->pixels();
    if (!pixels)
        return 0;
    if (image->width() <= 0 || image->height() <= 0 || image->bitsPerPixel() <= 0) {
        std::fprintf(stderr, "broken invariant: pixels without a size\n");
        std::abort();
    }
    const size_t bytes = static_cast<size_t>(image->width()) * image->height() * (image->bitsPerPixel() / 8);
    unsigned sum = 0;
    for (size_t i = 0; i < bytes; ++i) sum += pixels[i];
    volatile unsigned sink = sum;
    (void)sink;
    return 0;
}
