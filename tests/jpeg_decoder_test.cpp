// The JPEG decoder against Debian's libjpeg-turbo tools: a corpus made at
// test time by cjpeg and ImageMagick from generated pictures, decoded by us
// (with both inverse transforms) and by djpeg; the inverse transforms against
// a double-precision reference (IEEE 1180 limits); the error codes, and
// truncated files.
#include "common/media/jpeg/jpeg_decoder.h"
#include "common/media/jpeg/jpeg_internal.h"
#include "tests/test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// ---- pictures and tools ---------------------------------------------------------

struct Pnm {
    int width = 0, height = 0, channels = 0;
    Bytes data;
};

// Smooth gradients and waves with noise on top: like a photo, compressible
// but with detail in every block.
Pnm makePicture(int width, int height, int channels, unsigned seed)
{
    Pnm p{width, height, channels, Bytes(size_t(width) * height * channels)};
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> noise(-14, 14);
    for (int y = 0; y < height; y++) {
        for (int x = 0; x < width; x++) {
            for (int c = 0; c < channels; c++) {
                const double u = double(x) / width, v = double(y) / height;
                double value = 40 + 150 * (c == 1 ? v : u) + 45 * std::sin(x * 0.07 * (c + 1) + y * 0.05);
                value += noise(random);
                p.data[(size_t(y) * width + x) * channels + c] = uint8_t(std::clamp(value, 0.0, 255.0));
            }
        }
    }
    return p;
}

void writePnm(const std::string& path, const Pnm& p)
{
    std::string text =
        (p.channels == 1 ? "P5\n" : "P6\n") + std::to_string(p.width) + " " + std::to_string(p.height) + "\n255\n";
    text.append(p.data.begin(), p.data.end());
    kxtest::writeFile(path, text);
}

bool readPnm(const std::string& path, Pnm& p)
{
    const std::string text = kxtest::readFile(path);
    int maxValue = 0, consumed = 0;
    char kind = 0;
    if (std::sscanf(text.c_str(), "P%c %d %d %d%n", &kind, &p.width, &p.height, &maxValue, &consumed) != 4 ||
        maxValue != 255 || (kind != '5' && kind != '6'))
        return false;
    p.channels = kind == '5' ? 1 : 3;
    const size_t size = size_t(p.width) * p.height * p.channels;
    if (text.size() < size_t(consumed) + 1 + size) return false;
    p.data.assign(text.begin() + consumed + 1, text.begin() + consumed + 1 + long(size));
    return true;
}

Bytes readBytes(const std::string& path)
{
    const std::string text = kxtest::readFile(path);
    return Bytes(text.begin(), text.end());
}

bool haveTool(const char* name)
{
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs a shell command, failing the test (with its output) when it fails.
void run(const std::string& command)
{
    const int status = std::system((command + " >tool.log 2>&1").c_str());
    ASSERT_EQ(status, 0) << command << "\n" << kxtest::readFile("tool.log");
}

// The outcome of decoding a whole buffer with the row interface: where it
// stopped (0 construction, 1 begin, 2 rows) and with which code.
struct Outcome {
    int stage = 0;
    int code = 0;
    int rows = 0;
    int width = 0, height = 0, components = 0, scanType = -1, bytesPerPixel = 0;
    Bytes pixels;
};

// Decodes from an exact-size copy of the bytes, so that AddressSanitizer sees
// any read past the end.
Outcome decode(const Bytes& file, bool simd)
{
    Outcome o;
    std::unique_ptr<uint8_t[]> exact(new uint8_t[file.size() ? file.size() : 1]);
    std::memcpy(exact.get(), file.data(), file.size());
    cJPEGSource source(exact.get(), unsigned(file.size()));
    cJPEGDecoder decoder(&source, simd);
    o.width = decoder.width();
    o.height = decoder.height();
    o.components = decoder.components();
    if ((o.code = decoder.errorCode()) != 0) return o;
    o.stage = 1;
    if (decoder.begin() != 0) {
        o.code = decoder.errorCode();
        EXPECT_NE(o.code, 0);
        EXPECT_EQ(decoder.begin(), -1);
        return o;
    }
    EXPECT_EQ(decoder.begin(), 0);
    o.stage = 2;
    o.scanType = decoder.scanType();
    o.bytesPerPixel = decoder.bytesPerPixel();
    for (;;) {
        const unsigned char* row = nullptr;
        int length = 0;
        const int result = decoder.decode(row, length);
        if (result == 1) break;
        if (result != 0) {
            o.code = result;
            EXPECT_EQ(decoder.decode(row, length), -1) << "an error is final";
            return o;
        }
        EXPECT_EQ(length, o.width * o.bytesPerPixel);
        if (o.rows >= o.height) {
            ADD_FAILURE() << "more rows than the height";
            return o;
        }
        o.pixels.insert(o.pixels.end(), row, row + length);
        o.rows++;
    }
    const unsigned char* row;
    int length;
    EXPECT_EQ(decoder.decode(row, length), 1);
    return o;
}

// Encodes a picture into a JPEG with cjpeg or ImageMagick and compares our
// decode (both transforms) with djpeg's, pixel by pixel. Returns the largest
// difference of any channel.
class JpegCorpus : public ::testing::Test {
protected:
    void SetUp() override
    {
        // These tools make the corpus; without them the test cannot run.
        for (const char* tool : {"cjpeg", "djpeg", "convert"})
            ASSERT_TRUE(haveTool(tool)) << tool
                                        << " is missing: install libjpeg-turbo-progs and imagemagick "
                                           "(tools/install-packages.sh)";
    }

    std::string makeJpeg(const Pnm& picture, const std::string& options, bool imageMagick = false)
    {
        const std::string name = "in" + std::to_string(count_) + (picture.channels == 1 ? ".pgm" : ".ppm");
        const std::string out = "out" + std::to_string(count_++) + ".jpg";
        writePnm(name, picture);
        if (imageMagick)
            run("convert " + name + " " + options + " " + out);
        else
            run("cjpeg " + options + " -outfile " + out + " " + name);
        return out;
    }

    int compareWithDjpeg(const std::string& jpeg, int expectedScanType = -1)
    {
        run("djpeg -dct int -nosmooth -pnm -outfile ref.pnm " + jpeg);
        Pnm reference;
        EXPECT_TRUE(readPnm("ref.pnm", reference)) << jpeg;
        const Bytes file = readBytes(jpeg);
        const Outcome simd = decode(file, true), scalar = decode(file, false);
        EXPECT_EQ(simd.code, 0) << jpeg << " stage " << simd.stage;
        EXPECT_EQ(simd.rows, reference.height) << jpeg;
        EXPECT_EQ(simd.width, reference.width) << jpeg;
        if (expectedScanType >= 0) {
            EXPECT_EQ(simd.scanType, expectedScanType) << jpeg;
        }
        EXPECT_TRUE(simd.pixels == scalar.pixels) << jpeg << ": the two transforms differ";
        const int pixelBytes = reference.channels == 1 ? 1 : 4;
        EXPECT_EQ(simd.bytesPerPixel, pixelBytes) << jpeg;
        if (simd.pixels.size() != size_t(reference.width) * reference.height * pixelBytes) return 256;
        int largest = 0;
        for (size_t i = 0; i < size_t(reference.width) * reference.height; i++) {
            for (int c = 0; c < reference.channels; c++) {
                const int ours = simd.pixels[i * pixelBytes + c], theirs = reference.data[i * reference.channels + c];
                largest = std::max(largest, std::abs(ours - theirs));
            }
            if (pixelBytes == 4) {
                EXPECT_EQ(simd.pixels[i * 4 + 3], 255);
            }
        }
        return largest;
    }

    void report(const char* group, int largest)
    {
        std::printf("[ jpeg     ] %-28s largest difference from djpeg: %d\n", group, largest);
        EXPECT_LE(largest, 1) << group;
    }

    kxtest::TempDir dir_;
    int count_ = 0;
};

TEST_F(JpegCorpus, EverySamplingMatchesDjpeg)
{
    const Pnm colour = makePicture(77, 53, 3, 1), grey = makePicture(77, 53, 1, 2);
    int largest = compareWithDjpeg(makeJpeg(grey, "-quality 80"), 0);
    const struct {
        const char* sampling;
        int scanType;
    } cases[] = {
        {"1x1", 1},
        {"2x1", 2},
        {"1x2", 3},
        {"2x2", 4},
    };
    for (const auto& c : cases)
        largest = std::max(
            largest, compareWithDjpeg(makeJpeg(colour, std::string("-quality 80 -sample ") + c.sampling), c.scanType));
    report("grey 4:4:4 4:2:2 4:4:0 4:2:0", largest);
}

TEST_F(JpegCorpus, QualitiesAndCodingOptionsMatchDjpeg)
{
    const Pnm colour = makePicture(120, 90, 3, 3), grey = makePicture(120, 90, 1, 4);
    int largest = 0;
    for (const char* quality : {"10", "75", "100"}) {
        for (const char* sampling : {"1x1", "2x2"})
            largest = std::max(largest, compareWithDjpeg(makeJpeg(colour, std::string("-quality ") + quality +
                                                                              " -sample " + sampling)));
        largest = std::max(largest, compareWithDjpeg(makeJpeg(grey, std::string("-quality ") + quality)));
    }
    report("quality 10 / 75 / 100", largest);

    largest = 0;
    for (const char* options : {"-optimize", "-optimize -quality 95 -sample 2x1", "-restart 1", "-restart 1B",
                                "-restart 5B -sample 1x2", "-baseline -quality 5"})
        largest = std::max(largest, compareWithDjpeg(makeJpeg(colour, options)));
    largest = std::max(largest, compareWithDjpeg(makeJpeg(grey, "-restart 3B -optimize")));
    report("optimize, restart, baseline", largest);
}

TEST_F(JpegCorpus, ProgressiveAndMultiScanMatchDjpeg)
{
    const Pnm colour = makePicture(101, 67, 3, 5), grey = makePicture(101, 67, 1, 6);
    // Successive approximation on DC (two refinements) and AC, the luma AC
    // in two bands, the chroma AC in one band each.
    kxtest::writeFile("custom.scans",
                      "0,1,2: 0-0, 0, 2;\n0: 1-5, 0, 2;\n0: 6-63, 0, 2;\n2: 1-63, 0, 1;\n1: 1-63, 0, 0;\n"
                      "0,1,2: 0-0, 2, 1;\n0,1,2: 0-0, 1, 0;\n0: 1-63, 2, 1;\n0: 1-63, 1, 0;\n2: 1-63, 1, 0;\n");
    // Sequential, one component per scan.
    kxtest::writeFile("sequential.scans", "0;\n2;\n1;\n");
    int largest = 0;
    for (const char* options : {"-progressive", "-progressive -sample 1x1", "-progressive -sample 2x1",
                                "-progressive -restart 2B -sample 2x2", "-scans custom.scans",
                                "-scans custom.scans -sample 2x2 -restart 3", "-scans sequential.scans -sample 2x2"})
        largest = std::max(largest, compareWithDjpeg(makeJpeg(colour, options)));
    largest = std::max(largest, compareWithDjpeg(makeJpeg(grey, "-progressive -optimize")));
    largest = std::max(largest, compareWithDjpeg(makeJpeg(colour, "-quality 85 -interlace JPEG", true)));
    report("progressive and multi-scan", largest);
}

TEST_F(JpegCorpus, SizesOffTheMCUGridMatchDjpeg)
{
    int largest = 0;
    const struct {
        int w, h;
    } sizes[] = {{1, 1}, {7, 9}, {17, 15}, {33, 31}, {16, 17}};
    for (const auto& s : sizes) {
        const Pnm colour = makePicture(s.w, s.h, 3, unsigned(s.w * 100 + s.h));
        for (const char* options : {"-sample 2x2", "-sample 2x1", "-sample 1x2", "-progressive -sample 2x2"})
            largest = std::max(largest, compareWithDjpeg(makeJpeg(colour, options)));
        largest = std::max(largest, compareWithDjpeg(makeJpeg(makePicture(s.w, s.h, 1, 9), "-progressive")));
    }
    const Pnm wide = makePicture(8192, 12, 3, 10);
    largest = std::max(largest, compareWithDjpeg(makeJpeg(wide, "-sample 2x2")));
    largest = std::max(largest, compareWithDjpeg(makeJpeg(wide, "-progressive -sample 1x1")));
    largest = std::max(largest, compareWithDjpeg(makeJpeg(makePicture(40, 30, 3, 11),
                                                          "-quality 90 "
                                                          "-sampling-factor 2x2",
                                                          true)));
    report("1x1 .. 8192 wide, odd sizes", largest);
}

// ---- truncated files ------------------------------------------------------------

TEST_F(JpegCorpus, TruncatedFilesStopCleanly)
{
    const Pnm colour = makePicture(96, 80, 3, 12);
    const struct {
        const char* options;
        bool sequential;
    } cases[] = {
        {"-sample 2x2", true},
        {"-sample 1x1 -optimize", true},
        {"-restart 1B", false},
        {"-progressive -sample 2x2", false},
        {"-progressive -restart 2B", false},
    };
    int failed = 0, complete = 0;
    for (const auto& c : cases) {
        const Bytes file = readBytes(makeJpeg(colour, c.options));
        const Outcome whole = decode(file, true);
        ASSERT_EQ(whole.code, 0) << c.options;
        for (int k = 1; k < 16; k++) {
            const Bytes part(file.begin(), file.begin() + long(file.size() * k / 16));
            for (bool simd : {true, false}) {
                const Outcome o = decode(part, simd);
                // Either an error code, or every row (the missing data reads
                // as end-of-image markers).
                EXPECT_TRUE(o.code != 0 || o.rows == o.height) << c.options << " at " << k << "/16";
                if (o.code == 0 && o.rows == o.height && c.sequential && k >= 8) {
                    // Half the data holds the first MCU row whole.
                    EXPECT_TRUE(std::equal(o.pixels.begin(), o.pixels.begin() + o.width * 4, whole.pixels.begin()))
                        << c.options << " at " << k << "/16";
                }
                (o.code ? failed : complete)++;
            }
        }
    }
    std::printf("[ jpeg     ] truncated: %d stopped with an error code, %d delivered every row\n", failed, complete);
}

// ---- error codes ----------------------------------------------------------------

// The segments of a JPEG file: marker code and the offset of its 0xFF.
struct Segment {
    int marker;
    size_t at;
};

std::vector<Segment> segments(const Bytes& f)
{
    std::vector<Segment> list;
    size_t i = 2;
    while (i + 3 < f.size()) {
        if (f[i] != 0xFF) {
            i++;
            continue;
        }
        const int marker = f[i + 1];
        if (marker == 0 || marker == 0xFF || (marker >= 0xD0 && marker <= 0xD7)) {
            i++;
            continue;
        }
        list.push_back({marker, i});
        if (marker == 0xD9) break;
        i += 2 + (size_t(f[i + 2]) << 8 | f[i + 3]);
    }
    return list;
}

size_t find(const Bytes& f, int marker, int nth = 0)
{
    for (const Segment& s : segments(f))
        if (s.marker == marker && nth-- == 0) return s.at;
    ADD_FAILURE() << "no marker " << std::hex << marker;
    return 0;
}

Bytes inserted(Bytes f, size_t at, const Bytes& what)
{
    f.insert(f.begin() + long(at), what.begin(), what.end());
    return f;
}

// A grey 8 x 8 baseline file written by hand: quantization 1, a DC table
// with the single code 0 (category 0) and an AC table with ZRL = 0 and
// EOB = 10, followed by the given entropy-coded bytes.
Bytes handMade(const Bytes& data, int frameMarker = 0xC0)
{
    Bytes f = {0xFF, 0xD8, 0xFF, 0xDB, 0, 67, 0};
    f.insert(f.end(), 64, 1);
    const Bytes frame = {0xFF, uint8_t(frameMarker), 0, 11, 8, 0, 8, 0, 8, 1, 1, 0x11, 0};
    f.insert(f.end(), frame.begin(), frame.end());
    const Bytes dc = {0xFF, 0xC4, 0, 20, 0x00, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00};
    const Bytes ac = {0xFF, 0xC4, 0, 21, 0x10, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xF0, 0x00};
    const Bytes scan = {0xFF, 0xDA, 0, 8, 1, 1, 0x00, 0, 63, 0};
    for (const Bytes* part : {&dc, &ac, &scan}) f.insert(f.end(), part->begin(), part->end());
    f.insert(f.end(), data.begin(), data.end());
    f.push_back(0xFF);
    f.push_back(0xD9);
    return f;
}

TEST_F(JpegCorpus, EveryErrorCodeAtItsStage)
{
    const Bytes base = readBytes(makeJpeg(makePicture(40, 24, 3, 13), "-sample 2x2"));
    const Bytes progressive = readBytes(makeJpeg(makePicture(40, 24, 3, 14), "-progressive"));
    const Bytes restarts = readBytes(makeJpeg(makePicture(160, 96, 3, 15), "-restart 1B"));
    ASSERT_EQ(decode(base, true).code, 0);
    ASSERT_EQ(decode(handMade({0x5F}), true).code, 0); // DC 0 then EOB
    const size_t sof = find(base, 0xC0), sos = find(base, 0xDA), dqt = find(base, 0xDB), dht = find(base, 0xC4);

    auto patched = [](Bytes f, size_t at, std::initializer_list<uint8_t> bytes) {
        for (uint8_t b : bytes) f[at++] = b;
        return f;
    };
    // Removes the 11th restart marker of the entropy-coded data.
    auto withoutRestart = [](Bytes f) {
        int seen = 0;
        for (size_t i = find(f, 0xDA); i + 1 < f.size(); i++)
            if (f[i] == 0xFF && f[i + 1] >= 0xD0 && f[i + 1] <= 0xD7 && ++seen == 11) {
                f.erase(f.begin() + long(i), f.begin() + long(i) + 2);
                break;
            }
        EXPECT_EQ(seen, 11);
        return f;
    };
    // The n-th scan header of the progressive file: components, then Ss, Se, Ah/Al.
    auto scanParameters = [&](int nth) {
        const size_t at = find(progressive, 0xDA, nth);
        return at + 5 + 2 * progressive[at + 4];
    };
    Bytes cmyk;
    {
        const std::string name = makeJpeg(makePicture(24, 16, 3, 16), "-colorspace CMYK", true);
        cmyk = readBytes(name);
    }
    const Bytes arithmetic = readBytes(makeJpeg(makePicture(24, 16, 3, 17), "-arithmetic"));
    Bytes garbage(600, 0x20);

    const struct {
        const char* what;
        Bytes file;
        int stage, code;
    } cases[] = {
        {"DHT over 255 symbols",
         patched(base, dht + 5, {16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16}), 1, -200},
        {"DHT class 2", patched(base, dht + 4, {0x20}), 1, -201},
        {"DHT table 4", patched(base, dht + 4, {0x04}), 1, -201},
        {"DHT too short", patched(base, dht + 2, {0, 18}), 1, -202},
        {"DQT length 1", patched(base, dqt + 2, {0, 1}), 0, -203},
        {"DQT table 4", patched(base, dqt + 4, {0x04}), 0, -204},
        {"precision 12", patched(base, sof + 4, {12}), 0, -205},
        {"height 0", patched(base, sof + 5, {0, 0}), 0, -206},
        {"height 8193", patched(base, sof + 5, {0x20, 0x01}), 0, -206},
        {"width 0", patched(base, sof + 7, {0, 0}), 0, -207},
        {"width 8193", patched(base, sof + 7, {0x20, 0x01}), 0, -207},
        {"5 components", patched(base, sof + 9, {5}), 0, -208},
        {"frame length", patched(base, sof + 3, {18}), 0, -209},
        {"segment length 1", inserted(base, sof, {0xFF, 0xE5, 0, 1}), 0, -210},
        {"DRI length 5", inserted(base, sof, {0xFF, 0xDD, 0, 5, 0, 1, 0}), 0, -211},
        {"scan of 0 components", patched(base, sos + 4, {0}), 1, -212},
        {"scan length", patched(base, sos + 3, {13}), 1, -212},
        {"scan names component 9", patched(base, sos + 5, {9}), 1, -213},
        {"arithmetic (cjpeg)", arithmetic, 0, -215},
        {"DAC segment", inserted(base, sof, {0xFF, 0xCC, 0, 4, 0x00, 0x11}), 0, -215},
        {"TEM before the frame", inserted(base, sof, {0xFF, 0x01}), 0, -216},
        {"RST0 before the frame", inserted(base, sof, {0xFF, 0xD0}), 0, -216},
        {"JPG marker", inserted(base, sof, {0xFF, 0xC8, 0, 2}), 0, -216},
        {"no scan", inserted(Bytes(base.begin(), base.begin() + long(sos)), sos, {0xFF, 0xD9}), 1, -216},
        {"no SOI in 512 bytes", inserted(base, 0, garbage), 0, -217},
        {"lossless (SOF3)", handMade({0x5F}, 0xC3), 0, -218},
        {"SOF5", patched(base, sof + 1, {0xC5}), 0, -218},
        {"SOS before a frame", inserted(base, sof, {0xFF, 0xDA, 0, 2}), 0, -218},
        {"DQT short for its table", patched(base, dqt + 2, {0, 40}), 0, -219},
        {"undefined quantization table", patched(base, sof + 12, {3}), 1, -222},
        {"undefined DC table", patched(base, sos + 6, {0x30}), 1, -223},
        {"2 components", patched(base, sof + 2, {0, 14, 8, 0, 24, 0, 40, 2}), 1, -225},
        {"4 components (CMYK)", cmyk, 1, -225},
        {"chroma 2x2", patched(base, sof + 14, {0x22}), 1, -226},
        {"luma 3x1", patched(base, sof + 11, {0x31}), 1, -226},
        {"run past coefficient 63", handMade({0x07}), 2, -227},
        {"missing RST", withoutRestart(restarts), 2, -228},
        {"DC scan with end 63", patched(progressive, scanParameters(0) + 1, {63}), 1, -230},
        {"AC scan of 3 components", patched(progressive, scanParameters(0), {1, 63}), 1, -230},
        {"refinement Ah 2 Al 0", patched(progressive, scanParameters(0) + 2, {0x20}), 1, -231},
    };
    for (const auto& c : cases) {
        for (bool simd : {true, false}) {
            const Outcome o = decode(c.file, simd);
            EXPECT_EQ(o.code, c.code) << c.what;
            EXPECT_EQ(o.stage, c.stage) << c.what;
        }
    }
    // The start-of-image marker may come after some bytes.
    EXPECT_EQ(decode(inserted(base, 0, Bytes(300, 0x20)), true).code, 0);
    // The four-component frame itself is legal.
    EXPECT_EQ(decode(cmyk, true).components, 4);
}

TEST(JpegDecoder, SourceReadFailureAndLifecycle)
{
    cJPEGSource nothing(nullptr, 100);
    bool end = false;
    uint8_t byte;
    EXPECT_EQ(nothing.read(&byte, 1, end), unsigned(-1));
    cJPEGDecoder failing(&nothing, true);
    EXPECT_EQ(failing.errorCode(), kJPEGSourceRead);
    EXPECT_EQ(failing.begin(), -1);
    const unsigned char* row;
    int length;
    EXPECT_EQ(failing.decode(row, length), -1);

    // A memory source hands out its bytes, then the end.
    const uint8_t bytes[5] = {1, 2, 3, 4, 5};
    cJPEGSource source(bytes, 5);
    uint8_t out[8] = {};
    EXPECT_EQ(source.read(out, 3, end), 3u);
    EXPECT_FALSE(end);
    EXPECT_EQ(source.read(out, 2, end), 2u); // exactly the rest: the end is flagged
    EXPECT_TRUE(end);
    EXPECT_EQ(out[1], 5);
    end = false;
    EXPECT_EQ(source.read(out, 2, end), 0u);
    EXPECT_TRUE(end);

    // Rows only after begin().
    const Bytes file = handMade({0x5F});
    cJPEGSource again(file.data(), unsigned(file.size()));
    cJPEGDecoder decoder(&again, false);
    EXPECT_EQ(decoder.decode(row, length), -1);
    EXPECT_EQ(decoder.begin(), 0);
    for (int y = 0; y < 8; y++) {
        ASSERT_EQ(decoder.decode(row, length), 0);
        EXPECT_EQ(length, 8);
        EXPECT_EQ(row[0], 128); // DC 0
    }
    EXPECT_EQ(decoder.decode(row, length), 1);
}

TEST(JpegDecoder, MemoryListLimitsAndZeroFills)
{
    cJPEGMemory memory;
    int error = 0;
    for (int i = 0; i < cJPEGMemory::kLimit; i++) {
        uint8_t* block = static_cast<uint8_t*>(memory.allocate(size_t(i) * 7 + 1, error));
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % 8, 0u);
        EXPECT_TRUE(std::all_of(block, block + i * 7 + 1, [](uint8_t b) { return b == 0; }));
    }
    EXPECT_EQ(memory.allocate(16, error), nullptr);
    EXPECT_EQ(error, kJPEGTooManyBlocks);
    memory.freeAll();
    EXPECT_EQ(memory.count(), 0);
    EXPECT_EQ(memory.allocate(cJPEGMemory::kLargest + 1, error), nullptr);
    EXPECT_EQ(error, kJPEGOutOfMemory);
    EXPECT_NE(memory.allocate(16, error), nullptr);
}

// ---- inverse transforms -----------------------------------------------------------

// The 2-D DCT and its inverse in double precision, from the definition
// (separably: the 8-point transform along the rows, then the columns).
struct ReferenceDct {
    double basis[8][8]; // basis[x][u] = C(u) / 2 * cos((2x + 1) u pi / 16)
    ReferenceDct()
    {
        for (int x = 0; x < 8; x++)
            for (int u = 0; u < 8; u++)
                basis[x][u] = (u ? 0.5 : 0.5 * std::sqrt(0.5)) * std::cos((2 * x + 1) * u * std::acos(-1.0) / 16);
    }
    // forward: out[v][u] = sum in[y][x] basis[x][u] basis[y][v]; inverse the transpose.
    void apply(const double* in, double* out, bool forward) const
    {
        double temp[64];
        for (int r = 0; r < 8; r++)
            for (int k = 0; k < 8; k++) {
                double sum = 0;
                for (int i = 0; i < 8; i++) sum += in[r * 8 + i] * (forward ? basis[i][k] : basis[k][i]);
                temp[r * 8 + k] = sum;
            }
        for (int c = 0; c < 8; c++)
            for (int k = 0; k < 8; k++) {
                double sum = 0;
                for (int i = 0; i < 8; i++) sum += temp[i * 8 + c] * (forward ? basis[i][k] : basis[k][i]);
                out[k * 8 + c] = sum;
            }
    }
};

struct Transform {
    const char* name;
    std::function<void(const int16_t*, uint8_t*)> run;
};

// The IEEE 1180 procedure: random blocks in [-low, high] (times sign),
// transformed and rounded to coefficients in [-2048, 2047], inverse-
// transformed by the reference (rounded, clipped to [-256, 255]) and by each
// transform under test. Our transforms produce level-shifted 8-bit samples,
// so the reference is shifted and clamped the same way before comparing.
void ieee1180(const std::vector<Transform>& transforms, int low, int high, int sign)
{
    static const ReferenceDct dct;
    std::mt19937 random(unsigned(low * 1000 + high + (sign > 0 ? 0 : 7)));
    std::uniform_int_distribution<int> pixel(-low, high);
    constexpr int kBlocks = 10000;
    struct Stats {
        double errorSum[64] = {}, squareSum[64] = {};
        int peak = 0;
    };
    std::vector<Stats> stats(transforms.size());
    for (int n = 0; n < kBlocks; n++) {
        double block[64], coefficients[64], reference[64], rounded[64];
        for (double& p : block) p = pixel(random) * sign;
        dct.apply(block, coefficients, true);
        int16_t input[64];
        for (int i = 0; i < 64; i++) {
            input[i] = int16_t(std::clamp(std::lround(coefficients[i]), -2048l, 2047l));
            rounded[i] = input[i];
        }
        dct.apply(rounded, reference, false);
        for (size_t t = 0; t < transforms.size(); t++) {
            uint8_t out[64];
            transforms[t].run(input, out);
            for (int i = 0; i < 64; i++) {
                const long expected = std::clamp(std::clamp(std::lround(reference[i]), -256l, 255l) + 128, 0l, 255l);
                const int error = int(out[i]) - int(expected);
                stats[t].peak = std::max(stats[t].peak, std::abs(error));
                stats[t].errorSum[i] += error;
                stats[t].squareSum[i] += error * error;
            }
        }
    }
    for (size_t t = 0; t < transforms.size(); t++) {
        const Stats& s = stats[t];
        double totalError = 0, totalSquare = 0, worstMse = 0, worstMean = 0;
        for (int i = 0; i < 64; i++) {
            worstMse = std::max(worstMse, s.squareSum[i] / kBlocks);
            worstMean = std::max(worstMean, std::fabs(s.errorSum[i] / kBlocks));
            totalError += s.errorSum[i];
            totalSquare += s.squareSum[i];
        }
        const double mse = totalSquare / (64.0 * kBlocks), mean = std::fabs(totalError) / (64.0 * kBlocks);
        const char* name = transforms[t].name;
        std::printf("[ jpeg     ] %-6s [-%d, %d] x %+d: peak %d, mse %.4f (worst pixel %.4f), mean %.5f (worst %.4f)\n",
                    name, low, high, sign, s.peak, mse, worstMse, mean, worstMean);
        EXPECT_LE(s.peak, 1) << name;
        EXPECT_LE(worstMse, 0.06) << name;
        EXPECT_LE(mse, 0.02) << name;
        EXPECT_LE(worstMean, 0.015) << name;
        EXPECT_LE(mean, 0.0015) << name;
    }
}

TEST(JpegIdct, BothTransformsMeetIeee1180)
{
    uint16_t ones[64];
    std::fill(ones, ones + 64, uint16_t(1));
    const std::vector<Transform> transforms = {
        {"scalar", [](const int16_t* in, uint8_t* out) { jpegIdctScalar(in, out, 8); }},
        {"simd", [&ones](const int16_t* in, uint8_t* out) { jpegIdctSimd(in, ones, out, 8); }},
    };
    const int ranges[3][2] = {{256, 255}, {5, 5}, {300, 300}};
    for (const auto& r : ranges)
        for (int sign : {1, -1}) ieee1180(transforms, r[0], r[1], sign);

    const int16_t zero[64] = {};
    uint8_t a[64], b[64];
    jpegIdctScalar(zero, a, 8);
    jpegIdctSimd(zero, ones, b, 8);
    for (int i = 0; i < 64; i++) {
        EXPECT_EQ(a[i], 128);
        EXPECT_EQ(b[i], 128);
    }
}

// Every instruction set this machine runs, with the scalar one first.
std::vector<sJPEGKernels> kernelLevels()
{
    std::vector<sJPEGKernels> levels;
    for (eJPEGSimd level : {eJPEGSimd::scalar, eJPEGSimd::sse2, eJPEGSimd::avx2})
        if (level <= jpegSimdAvailable()) levels.push_back(jpegKernels(level));
    return levels;
}

TEST(JpegIdct, EveryLevelEqualsScalarOnAnyInput)
{
    const std::vector<sJPEGKernels> levels = kernelLevels();
    std::printf("[ jpeg     ] kernel levels on this machine: %zu\n", levels.size());
    std::mt19937 random(99);
    // Rows of 1 to 5 blocks (pairs and a lone block for the wide levels).
    constexpr int kMaxBlocks = 5, kStride = kMaxBlocks * 8 + 8;
    int differing[3] = {}, notCleared[3] = {};
    for (int n = 0; n < 12000; n++) {
        const int count = 1 + n % kMaxBlocks;
        int16_t coefficients[kMaxBlocks * 64], dequantized[kMaxBlocks * 64];
        uint16_t quant[64];
        // Dense or sparse blocks; small values, or any 16-bit value with any
        // quantization (products wrap, the passes saturate); DC-only blocks
        // beside full ones.
        const int kind = (n / kMaxBlocks) % 4;
        for (int i = 0; i < 64; i++) quant[i] = uint16_t(kind == 0 ? 1 + random() % 8 : random() & 0xFFFF);
        bool dcOnly = false;
        for (int i = 0; i < count * 64; i++) {
            if (i % 64 == 0) dcOnly = kind == 3 || (kind == 2 && random() % 2);
            const bool present = dcOnly ? i % 64 == 0 : kind == 2 ? random() % 8 == 0 : true;
            coefficients[i] =
                int16_t(!present ? 0 : kind == 0 ? int(random() % 2047) - 1023 : int(random() & 0xFFFF));
            dequantized[i] = int16_t(uint16_t(uint32_t(uint16_t(coefficients[i])) * quant[i % 64]));
        }
        uint8_t expected[8 * kStride];
        for (int b = 0; b < count; b++) jpegIdctScalar(dequantized + b * 64, expected + b * 8, kStride);
        for (size_t l = 0; l < levels.size(); l++) {
            int16_t blocks[kMaxBlocks * 64];
            std::memcpy(blocks, coefficients, sizeof(blocks));
            uint8_t out[8 * kStride];
            levels[l].idctRow(blocks, count, quant, out, kStride);
            for (int r = 0; r < 8; r++)
                differing[l] += std::memcmp(expected + r * kStride, out + r * kStride, size_t(count) * 8) != 0;
            for (int i = 0; i < count * 64; i++) notCleared[l] += blocks[i] != 0;
        }
    }
    for (size_t l = 0; l < levels.size(); l++) {
        EXPECT_EQ(differing[l], 0) << "level " << int(levels[l].level) << ": rows that differ from the scalar transform";
        EXPECT_EQ(notCleared[l], 0) << "level " << int(levels[l].level) << ": coefficients left behind";
    }
}

TEST(JpegColour, EveryLevelEqualsScalarAndTheFormulas)
{
    sJPEGColour colour;
    colour.build();
    const std::vector<sJPEGKernels> levels = kernelLevels();
    // Every (Cb, Cr) pair, with a sweep of luma values, in both layouts, on
    // whole rows and on rows that end inside a group of 32 or 16 pixels.
    Bytes y0(256), y1(256), cb(256), cr(256);
    int wrong = 0;
    for (int c = 0; c < 256; c++) {
        for (int i = 0; i < 256; i++) {
            y0[i] = uint8_t(i);
            y1[i] = uint8_t(255 - i);
            cb[i] = uint8_t(i);
            cr[i] = uint8_t(c);
        }
        for (int shift : {0, 1}) {
            Bytes a0(256 * 4), a1(256 * 4);
            jpegColourRowScalar(colour, y0.data(), y1.data(), cb.data(), cr.data(), a0.data(), a1.data(), 256, shift);
            for (int i = 0; i < 256; i++) {
                const int y = y0[i], u = cb[i >> shift] - 128, v = c - 128;
                const int rgb[3] = {y + ((91882 * v + 32768) >> 16), y + ((-22554 * u - 46802 * v + 32768) >> 16),
                                    y + ((116130 * u + 32768) >> 16)};
                for (int k = 0; k < 3; k++) wrong += a0[i * 4 + k] != std::clamp(rgb[k], 0, 255);
                wrong += a0[i * 4 + 3] != 255;
            }
            for (const sJPEGKernels& level : levels) {
                for (int count : {256, 200, 16 * 3 + 5}) {
                    Bytes b0(256 * 4), b1(256 * 4);
                    level.colourRow(colour, y0.data(), y1.data(), cb.data(), cr.data(), b0.data(), b1.data(), count,
                                    shift);
                    const size_t bytes = size_t(count) * 4;
                    const bool same = std::equal(a0.begin(), a0.begin() + bytes, b0.begin()) &&
                                      std::equal(a1.begin(), a1.begin() + bytes, b1.begin());
                    EXPECT_TRUE(same) << "level " << int(level.level) << ", Cr " << c << ", shift " << shift
                                      << ", " << count << " pixels";
                    wrong += !same;
                }
                // One row alone (the second output untouched).
                Bytes b0(256 * 4), b1(256 * 4, 7);
                level.colourRow(colour, y0.data(), nullptr, cb.data(), cr.data(), b0.data(), b1.data(), 256, shift);
                wrong += b0 != a0 || b1 != Bytes(256 * 4, 7);
            }
        }
    }
    EXPECT_EQ(wrong, 0);
}

} // namespace
