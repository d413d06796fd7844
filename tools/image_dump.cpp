// kx_image_dump: decodes an image file with the player's own image formats
// and writes it as PAM (or PPM/PGM with --ppm), top row first, red-green-blue
// (-alpha) order, for tests, benchmarks and a look at what the player sees.
//
//   kx_image_dump [--ppm] INPUT [OUTPUT]
//
// INPUT is a path on disk; OUTPUT defaults to standard output ("-" too).
// Exit code 0 on success, 1 when the file cannot be read, no format takes
// it or the image has no pixels to write, 2 on a bad command line.
#include "common/media/format_tga.h"
#include "common/media/image_format.h"
#include "common/media/stream.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

int usage()
{
    std::fprintf(stderr, "usage: kx_image_dump [--ppm] INPUT [OUTPUT]\n");
    return 2;
}

bool readWhole(const char* path, std::vector<unsigned char>& bytes)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// The picture as rows of channels bytes, top row first, in output order.
struct sPicture {
    int width = 0;
    int height = 0;
    int channels = 0; // 1 grey, 3 RGB, 4 RGBA
    std::vector<unsigned char> bytes;
};

// Turns an image (bottom row first, BGR(A)) into a picture; false when it
// has nothing that can be written. A grey TGA (whose 8-bit pixels the format
// gives as equal blue, green and red) is written as grey.
bool makePicture(cFormat& image, sPicture& picture, std::string& why)
{
    const int bits = image.bitsPerPixel();
    const unsigned char* pixels = image.pixels();
    if (!pixels || image.width() <= 0 || image.height() <= 0) {
        why = "the image has no pixel block";
        return false;
    }
    if (bits != 24 && bits != 32) {
        why = std::to_string(bits) + "-bit pixels are not written";
        return false;
    }
    const cFormatTGA* tga = dynamic_cast<const cFormatTGA*>(&image);
    const bool grey = tga && tga->storedBitsPerPixel() == 8 && tga->imageType() != 1 && tga->imageType() != 9;
    picture.channels = grey ? 1 : bits / 8;
    picture.width = image.width();
    picture.height = image.height();
    const size_t w = static_cast<size_t>(picture.width);
    const size_t h = static_cast<size_t>(picture.height);
    const size_t inBytes = static_cast<size_t>(bits / 8);
    const size_t outBytes = static_cast<size_t>(picture.channels);
    picture.bytes.resize(w * h * outBytes);
    for (size_t y = 0; y < h; ++y) {
        const unsigned char* in = pixels + (h - 1 - y) * w * inBytes;
        unsigned char* out = picture.bytes.data() + y * w * outBytes;
        for (size_t x = 0; x < w; ++x, in += inBytes, out += outBytes) {
            if (grey) {
                out[0] = in[0];
                continue;
            }
            out[0] = in[2];
            out[1] = in[1];
            out[2] = in[0];
            if (bits == 32) out[3] = in[3];
        }
    }
    return true;
}

bool writePicture(std::FILE* out, const sPicture& p, bool ppm)
{
    if (ppm) {
        std::fprintf(out, "%s\n%d %d\n255\n", p.channels == 1 ? "P5" : "P6", p.width, p.height);
        if (p.channels == 4) {
            // PPM has no alpha: the fourth byte of every pixel is dropped.
            for (size_t i = 0; i < p.bytes.size(); i += 4)
                if (std::fwrite(&p.bytes[i], 1, 3, out) != 3) return false;
            return std::fflush(out) == 0;
        }
    } else {
        static const char* const types[] = {"", "GRAYSCALE", "", "RGB", "RGB_ALPHA"};
        std::fprintf(out, "P7\nWIDTH %d\nHEIGHT %d\nDEPTH %d\nMAXVAL 255\nTUPLTYPE %s\nENDHDR\n", p.width, p.height,
                     p.channels, types[p.channels]);
    }
    if (!p.bytes.empty() && std::fwrite(p.bytes.data(), 1, p.bytes.size(), out) != p.bytes.size()) return false;
    return std::fflush(out) == 0;
}

} // namespace

int main(int argc, char** argv)
{
    bool ppm = false;
    const char* input = nullptr;
    const char* output = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--ppm") == 0)
            ppm = true;
        else if (argv[i][0] == '-' && argv[i][1] == '-')
            return usage();
        else if (!input)
            input = argv[i];
        else if (!output)
            output = argv[i];
        else
            return usage();
    }
    if (!input) return usage();

    std::vector<unsigned char> bytes;
    if (!readWhole(input, bytes)) {
        std::fprintf(stderr, "kx_image_dump: cannot read %s\n", input);
        return 1;
    }
    if (bytes.size() > static_cast<size_t>(INT_MAX)) {
        std::fprintf(stderr, "kx_image_dump: %s is too large\n", input);
        return 1;
    }

    // The formats print their warnings on standard output; while decoding
    // they go to standard error, so a picture written to standard output
    // stays clean.
    std::fflush(stdout);
    const int savedOut = dup(STDOUT_FILENO);
    if (savedOut < 0 || dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
        std::fprintf(stderr, "kx_image_dump: cannot set up standard output\n");
        return 1;
    }
    cMemoryStream stream(bytes.data(), static_cast<int>(bytes.size()));
    std::unique_ptr<cFormat> image(loadImage(&stream));
    std::fflush(stdout);
    dup2(savedOut, STDOUT_FILENO);
    close(savedOut);

    if (!image) {
        std::fprintf(stderr, "kx_image_dump: no image format reads %s\n", input);
        return 1;
    }
    sPicture picture;
    std::string why;
    if (!makePicture(*image, picture, why)) {
        std::fprintf(stderr, "kx_image_dump: %s: %s\n", input, why.c_str());
        return 1;
    }

    const bool toStdout = !output || std::strcmp(output, "-") == 0;
#ifdef _WIN32
    // Standard output is a text stream on Windows, which would write every
    // byte 10 of the picture as 13 10.
    if (toStdout) {
        std::fflush(stdout);
        _setmode(_fileno(stdout), _O_BINARY);
    }
#endif
    std::FILE* out = toStdout ? stdout : std::fopen(output, "wb");
    if (!out) {
        std::fprintf(stderr, "kx_image_dump: cannot write %s\n", output);
        return 1;
    }
    bool written = writePicture(out, picture, ppm);
    if (!toStdout && std::fclose(out) != 0) written = false;
    if (!written) {
        std::fprintf(stderr, "kx_image_dump: cannot write %s\n", toStdout ? "standard output" : output);
        return 1;
    }
    return 0;
}
