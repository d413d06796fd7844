#include "platform/frame_scale.h"

#include <cstring>

namespace platform {

bool usableFrameLayout(const FrameLayout& l, int maxSide)
{
    if (l.width < 1 || l.height < 1 || l.width > maxSide || l.height > maxSide) return false;
    if (l.pixelBytes != 3 && l.pixelBytes != 4) return false;
    return l.stride >= size_t(l.width) * size_t(l.pixelBytes) && l.stride <= size_t(maxSide) * 4;
}

size_t frameLayoutBytes(const FrameLayout& l) { return l.stride * size_t(l.height > 0 ? l.height : 0); }

FrameScale scaleFrame(const FrameLayout& l, const void* data, size_t bytes, int maxSide, int width, int height,
                      unsigned char* out)
{
    if (!data || !out || width < 1 || height < 1 || !usableFrameLayout(l, maxSide)) return FrameScale::unusable;
    if (bytes < frameLayoutBytes(l)) return FrameScale::shortFrame;

    const auto* source = static_cast<const unsigned char*>(data);
    const size_t sourceWidth = size_t(l.width), sourceHeight = size_t(l.height);
    const size_t pixelBytes = size_t(l.pixelBytes);
    const size_t outRow = size_t(width) * 3;
    for (size_t y = 0; y < size_t(height); ++y) {
        // Rows counted from the bottom on both sides.
        const size_t sy = y * sourceHeight / size_t(height);
        const unsigned char* row = source + (l.topDown ? sourceHeight - 1 - sy : sy) * l.stride;
        unsigned char* dst = out + y * outRow;
        if (pixelBytes == 3 && sourceWidth == size_t(width)) {
            std::memcpy(dst, row, outRow);
            continue;
        }
        for (size_t x = 0; x < size_t(width); ++x) {
            const unsigned char* p = row + (x * sourceWidth / size_t(width)) * pixelBytes;
            dst[x * 3 + 0] = p[0];
            dst[x * 3 + 1] = p[1];
            dst[x * 3 + 2] = p[2];
        }
    }
    return FrameScale::done;
}

void fourCharacterCode(uint32_t code, char out[5])
{
    for (int i = 0; i < 4; ++i) {
        const char c = char((code >> (8 * i)) & 0xFF);
        out[i] = (c >= 32 && c < 127) ? c : '?';
    }
    out[4] = 0;
}

} // namespace platform
