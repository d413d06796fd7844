// Decoding speed of the JPEG decoder against libjpeg-turbo on the same files:
// generated photo-like 2048 x 2048 pictures encoded (by libjpeg-turbo) as
// baseline 4:2:0, progressive 4:2:0 and baseline 4:4:4. libjpeg-turbo runs
// with its accurate integer transform, no fancy upsampling and RGB output,
// the closest to what our decoder does. Prints the median time of each, the
// ratio ours / libjpeg-turbo of the medians and of the fastest runs, beside
// the goal (at most 1.00), and checks that the pixels agree.
//
//   kx_jpeg_bench [runs] [size]
#include "common/media/jpeg/jpeg_decoder.h"

// jpeglib.h uses FILE without including <cstdio>.
#include <cstdio>
// clang-format off
#include <jpeglib.h>
// clang-format on

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Soft shapes, edges, texture and sensor noise: compresses like a photo.
std::vector<unsigned char> makePicture(int size)
{
    std::vector<unsigned char> rgb(size_t(size) * size * 3);
    std::mt19937 random(1234);
    std::normal_distribution<float> noise(0.0f, 5.0f);
    // Value noise at a few scales for texture.
    const int grid = 64;
    std::vector<float> lattice(size_t(grid + 1) * (grid + 1) * 3);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    for (float& v : lattice) v = unit(random);
    auto texture = [&](float x, float y, int channel) {
        float sum = 0, amplitude = 60;
        for (int octave = 0; octave < 4; octave++) {
            const float fx = x * float(1 << octave), fy = y * float(1 << octave);
            const int ix = int(fx) % grid, iy = int(fy) % grid;
            const float tx = fx - std::floor(fx), ty = fy - std::floor(fy);
            auto at = [&](int gx, int gy) { return lattice[(size_t(gy) * (grid + 1) + gx) * 3 + channel]; };
            const float a = at(ix, iy) + (at(ix + 1, iy) - at(ix, iy)) * tx;
            const float b = at(ix, iy + 1) + (at(ix + 1, iy + 1) - at(ix, iy + 1)) * tx;
            sum += (a + (b - a) * ty) * amplitude;
            amplitude *= 0.5f;
        }
        return sum;
    };
    for (int y = 0; y < size; y++) {
        for (int x = 0; x < size; x++) {
            const float u = float(x) / size, v = float(y) / size;
            const bool inside = (u - 0.6f) * (u - 0.6f) + (v - 0.4f) * (v - 0.4f) < 0.05f;
            for (int c = 0; c < 3; c++) {
                float value = 60 + 120 * u * (c == 0) + 100 * v * (c == 2) + 60 * std::sin(u * 9 + c) * std::cos(v * 7);
                if (inside) value = 200 - 50 * c + 30 * std::sin(u * 40);
                value += texture(u * 24, v * 24, c) + noise(random);
                rgb[(size_t(y) * size + x) * 3 + c] = (unsigned char)(std::clamp(value, 0.0f, 255.0f));
            }
        }
    }
    return rgb;
}

std::vector<unsigned char> encode(const std::vector<unsigned char>& rgb, int size, bool progressive, bool subsample)
{
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long length = 0;
    jpeg_mem_dest(&info, &buffer, &length);
    info.image_width = JDIMENSION(size);
    info.image_height = JDIMENSION(size);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 85, TRUE);
    info.comp_info[0].h_samp_factor = subsample ? 2 : 1;
    info.comp_info[0].v_samp_factor = subsample ? 2 : 1;
    if (progressive) jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(&rgb[size_t(info.next_scanline) * size * 3]);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    std::vector<unsigned char> file(buffer, buffer + length);
    std::free(buffer);
    jpeg_destroy_compress(&info);
    return file;
}

// libjpeg-turbo into an RGB buffer.
void decodeReference(const std::vector<unsigned char>& file, std::vector<unsigned char>& rgb)
{
    jpeg_decompress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, file.data(), (unsigned long)file.size());
    jpeg_read_header(&info, TRUE);
    info.dct_method = JDCT_ISLOW;
    info.do_fancy_upsampling = FALSE;
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    const size_t stride = size_t(info.output_width) * 3;
    rgb.resize(stride * info.output_height);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = &rgb[stride * info.output_scanline];
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
}

// Ours, row by row into an RGBX buffer (the decoder's own pixel format).
int decodeOurs(const std::vector<unsigned char>& file, std::vector<unsigned char>& rgbx)
{
    cJPEGSource source(file.data(), unsigned(file.size()));
    cJPEGDecoder decoder(&source, true);
    if (decoder.errorCode() || decoder.begin() != 0) return decoder.errorCode();
    const size_t stride = size_t(decoder.width()) * size_t(decoder.bytesPerPixel());
    rgbx.resize(stride * size_t(decoder.height()));
    for (int y = 0;; y++) {
        const unsigned char* row;
        int length;
        const int result = decoder.decode(row, length);
        if (result == 1) return 0;
        if (result != 0) return result;
        std::memcpy(&rgbx[stride * size_t(y)], row, size_t(length));
    }
}

double median(std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

struct sTimes {
    double median, fastest;
};

// Times the two decoders in turns, so that a change in the machine's load
// hits both alike; returns the median and the fastest run of each.
template <class F, class G> void timeInTurns(int runs, F&& ours, G&& reference, sTimes& oursMs, sTimes& referenceMs)
{
    std::vector<double> a, b;
    auto time = [](auto&& work) {
        const auto start = Clock::now();
        work();
        return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    };
    for (int i = 0; i < runs; i++) {
        a.push_back(time(ours));
        b.push_back(time(reference));
    }
    oursMs = {median(a), *std::min_element(a.begin(), a.end())};
    referenceMs = {median(b), *std::min_element(b.begin(), b.end())};
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    const int size = argc > 2 ? std::clamp(std::atoi(argv[2]), 16, 8192) : 2048;
    const std::vector<unsigned char> picture = makePicture(size);

    struct Case {
        const char* name;
        bool progressive, subsample;
    };
    const Case cases[] = {
        {"baseline 4:2:0", false, true},
        {"progressive 4:2:0", true, true},
        {"baseline 4:4:4", false, false},
    };
    std::printf("%d x %d, quality 85, median of %d runs\n", size, size, runs);
    const double goal = 1.00;
    std::printf("%-18s %9s %10s %12s %8s %8s %6s %8s\n", "file", "bits/px", "ours ms", "libjpeg ms", "ratio", "fastest",
                "goal", "maxdiff");
    int status = 0;
    for (const Case& c : cases) {
        const std::vector<unsigned char> file = encode(picture, size, c.progressive, c.subsample);
        std::vector<unsigned char> ours, reference;
        if (decodeOurs(file, ours) != 0) {
            std::printf("%s: our decoder failed\n", c.name);
            status = 1;
            continue;
        }
        decodeReference(file, reference);
        int maxDiff = 0;
        for (size_t i = 0; i < reference.size(); i++)
            maxDiff = std::max(maxDiff, std::abs(int(ours[i / 3 * 4 + i % 3]) - int(reference[i])));

        sTimes oursMs, refMs;
        timeInTurns(
            runs, [&] { decodeOurs(file, ours); }, [&] { decodeReference(file, reference); }, oursMs, refMs);
        std::printf("%-18s %9.2f %10.2f %12.2f %8.2f %8.2f %6.2f %8d\n", c.name,
                    file.size() * 8.0 / (double(size) * size), oursMs.median, refMs.median,
                    oursMs.median / refMs.median, oursMs.fastest / refMs.fastest, goal, maxDiff);
        if (maxDiff > 1) status = 1;
    }
    return status;
}
