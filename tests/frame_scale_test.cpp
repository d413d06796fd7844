// Captured frames into 24-bit bottom-up pictures: the scaler every capture
// back end uses, and the layout of the Video for Windows frames it reads.
#include "platform/frame_scale.h"
#include "platform/win32/dib_frame.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using platform::FrameLayout;
using platform::FrameScale;

// A source frame whose pixel at (column x, row r from the top) reads
// {x, r, 200}, with the layout's padding and fourth byte set to 0xEE so a
// stray read shows.
std::vector<unsigned char> makeFrame(const FrameLayout& l)
{
    std::vector<unsigned char> bytes(platform::frameLayoutBytes(l), 0xEE);
    for (int r = 0; r < l.height; ++r) {
        const size_t row = size_t(l.topDown ? r : l.height - 1 - r) * l.stride;
        for (int x = 0; x < l.width; ++x) {
            unsigned char* p = &bytes[row + size_t(x) * size_t(l.pixelBytes)];
            p[0] = static_cast<unsigned char>(x);
            p[1] = static_cast<unsigned char>(r);
            p[2] = 200;
        }
    }
    return bytes;
}

FrameLayout layout(int w, int h, int pixelBytes, size_t stride, bool topDown)
{
    FrameLayout l;
    l.width = w;
    l.height = h;
    l.pixelBytes = pixelBytes;
    l.stride = stride;
    l.topDown = topDown;
    return l;
}

TEST(FrameScale, EveryPixelComesFromTheNearestSourcePixelCountedFromTheBottom)
{
    struct Case {
        const char* what;
        FrameLayout from;
        int width, height;
    };
    const Case cases[] = {
        {"same size, packed rows, bottom row first", layout(4, 3, 3, 12, false), 4, 3},
        {"same size, top row first", layout(4, 3, 3, 12, true), 4, 3},
        {"odd width with rows padded to 4 bytes", layout(5, 3, 3, 16, true), 5, 3},
        {"scaled down to half", layout(8, 6, 3, 24, false), 4, 3},
        {"scaled down to an odd size, top row first", layout(9, 7, 3, 28, true), 3, 2},
        {"scaled up", layout(3, 2, 3, 12, true), 7, 5},
        {"4-byte pixels, the fourth ignored", layout(6, 2, 4, 24, false), 6, 1},
        {"a driver's wide stride", layout(2, 2, 3, 64, true), 2, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<unsigned char> frame = makeFrame(c.from);
        std::vector<unsigned char> out(size_t(c.width) * size_t(c.height) * 3, 0x55);
        ASSERT_EQ(platform::scaleFrame(c.from, frame.data(), frame.size(), 4096, c.width, c.height, out.data()),
                  FrameScale::done);
        for (int y = 0; y < c.height; ++y) { // y from the bottom
            const int sourceRowFromBottom = y * c.from.height / c.height;
            const int sourceRowFromTop = c.from.height - 1 - sourceRowFromBottom;
            for (int x = 0; x < c.width; ++x) {
                const unsigned char* p = &out[(size_t(y) * size_t(c.width) + size_t(x)) * 3];
                ASSERT_EQ(p[0], x * c.from.width / c.width) << "x " << x << " y " << y;
                ASSERT_EQ(p[1], sourceRowFromTop) << "x " << x << " y " << y;
                ASSERT_EQ(p[2], 200);
            }
        }
    }
}

TEST(FrameScale, ShortFramesAndImpossibleLayoutsWriteNothing)
{
    struct Case {
        const char* what;
        FrameLayout from;
        long bytesDelta; // against stride x height
        FrameScale expected;
    };
    const Case cases[] = {
        {"one byte short", layout(5, 3, 3, 16, false), -1, FrameScale::shortFrame},
        {"the last row's padding missing", layout(5, 3, 3, 16, true), -1, FrameScale::shortFrame},
        {"exactly stride x height", layout(5, 3, 3, 16, false), 0, FrameScale::done},
        {"longer than needed", layout(5, 3, 3, 16, false), 7, FrameScale::done},
        {"stride shorter than a row", layout(5, 3, 3, 14, false), 0, FrameScale::unusable},
        {"2-byte pixels", layout(5, 3, 2, 12, false), 0, FrameScale::unusable},
        {"no width", layout(0, 3, 3, 16, false), 0, FrameScale::unusable},
        {"wider than the limit", layout(4097, 1, 3, 4097 * 3, false), 0, FrameScale::unusable},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const size_t needed = c.from.stride * size_t(c.from.height);
        std::vector<unsigned char> frame(needed + 8, 1);
        std::vector<unsigned char> out(4 * 4 * 3, 0x55);
        EXPECT_EQ(
            platform::scaleFrame(c.from, frame.data(), size_t(long(needed) + c.bytesDelta), 4096, 4, 4, out.data()),
            c.expected);
        if (c.expected != FrameScale::done) {
            EXPECT_EQ(out, std::vector<unsigned char>(out.size(), 0x55));
        }
    }
}

TEST(DibFrame, UncompressedFramesOf24And32BitsHavePaddedRowsAndTheHeightsSignTellsTheOrder)
{
    struct Case {
        const char* what;
        long width, height;
        unsigned bits;
        uint32_t compression;
        bool direct;
        size_t stride;
        bool topDown;
    };
    const uint32_t yuy2 = 0x32595559;
    const Case cases[] = {
        {"24-bit, bottom row first", 160, 120, 24, 0, true, 480, false},
        {"24-bit, top row first", 160, -120, 24, 0, true, 480, true},
        {"odd width padded to 4 bytes", 3, 2, 24, 0, true, 12, false},
        {"32-bit", 5, 1, 32, 0, true, 20, false},
        {"16-bit", 160, 120, 16, 0, false, 0, false},
        {"8-bit palette", 160, 120, 8, 0, false, 0, false},
        {"compressed (YUY2)", 160, 120, 16, yuy2, false, 0, false},
        {"no height", 160, 0, 24, 0, false, 0, false},
        {"most negative height", 160, -2147483647L - 1, 24, 0, false, 0, false},
        {"taller than the limit", 16, 5000, 24, 0, false, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        platform::DibFormat f;
        f.width = c.width;
        f.height = c.height;
        f.bitCount = c.bits;
        f.compression = c.compression;
        FrameLayout l;
        ASSERT_EQ(platform::directDibLayout(f, 4096, l), c.direct);
        if (!c.direct) continue;
        EXPECT_EQ(l.width, int(c.width));
        EXPECT_EQ(l.height, int(c.height < 0 ? -c.height : c.height));
        EXPECT_EQ(l.pixelBytes, int(c.bits / 8));
        EXPECT_EQ(l.stride, c.stride);
        EXPECT_EQ(l.topDown, c.topDown);
    }
}

TEST(FrameScale, FormatCodesPrintTheirFourCharactersWithUnprintableOnesAsQuestionMarks)
{
    char code[5];
    platform::fourCharacterCode(0x32595559, code);
    EXPECT_STREQ(code, "YUY2");
    platform::fourCharacterCode(0x00474A4D, code); // "MJG" and a zero byte
    EXPECT_STREQ(code, "MJG?");
}

} // namespace
