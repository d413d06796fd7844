// The JPEG decoder's kernel dispatcher: which instruction set the inverse
// transform and the colour conversion use. The decoder asks once, when
// decoding begins, and calls through the function pointers it gets; each
// level lives in files of its own (jpeg_idct*.cpp, jpeg_color*.cpp) and
// computes exactly what the scalar level computes:
//   scalar  jpeg_idct.cpp, jpeg_color.cpp
//   sse2    jpeg_idct_sse2.cpp, jpeg_color_sse2.cpp (part of every x86-64)
//   avx2    jpeg_idct_avx2.cpp, jpeg_color_avx2.cpp (where cpuid reports it)
#include "common/media/jpeg/jpeg_internal.h"

eJPEGSimd jpegSimdAvailable()
{
#if defined(__x86_64__) || defined(__i386__)
    // Checks the processor and that the system saves the AVX registers.
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2) return eJPEGSimd::avx2;
#endif
#if defined(__SSE2__)
    return eJPEGSimd::sse2;
#else
    return eJPEGSimd::scalar;
#endif
}

sJPEGKernels jpegKernels(eJPEGSimd level)
{
    if (level > jpegSimdAvailable()) level = jpegSimdAvailable();
    switch (level) {
    case eJPEGSimd::avx2:
        return {level, jpegIdctRowAvx2, jpegColourRowAvx2};
    case eJPEGSimd::sse2:
        return {level, jpegIdctRowSse2, jpegColourRowSimd};
    case eJPEGSimd::scalar:
        break;
    }
    return {eJPEGSimd::scalar, jpegIdctRowScalar, jpegColourRowScalar};
}
