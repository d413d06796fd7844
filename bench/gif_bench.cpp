// Decoding speed of the GIF format against giflib on the same files, written
// by giflib's encoder: a 2048 x 2048 8-bit picture of a gradient with
// noise, the same as pure noise, and an animation of 48 frames of 512 x 512
// with local palettes of 2 to 8 bits, a third of them interlaced. Ours loads
// the file as the player does (cFormatGIF::load on a memory stream); giflib
// runs DGifSlurp from memory. Prints the median time of each and the ratio
// ours / giflib, the ratio of the fastest runs too (steadier when the
// machine is shared), and checks that every frame's indices agree.
//
//   kx_gif_bench [runs]
#include "common/media/format_gif.h"
#include "common/media/stream.h"

#include <gif_lib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Image {
    int width, height, bits;
    bool interlaced;
    std::vector<unsigned char> pixels;
};

int append(GifFileType* gif, const GifByteType* bytes, int length)
{
    static_cast<std::string*>(gif->UserData)->append(reinterpret_cast<const char*>(bytes), size_t(length));
    return length;
}

std::string encode(int width, int height, const std::vector<Image>& images)
{
    std::string out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, append, &error);
    EGifSetGifVersion(gif, true);
    std::vector<GifColorType> colours(256);
    for (int i = 0; i < 256; ++i) colours[size_t(i)] = {GifByteType(i), GifByteType(255 - i), GifByteType(i * 3)};
    ColorMapObject* global = GifMakeMapObject(256, colours.data());
    EGifPutScreenDesc(gif, width, height, 8, 0, global);
    for (const Image& image : images) {
        ColorMapObject* local = image.bits < 8 ? GifMakeMapObject(1 << image.bits, colours.data()) : nullptr;
        EGifPutImageDesc(gif, 0, 0, image.width, image.height, image.interlaced, local);
        GifFreeMapObject(local);
        for (int y = 0; y < image.height; ++y)
            EGifPutLine(gif, const_cast<GifPixelType*>(&image.pixels[size_t(y) * image.width]), image.width);
    }
    GifFreeMapObject(global);
    EGifCloseFile(gif, &error);
    return out;
}

Image picture(int width, int height, int bits, int noise, unsigned seed)
{
    std::mt19937 random(seed);
    Image image{width, height, bits, false, std::vector<unsigned char>(size_t(width) * height)};
    const unsigned mask = (1u << bits) - 1;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const unsigned gradient = unsigned(x + y) * 256 / unsigned(width + height);
            image.pixels[size_t(y) * width + x] = (unsigned char)((gradient + random() % unsigned(noise)) & mask);
        }
    return image;
}

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

// giflib's frames, or null when it fails.
GifFileType* decodeGiflib(const std::string& file)
{
    Source source{&file, 0};
    int error = 0;
    GifFileType* gif = DGifOpen(&source, readSource, &error);
    if (gif && DGifSlurp(gif) != GIF_OK) {
        DGifCloseFile(gif, &error);
        return nullptr;
    }
    return gif;
}

cFormatGIF* decodeOurs(cMemoryStream& stream)
{
    stream.seek(0, 0);
    cFormatGIF* gif = new cFormatGIF();
    if (gif->load(&stream) != 0) {
        delete gif;
        return nullptr;
    }
    return gif;
}

// Our stored rows against giflib's picture rows.
bool same(const cFormatGIF& ours, const GifFileType* gif)
{
    if (ours.frameCount() != gif->ImageCount) return false;
    for (int i = 0; i < ours.frameCount(); ++i) {
        const sGIFFrame& f = ours.frame(i);
        const SavedImage& s = gif->SavedImages[i];
        if (f.width != s.ImageDesc.Width || f.height != s.ImageDesc.Height) return false;
        if (f.decoded != size_t(f.width) * f.height) return false;
        std::vector<int> rows;
        const int start[] = {0, 4, 2, 1}, step[] = {8, 8, 4, 2};
        if (s.ImageDesc.Interlace) {
            for (int pass = 0; pass < 4; ++pass)
                for (int y = start[pass]; y < f.height; y += step[pass]) rows.push_back(y);
        } else {
            for (int y = 0; y < f.height; ++y) rows.push_back(y);
        }
        for (int k = 0; k < f.height; ++k)
            if (std::memcmp(f.indices + size_t(k) * f.width, s.RasterBits + size_t(rows[size_t(k)]) * f.width,
                            size_t(f.width)) != 0)
                return false;
    }
    return true;
}

double median(std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;

    struct Case {
        const char* name;
        int width, height;
        std::vector<Image> images;
    };
    std::vector<Case> cases;
    cases.push_back({"2048x2048 gradient+noise", 2048, 2048, {picture(2048, 2048, 8, 24, 1)}});
    cases.push_back({"2048x2048 noise", 2048, 2048, {picture(2048, 2048, 8, 256, 2)}});
    Case animation{"48 x 512x512 frames", 512, 512, {}};
    for (int i = 0; i < 48; ++i) {
        animation.images.push_back(picture(512, 512, 2 + i % 7, 4 + i * 5, unsigned(10 + i)));
        animation.images.back().interlaced = i % 3 == 0;
    }
    cases.push_back(animation);

    std::printf("median of %d runs\n", runs);
    const double goal = 0.40;
    std::printf("%-26s %9s %10s %11s %8s %8s %6s\n", "file", "bytes", "ours ms", "giflib ms", "ratio", "fastest",
                "goal");
    int status = 0;
    for (const Case& c : cases) {
        const std::string file = encode(c.width, c.height, c.images);
        cMemoryStream stream(file.data(), int(file.size()));

        cFormatGIF* ours = decodeOurs(stream);
        GifFileType* reference = decodeGiflib(file);
        const bool agree = ours && reference && same(*ours, reference);
        delete ours;
        if (reference) DGifCloseFile(reference, nullptr);
        if (!agree) {
            std::printf("%s: the decoders disagree\n", c.name);
            status = 1;
            continue;
        }

        // In turns, so that a change in the machine's load hits both alike.
        std::vector<double> a, b;
        for (int i = 0; i < runs; ++i) {
            auto start = Clock::now();
            delete decodeOurs(stream);
            a.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
            start = Clock::now();
            DGifCloseFile(decodeGiflib(file), nullptr);
            b.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        }
        const double oursMs = median(a), giflibMs = median(b);
        const double fastest = *std::min_element(a.begin(), a.end()) / *std::min_element(b.begin(), b.end());
        std::printf("%-26s %9zu %10.2f %11.2f %8.2f %8.2f %6.2f\n", c.name, file.size(), oursMs, giflibMs,
                    oursMs / giflibMs, fastest, goal);
    }
    return status;
}
