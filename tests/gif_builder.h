// Writes GIF files through giflib's encoder for the image tests: a logical
// screen with a global palette, frames with local palettes, interlacing,
// transparency, delays and disposal methods, comments and a looping
// extension. Palettes are made from a seed, so a test can tell which colour
// an index stands for.
#pragma once

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace kxtest {

using Pixels = std::vector<unsigned char>;

struct Frame {
    int left = 0, top = 0, width = 1, height = 1;
    int localBits = 0; // 0: the global palette
    bool interlaced = false;
    int transparent = -1;      // >= 0: a graphic control extension with that index
    bool plainControl = false; // a graphic control extension without transparency
    int disposal = 0;          // written with the graphic control extension
    int delay = 5;             // hundredths of a second, likewise
    std::string comment;       // written before the image when not empty
    Pixels pixels;             // display order, row by row
};

struct File {
    int width = 1, height = 1;
    int globalBits = 8; // 0: no global palette
    bool gif89 = true;
    int loopCount = -1; // >= 0: a looping application extension
    std::vector<Frame> frames;
};

// Entry i of the palette of a seed as red, green, blue. The global palette
// has seed 1, the local palettes 2, 3 ... in the order of their frames.
inline std::array<unsigned char, 3> paletteColour(int i, int seed)
{
    return {GifByteType(i * 7 + seed), GifByteType(i * 13 + 2 * seed), GifByteType(255 - i - seed)};
}

// A palette of 2^bits entries that differs from one seed to the next.
inline ColorMapObject* palette(int bits, int seed)
{
    std::vector<GifColorType> colours(size_t(1) << bits);
    for (size_t i = 0; i < colours.size(); ++i) {
        const std::array<unsigned char, 3> c = paletteColour(int(i), seed);
        colours[i] = {c[0], c[1], c[2]};
    }
    return GifMakeMapObject(1 << bits, colours.data());
}

// The order in which an interlaced image stores its rows: stored row k is
// picture row interlacedRows(h)[k].
inline std::vector<int> interlacedRows(int height)
{
    std::vector<int> rows;
    const int start[] = {0, 4, 2, 1}, step[] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
        for (int y = start[pass]; y < height; y += step[pass]) rows.push_back(y);
    return rows;
}

inline int appendGifBytes(GifFileType* gif, const GifByteType* bytes, int length)
{
    static_cast<std::string*>(gif->UserData)->append(reinterpret_cast<const char*>(bytes), size_t(length));
    return length;
}

inline std::string writeGif(const File& f)
{
    std::string out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, appendGifBytes, &error);
    EXPECT_NE(gif, nullptr) << error;
    if (!gif) return out;
    EGifSetGifVersion(gif, f.gif89);
    ColorMapObject* global = f.globalBits ? palette(f.globalBits, 1) : nullptr;
    EXPECT_EQ(EGifPutScreenDesc(gif, f.width, f.height, 8, 0, global), GIF_OK);
    GifFreeMapObject(global);
    if (f.loopCount >= 0) {
        const GifByteType loop[] = {1, GifByteType(f.loopCount & 255), GifByteType(f.loopCount >> 8)};
        EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE);
        EGifPutExtensionBlock(gif, 11, "NETSCAPE2.0");
        EGifPutExtensionBlock(gif, 3, loop);
        EGifPutExtensionTrailer(gif);
    }
    int seed = 2;
    for (const Frame& fr : f.frames) {
        if (!fr.comment.empty()) EGifPutComment(gif, fr.comment.c_str());
        if (fr.transparent >= 0 || fr.plainControl) {
            GraphicsControlBlock gcb = {fr.disposal, false, fr.delay, fr.transparent};
            GifByteType bytes[4];
            EGifGCBToExtension(&gcb, bytes);
            EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, bytes);
        }
        ColorMapObject* local = fr.localBits ? palette(fr.localBits, seed++) : nullptr;
        EXPECT_EQ(EGifPutImageDesc(gif, fr.left, fr.top, fr.width, fr.height, fr.interlaced, local), GIF_OK);
        GifFreeMapObject(local);
        std::vector<int> rows = fr.interlaced ? interlacedRows(fr.height) : std::vector<int>();
        for (int k = 0; k < fr.height; ++k) {
            const int y = fr.interlaced ? rows[size_t(k)] : k;
            Pixels line(fr.pixels.begin() + long(y) * fr.width, fr.pixels.begin() + long(y + 1) * fr.width);
            EXPECT_EQ(EGifPutLine(gif, line.data(), fr.width), GIF_OK);
        }
    }
    EXPECT_EQ(EGifCloseFile(gif, &error), GIF_OK) << error;
    return out;
}

} // namespace kxtest
