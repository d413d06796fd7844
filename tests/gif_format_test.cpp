// The GIF format against giflib: files written through giflib's encoder (and
// ImageMagick's, and a small LZW encoder of our own for what neither
// writes) must decode to the same indices, palettes and transparency as
// giflib's DGifSlurp gives, and to the pixels that went in.
#include "common/media/format_gif.h"
#include "common/media/image_format.h"
#include "common/media/stream.h"
#include "tests/gif_builder.h"
#include "tests/test_util.h"

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using kxtest::File;
using kxtest::Frame;
using kxtest::interlacedRows;
using kxtest::Pixels;
using kxtest::writeGif;

// Noise, a diagonal gradient and flat bands, so that strings of every
// length occur; values stay below 2^bits.
Pixels picture(int width, int height, int bits, unsigned seed)
{
    std::mt19937 random(seed);
    Pixels p(size_t(width) * height);
    const int colours = 1 << bits;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int band = (y * 4 / (height ? height : 1)) % 4;
            int v = band == 0   ? int(random() % colours)
                    : band == 1 ? (x + y) % colours
                    : band == 2 ? (y / 3) % colours
                                : x % 2;
            p[size_t(y) * width + x] = GifByteType(v);
        }
    return p;
}

Frame frame(int left, int top, int width, int height, int bits, unsigned seed)
{
    Frame f;
    f.left = left, f.top = top, f.width = width, f.height = height;
    f.pixels = picture(width, height, bits, seed);
    return f;
}

// ---- our own LZW, for what giflib's encoder never writes -----------------------

struct Lzw {
    std::string data;      // the code stream, not yet cut into sub-blocks
    int codesPastFull = 0; // codes written after all 4096 entries were defined
    int lastEntryUsed = 0; // how often code 4095, the last entry, was written
};

// Writes one clear code, then never another: once the table is full the
// codes stay 12 bits long and define nothing.
Lzw encodeWithoutClears(const Pixels& pixels, int minCodeSize, bool endCode = true)
{
    Lzw result;
    unsigned long long bits = 0;
    int count = 0;
    const int clear = 1 << minCodeSize;
    int codeSize = minCodeSize + 1, next = clear + 2;
    auto put = [&](int code) {
        result.lastEntryUsed += code == 4095;
        bits |= static_cast<unsigned long long>(code) << count;
        for (count += codeSize; count >= 8; count -= 8, bits >>= 8) result.data.push_back(char(bits & 255));
    };
    put(clear);
    std::map<int, int> table; // prefix << 8 | byte -> code
    int prefix = pixels[0];
    for (size_t i = 1; i < pixels.size(); ++i) {
        const int key = prefix << 8 | pixels[i];
        auto found = table.find(key);
        if (found != table.end()) {
            prefix = found->second;
            continue;
        }
        put(prefix);
        if (next < 4096) {
            table[key] = next++;
            if (next > (1 << codeSize) && codeSize < 12) ++codeSize;
        } else {
            ++result.codesPastFull;
        }
        prefix = pixels[i];
    }
    put(prefix);
    if (endCode) put(clear + 1);
    if (count) result.data.push_back(char(bits & 255));
    return result;
}

std::string subBlocks(const std::string& data, size_t size = 255)
{
    std::string out;
    for (size_t at = 0; at < data.size(); at += size) {
        const size_t n = std::min(size, data.size() - at);
        out += char(n);
        out += data.substr(at, n);
    }
    return out + '\0';
}

std::string le16(int v) { return std::string{char(v & 255), char(v >> 8)}; }

// A file head: signature, screen and a 2^bits grey global palette.
std::string rawHead(int width, int height, int bits)
{
    std::string out = "GIF89a" + le16(width) + le16(height) + char(0x80 | (bits - 1)) + std::string(2, '\0');
    for (int i = 0; i < (1 << bits); ++i) out += std::string(3, char(i));
    return out;
}

std::string rawImage(int width, int height, int minCodeSize, const std::string& lzw, size_t subBlockSize = 255)
{
    return ',' + le16(0) + le16(0) + le16(width) + le16(height) + '\0' + char(minCodeSize) +
           subBlocks(lzw, subBlockSize);
}

// ---- reading ---------------------------------------------------------------

struct Ours {
    int result = -1;
    cFormatGIF gif;
    explicit Ours(const std::string& bytes)
    {
        cMemoryStream stream(bytes.data(), int(bytes.size()));
        result = gif.load(&stream);
    }
};

struct Source {
    const std::string* bytes;
    size_t at;
};

int readSource(GifFileType* gif, GifByteType* to, int length)
{
    Source* s = static_cast<Source*>(gif->UserData);
    const size_t n = std::min(size_t(length), s->bytes->size() - s->at);
    std::memcpy(to, s->bytes->data() + s->at, n);
    s->at += n;
    return int(n);
}

struct GiflibDeleter {
    void operator()(GifFileType* gif) const { DGifCloseFile(gif, nullptr); }
};
using Giflib = std::unique_ptr<GifFileType, GiflibDeleter>;

Giflib slurp(const std::string& bytes, Source& source)
{
    source = {&bytes, 0};
    int error = 0;
    Giflib gif(DGifOpen(&source, readSource, &error));
    EXPECT_TRUE(gif) << error;
    if (gif) {
        EXPECT_EQ(DGifSlurp(gif.get()), GIF_OK) << gif->Error;
    }
    return gif;
}

// Our frame i must be giflib's image i: place, palette, transparency and
// indices (giflib puts interlaced rows in picture order, we keep them stored).
void expectSameFrame(const cFormatGIF& ours, GifFileType* gif, int i)
{
    SCOPED_TRACE("frame " + std::to_string(i));
    const sGIFFrame& f = ours.frame(i);
    const SavedImage& s = gif->SavedImages[i];
    ASSERT_EQ(f.left, s.ImageDesc.Left);
    ASSERT_EQ(f.top, s.ImageDesc.Top);
    ASSERT_EQ(f.width, s.ImageDesc.Width);
    ASSERT_EQ(f.height, s.ImageDesc.Height);
    ASSERT_EQ(f.hasLocalPalette, s.ImageDesc.ColorMap != nullptr);
    if (s.ImageDesc.ColorMap)
        for (int c = 0; c < s.ImageDesc.ColorMap->ColorCount; ++c) {
            const GifColorType& g = s.ImageDesc.ColorMap->Colors[c];
            ASSERT_EQ(f.palette[c][0] << 16 | f.palette[c][1] << 8 | f.palette[c][2],
                      g.Red << 16 | g.Green << 8 | g.Blue);
        }
    GraphicsControlBlock gcb;
    const int transparent = DGifSavedExtensionToGCB(gif, i, &gcb) == GIF_OK ? gcb.TransparentColor : -1;
    EXPECT_EQ(f.transparent, transparent);
    const size_t count = size_t(f.width) * f.height;
    ASSERT_EQ(f.decoded, count);
    ASSERT_EQ(f.blockSize, count);
    const std::vector<int> rows = s.ImageDesc.Interlace ? interlacedRows(f.height) : std::vector<int>();
    for (int k = 0; k < f.height; ++k) {
        const int y = s.ImageDesc.Interlace ? rows[size_t(k)] : k;
        ASSERT_EQ(0, std::memcmp(f.indices + size_t(k) * f.width, s.RasterBits + size_t(y) * f.width, size_t(f.width)))
            << "stored row " << k;
    }
}

// Loads the file both ways and compares everything; the frames must also
// hold the pixels that were written.
void expectLikeGiflib(const std::string& bytes, const File* written = nullptr)
{
    Ours ours(bytes);
    ASSERT_EQ(ours.result, 0);
    Source source;
    Giflib gif = slurp(bytes, source);
    ASSERT_TRUE(gif);
    EXPECT_EQ(ours.gif.width(), gif->SWidth);
    EXPECT_EQ(ours.gif.height(), gif->SHeight);
    ASSERT_EQ(ours.gif.hasGlobalPalette(), gif->SColorMap != nullptr);
    if (gif->SColorMap) {
        for (int c = 0; c < gif->SColorMap->ColorCount; ++c)
            ASSERT_EQ(0, std::memcmp(ours.gif.globalPaletteEntry(c), &gif->SColorMap->Colors[c], 3)) << c;
    }
    ASSERT_EQ(ours.gif.frameCount(), std::min(gif->ImageCount, cFormatGIF::kMaxFrames));
    for (int i = 0; i < ours.gif.frameCount(); ++i) {
        expectSameFrame(ours.gif, gif.get(), i);
        if (written && size_t(i) < written->frames.size()) {
            ASSERT_EQ(0, std::memcmp(gif->SavedImages[i].RasterBits, written->frames[size_t(i)].pixels.data(),
                                     written->frames[size_t(i)].pixels.size()));
        }
    }
}

// Several frames with local palettes of every depth, interlaced ones,
// transparency on some, comments of several sub-blocks and a looping
// extension whose data holds a zero byte followed by ','.
File animation()
{
    File f;
    f.width = 120, f.height = 90, f.globalBits = 5, f.loopCount = 0x2C00;
    f.frames.push_back(frame(0, 0, 120, 90, 5, 1));
    for (int bits = 1; bits <= 8; ++bits) {
        Frame fr = frame(bits * 3, bits * 2, 40 + bits * 7, 11 + bits * 5, bits, 10 + bits);
        fr.localBits = bits;
        fr.interlaced = bits % 2 == 0;
        if (bits % 3 == 0) fr.transparent = (1 << bits) - 1;
        if (bits == 4) fr.plainControl = true;
        if (bits == 5) fr.comment = std::string(700, 'c') + ",!;";
        f.frames.push_back(fr);
    }
    return f;
}

// ---- tests -----------------------------------------------------------------

TEST(GifFormat, SingleImagesOfEveryPaletteDepthMatchGiflib)
{
    for (int bits = 1; bits <= 8; ++bits)
        for (bool interlaced : {false, true}) {
            SCOPED_TRACE("bits " + std::to_string(bits) + (interlaced ? " interlaced" : ""));
            File f;
            f.width = 173, f.height = 131, f.globalBits = bits, f.gif89 = bits % 2;
            f.frames.push_back(frame(0, 0, 173, 131, bits, unsigned(bits)));
            f.frames[0].interlaced = interlaced;
            expectLikeGiflib(writeGif(f), &f);
        }
}

TEST(GifFormat, InterlacedImagesOfEveryShortHeightKeepTheirStoredRows)
{
    File f;
    f.width = 20, f.height = 40, f.globalBits = 4;
    for (int h = 1; h <= 17; ++h) {
        f.frames.push_back(frame(0, 0, 7, h, 4, unsigned(h)));
        f.frames.back().interlaced = true;
    }
    expectLikeGiflib(writeGif(f), &f);
}

TEST(GifFormat, AnimationWithLocalPalettesTransparencyAndExtensionsMatchesGiflib)
{
    const File f = animation();
    expectLikeGiflib(writeGif(f), &f);
    // Large noise images make giflib's encoder clear its table many times.
    File noise;
    noise.width = 400, noise.height = 300;
    noise.frames.push_back(frame(0, 0, 400, 300, 8, 99));
    for (Pixels::value_type& p : noise.frames[0].pixels) p = Pixels::value_type(std::rand() & 255);
    expectLikeGiflib(writeGif(noise), &noise);
    // A smooth picture packs far more than four indices in a byte: its block
    // grows while it is decoded.
    File smooth;
    smooth.width = 1500, smooth.height = 1000;
    smooth.frames.push_back(frame(0, 0, 1500, 1000, 8, 3));
    for (size_t i = 0; i < smooth.frames[0].pixels.size(); ++i)
        smooth.frames[0].pixels[i] = Pixels::value_type(i / 7000);
    const std::string smoothFile = writeGif(smooth);
    ASSERT_LT(smoothFile.size() * 4 * 2, 1500u * 1000);
    expectLikeGiflib(smoothFile, &smooth);
}

TEST(GifFormat, ImageMagickFilesMatchGiflib)
{
    if (std::system("convert -version >/dev/null 2>&1") != 0) GTEST_SKIP() << "ImageMagick's convert is missing";
    kxtest::TempDir dir;
    std::string args;
    for (int i = 0; i < 3; ++i) {
        const int w = 90 + i * 10, h = 70;
        std::string ppm = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
        const Pixels p = picture(w, h, 6, unsigned(i));
        for (unsigned char v : p) ppm += {char(v * 4), char(255 - v * 3), char(v * 4 ^ 0x55)};
        const std::string name = "f" + std::to_string(i) + ".ppm";
        kxtest::writeFile(name, ppm);
        args += " " + name;
    }
    ASSERT_EQ(std::system(("convert -delay 5" + args + " -interlace GIF out.gif 2>/dev/null").c_str()), 0);
    std::ifstream in("out.gif", std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(bytes.size(), 100u);
    expectLikeGiflib(bytes);
    EXPECT_EQ(Ours(bytes).gif.frameCount(), 3);
}

TEST(GifFormat, CodesPastTheFullTableWithoutAClearKeepDecoding)
{
    for (int minCodeSize : {2, 8}) {
        SCOPED_TRACE("minimum code size " + std::to_string(minCodeSize));
        const int side = 256;
        // Noise that fills the table, then repeated, so that the strings
        // defined last (4095 among them) are used once the table is full.
        Pixels pixels(size_t(side) * side);
        std::mt19937 random{unsigned(minCodeSize)};
        for (size_t i = 0; i < pixels.size(); ++i)
            pixels[i] = i < 32768 ? random() & ((1 << minCodeSize) - 1) : pixels[i % 32768];
        const Lzw lzw = encodeWithoutClears(pixels, minCodeSize);
        ASSERT_GT(lzw.codesPastFull, 1000);
        ASSERT_GT(lzw.lastEntryUsed, 0);
        const std::string bytes = rawHead(side, side, minCodeSize) + rawImage(side, side, minCodeSize, lzw.data) + ';';
        Ours ours(bytes);
        ASSERT_EQ(ours.result, 0);
        ASSERT_EQ(ours.gif.frameCount(), 1);
        ASSERT_EQ(ours.gif.frame(0).decoded, pixels.size());
        EXPECT_EQ(0, std::memcmp(ours.gif.frame(0).indices, pixels.data(), pixels.size()));
        expectLikeGiflib(bytes);
    }
}

TEST(GifFormat, DataInSubBlocksOfAnySizeDecodesAtEveryMinimumCodeSize)
{
    // Noise (more data than the decoder reads at once) cut into sub-blocks
    // of unusual sizes, then a small image that must still be found after it.
    const Pixels small = picture(8, 8, 2, 1);
    for (int minCodeSize : {2, 5, 8, 9, 11})
        for (size_t subBlockSize : {1, 7, 254, 255}) {
            SCOPED_TRACE("minimum code size " + std::to_string(minCodeSize) + ", sub-blocks of " +
                         std::to_string(subBlockSize));
            const int bits = std::min(minCodeSize, 8);
            Pixels pixels(200 * 160);
            std::mt19937 random{unsigned(minCodeSize)};
            for (Pixels::value_type& p : pixels) p = Pixels::value_type(random() & ((1u << bits) - 1));
            const Lzw lzw = encodeWithoutClears(pixels, minCodeSize);
            ASSERT_GT(lzw.data.size(), 8192u);
            Ours ours(rawHead(200, 160, bits) + rawImage(200, 160, minCodeSize, lzw.data, subBlockSize) +
                      rawImage(8, 8, 2, encodeWithoutClears(small, 2).data) + ';');
            ASSERT_EQ(ours.gif.frameCount(), 2);
            ASSERT_EQ(ours.gif.frame(0).decoded, pixels.size());
            EXPECT_EQ(0, std::memcmp(ours.gif.frame(0).indices, pixels.data(), pixels.size()));
            ASSERT_EQ(ours.gif.frame(1).decoded, small.size());
            EXPECT_EQ(0, std::memcmp(ours.gif.frame(1).indices, small.data(), small.size()));
        }
}

TEST(GifFormat, RootsPast255AndCodesPastTheNextEntry)
{
    // 11-bit codes after a minimum code size of 10: clear 1024, end 1025.
    // Roots 400 and 401 are indices 144 and 145; 1026 is then defined; 1030
    // lies past the entry being defined (1028) and reads as that entry, the
    // previous string and its own first byte, as 1028 does afterwards.
    std::string lzw;
    unsigned long long bits = 0;
    int count = 0;
    for (int code : {1024, 400, 401, 1026, 1030, 1028, 1025})
        for (bits |= static_cast<unsigned long long>(code) << count, count += 11; count >= 8; count -= 8, bits >>= 8)
            lzw.push_back(char(bits & 255));
    lzw.push_back(char(bits));
    Ours ours(rawHead(10, 1, 8) + rawImage(10, 1, 10, lzw) + ';');
    ASSERT_EQ(ours.gif.frameCount(), 1);
    ASSERT_EQ(ours.gif.frame(0).decoded, 10u);
    const Pixels expected{144, 145, 144, 145, 144, 145, 144, 144, 145, 144};
    EXPECT_EQ(Pixels(ours.gif.frame(0).indices, ours.gif.frame(0).indices + 10), expected);
}

TEST(GifFormat, ImageDataThatEndsEarlyOrGoesOnIsCutToTheImage)
{
    const Pixels pixels = picture(10, 10, 3, 5);
    // 100 indices into 10 x 5, then 100 into 10 x 20, then no end code: each
    // image ends at its own data's closing block and the next still decodes.
    const std::string bytes = rawHead(10, 20, 3) + rawImage(10, 5, 3, encodeWithoutClears(pixels, 3).data) +
                              rawImage(10, 20, 3, encodeWithoutClears(pixels, 3).data) +
                              rawImage(10, 10, 3, encodeWithoutClears(pixels, 3, false).data) +
                              rawImage(10, 10, 3, encodeWithoutClears(pixels, 3).data) +
                              // 3-bit codes 1, 2, end and no clear: the first code counts as one.
                              rawImage(2, 1, 2, "\x51\x01") + ';';
    Ours ours(bytes);
    ASSERT_EQ(ours.gif.frameCount(), 5);
    EXPECT_EQ(ours.gif.frame(4).decoded, 1u);
    EXPECT_EQ(ours.gif.frame(4).indices[0], 2);
    const size_t expected[] = {50, 100, 100, 100};
    for (int i = 0; i < 4; ++i) {
        const sGIFFrame& f = ours.gif.frame(i);
        ASSERT_EQ(f.decoded, expected[i]) << i;
        EXPECT_EQ(0, std::memcmp(f.indices, pixels.data(), f.decoded)) << i;
        for (size_t k = f.decoded; k < f.blockSize; ++k) ASSERT_EQ(f.indices[k], 0) << i;
    }
}

TEST(GifFormat, HostileHeadersCostNoMoreThanTheDataCanGive)
{
    const Pixels pixels = picture(8, 8, 2, 1);
    const std::string lzw = encodeWithoutClears(pixels, 2).data;
    // A 65535 x 65535 image with a few bytes of data, a minimum code size
    // that leaves no room in the table, then a sound image.
    const std::string bytes = rawHead(65535, 65535, 2) + rawImage(65535, 65535, 2, lzw) + rawImage(8, 8, 12, lzw) +
                              std::string("\x21\x99\x03,,,\x02,,\x00\x00\x55", 12) + rawImage(8, 8, 2, lzw) + ';';
    testing::internal::CaptureStdout();
    Ours ours(bytes);
    const std::string console = testing::internal::GetCapturedStdout();
    ASSERT_EQ(ours.result, 0);
    // The screen is far too large to compose: no picture, and a line saying so.
    EXPECT_EQ(ours.gif.bitsPerPixel(), 8);
    EXPECT_EQ(ours.gif.pixels(), nullptr);
    EXPECT_EQ(console, "Warning cFormatGIF::load() a 65535 x 65535 screen cannot be shown (sides from 1, at most "
                       "16777216 pixels)\n");
    ASSERT_EQ(ours.gif.frameCount(), 3);
    EXPECT_EQ(ours.gif.frame(0).decoded, 64u);
    EXPECT_LT(ours.gif.frame(0).blockSize, 100000u);
    EXPECT_EQ(ours.gif.frame(1).decoded, 0u);
    ASSERT_EQ(ours.gif.frame(2).decoded, 64u);
    EXPECT_EQ(0, std::memcmp(ours.gif.frame(2).indices, pixels.data(), 64));
}

TEST(GifFormat, TruncatedFilesKeepTheFramesReadSoFar)
{
    const std::string whole = writeGif(animation());
    Ours full(whole);
    ASSERT_EQ(full.gif.frameCount(), 9);
    size_t lastTotal = 0;
    for (size_t cut = 0; cut <= whole.size(); cut += cut < 64 ? 1 : whole.size() / 16) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        Ours ours(whole.substr(0, cut));
        ASSERT_EQ(ours.result, cut < 6 ? -1 : 0);
        const int n = ours.gif.frameCount();
        ASSERT_LE(n, full.gif.frameCount());
        size_t total = 0;
        for (int i = 0; i < n; ++i) {
            const sGIFFrame& f = ours.gif.frame(i);
            const sGIFFrame& g = full.gif.frame(i);
            if (i + 1 < n) {
                // Every frame but the last one read is whole.
                ASSERT_EQ(f.left << 16 | f.top, g.left << 16 | g.top) << i;
                ASSERT_EQ(f.width << 16 | f.height, g.width << 16 | g.height) << i;
                ASSERT_EQ(f.decoded, g.decoded) << i;
            }
            ASSERT_LE(f.decoded, g.decoded);
            if (f.decoded) {
                ASSERT_EQ(0, std::memcmp(f.indices, g.indices, f.decoded)) << i;
            }
            total += f.decoded;
        }
        ASSERT_GE(total, lastTotal);
        lastTotal = total;
    }
}

TEST(GifFormat, FramesPastTheTableAreReadOverAndNotKept)
{
    File f;
    f.width = 3, f.height = 3, f.globalBits = 2;
    for (int i = 0; i < 300; ++i) {
        f.frames.push_back(frame(i % 2, 0, 2, 3, 2, unsigned(i)));
        f.frames.back().transparent = i % 5 == 0 ? i % 4 : -1;
    }
    const std::string bytes = writeGif(f);
    expectLikeGiflib(bytes, &f);
    EXPECT_EQ(Ours(bytes).gif.frameCount(), 256);
}

TEST(GifFormat, SignatureAndScreenThroughTheChain)
{
    const std::string head = std::string("GIF87a") + le16(321) + le16(123) + std::string(3, '\0');
    Ours empty(head + ';');
    EXPECT_EQ(empty.result, 0);
    EXPECT_EQ(empty.gif.frameCount(), 0);
    EXPECT_EQ(empty.gif.width(), 321);
    EXPECT_EQ(empty.gif.height(), 123);
    EXPECT_FALSE(empty.gif.hasGlobalPalette());
    EXPECT_EQ(Ours("GIF88a" + head.substr(6) + ';').result, -1);
    EXPECT_EQ(Ours("GIF89").result, -1);

    const std::string gif = writeGif(animation());
    cMemoryStream stream(gif.data(), int(gif.size()));
    std::unique_ptr<cFormat> image(loadImage(&stream));
    ASSERT_NE(dynamic_cast<cFormatGIF*>(image.get()), nullptr);
    EXPECT_EQ(image->width(), 120);
    EXPECT_EQ(image->height(), 90);
    EXPECT_EQ(image->bitsPerPixel(), 32);
    EXPECT_NE(image->pixels(), nullptr);
    EXPECT_EQ(static_cast<cFormatGIF*>(image.get())->frameCount(), 9);
}

// ---- pictures ----------------------------------------------------------------

using Argb = uint32_t;

// The pixel at x, y (from the top left) of a picture (bottom row first,
// blue-green-red-alpha) as 0xAARRGGBB.
Argb pixelAt(const unsigned char* picture, int width, int height, int x, int y)
{
    const unsigned char* p = picture + (size_t(height - 1 - y) * size_t(width) + size_t(x)) * 4;
    return Argb(p[3]) << 24 | Argb(p[2]) << 16 | Argb(p[1]) << 8 | p[0];
}

Argb opaque(int index, int seed)
{
    const std::array<unsigned char, 3> c = kxtest::paletteColour(index, seed);
    return 0xFF000000u | Argb(c[0]) << 16 | Argb(c[1]) << 8 | c[2];
}

TEST(GifPictures, AFrameIsItsPaletteColoursOnTheScreenWithTransparencyAsAlphaZero)
{
    // An interlaced frame with its own palette inside a larger screen: the
    // pixels around it and those of its transparent index are transparent.
    File f;
    f.width = 12, f.height = 10, f.globalBits = 3;
    Frame fr = frame(2, 3, 7, 5, 3, 4);
    fr.localBits = 3;
    fr.interlaced = true;
    fr.transparent = 5;
    f.frames.push_back(fr);
    const std::string bytes = writeGif(f);
    cMemoryStream stream(bytes.data(), int(bytes.size()));
    std::unique_ptr<cFormat> image(loadImage(&stream));
    ASSERT_NE(image, nullptr);
    ASSERT_EQ(image->bitsPerPixel(), 32);
    const unsigned char* p = image->pixels();
    ASSERT_NE(p, nullptr);
    int transparentInside = 0;
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 12; ++x) {
            const bool inside = x >= 2 && x < 9 && y >= 3 && y < 8;
            const int index = inside ? fr.pixels[size_t(y - 3) * 7 + size_t(x - 2)] : -1;
            transparentInside += index == 5;
            const Argb expected = !inside || index == 5 ? 0 : opaque(index, 2);
            ASSERT_EQ(pixelAt(p, 12, 10, x, y), expected) << x << "," << y;
        }
    EXPECT_GT(transparentInside, 0);
}

TEST(GifPictures, FramesComposeByTheirDisposalAndShowByTheirDelaysLooping)
{
    // Screen 6 x 4, global palette (seed 1), four frames:
    // 0: the whole screen in colour 1, kept, 10/100 s;
    // 1: 3 x 2 at (1, 1) in colour 2, then restored to what was before, 20;
    // 2: 3 x 3 at (2, 0) in colour 3 with two transparent pixels (index 0),
    //    then cleared to transparent, delay 0 (shows 10);
    // 3: one pixel at (5, 3) in colour 2, 5.
    File f;
    f.width = 6, f.height = 4, f.globalBits = 2;
    auto add = [&](int left, int top, int w, int h, Pixels pixels, int disposal, int delay, int transparent) {
        Frame fr;
        fr.left = left, fr.top = top, fr.width = w, fr.height = h;
        fr.pixels = pixels;
        fr.plainControl = true;
        fr.disposal = disposal;
        fr.delay = delay;
        fr.transparent = transparent;
        f.frames.push_back(fr);
    };
    add(0, 0, 6, 4, Pixels(24, 1), 1, 10, -1);
    add(1, 1, 3, 2, Pixels(6, 2), 3, 20, -1);
    add(2, 0, 3, 3, Pixels{0, 3, 3, 3, 0, 3, 3, 3, 3}, 2, 0, 0);
    add(5, 3, 1, 1, Pixels{2}, 0, 5, -1);
    // Each frame's picture, top row first: a digit is that palette colour,
    // '.' transparent.
    const std::vector<std::vector<std::string>> expected = {
        {"111111", "111111", "111111", "111111"},
        {"111111", "122211", "122211", "111111"},
        {"111331", "113131", "113331", "111111"},
        {"11...1", "11...1", "11...1", "111112"},
    };

    Ours ours(writeGif(f));
    ASSERT_EQ(ours.gif.frameCount(), 4);
    EXPECT_EQ(ours.gif.frame(1).disposal, 3);
    EXPECT_EQ(ours.gif.frame(1).delay, 20);
    cGIFAnimation* animation = ours.gif.animation();
    ASSERT_NE(animation, nullptr);
    auto expectFrame = [&](int index) {
        SCOPED_TRACE("frame " + std::to_string(index));
        const unsigned char* p = animation->compose(index);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(animation->composedFrame(), index);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 6; ++x) {
                const char c = expected[size_t(index)][size_t(y)][size_t(x)];
                ASSERT_EQ(pixelAt(p, 6, 4, x, y), c == '.' ? 0 : opaque(c - '0', 1)) << x << "," << y;
            }
    };
    // In order, then in an order that goes back; also when only every
    // second composed state may be kept (a budget of two canvases).
    for (size_t budget : {size_t(1) << 20, size_t(6 * 4 * 4 * 2)}) {
        SCOPED_TRACE("key budget " + std::to_string(budget));
        animation->keyBudget = budget;
        animation->setScreen(6, 4);
        for (int index : {0, 1, 2, 3, 1, 3, 0, 2, 2, 3, 0}) expectFrame(index);
    }
    EXPECT_EQ(ours.gif.pixels(), animation->compose(0));

    // 10 + 20 + 10 + 5 = 45 hundredths a pass.
    EXPECT_EQ(animation->duration(), 45);
    const struct {
        double seconds;
        int frame;
    } times[] = {
        {-1.0, 0}, {0.0, 0},  {0.05, 0}, {0.15, 1}, {0.29, 1}, {0.35, 2},
        {0.42, 3}, {0.47, 0}, {0.62, 1}, {0.77, 2}, {9.0, 0},  {9.44, 3},
    };
    for (auto t : times) EXPECT_EQ(animation->frameAt(t.seconds), t.frame) << t.seconds;
}

} // namespace
