// Fuzzes the GIF format: loads the input as a GIF file and checks what every
// load must give whatever the input: no more frames than the table holds,
// index blocks no larger than their image and sized by the file's data or by
// what it decoded to, fully readable, with zeros past what was decoded. A
// refused load keeps nothing.

#include "common/media/format_gif.h"
#include "common/media/stream.h"

#include "fuzz/fuzz_check.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 1 << 24)
        return 0;
    cMemoryStream stream(data, static_cast<int>(size));
    cFormatGIF gif;
    const int result = gif.load(&stream);
    check(gif.bitsPerPixel() == 8 && gif.pixels() == nullptr, "8 bits and no pixel block");
    if (result != 0) {
        check(result == -1 && gif.frameCount() == 0, "a refused load keeps no frames");
        return 0;
    }
    check(size >= 6, "a signature was read");
    check(gif.width() >= 0 && gif.width() <= 65535 && gif.height() >= 0 && gif.height() <= 65535, "screen size");
    check(gif.frameCount() >= 0 && gif.frameCount() <= cFormatGIF::kMaxFrames, "frame table");
    size_t stored = 0;
    unsigned sum = 0;
    for (int i = 0; i < gif.frameCount(); ++i) {
        const sGIFFrame& f = gif.frame(i);
        check(f.width >= 0 && f.width <= 65535 && f.height >= 0 && f.height <= 65535, "frame size");
        check(f.blockSize <= static_cast<size_t>(f.width) * static_cast<size_t>(f.height), "block within the image");
        check(f.decoded <= f.blockSize, "decoded within the block");
        // The block starts at four indices per data byte and at most doubles
        // past what was decoded.
        check(f.blockSize <= 4 * size + 4096 || f.blockSize <= 2 * f.decoded + 8192, "block within what the data gives");
        check(f.blockSize == 0 || f.indices != nullptr, "a block is allocated");
        check(f.transparent >= -1 && f.transparent <= 255, "transparent index");
        for (size_t k = 0; k < f.blockSize; ++k) {
            sum += f.indices[k];
            if (k >= f.decoded)
                check(f.indices[k] == 0, "zeros past the decoded indices");
        }
        stored += f.blockSize;
    }
    // LZW gives at most 4096 indices for 12 bits of data.
    check(stored <= 2 * (size * 8 / 12 * 4096) + 8192 * static_cast<size_t>(gif.frameCount()), "all blocks within the data");
    volatile unsigned sink = sum;
    (void)sink;
    return 0;
}
