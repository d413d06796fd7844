// Fuzzes the TGA format: loads the input as a TGA file and, when it loads,
// checks what every image must be whatever the input: a block of exactly
// width x height x depth / 8 bytes that is fully readable, sides within the
// limits, and an allocation the file's size can justify (one run-length
// packet of 1 + pixel bytes gives at most 128 pixels). 8- and 16-bit files
// give 24- or 32-bit pixels: grey ones equal blue, green and red, 5-bit
// channels stretched to 8 bits, and palette indices their palette's entries.

#include "common/media/format_tga.h"
#include "common/media/stream.h"
#include "fuzz/fuzz_check.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

namespace {

// A 5-bit value stretched to 8 bits repeats its top 3 bits at the bottom.
bool widened(unsigned char v) { return (v & 7) == (v >> 5); }

// What the expanded pixels of an 8- or 16-bit file must look like.
void checkExpanded(cFormatTGA& tga, size_t pixelCount)
{
    const int type = tga.imageType();
    const size_t bytes = static_cast<size_t>(tga.bitsPerPixel() / 8);
    const bool mapped = type == 1 || type == 9;
    const bool grey = !mapped && (tga.storedBitsPerPixel() == 8 || type == 3 || type == 11);
    auto value = [bytes](unsigned b, unsigned g, unsigned r, unsigned a) {
        return uint32_t(b) | uint32_t(g) << 8 | uint32_t(r) << 16 | (bytes == 4 ? uint32_t(a) << 24 : 0);
    };
    // The pixels a palette index can give: its entry (5-bit entries
    // stretched), black past the palette.
    std::set<uint32_t> entries{0};
    for (int i = 0; mapped && i < 256; ++i) {
        const unsigned char* e = tga.paletteEntry(i);
        auto wide = [](unsigned v) { return (v << 3) | (v >> 2); };
        if (tga.colourMapBits() == 16)
            entries.insert(value(wide(e[2]), wide(e[1]), wide(e[0]), 0));
        else
            entries.insert(value(e[2], e[1], e[0], e[3]));
    }
    const unsigned char* p = tga.pixels();
    for (size_t i = 0; i < pixelCount; ++i) {
        const unsigned char* px = p + i * bytes;
        if (mapped) {
            check(entries.count(value(px[0], px[1], px[2], bytes == 4 ? px[3] : 0)) != 0,
                  "a colour-mapped pixel is its palette entry");
        } else if (grey) {
            check(px[0] == px[1] && px[1] == px[2], "grey pixels are equal blue, green and red");
        } else {
            check(widened(px[0]) && widened(px[1]) && widened(px[2]), "5-bit channels stretched");
            check(bytes == 3 || px[3] == 0 || px[3] == 255, "a 1-bit alpha is 0 or 255");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 1 << 24) return 0;
    cMemoryStream stream(data, static_cast<int>(size));
    cFormatTGA tga;
    if (tga.load(&stream) != 0) {
        check(tga.pixels() == nullptr, "a refused load keeps no pixels");
        return 0;
    }
    const int bpp = tga.bitsPerPixel();
    const int stored = tga.storedBitsPerPixel();
    check(bpp == 24 || bpp == 32, "pixels of 24 or 32 bits");
    check(stored == 8 || stored == 16 || stored == 24 || stored == 32, "known stored depth");
    check(stored > 16 ? bpp == stored : true, "24- and 32-bit pixels stay as stored");
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
    if (stored <= 16) checkExpanded(tga, static_cast<size_t>(tga.width()) * tga.height());

    // A second load on the same object replaces the first.
    cMemoryStream again(data, static_cast<int>(size));
    check(tga.load(&again) == 0 && tga.blockSize() == expected, "a second load gives the same image");
    return 0;
}
