// Smoke test for the cross-built Windows libraries: loads each one, prints its
// version and makes it do a little real work.
//   smoke <file.wav> <file.ogg> <scratch.mp3>
// Prints one "name: ..." line per check and exits non-zero on the first
// failure.
#include <libopenmpt/libopenmpt.h>
#include <mpg123.h>
#include <png.h>
#include <sndfile.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

namespace
{

bool fail(const char* what)
{
    std::printf("FAILED: %s\n", what);
    return false;
}

// A four-channel module: one pattern, one looping square-wave sample, a note
// on the first row and a pattern break on the last one played.
std::vector<unsigned char> tinyModule()
{
    const int sampleBytes = 32;
    std::vector<unsigned char> mod(20 + 31 * 30 + 2 + 128 + 4 + 64 * 4 * 4 + sampleBytes, 0);
    std::memcpy(mod.data(), "smoke", 5);
    unsigned char* sample = mod.data() + 20;
    std::memcpy(sample, "square", 6);
    sample[22] = 0;
    sample[23] = sampleBytes / 2; // length in words
    sample[25] = 64;              // volume
    sample[26] = 0;
    sample[27] = 0; // loop start
    sample[28] = 0;
    sample[29] = sampleBytes / 2; // loop length in words
    unsigned char* song = mod.data() + 20 + 31 * 30;
    song[0] = 1; // one order
    song[1] = 127;
    std::memcpy(song + 2 + 128, "M.K.", 4);
    unsigned char* pattern = song + 2 + 128 + 4;
    const int period = 428; // C-2
    pattern[0] = static_cast<unsigned char>(period >> 8);
    pattern[1] = static_cast<unsigned char>(period & 0xff);
    pattern[2] = 1 << 4; // sample 1
    unsigned char* last = pattern + 15 * 16; // row 15, channel 0
    last[2] = 0x0d;                          // pattern break: the song ends
    unsigned char* data = pattern + 64 * 4 * 4;
    for (int i = 0; i < sampleBytes; ++i)
        data[i] = static_cast<unsigned char>(i < sampleBytes / 2 ? 0x40 : 0xc0);
    return mod;
}

bool checkOpenmpt()
{
    const char* version = openmpt_get_string("library_version");
    std::printf("libopenmpt: %s\n", version ? version : "?");
    openmpt_free_string(version);
    std::vector<unsigned char> bytes = tinyModule();
    int error = 0;
    const char* message = nullptr;
    openmpt_module* mod = openmpt_module_create_from_memory2(bytes.data(), bytes.size(), nullptr, nullptr,
                                                             nullptr, nullptr, &error, &message, nullptr);
    if (!mod) {
        std::printf("libopenmpt error %d: %s\n", error, message ? message : "?");
        openmpt_free_string(message);
        return fail("libopenmpt could not load the module");
    }
    openmpt_free_string(message);
    // Render on another thread, as the mixer does.
    std::vector<int16_t> buffer(2 * 1024);
    size_t frames = 0;
    long peak = 0;
    std::thread render([&] {
        for (;;) {
            size_t n = openmpt_module_read_interleaved_stereo(mod, 44100, 1024, buffer.data());
            if (n == 0)
                break;
            for (size_t i = 0; i < 2 * n; ++i)
                peak = std::max(peak, std::labs(buffer[i]));
            frames += n;
        }
    });
    render.join();
    std::printf("libopenmpt: module \"%s\", %.3f s, rendered %zu frames, peak %ld\n",
                openmpt_module_get_metadata(mod, "title"), openmpt_module_get_duration_seconds(mod), frames,
                peak);
    openmpt_module_destroy(mod);
    if (frames == 0 || peak == 0)
        return fail("libopenmpt rendered silence");
    return true;
}

bool checkMpg123()
{
    if (mpg123_init() != MPG123_OK)
        return fail("mpg123_init");
    std::printf("mpg123: API %d, decoders:", MPG123_API_VERSION);
    for (const char** d = mpg123_supported_decoders(); d && *d; ++d)
        std::printf(" %s", *d);
    std::printf("\n");
    return true;
}

// Frames libsndfile decodes from a file (reading them all, not trusting the
// header).
long long decodeFrames(const char* path, SF_INFO& info)
{
    std::memset(&info, 0, sizeof info);
    SNDFILE* file = sf_open(path, SFM_READ, &info);
    if (!file) {
        std::printf("sndfile: %s: %s\n", path, sf_strerror(nullptr));
        return -1;
    }
    std::vector<float> block(4096 * static_cast<size_t>(info.channels));
    long long total = 0;
    sf_count_t n;
    while ((n = sf_readf_float(file, block.data(), 4096)) > 0)
        total += n;
    sf_close(file);
    return total;
}

bool checkSndfile(const char* wavPath, const char* oggPath, const char* mp3Path)
{
    std::printf("libsndfile: %s\n", sf_version_string());
    SF_INFO info;
    for (const char* path : {wavPath, oggPath}) {
        long long frames = decodeFrames(path, info);
        if (frames < 0)
            return fail("libsndfile could not open a file");
        std::printf("libsndfile: %s: %d Hz, %d channels, %lld frames decoded\n", path, info.samplerate,
                    info.channels, frames);
    }

    // MPEG: encode with LAME through libsndfile, decode with mpg123.
    const int rate = 44100;
    const int written = rate / 2;
    std::memset(&info, 0, sizeof info);
    info.samplerate = rate;
    info.channels = 2;
    info.format = SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;
    SNDFILE* out = sf_open(mp3Path, SFM_WRITE, &info);
    if (!out) {
        std::printf("sndfile: %s: %s\n", mp3Path, sf_strerror(nullptr));
        return fail("libsndfile could not write MP3");
    }
    std::vector<float> tone(2 * static_cast<size_t>(written));
    for (int i = 0; i < written; ++i)
        tone[2 * i] = tone[2 * i + 1] = 0.5f * static_cast<float>(std::sin(2 * M_PI * 440.0 * i / rate));
    sf_writef_float(out, tone.data(), written);
    sf_close(out);
    long long frames = decodeFrames(mp3Path, info);
    if (frames < 0)
        return fail("libsndfile could not read MP3");
    std::printf("libsndfile: %s: %d Hz, %d channels, %lld frames decoded (%d written)\n", mp3Path,
                info.samplerate, info.channels, frames, written);
    if (frames < written - 1152 || frames > written + 2 * 1152)
        return fail("MP3 round trip lost or gained audio");
    return true;
}

bool checkPng()
{
    std::printf("libpng: %lu (zlib %s)\n", static_cast<unsigned long>(png_access_version_number()), zlibVersion());
    // A 3x2 RGB picture to memory and back, through zlib.
    const unsigned char pixels[3 * 2 * 3] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 9, 8, 7, 6, 5, 4, 3, 2, 1};
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = 3;
    image.height = 2;
    image.format = PNG_FORMAT_RGB;
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&image, nullptr, &size, 0, pixels, 0, nullptr))
        return fail("libpng: size of the encoded picture");
    std::vector<unsigned char> encoded(size);
    if (!png_image_write_to_memory(&image, encoded.data(), &size, 0, pixels, 0, nullptr))
        return fail("libpng: encoding");
    png_image back;
    std::memset(&back, 0, sizeof back);
    back.version = PNG_IMAGE_VERSION;
    unsigned char decoded[sizeof pixels] = {};
    if (!png_image_begin_read_from_memory(&back, encoded.data(), size) || back.width != 3 || back.height != 2)
        return fail("libpng: reading the header");
    back.format = PNG_FORMAT_RGB;
    if (!png_image_finish_read(&back, nullptr, decoded, 0, nullptr) ||
        std::memcmp(decoded, pixels, sizeof pixels) != 0)
        return fail("libpng: round trip");
    std::printf("libpng: %ux%u picture, %lu bytes as PNG, read back intact\n", back.width, back.height,
                static_cast<unsigned long>(size));
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: smoke <file.wav> <file.ogg> <scratch.mp3>\n");
        return 2;
    }
    bool ok = checkOpenmpt() && checkMpg123() && checkSndfile(argv[1], argv[2], argv[3]) && checkPng();
    std::printf("%s\n", ok ? "smoke: all libraries work" : "smoke: FAILED");
    return ok ? 0 : 1;
}
