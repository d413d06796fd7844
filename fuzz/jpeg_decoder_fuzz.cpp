// Fuzzes the JPEG decoder: decodes the input with the SIMD and with the
// scalar inverse transform through the row interface. Besides the
// sanitizers, it checks what must hold for any input: both decodes end the
// same way with the same pixels, rows have the announced length, an error is
// final, and a decode that ends without an error has delivered every row.
//
// Pictures above 131072 pixels are only constructed: their decoding takes
// time without reaching more code.

#include "common/media/jpeg/jpeg_decoder.h"
#include "fuzz/fuzz_check.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct Result {
    int code = 0;
    int rows = 0;
    std::vector<unsigned char> pixels;
};

Result decode(const uint8_t* data, size_t size, bool simd)
{
    Result r;
    cJPEGSource source(data, unsigned(size));
    cJPEGDecoder decoder(&source, simd);
    if ((r.code = decoder.errorCode()) != 0) return r;
    const long long area = (long long)decoder.width() * decoder.height();
    check(decoder.width() > 0 && decoder.height() > 0 && decoder.width() <= 8192 && decoder.height() <= 8192,
          "frame size within 1..8192");
    if (area > (1 << 17)) return r;
    if (decoder.begin() != 0) {
        r.code = decoder.errorCode();
        check(r.code < 0, "a failed begin records its error");
        check(decoder.begin() == -1, "begin after an error fails");
        return r;
    }
    const int expected = decoder.width() * decoder.bytesPerPixel();
    for (;;) {
        const unsigned char* row = nullptr;
        int length = 0;
        const int result = decoder.decode(row, length);
        if (result == 1) break;
        if (result != 0) {
            r.code = result;
            check(result < 0, "decode fails with a negative code");
            check(decoder.decode(row, length) == -1, "an error is final");
            return r;
        }
        check(length == expected, "row length is width x bytes per pixel");
        check(r.rows < decoder.height(), "no more rows than the height");
        r.pixels.insert(r.pixels.end(), row, row + length);
        r.rows++;
    }
    check(r.rows == decoder.height(), "a clean end delivers every row");
    return r;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const Result simd = decode(data, size, true);
    const Result scalar = decode(data, size, false);
    check(simd.code == scalar.code, "both transforms end the same way");
    check(simd.rows == scalar.rows, "both transforms deliver the same rows");
    check(simd.pixels == scalar.pixels, "both transforms give the same pixels");
    return 0;
}
