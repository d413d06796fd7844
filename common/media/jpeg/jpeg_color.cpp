// YCbCr to RGB with 16-bit fixed-point factors, chroma replicated over the
// luma samples it covers (no interpolation): the tables and the scalar
// conversion. The SSE2 and AVX2 versions are in jpeg_color_sse2.cpp and
// jpeg_color_avx2.cpp.
#include "common/media/jpeg/jpeg_internal.h"

void sJPEGColour::build()
{
    for (int i = 0; i < 256; i++) {
        const int x = i - 128;
        redCr[i] = int16_t((91882 * x + 32768) >> 16);
        blueCb[i] = int16_t((116130 * x + 32768) >> 16);
        greenCb[i] = -22554 * x + 32768;
        greenCr[i] = -46802 * x;
    }
    for (int i = 0; i < 1024; i++) {
        const int v = i - 384;
        clamp[i] = uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
    }
}

namespace {

inline void convertPixel(const sJPEGColour& c, int y, int cb, int cr, uint8_t* out)
{
    const uint8_t* clamp = c.clamp + 384;
    out[0] = clamp[y + c.redCr[cr]];
    out[1] = clamp[y + ((c.greenCb[cb] + c.greenCr[cr]) >> 16)];
    out[2] = clamp[y + c.blueCb[cb]];
    out[3] = 255;
}

} // namespace

void jpegColourRowScalar(const sJPEGColour& colour, const uint8_t* y0, const uint8_t* y1, const uint8_t* cb,
                         const uint8_t* cr, uint8_t* out0, uint8_t* out1, int count, int chromaShift)
{
    for (int x = 0; x < count; x++) {
        const int b = cb[x >> chromaShift], r = cr[x >> chromaShift];
        convertPixel(colour, y0[x], b, r, out0 + x * 4);
        if (y1) convertPixel(colour, y1[x], b, r, out1 + x * 4);
    }
}
