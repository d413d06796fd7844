// Fuzzes the GIF format: loads the input as a GIF file and checks what every
// load must give whatever the input: no more frames than the table holds,
// index blocks no larger than their image and sized by the file's data or by
// what it decoded to, fully readable, with zeros past what was decoded. A
// refused load keeps nothing. A screen that can be composed gives 32-bit
// pictures whose pixels are either drawn (alpha 255) or fully transparent
// (all zero), the same whichever order the frames are composed in, and a
// frame for every moment of the playback.

#include "common/media/format_gif.h"
#include "common/media/stream.h"
#include "fuzz/fuzz_check.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// A hash of a picture, after checking its pixels.
uint64_t checkPicture(const unsigned char* p, size_t pixelCount)
{
    check(p != nullptr, "a composable screen gives a picture");
    uint64_t hash = 1469598103934665603ull;
    for (size_t i = 0; i < pixelCount * 4; i += 4) {
        check(p[i + 3] == 255 || (p[i + 3] == 0 && p[i] == 0 && p[i + 1] == 0 && p[i + 2] == 0),
              "pixels are drawn or fully transparent");
        for (int k = 0; k < 4; ++k) hash = (hash ^ p[i + k]) * 1099511628211ull;
    }
    return hash;
}

void checkPictures(cFormatGIF& gif)
{
    cGIFAnimation* animation = gif.animation();
    check(animation != nullptr, "a loaded GIF has its frames");
    const long long w = gif.width(), h = gif.height();
    const bool composable = w > 0 && h > 0 && w * h <= cGIFAnimation::kMaxScreenPixels;
    check(gif.bitsPerPixel() == (composable ? 32 : 8), "32 bits exactly when the screen can be composed");
    if (!composable) {
        check(gif.pixels() == nullptr, "no pixel block without a composable screen");
        return;
    }
    // Composing (and checking) a large screen would make each run slow.
    const size_t pixelCount = static_cast<size_t>(w * h);
    if (pixelCount > (1u << 20)) return;
    checkPicture(gif.pixels(), pixelCount);
    if (pixelCount > (1u << 16)) return;
    const int frames = gif.frameCount() < 48 ? gif.frameCount() : 48;
    std::vector<uint64_t> forward;
    for (int i = 0; i < frames; ++i) forward.push_back(checkPicture(animation->compose(i), pixelCount));
    // Backwards, keeping a state every few frames only.
    animation->keyBudget = pixelCount * 4 * 3;
    animation->setScreen(gif.width(), gif.height());
    for (int i = frames - 1; i >= 0; --i)
        check(checkPicture(animation->compose(i), pixelCount) == forward[static_cast<size_t>(i)],
              "a frame's picture does not depend on what was composed before");
    for (double seconds : {-1.0, 0.0, 0.05, 0.5, 3.3, 1e6}) {
        const int frame = animation->frameAt(seconds);
        check(frame >= 0 && frame < (gif.frameCount() > 0 ? gif.frameCount() : 1), "a frame for every moment");
    }
    check(animation->frameAt(0.0) == 0, "playback starts with the first frame");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 1 << 24) return 0;
    cMemoryStream stream(data, static_cast<int>(size));
    cFormatGIF gif;
    check(gif.bitsPerPixel() == 8 && gif.pixels() == nullptr, "no pixel block before a load");
    const int result = gif.load(&stream);
    if (result != 0) {
        check(result == -1 && gif.frameCount() == 0 && gif.pixels() == nullptr, "a refused load keeps nothing");
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
        check(f.blockSize <= 4 * size + 4096 || f.blockSize <= 2 * f.decoded + 8192,
              "block within what the data gives");
        check(f.blockSize == 0 || f.indices != nullptr, "a block is allocated");
        check(f.transparent >= -1 && f.transparent <= 255, "transparent index");
        check(f.disposal >= 0 && f.disposal <= 7 && f.delay >= 0 && f.delay <= 65535, "graphic control fields");
        for (size_t k = 0; k < f.blockSize; ++k) {
            sum += f.indices[k];
            if (k >= f.decoded) check(f.indices[k] == 0, "zeros past the decoded indices");
        }
        stored += f.blockSize;
    }
    // LZW gives at most 4096 indices for 12 bits of data.
    check(stored <= 2 * (size * 8 / 12 * 4096) + 8192 * static_cast<size_t>(gif.frameCount()),
          "all blocks within the data");
    volatile unsigned sink = sum;
    (void)sink;
    checkPictures(gif);
    return 0;
}
