#include "platform/win32/dib_frame.h"

#include <cstring>

namespace platform {

bool isDirectDibFormat(const BITMAPINFOHEADER& format, int maxSide)
{
    if (format.biCompression != BI_RGB || (format.biBitCount != 24 && format.biBitCount != 32)) return false;
    const long w = format.biWidth;
    const long h = format.biHeight < 0 ? -long(format.biHeight) : long(format.biHeight);
    return w >= 1 && h >= 1 && w <= maxSide && h <= maxSide;
}

bool convertDibFrame(const BITMAPINFOHEADER& format, const void* data, size_t bytes, int maxSide, int width, int height,
                     unsigned char* out)
{
    if (!data || !out || width < 1 || height < 1 || !isDirectDibFormat(format, maxSide)) return false;
    const size_t sourceWidth = size_t(format.biWidth);
    const bool topDown = format.biHeight < 0;
    const size_t sourceHeight = size_t(topDown ? -long(format.biHeight) : long(format.biHeight));
    const size_t pixelBytes = format.biBitCount / 8u;
    const size_t stride = (sourceWidth * pixelBytes + 3) & ~size_t(3);
    if (bytes < stride * sourceHeight) return false; // a short frame

    const auto* source = static_cast<const unsigned char*>(data);
    const size_t outRow = size_t(width) * 3;
    for (size_t y = 0; y < size_t(height); ++y) {
        // Rows counted from the bottom on both sides.
        const size_t sy = y * sourceHeight / size_t(height);
        const unsigned char* row = source + (topDown ? sourceHeight - 1 - sy : sy) * stride;
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
    return true;
}

} // namespace platform
