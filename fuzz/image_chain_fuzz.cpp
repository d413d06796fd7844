// Fuzzes the whole image format chain: TGA, then JPEG (through the JPEG
// decoder), then GIF, each from the stream's start. An image that results
// must have a fully readable pixel block of width x height x depth / 8 bytes
// when it has one at all, of 24 or 32 bits, the only depths a texture
// takes; a GIF's pixels are drawn (alpha 255) or fully transparent.

#include "common/media/format_gif.h"
#include "common/media/image_format.h"
#include "common/media/stream.h"
#include "fuzz/fuzz_check.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 1 << 24) return 0;
    cMemoryStream stream(data, static_cast<int>(size));
    std::unique_ptr<cFormat> image(loadImage(&stream));
    if (!image) return 0;
    const unsigned char* pixels = image->pixels();
    if (!pixels) return 0;
    check(image->width() > 0 && image->height() > 0, "pixels with a size");
    check(image->bitsPerPixel() == 24 || image->bitsPerPixel() == 32, "pixels of 24 or 32 bits");
    const size_t bytes = static_cast<size_t>(image->width()) * image->height() * (image->bitsPerPixel() / 8);
    const bool gif = dynamic_cast<cFormatGIF*>(image.get()) != nullptr;
    // A GIF's screen is not bounded by the file's size: of a large block
    // every page and the last byte are read, which shows a short block as
    // well and keeps each run fast.
    const size_t step = bytes > (size_t(1) << 22) ? 4096 : 1;
    unsigned sum = pixels[bytes - 1];
    for (size_t i = 0; i < bytes; i += step) sum += pixels[i];
    for (size_t i = 3; gif && i < bytes; i += 4 * step)
        check(pixels[i] == 255 || (pixels[i] == 0 && !pixels[i - 1] && !pixels[i - 2] && !pixels[i - 3]),
              "GIF pixels are drawn or fully transparent");
    volatile unsigned sink = sum;
    (void)sink;
    return 0;
}
