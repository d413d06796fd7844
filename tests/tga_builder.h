// Writes TGA files byte by byte for the image tests: the 18-byte header, an
// ID field, a colour map and the pixel data as given, plus a run-length
// encoder for round trips.
#pragma once

#include <string>
#include <vector>

namespace kxtest {

struct TgaFile {
    int type = 2;
    int width = 0;
    int height = 0;
    int depth = 24;
    int descriptor = 0; // bit 5: rows stored top first
    std::string id;
    int idLength = -1; // -1: the size of id
    int colourMapType = 0;
    int colourMapFirst = 0;
    int colourMapLength = 0;
    int colourMapBits = 0;
    std::string colourMap; // the entries' bytes
    std::string data;      // pixel data as stored: raw or run-length packets

    std::string bytes() const
    {
        std::string b;
        auto byte = [&b](int v) { b.push_back(static_cast<char>(v & 0xFF)); };
        auto word = [&byte](int v) {
            byte(v);
            byte(v >> 8);
        };
        byte(idLength >= 0 ? idLength : static_cast<int>(id.size()));
        byte(colourMapType);
        byte(type);
        word(colourMapFirst);
        word(colourMapLength);
        byte(colourMapBits);
        word(0);
        word(0);
        word(width);
        word(height);
        byte(depth);
        byte(descriptor);
        return b + id + colourMap + data;
    }
};

// Pixels of a small test picture: every byte differs from its neighbours in
// a way that shows swapped, shifted or reversed rows.
inline std::string testPixels(int width, int height, int pixelBytes, unsigned seed = 1)
{
    std::string p;
    for (int i = 0; i < width * height * pixelBytes; ++i)
        p.push_back(static_cast<char>((i * 7 + static_cast<int>(seed) * 13 + i / (width * pixelBytes)) & 0xFF));
    return p;
}

// Run-length packets for pixels: runs of two or more equal pixels become run
// packets, everything else raw packets, none longer than 128 pixels.
inline std::string encodeRuns(const std::string& pixels, int pixelBytes)
{
    const size_t bpp = static_cast<size_t>(pixelBytes);
    const size_t count = pixels.size() / bpp;
    auto same = [&](size_t a, size_t b) { return pixels.compare(a * bpp, bpp, pixels, b * bpp, bpp) == 0; };
    std::string out;
    size_t i = 0;
    while (i < count) {
        size_t run = 1;
        while (i + run < count && run < 128 && same(i, i + run)) ++run;
        if (run >= 2) {
            out.push_back(static_cast<char>(0x80 | (run - 1)));
            out.append(pixels, i * bpp, bpp);
            i += run;
            continue;
        }
        size_t raw = 1;
        while (i + raw < count && raw < 128 && !(i + raw + 1 < count && same(i + raw, i + raw + 1))) ++raw;
        out.push_back(static_cast<char>(raw - 1));
        out.append(pixels, i * bpp, raw * bpp);
        i += raw;
    }
    return out;
}

} // namespace kxtest
