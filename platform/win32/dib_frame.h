// Frames of the Video for Windows capture interface as the layer's
// pictures: the layout of a device-independent bitmap, from the fields of
// its BITMAPINFOHEADER (passed one by one, so this compiles and is tested
// on every system).
#pragma once

#include "platform/frame_scale.h"

#include <cstdint>

namespace platform {

// The fields of a BITMAPINFOHEADER that decide a frame's layout.
struct DibFormat {
    long width = 0;
    long height = 0; // positive: bottom row first; negative: top row first
    unsigned bitCount = 0;
    uint32_t compression = 0; // BI_RGB (0) for uncompressed
};

// The layout of frames of this format when they can be read as they come:
// uncompressed, 24 or 32 bits per pixel, rows padded to 4 bytes, each side
// 1 .. maxSide. False for any other format (compressed, palettes, 16-bit).
bool directDibLayout(const DibFormat& format, int maxSide, FrameLayout& layout);

} // namespace platform
