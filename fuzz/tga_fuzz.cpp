// Fuzzes the TGA format: loads the input as a TGA file and, when it loads,
// checks what every image must be whatever the input: a block of exactly
// width x height x depth / 8 bytes that is fully readable, sides within the
// limits, and an allocation the file's size can justify (one run-length
// packet of 1 + pixel bytes gives at most 128 pixels).

#include "common/media/format_tga.h"
#include "common/media/stream.h"

#include "fuzz/fuzz_check.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 1 << 24)
        return 0;
    cMemoryStream stream(data, static_cast<int>(size));
    cFormatTGA tga;
    if (tga.load(&stream) != 0) {
        check(tga.pixels() == nullptr, "a refused load keeps no pixels");
        return 0;
    }
    const int bpp = tga.bitsPerPixel();
    check(bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32, "known depth");
    check(tga.width() > 0 && tga.width() <= cFormatTGA::kMaxSide, "width in range");
    check(tga.height() > 0 && tga.height() <= cFormatTGA::kMaxSide, "height in range");
    const size_t expected = static_cast<size_t>(tga.width()) * tga.height() * (bpp / 8);
    check(tga.blockSize() == expected, "block size");
    check(tga.pixels() != nullptr, "pixels present");
    check(expected <= 128 * size * 4, "allocation bounded by the file");
    // Touch every byte, so the sanitizer sees a short block.
    unsigned sum = 0;
    for (size_t i = 0; i < expected; ++i) sum += tga.pixels()[i];
    if (tga.identification()) sum += static_cast<unsigned>(std::strlen(tga.identification()));
    for (int i = 0; i < 256; ++i) sum += tga.paletteEntry(i)[3];
    volatile unsigned sink = sum;
    (void)sink;

    // A second load on the same object replaces the first.
    cMemoryStream again(data, static_cast<int>(size));
    check(tga.load(&again) == 0 && tga.blockSize() == expected, "a second load gives the same image");
    return 0;
}
