// The image formats: TGA files written byte by byte, hostile TGA headers,
// the order of the format chain, the JPEG format's handling of decoder rows
// and the kx_image_dump tool.
#include "common/media/format_jpeg.h"
#include "common/media/format_tga.h"
#include "common/media/image_format.h"
#include "common/media/stream.h"
#include "test_util.h"
#include "tga_builder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

using kxtest::encodeRuns;
using kxtest::testPixels;
using kxtest::TgaFile;

namespace {

std::string block(cFormat& image)
{
    const size_t n = static_cast<size_t>(image.width()) * image.height() * (image.bitsPerPixel() / 8);
    return image.pixels() ? std::string(reinterpret_cast<const char*>(image.pixels()), n) : std::string();
}

// Loads bytes as a TGA, capturing what the format prints.
struct TgaLoad {
    explicit TgaLoad(const std::string& bytes)
    {
        cMemoryStream stream(bytes.data(), static_cast<int>(bytes.size()));
        testing::internal::CaptureStdout();
        result = tga.load(&stream);
        console = testing::internal::GetCapturedStdout();
    }
    cFormatTGA tga;
    int result = 0;
    std::string console;
};

// Runs the whole chain on bytes, capturing what it prints.
struct ChainLoad {
    explicit ChainLoad(const std::string& bytes, int startAt = 0)
    {
        cMemoryStream stream(bytes.data(), static_cast<int>(bytes.size()));
        stream.seek(startAt, 0);
        testing::internal::CaptureStdout();
        image.reset(loadImage(&stream));
        console = testing::internal::GetCapturedStdout();
    }
    std::unique_ptr<cFormat> image;
    std::string console;
};

TgaFile trueColour(int width, int height, int depth, const std::string& data)
{
    TgaFile f;
    f.type = 2;
    f.width = width;
    f.height = height;
    f.depth = depth;
    f.data = data;
    return f;
}

// ---- TGA round trips ---------------------------------------------------------

TEST(TgaFormat, UncompressedTrueColourKeepsTheBytesAsStored)
{
    for (int depth : {24, 32}) {
        const std::string pixels = testPixels(5, 3, depth / 8);
        TgaLoad l(trueColour(5, 3, depth, pixels).bytes());
        ASSERT_EQ(l.result, 0) << depth;
        EXPECT_EQ(l.tga.width(), 5);
        EXPECT_EQ(l.tga.height(), 3);
        EXPECT_EQ(l.tga.bitsPerPixel(), depth);
        EXPECT_EQ(l.tga.imageType(), 2);
        EXPECT_EQ(l.tga.blockSize(), pixels.size());
        EXPECT_EQ(block(l.tga), pixels);
        EXPECT_EQ(l.tga.identification(), nullptr);
        EXPECT_FALSE(l.tga.hasColourMap());
        EXPECT_EQ(l.console, "");
    }
}

TEST(TgaFormat, Uncompressed256x256Is196608BytesAfterIdAndColourMap)
{
    TgaFile f = trueColour(256, 256, 24, testPixels(256, 256, 3));
    f.id = "made by the test";
    f.colourMapType = 1;
    f.colourMapLength = 3;
    f.colourMapBits = 24;
    f.colourMap = std::string(9, '\x55');
    TgaLoad l(f.bytes());
    ASSERT_EQ(l.result, 0);
    EXPECT_EQ(l.tga.bitsPerPixel(), 24);
    EXPECT_EQ(l.tga.blockSize(), 196608u);
    EXPECT_EQ(block(l.tga), f.data);
    ASSERT_NE(l.tga.identification(), nullptr);
    EXPECT_STREQ(l.tga.identification(), "made by the test");
}

TEST(TgaFormat, RunLengthRoundTripsAt24And32Bits)
{
    for (int depth : {24, 32}) {
        const int bpp = depth / 8;
        // Long runs (over 128 pixels), short runs and noise.
        std::string pixels;
        kxtest::Random random(static_cast<unsigned>(depth));
        while (pixels.size() < static_cast<size_t>(64 * 40 * bpp)) {
            std::string pixel;
            for (int b = 0; b < bpp; ++b) pixel.push_back(static_cast<char>(random.below(4)));
            const unsigned repeat = random.below(5) == 0 ? 150 + random.below(100) : 1 + random.below(3);
            for (unsigned r = 0; r < repeat; ++r) pixels += pixel;
        }
        pixels.resize(static_cast<size_t>(64 * 40 * bpp));
        TgaFile f = trueColour(64, 40, depth, encodeRuns(pixels, bpp));
        f.type = 10;
        ASSERT_LT(f.data.size(), pixels.size());
        TgaLoad l(f.bytes());
        ASSERT_EQ(l.result, 0) << depth;
        EXPECT_EQ(l.tga.imageType(), 10);
        EXPECT_EQ(block(l.tga), pixels) << depth;
    }
}

TEST(TgaFormat, RunPacketRepeatsAndRawPacketCopies)
{
    TgaFile f = trueColour(8, 1, 24, "");
    f.type = 10;
    f.data = std::string("\x83") + "ABC" + std::string("\x03") + "abcdefghijkl";
    TgaLoad l(f.bytes());
    ASSERT_EQ(l.result, 0);
    EXPECT_EQ(block(l.tga), "ABCABCABCABCabcdefghijkl");
}

TEST(TgaFormat, PacketsNeverWritePastTheBlock)
{
    // 5 pixels; a run of 128 and then a raw packet of 128 that both overshoot.
    TgaFile f = trueColour(5, 1, 32, "");
    f.type = 10;
    f.data = std::string("\x82") + "WXYZ" + std::string("\x7F") + std::string(128 * 4, 'q');
    TgaLoad l(f.bytes());
    ASSERT_EQ(l.result, 0);
    EXPECT_EQ(l.tga.blockSize(), 20u);
    EXPECT_EQ(block(l.tga), "WXYZWXYZWXYZqqqqqqqq");

    f.data = std::string("\xFF") + "WXYZ";
    TgaLoad run(f.bytes());
    ASSERT_EQ(run.result, 0);
    EXPECT_EQ(block(run.tga), "WXYZWXYZWXYZWXYZWXYZ");
}

TEST(TgaFormat, ColourMappedWithEachEntrySize)
{
    const std::string indices = std::string("\x00\x01\x02\x03\x01\x00", 6);
    // 4-byte entries b0 b1 b2 b3 give red b2, green b1, blue b0, alpha b3.
    {
        TgaFile f;
        f.type = 1;
        f.width = 3;
        f.height = 2;
        f.depth = 8;
        f.colourMapType = 1;
        f.colourMapFirst = 0;
        f.colourMapLength = 2;
        f.colourMapBits = 32;
        f.colourMap = std::string("\x10\x20\x30\x40\x11\x21\x31\x41", 8);
        f.data = indices;
        TgaLoad l(f.bytes());
        ASSERT_EQ(l.result, 0);
        EXPECT_TRUE(l.tga.hasColourMap());
        // Indices become their entries, blue-green-red-alpha; indices past
        // the map's entries are black.
        EXPECT_EQ(l.tga.bitsPerPixel(), 32);
        EXPECT_EQ(l.tga.storedBitsPerPixel(), 8);
        const std::string e0("\x10\x20\x30\x40", 4), e1("\x11\x21\x31\x41", 4), none(4, '\0');
        EXPECT_EQ(block(l.tga), e0 + e1 + none + none + e1 + e0);
        const unsigned char* e = l.tga.paletteEntry(1);
        EXPECT_EQ((std::vector<int>{e[0], e[1], e[2], e[3]}), (std::vector<int>{0x31, 0x21, 0x11, 0x41}));
    }
    // 3-byte entries from entry 5 on; alpha is 0.
    {
        TgaFile f;
        f.type = 1;
        f.width = 3;
        f.height = 2;
        f.depth = 8;
        f.colourMapType = 1;
        f.colourMapFirst = 5;
        f.colourMapLength = 2;
        f.colourMapBits = 24;
        f.colourMap = std::string("\x01\x02\x03\xA1\xA2\xA3", 6);
        f.data = std::string("\x05\x06\x00\x06\x05\x05", 6);
        TgaLoad l(f.bytes());
        ASSERT_EQ(l.result, 0);
        EXPECT_EQ(l.tga.bitsPerPixel(), 24);
        const std::string bgr5("\x01\x02\x03", 3), bgr6("\xA1\xA2\xA3", 3);
        EXPECT_EQ(block(l.tga), bgr5 + bgr6 + std::string(3, '\0') + bgr6 + bgr5 + bgr5);
        const unsigned char* e5 = l.tga.paletteEntry(5);
        const unsigned char* e6 = l.tga.paletteEntry(6);
        EXPECT_EQ((std::vector<int>{e5[0], e5[1], e5[2], e5[3]}), (std::vector<int>{3, 2, 1, 0}));
        EXPECT_EQ((std::vector<int>{e6[0], e6[1], e6[2], e6[3]}), (std::vector<int>{0xA3, 0xA2, 0xA1, 0}));
        EXPECT_EQ(l.tga.paletteEntry(0)[0], 0);
    }
    // 2-byte entries lo hi: 5-bit values, not scaled; alpha is the top bit.
    {
        TgaFile f;
        f.type = 9;
        f.width = 3;
        f.height = 2;
        f.depth = 8;
        f.colourMapType = 1;
        f.colourMapLength = 1;
        f.colourMapBits = 16;
        // red 0x15, green 0x0A, blue 0x13, alpha 1: hi = 1 10101 01, lo = 010 10011
        f.colourMap = std::string("\x53\xD5", 2);
        f.data = encodeRuns(indices, 1);
        TgaLoad l(f.bytes());
        ASSERT_EQ(l.result, 0);
        // The 5-bit values stretched to 8 bits (31 would be 255): blue 0x13
        // is 0x9C, green 0x0A 0x52, red 0x15 0xAD.
        EXPECT_EQ(l.tga.bitsPerPixel(), 24);
        EXPECT_EQ(block(l.tga), std::string("\x9C\x52\xAD", 3) + std::string(12, '\0') + "\x9C\x52\xAD");
        const unsigned char* e = l.tga.paletteEntry(0);
        EXPECT_EQ((std::vector<int>{e[0], e[1], e[2], e[3]}), (std::vector<int>{0x15, 0x0A, 0x13, 1}));
    }
}

TEST(TgaFormat, ColourMapBeyond256EntriesIsPassedOverToThePixels)
{
    // Entries 250 to 299: the first six fill the palette's end, the rest are
    // skipped, and the pixel data behind the whole map is still found.
    TgaFile f;
    f.type = 1;
    f.width = 4;
    f.height = 2;
    f.depth = 8;
    f.colourMapType = 1;
    f.colourMapFirst = 250;
    f.colourMapLength = 50;
    f.colourMapBits = 32;
    for (int i = 0; i < 50; ++i) f.colourMap += std::string{static_cast<char>(i), 0, 0, 0};
    f.data = std::string("\xFA\xFB\xFC\xFD\xFE\xFF\x00\xFA", 8);
    TgaLoad l(f.bytes());
    ASSERT_EQ(l.result, 0);
    std::string expect;
    for (int blue : {0, 1, 2, 3, 4, 5, 0, 0}) expect += std::string{static_cast<char>(blue), 0, 0, 0};
    EXPECT_EQ(block(l.tga), expect);
    EXPECT_EQ(l.tga.paletteEntry(250)[2], 0);
    EXPECT_EQ(l.tga.paletteEntry(255)[2], 5);
    EXPECT_EQ(l.tga.paletteEntry(0)[2], 0); // nothing wrapped round

    // A map that starts beyond the palette stores nothing at all.
    f.colourMapFirst = 60000;
    f.colourMapLength = 5535;
    f.colourMapBits = 16;
    f.colourMap = std::string(5535 * 2, '\x7F');
    f.data = "PIXELSOK";
    TgaLoad far(f.bytes());
    ASSERT_EQ(far.result, 0);
    EXPECT_EQ(block(far.tga), std::string(8 * 3, '\0'));
    for (int i = 0; i < 256; ++i) ASSERT_EQ(far.tga.paletteEntry(i)[0], 0) << i;
}

TEST(TgaFormat, GreyImagesPlainAndRunLength)
{
    // Each grey byte becomes equal blue, green and red.
    const std::string grey = "\x01\x01\x01\x01\x09\x08\x07\x06";
    std::string bgr;
    for (char g : grey) bgr += std::string(3, g);
    TgaFile f = trueColour(4, 2, 8, grey);
    f.type = 3;
    TgaLoad plain(f.bytes());
    ASSERT_EQ(plain.result, 0);
    EXPECT_EQ(plain.tga.bitsPerPixel(), 24);
    EXPECT_EQ(plain.tga.storedBitsPerPixel(), 8);
    EXPECT_EQ(plain.tga.blockSize(), bgr.size());
    EXPECT_EQ(block(plain.tga), bgr);

    f.type = 11;
    f.data = encodeRuns(grey, 1);
    EXPECT_EQ(f.data, std::string("\x83\x01\x03\x09\x08\x07\x06", 7));
    TgaLoad runs(f.bytes());
    ASSERT_EQ(runs.result, 0);
    EXPECT_EQ(block(runs.tga), bgr);
}

TEST(TgaFormat, SixteenBitPixelsGiveEightBitChannels)
{
    // Little-endian 16-bit pixels: alpha bit, 5 bits each of red, green,
    // blue; grey with an alpha byte for grey types.
    const std::string colours("\xFF\x7F\x1F\x00\xE0\x03\x00\x7C\x00\x80\x21\x84", 12);
    const struct {
        int type, descriptor, bits;
        std::string data, expect;
    } cases[] = {
        // No alpha bits in the descriptor: the top bit is not alpha.
        {2, 0, 24, colours,
         std::string("\xFF\xFF\xFF\xFF\x00\x00\x00\xFF\x00\x00\x00\xFF\x00\x00\x00\x08\x08\x08", 18)},
        // One alpha bit.
        {2, 1, 32, colours,
         std::string("\xFF\xFF\xFF\x00\xFF\x00\x00\x00\x00\xFF\x00\x00\x00\x00\xFF\x00"
                     "\x00\x00\x00\xFF\x08\x08\x08\xFF",
                     24)},
        {10, 1, 32, encodeRuns(colours, 2),
         std::string("\xFF\xFF\xFF\x00\xFF\x00\x00\x00\x00\xFF\x00\x00\x00\x00\xFF\x00"
                     "\x00\x00\x00\xFF\x08\x08\x08\xFF",
                     24)},
        // Grey and alpha.
        {3, 8, 32, std::string("\x10\x80\xF0\x00\x00\xFF\x55\x55\x01\x02\x03\x04", 12),
         std::string("\x10\x10\x10\x80\xF0\xF0\xF0\x00\x00\x00\x00\xFF\x55\x55\x55\x55"
                     "\x01\x01\x01\x02\x03\x03\x03\x04",
                     24)},
    };
    for (const auto& c : cases) {
        TgaFile f = trueColour(3, 2, 16, c.data);
        f.type = c.type;
        f.descriptor = c.descriptor;
        TgaLoad l(f.bytes());
        ASSERT_EQ(l.result, 0) << c.type;
        EXPECT_EQ(l.tga.bitsPerPixel(), c.bits) << c.type;
        EXPECT_EQ(block(l.tga), c.expect) << c.type << " " << c.descriptor;
    }
}

TEST(TgaFormat, RowOrderIsKeptAsStoredForEitherOrigin)
{
    const std::string pixels = testPixels(4, 4, 3);
    TgaFile bottomUp = trueColour(4, 4, 24, pixels);
    TgaFile topDown = bottomUp;
    topDown.descriptor = 0x20;
    TgaLoad a(bottomUp.bytes());
    TgaLoad b(topDown.bytes());
    ASSERT_EQ(a.result, 0);
    ASSERT_EQ(b.result, 0);
    EXPECT_EQ(block(a.tga), pixels);
    EXPECT_EQ(block(b.tga), pixels);
}

// ---- TGA refusals ----------------------------------------------------------

TEST(TgaFormat, UnknownTypesDepthsAndEntrySizesAreRefusedSilently)
{
    for (int type : {0, 4, 8, 12, 32, 255}) {
        TgaFile f = trueColour(2, 2, 24, testPixels(2, 2, 3));
        f.type = type;
        TgaLoad l(f.bytes());
        EXPECT_EQ(l.result, -1) << type;
        EXPECT_EQ(l.console, "") << type;
    }
    for (int depth : {0, 1, 15, 23, 33, 64}) {
        TgaLoad l(trueColour(2, 2, depth, std::string(64, 'x')).bytes());
        EXPECT_EQ(l.result, -1) << depth;
        EXPECT_EQ(l.console, "") << depth;
    }
    for (int bits : {0, 8, 15, 40}) {
        TgaFile f = trueColour(2, 2, 8, "abcd");
        f.type = 1;
        f.colourMapType = 1;
        f.colourMapLength = 1;
        f.colourMapBits = bits;
        f.colourMap = "zzzzz";
        TgaLoad l(f.bytes());
        EXPECT_EQ(l.result, -1) << bits;
        EXPECT_EQ(l.console, "") << bits;
        EXPECT_EQ(l.tga.pixels(), nullptr);
    }
    TgaLoad empty("");
    EXPECT_EQ(empty.result, -1);
}

TEST(TgaFormat, ZeroNegativeAndOversizedSidesAreRefusedWithAMessage)
{
    const struct {
        int w, h;
    } sizes[] = {{0, 4}, {4, 0}, {0xFFFF, 4}, {4, 0x8000}, {16385, 1}, {1, 16385}, {32767, 32767}};
    for (auto s : sizes) {
        TgaLoad l(trueColour(s.w, s.h, 24, std::string(300, 'p')).bytes());
        EXPECT_EQ(l.result, -1) << s.w << "x" << s.h;
        EXPECT_NE(l.console.find("Warning cFormatTGA::load() bad size"), std::string::npos) << l.console;
        EXPECT_EQ(l.tga.pixels(), nullptr);
    }
}

TEST(TgaFormat, AHeaderTheFileCannotHoldIsRefusedBeforeAllocating)
{
    // 20 bytes declaring a gigabyte.
    TgaFile f = trueColour(16384, 16384, 32, "ab");
    for (int type : {2, 10}) {
        f.type = type;
        TgaLoad l(f.bytes());
        EXPECT_EQ(l.result, -1);
        EXPECT_NE(l.console.find("Warning cFormatTGA::load() 16384 x 16384 x 32 bits is more than the file's 2 data "
                                 "bytes hold"),
                  std::string::npos)
            << l.console;
    }
    // The ID field runs past the end: no data is left for any pixel.
    TgaFile longId = trueColour(2, 2, 24, "");
    longId.idLength = 200;
    longId.id = "short";
    TgaLoad id(longId.bytes());
    EXPECT_EQ(id.result, -1);
    EXPECT_NE(id.console.find("more than the file's 0 data bytes"), std::string::npos) << id.console;
    // A colour map running past the end likewise.
    TgaFile longMap = trueColour(2, 2, 8, "abcd");
    longMap.type = 1;
    longMap.colourMapType = 1;
    longMap.colourMapLength = 1000;
    longMap.colourMapBits = 32;
    TgaLoad map(longMap.bytes());
    EXPECT_EQ(map.result, -1);
}

TEST(TgaFormat, TheBestRunLengthRatioIsStillAccepted)
{
    // One 5-byte run packet gives 128 pixels: 12 packets, 60 bytes, for a
    // 48 x 32 image at 32 bits is as compact as a TGA can be.
    TgaFile f = trueColour(48, 32, 32, "");
    f.type = 10;
    for (int i = 0; i < 12; ++i) f.data += std::string("\xFF") + "RGBA";
    TgaLoad l(f.bytes());
    ASSERT_EQ(l.result, 0) << l.console;
    EXPECT_EQ(block(l.tga), [] {
        std::string s;
        for (int i = 0; i < 48 * 32; ++i) s += "RGBA";
        return s;
    }());
    // One pixel more than those bytes can describe.
    f.height = 33;
    f.width = 47; // 1551 > 1536 pixels
    TgaLoad more(f.bytes());
    EXPECT_EQ(more.result, -1);
}

TEST(TgaFormat, TruncatedPixelDataLeavesZeros)
{
    const std::string pixels = testPixels(8, 8, 3);
    TgaFile f = trueColour(8, 8, 24, pixels.substr(0, 100));
    TgaLoad plain(f.bytes());
    ASSERT_EQ(plain.result, 0);
    EXPECT_EQ(block(plain.tga), pixels.substr(0, 100) + std::string(pixels.size() - 100, '\0'));

    // Run-length data cut inside a raw packet and inside a run packet's pixel.
    f.type = 10;
    f.data = std::string("\x01") + "abcdef" + std::string("\x02") + "gh";
    TgaLoad raw(f.bytes());
    ASSERT_EQ(raw.result, 0);
    EXPECT_EQ(block(raw.tga), "abcdefgh" + std::string(pixels.size() - 8, '\0'));
    f.data = std::string(1, '\0') + "xyz" + std::string("\x85") + "r";
    TgaLoad run(f.bytes());
    ASSERT_EQ(run.result, 0);
    EXPECT_EQ(block(run.tga).substr(0, 21), std::string("xyz") + std::string("r\0\0", 3) + std::string("r\0\0", 3) +
                                                std::string("r\0\0", 3) + std::string("r\0\0", 3) +
                                                std::string("r\0\0", 3) + std::string("r\0\0", 3));
}

// ---- the chain ---------------------------------------------------------------

TEST(ImageChain, TgaIsTriedFirstFromTheStreamStart)
{
    // The ID field holds a JPEG start-of-image marker and the GIF signature;
    // the TGA format, tried first, takes it.
    TgaFile f = trueColour(2, 2, 24, testPixels(2, 2, 3));
    f.id = std::string("\xFF\xD8\xFF\xE0GIF89a", 10);
    ChainLoad chain(f.bytes(), 7);
    ASSERT_NE(chain.image, nullptr);
    EXPECT_NE(dynamic_cast<cFormatTGA*>(chain.image.get()), nullptr);
    EXPECT_EQ(block(*chain.image), f.data);
    EXPECT_EQ(chain.console, "");
}

TEST(ImageChain, GifAndJpegSignaturesAreNoTga)
{
    // "GIF89a": the third byte 'F' is no TGA image type.
    std::string gif = std::string("GIF89a") + std::string("\x04\x00\x04\x00\x00\x00\x00;", 8);
    cFormatTGA tga;
    cMemoryStream gifStream(gif.data(), static_cast<int>(gif.size()));
    EXPECT_EQ(tga.load(&gifStream), -1);
    // A JPEG's third byte is 0xFF.
    std::string jpeg("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00\xFF\xD9", 22);
    cMemoryStream jpegStream(jpeg.data(), static_cast<int>(jpeg.size()));
    EXPECT_EQ(tga.load(&jpegStream), -1);
}

TEST(ImageChain, NothingReadsIsNull)
{
    for (const std::string& bytes : {std::string(), std::string("BM\x36\x00\x00\x00", 6), std::string(40, '\x7F')}) {
        ChainLoad chain(bytes);
        EXPECT_EQ(chain.image, nullptr);
    }
    EXPECT_EQ(loadImage(nullptr), nullptr);
}

// ---- JPEG: the decoder's rows -----------------------------------------

// A decoder that delivers rows of a known picture.
class FakeDecoder : public cJPEGRows {
public:
    int w = 3, h = 2, comps = 3, err = 0, beginResult = 0;
    int rowsToGive = -1; // -1: all
    int failWith = 0;    // decode result after rowsToGive rows, 1 or an error
    int given = 0;
    int rowLengthBytes = -1;
    std::vector<unsigned char> row;

    int width() override { return w; }
    int height() override { return h; }
    int components() override { return comps; }
    int error() override { return err; }
    int begin() override
    {
        begun = true;
        return beginResult;
    }
    bool begun = false;
    int decode(const unsigned char*& out, int& length) override
    {
        const int limit = rowsToGive >= 0 ? rowsToGive : h;
        if (given >= limit) return failWith ? failWith : 1;
        row.assign(static_cast<size_t>(w) * 4, 0);
        for (int x = 0; x < w; ++x) {
            row[x * 4 + 0] = static_cast<unsigned char>(0x10 * given + x);        // red
            row[x * 4 + 1] = static_cast<unsigned char>(0x10 * given + x + 0x80); // green
            row[x * 4 + 2] = static_cast<unsigned char>(0xF0 - x);                // blue
            row[x * 4 + 3] = 0x5A;                                                // unused
        }
        ++given;
        out = row.data();
        length = rowLengthBytes >= 0 ? rowLengthBytes : w * 4;
        return 0;
    }
};

std::string captureLoad(cFormatJPEG& jpeg, FakeDecoder& d, int& result, size_t fileBytes = 1 << 20)
{
    testing::internal::CaptureStdout();
    result = jpeg.loadFrom(d, fileBytes);
    return testing::internal::GetCapturedStdout();
}

TEST(JpegFormat, RowsAreTurnedBottomUpInBlueGreenRedOrder)
{
    FakeDecoder d;
    cFormatJPEG jpeg;
    int result = 0;
    EXPECT_EQ(captureLoad(jpeg, d, result), "");
    ASSERT_EQ(result, 0);
    EXPECT_EQ(jpeg.width(), 3);
    EXPECT_EQ(jpeg.height(), 2);
    EXPECT_EQ(jpeg.bitsPerPixel(), 24);
    // Row 0 of the block is the decoder's last row (1).
    const std::vector<unsigned char> expect = {
        0xF0, 0x90, 0x10, 0xEF, 0x91, 0x11, 0xEE, 0x92, 0x12, // decoded row 1
        0xF0, 0x80, 0x00, 0xEF, 0x81, 0x01, 0xEE, 0x82, 0x02, // decoded row 0
    };
    EXPECT_EQ(std::vector<unsigned char>(jpeg.pixels(), jpeg.pixels() + 18), expect);
}

TEST(JpegFormat, FourComponentsGiveThirtyTwoBitsWithTheFourthByteUnset)
{
    FakeDecoder d;
    d.comps = 4;
    d.h = 1;
    cFormatJPEG jpeg;
    int result = 0;
    captureLoad(jpeg, d, result);
    ASSERT_EQ(result, 0);
    EXPECT_EQ(jpeg.bitsPerPixel(), 32);
    const std::vector<unsigned char> expect = {0xF0, 0x80, 0x00, 0, 0xEF, 0x81, 0x01, 0, 0xEE, 0x82, 0x02, 0};
    EXPECT_EQ(std::vector<unsigned char>(jpeg.pixels(), jpeg.pixels() + 12), expect);
}

TEST(JpegFormat, DecoderFailuresGiveTheirMessages)
{
    int result = 0;
    {
        FakeDecoder d;
        d.err = -217;
        cFormatJPEG jpeg;
        EXPECT_EQ(captureLoad(jpeg, d, result), "Warning cFormatJPEG::load() error\n");
        EXPECT_EQ(result, -1);
    }
    {
        FakeDecoder d;
        d.comps = 1;
        cFormatJPEG jpeg;
        EXPECT_EQ(captureLoad(jpeg, d, result), "Warning cFormatJPEG::load() bad BPP\n");
        EXPECT_EQ(result, -1);
        EXPECT_EQ(jpeg.pixels(), nullptr);
    }
    {
        FakeDecoder d;
        d.beginResult = -1;
        cFormatJPEG jpeg;
        EXPECT_EQ(captureLoad(jpeg, d, result), "Warning cFormatJPEG::load() error\n");
        EXPECT_EQ(result, -1);
        EXPECT_EQ(jpeg.pixels(), nullptr);
    }
    {
        FakeDecoder d;
        d.w = 0;
        cFormatJPEG jpeg;
        EXPECT_EQ(captureLoad(jpeg, d, result), "Warning cFormatJPEG::load() error\n");
        EXPECT_EQ(result, -1);
    }
}

TEST(JpegFormat, TooFewLinesIsReportedButStillLoads)
{
    FakeDecoder d;
    d.h = 4;
    d.rowsToGive = 1;
    d.failWith = -227;
    d.err = 0;
    cFormatJPEG jpeg;
    int result = 0;
    const std::string console = captureLoad(jpeg, d, result);
    EXPECT_EQ(console, "error: decoded 1 lines (3 4) 0\n");
    ASSERT_EQ(result, 0);
    // The one row landed at the top; the rows below stay zero.
    EXPECT_EQ(jpeg.pixels()[3 * 3 * 3], 0xF0);
    EXPECT_EQ(jpeg.pixels()[0], 0);
}

TEST(JpegFormat, AHeaderTheFileCannotHoldIsRefusedBeforeDecoding)
{
    // A 165-byte file cannot code 2048 x 6400 pixels: every 8 x 8 block
    // takes at least one bit.
    FakeDecoder d;
    d.w = 2048;
    d.h = 6400;
    cFormatJPEG jpeg;
    int result = 0;
    EXPECT_EQ(captureLoad(jpeg, d, result, 165),
              "Warning cFormatJPEG::load() 2048 x 6400 is more than the file's 165 bytes hold\n");
    EXPECT_EQ(result, -1);
    EXPECT_FALSE(d.begun);
    EXPECT_EQ(jpeg.pixels(), nullptr);

    // One bit per block exactly is still taken.
    FakeDecoder edge;
    edge.w = 64;
    edge.h = 8;
    EXPECT_EQ(captureLoad(jpeg, edge, result, 1), "");
    EXPECT_EQ(result, 0);
    FakeDecoder over;
    over.w = 64;
    over.h = 16;
    captureLoad(jpeg, over, result, 1);
    EXPECT_EQ(result, -1);
}

TEST(JpegFormat, NeedsAMemoryStreamWithData)
{
    cFormatJPEG jpeg;
    cMemoryStream empty;
    testing::internal::CaptureStdout();
    EXPECT_EQ(jpeg.load(&empty), -1);
    EXPECT_EQ(jpeg.load(nullptr), -1);
    cStream plain;
    EXPECT_EQ(jpeg.load(&plain), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

// ---- JPEG through the decoder ---------------------------------------------

// A baseline JPEG written byte by byte: quantization values 1, a DC table
// with the codes 0 (difference 0) and 10 (a 10-bit difference), an AC table
// whose only code 0 ends the block. With three components (1x1 sampling)
// the picture is 8 x 16: the top MCU has Cr raised by 100 (a red), the
// bottom MCU is back at grey 128.
std::string jpegFile(int components)
{
    auto segment = [](int marker, const std::string& body) {
        const int length = static_cast<int>(body.size()) + 2;
        return std::string{'\xFF', static_cast<char>(marker), static_cast<char>(length >> 8),
                           static_cast<char>(length & 0xFF)} +
               body;
    };
    std::string f("\xFF\xD8", 2);
    f += segment(0xDB, std::string(1, '\0') + std::string(64, '\x01'));
    std::string frame = std::string("\x08\x00\x10\x00\x08", 5) + static_cast<char>(components);
    for (int c = 1; c <= components; ++c) frame += std::string{static_cast<char>(c), '\x11', '\0'};
    f += segment(0xC0, frame);
    std::string counts(16, '\0');
    counts[0] = 1;
    counts[1] = 1;
    f += segment(0xC4, std::string(1, '\x00') + counts + std::string("\x00\x0A", 2));
    counts[1] = 0;
    f += segment(0xC4, std::string(1, '\x10') + counts + std::string(1, '\0'));
    std::string scan(1, static_cast<char>(components));
    for (int c = 1; c <= components; ++c) scan += std::string{static_cast<char>(c), '\0'};
    scan += std::string("\x00\x3F\x00", 3);
    f += segment(0xDA, scan);
    // Y 0 EOB, Cb 0 EOB, Cr 10+1100100000 EOB | Y, Cb, Cr 10+0011011111 EOB
    f += components == 3 ? std::string("\x0B\x20\x04\x6F\xBF", 5) : std::string("\x0F", 1);
    f += std::string("\xFF\xD9", 2);
    return f;
}

TEST(JpegThroughTheChain, ColourRowsComeBottomUpAsBlueGreenRed)
{
    ChainLoad chain(jpegFile(3));
    ASSERT_NE(chain.image, nullptr) << chain.console;
    EXPECT_EQ(chain.console, "");
    ASSERT_NE(dynamic_cast<cFormatJPEG*>(chain.image.get()), nullptr);
    EXPECT_EQ(chain.image->width(), 8);
    EXPECT_EQ(chain.image->height(), 16);
    EXPECT_EQ(chain.image->bitsPerPixel(), 24);
    const unsigned char* p = chain.image->pixels();
    ASSERT_NE(p, nullptr);
    // Block rows 0-7: the picture's bottom, grey.
    for (int i = 0; i < 8 * 8 * 3; ++i) ASSERT_NEAR(p[i], 128, 1) << i;
    // Rows 8-15: the top, Y 128 with Cr 228: red 255, green 57, blue 128.
    for (int i = 8 * 8; i < 16 * 8; ++i) {
        ASSERT_NEAR(p[i * 3 + 0], 128, 1) << i;
        ASSERT_NEAR(p[i * 3 + 1], 57, 2) << i;
        ASSERT_EQ(p[i * 3 + 2], 255) << i;
    }
}

TEST(JpegThroughTheChain, GreyAndFourComponentFilesAreRefused)
{
    ChainLoad grey(jpegFile(1));
    EXPECT_EQ(grey.image, nullptr);
    EXPECT_EQ(grey.console, "Warning cFormatJPEG::load() bad BPP\n");
    ChainLoad four(jpegFile(4));
    EXPECT_EQ(four.image, nullptr);
    EXPECT_EQ(four.console, "Warning cFormatJPEG::load() error\n");
    // A GIF is no TGA; the JPEG decoder finds no start of image; the GIF
    // format has the last word.
    ChainLoad gif(std::string("GIF89a") + std::string("\x04\x00\x04\x00\x00\x00\x00;", 8));
    EXPECT_EQ(gif.console, "Warning cFormatJPEG::load() error\n");
}

TEST(JpegThroughTheChain, TruncatedFilesStayInsideTheirBuffers)
{
    const std::string whole = jpegFile(3);
    for (size_t cut = 1; cut < whole.size(); ++cut) {
        ChainLoad chain(whole.substr(0, cut));
        if (chain.image) {
            ASSERT_NE(chain.image->pixels(), nullptr) << cut;
            EXPECT_EQ(chain.image->width() * chain.image->height(), 128) << cut;
        }
    }
}

// ---- kx_image_dump -----------------------------------------------------------

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

ToolRun runDump(const std::string& arguments)
{
    ToolRun run;
    run.status = kxtest::runCommand(kxtest::quoted(kxtest::toolPath(KX_IMAGE_DUMP_PATH)) + " " + arguments +
                                    " >tool.out 2>tool.err");
    run.out = kxtest::readFile("tool.out");
    run.err = kxtest::readFile("tool.err");
    return run;
}

TEST(ImageDumpTool, WritesPamTopRowFirstInRgbOrder)
{
    kxtest::TempDir dir;
    // 2 x 2, bottom row first: blue-green-red.
    const std::string bgr = std::string("\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A\x0B\x0C", 12);
    kxtest::writeFile("pic.tga", trueColour(2, 2, 24, bgr).bytes());
    ToolRun pam = runDump("pic.tga");
    EXPECT_EQ(pam.status, 0) << pam.err;
    EXPECT_EQ(pam.out, std::string("P7\nWIDTH 2\nHEIGHT 2\nDEPTH 3\nMAXVAL 255\nTUPLTYPE RGB\nENDHDR\n") +
                           std::string("\x09\x08\x07\x0C\x0B\x0A\x03\x02\x01\x06\x05\x04", 12));

    ToolRun ppm = runDump("--ppm pic.tga out.ppm");
    EXPECT_EQ(ppm.status, 0) << ppm.err;
    EXPECT_EQ(kxtest::readFile("out.ppm"),
              std::string("P6\n2 2\n255\n") + std::string("\x09\x08\x07\x0C\x0B\x0A\x03\x02\x01\x06\x05\x04", 12));

    const std::string bgra = std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8);
    kxtest::writeFile("alpha.tga", trueColour(2, 1, 32, bgra).bytes());
    ToolRun rgba = runDump("alpha.tga -");
    EXPECT_EQ(rgba.status, 0) << rgba.err;
    EXPECT_EQ(rgba.out, std::string("P7\nWIDTH 2\nHEIGHT 1\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n") +
                            std::string("\x03\x02\x01\x04\x07\x06\x05\x08", 8));
}

TEST(ImageDumpTool, ColourMappedAndGreyImages)
{
    kxtest::TempDir dir;
    TgaFile mapped;
    mapped.type = 1;
    mapped.width = 2;
    mapped.height = 1;
    mapped.depth = 8;
    mapped.colourMapType = 1;
    mapped.colourMapLength = 2;
    mapped.colourMapBits = 24;
    mapped.colourMap = std::string("\x10\x20\x30\x40\x50\x60", 6);
    mapped.data = std::string("\x01\x00", 2);
    kxtest::writeFile("mapped.tga", mapped.bytes());
    ToolRun rgb = runDump("mapped.tga");
    EXPECT_EQ(rgb.status, 0) << rgb.err;
    EXPECT_EQ(rgb.out, std::string("P7\nWIDTH 2\nHEIGHT 1\nDEPTH 3\nMAXVAL 255\nTUPLTYPE RGB\nENDHDR\n") +
                           std::string("\x60\x50\x40\x30\x20\x10", 6));

    TgaFile grey = trueColour(1, 2, 8, "\x11\x22");
    grey.type = 3;
    kxtest::writeFile("grey.tga", grey.bytes());
    ToolRun pgm = runDump("--ppm grey.tga");
    EXPECT_EQ(pgm.status, 0) << pgm.err;
    EXPECT_EQ(pgm.out, std::string("P5\n1 2\n255\n\x22\x11"));
}

TEST(ImageDumpTool, RefusesWhatNoFormatReads)
{
    kxtest::TempDir dir;
    kxtest::writeFile("junk.tga", std::string(64, '\x7F'));
    ToolRun junk = runDump("junk.tga");
    EXPECT_EQ(junk.status, 1);
    EXPECT_EQ(junk.out, "");
    EXPECT_NE(junk.err.find("kx_image_dump: no image format reads junk.tga"), std::string::npos) << junk.err;

    // The format's own warning goes to standard error, not into the picture.
    kxtest::writeFile("huge.tga", trueColour(16384, 16384, 32, "ab").bytes());
    ToolRun huge = runDump("huge.tga");
    EXPECT_EQ(huge.status, 1);
    EXPECT_EQ(huge.out, "");
    EXPECT_NE(huge.err.find("Warning cFormatTGA::load()"), std::string::npos) << huge.err;

    ToolRun missing = runDump("missing.tga");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("cannot read missing.tga"), std::string::npos);

    // A GIF whose screen is too large to compose has no pixels.
    kxtest::writeFile("huge.gif", std::string("GIF89a\xFF\xFF\xFF\xFF\x00\x00\x00;", 14));
    ToolRun gif = runDump("huge.gif");
    EXPECT_EQ(gif.status, 1);
    EXPECT_NE(gif.err.find("the image has no pixel block"), std::string::npos) << gif.err;

    // 16-bit pixels are written as 8-bit channels: 0x6261 is red 24, green
    // 19, blue 1 of 31.
    TgaFile sixteen = trueColour(1, 1, 16, "ab");
    kxtest::writeFile("sixteen.tga", sixteen.bytes());
    ToolRun wide = runDump("sixteen.tga");
    EXPECT_EQ(wide.status, 0);
    EXPECT_EQ(wide.out, std::string("P7\nWIDTH 1\nHEIGHT 1\nDEPTH 3\nMAXVAL 255\nTUPLTYPE RGB\nENDHDR\n\xC6\x9C\x08"));
    EXPECT_EQ(runDump("").status, 2);
    EXPECT_EQ(runDump("--bogus sixteen.tga").status, 2);
}

} // namespace
