// The audio engine's channels: modules, streams, samples, DSP procedures and
// channel data, mostly in offline mode where every frame can be checked.
//
// Every fixture is made here: a ProTracker module written byte by byte, WAV
// files written from computed tones, an OGG encoded from such a WAV with
// oggenc (or sox), an MP3 encoded through libsndfile.

#include "audio/bass.h"
#include "audio/testtone.h"
#include "tests/test_util.h"
#include "tests/wav_builder.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

// libsndfile 1.2.0 leaks libvorbis's header state (one vorbis_info) each
// time an OGG file fails to open; the hostile-input tests make it do so.
extern "C" const char* __lsan_default_suppressions() { return "leak:vorbis_info_init\n"; }

namespace {

namespace fs = std::filesystem;
using kxtest::makeWav;

constexpr DWORD kRate = 44100;
constexpr double kPi = 3.14159265358979323846;

using tBytes = std::vector<unsigned char>;
using tSamples = std::vector<int16_t>;

// --- Fixtures ---------------------------------------------------------------

// A 4-channel ProTracker module: one looped square-wave sample, a note on
// every channel every 4 rows. With `rows` < 64 a pattern break on the last
// row ends the song there (a row lasts 120 ms at the default speed).
tBytes makeMod(int rows = 64)
{
    tBytes m(1084 + 1024 + 32, 0);
    std::memcpy(&m[0], "kx test tune", 12);
    for (int i = 0; i < 31; ++i) {
        m[20 + i * 30 + 29] = 1; // repeat length 1 word: no loop
    }
    unsigned char* s = &m[20];
    std::memcpy(s, "square", 6);
    s[23] = 16; // 16 words = 32 bytes
    s[25] = 64; // full volume
    s[29] = 16; // loop all 16 words from 0
    m[950] = 1; // one order
    m[951] = 127;
    m[952] = 0; // pattern 0
    std::memcpy(&m[1080], "M.K.", 4);
    auto cell = [&](int row, int channel, int sample, int period, int effect, int param) {
        unsigned char* c = &m[1084 + (row * 4 + channel) * 4];
        c[0] = static_cast<unsigned char>((sample & 0xF0) | ((period >> 8) & 0x0F));
        c[1] = static_cast<unsigned char>(period & 0xFF);
        c[2] = static_cast<unsigned char>(((sample & 0x0F) << 4) | (effect & 0x0F));
        c[3] = static_cast<unsigned char>(param);
    };
    const int periods[4] = {428, 339, 285, 214};
    for (int row = 0; row < rows; row += 4) {
        for (int ch = 0; ch < 4; ++ch) {
            cell(row, ch, 1, periods[(row / 4 + ch) % 4], 0, 0);
        }
    }
    if (rows < 64) {
        cell(rows - 1, 3, 0, 0, 0xD, 0);
    }
    for (int i = 0; i < 32; ++i) {
        m[1084 + 1024 + i] = static_cast<unsigned char>(i < 16 ? 100 : -100);
    }
    return m;
}

// Interleaved 16-bit samples of a sine on every channel (or only the first
// with `firstOnly`).
tSamples tone(double freq, int rate, double seconds, int channels, int amplitude, bool firstOnly = false)
{
    const size_t frames = size_t(seconds * rate);
    tSamples out(frames * size_t(channels), 0);
    for (size_t i = 0; i < frames; ++i) {
        const auto v = int16_t(std::lround(amplitude * std::sin(2 * kPi * freq * double(i) / rate)));
        for (int c = 0; c < channels; ++c) {
            out[i * size_t(channels) + size_t(c)] = (firstOnly && c > 0) ? int16_t(0) : v;
        }
    }
    return out;
}

void put32(tBytes& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i) {
        b[at + size_t(i)] = static_cast<unsigned char>(v >> (8 * i));
    }
}

// A folder of its own for one test, removed with everything in it.
class cTempDir {
public:
    cTempDir() { path_ = kxtest::makeTempFolder("kxaudio-"); }
    ~cTempDir()
    {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    fs::path operator/(const std::string& name) const { return path_ / name; }

private:
    fs::path path_;
};

void writeFile(const fs::path& path, const tBytes& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

tBytes readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return tBytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The project's tune as kx_module_writer writes it, cut to its first pattern
// (64 rows at 128 beats per minute: 7.5 s), whose last row with `loop` jumps
// back to the start (B00); empty when the writer fails.
tBytes writerModule(const fs::path& file, bool loop, const std::string& options = "--patterns 1")
{
    const std::string cmd = kxtest::quoted(kxtest::toolPath(KX_MODULE_WRITER_PATH)) + " " + options +
                            (loop ? " --loop" : "") + " " + kxtest::quoted(file.string()) + " >" + kxtest::nullDevice();
    return kxtest::runCommand(cmd) == 0 ? readFile(file) : tBytes();
}

// A song of two orders of 16 rows that repeats itself without a jump on its
// last row: order 0 breaks into row 8 of order 1, whose last row jumps to
// its row 0; rows 0 to 7 play, and row 8 has played already. One pass is
// 3.75 s, and the song goes on from 1.875 s (order 1, row 8).
tBytes repeatsThroughABreak(const fs::path& file)
{
    tBytes mod = writerModule(file, false, "--patterns 2 --rows 16");
    if (mod.size() < 1084 + 2048) return tBytes();
    for (int pattern = 0; pattern < 2; ++pattern) {
        for (int channel = 0; channel < 4; ++channel) {
            unsigned char* cell = &mod[1084 + size_t(pattern) * 1024 + size_t(15 * 4 + channel) * 4];
            if ((cell[2] & 0x0F) == 0xD) {
                cell[2] = static_cast<unsigned char>((cell[2] & 0xF0) | (pattern == 0 ? 0xD : 0xB));
                cell[3] = pattern == 0 ? 0x08 : 0x01; // D08, B01
            }
        }
    }
    return mod;
}

// The WAV encoded as OGG Vorbis by oggenc, or by sox when oggenc is missing;
// empty when neither works.
tBytes encodeOgg(const cTempDir& dir, const tBytes& wav)
{
    const fs::path in = dir / "in.wav";
    const fs::path out = dir / "out.ogg";
    writeFile(in, wav);
    const std::string quiet = std::string(" 2>") + kxtest::nullDevice();
    const std::string oggenc =
        "oggenc -Q -o " + kxtest::quoted(out.string()) + " " + kxtest::quoted(in.string()) + quiet;
    const std::string sox = "sox " + kxtest::quoted(in.string()) + " " + kxtest::quoted(out.string()) + quiet;
    if (kxtest::runCommand(oggenc) != 0 && kxtest::runCommand(sox) != 0) {
        return {};
    }
    return readFile(out);
}

// Mono 16-bit samples encoded as MP3 through libsndfile (which encodes with
// LAME); empty when this libsndfile cannot.
tBytes encodeMp3(const cTempDir& dir, const tSamples& mono, int rate)
{
    const fs::path out = dir / "out.mp3";
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 1;
    info.format = SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;
    SNDFILE* file = sf_open(out.string().c_str(), SFM_WRITE, &info);
    if (!file) {
        return {};
    }
    sf_write_short(file, mono.data(), sf_count_t(mono.size()));
    sf_close(file);
    return readFile(out);
}

// --- Measuring --------------------------------------------------------------

// Power of `freq` in the left channel of frames [from, from + n) (Goertzel).
double power(const tSamples& stereo, size_t from, size_t n, double freq)
{
    const double k = 2 * std::cos(2 * kPi * freq / kRate);
    double s1 = 0, s2 = 0;
    for (size_t i = from; i < from + n; ++i) {
        const double s = stereo[2 * i] + k * s1 - s2;
        s2 = s1;
        s1 = s;
    }
    return s1 * s1 + s2 * s2 - k * s1 * s2;
}

// The strongest frequency between 100 and 2000 Hz in 5 Hz steps.
double dominantFrequency(const tSamples& stereo, size_t from, size_t n)
{
    double best = 0, bestPower = -1;
    for (double f = 100; f <= 2000; f += 5) {
        const double p = power(stereo, from, n, f);
        if (p > bestPower) {
            bestPower = p;
            best = f;
        }
    }
    return best;
}

bool silent(const tSamples& s, size_t from = 0, size_t to = SIZE_MAX)
{
    to = std::min(to, s.size());
    return std::all_of(s.begin() + std::ptrdiff_t(from), s.begin() + std::ptrdiff_t(to),
                       [](int16_t v) { return v == 0; });
}

// The largest magnitude on one side (0 left, 1 right) or, by default, both.
int peak(const tSamples& s, int side = -1)
{
    int p = 0;
    for (size_t i = side < 0 ? 0 : size_t(side); i < s.size(); i += side < 0 ? 1 : 2) {
        p = std::max(p, std::abs(int(s[i])));
    }
    return p;
}

class AudioEngineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        kxtest::setEnv("SDL_AUDIODRIVER", "dummy");
        BASS_Free();
        BASS_SetOffline(FALSE);
    }
    void TearDown() override
    {
        BASS_Free();
        BASS_SetOffline(FALSE);
    }

    void initOffline()
    {
        ASSERT_TRUE(BASS_SetOffline(TRUE));
        ASSERT_TRUE(BASS_Init(-1, kRate, 0, nullptr, nullptr));
    }

    tSamples mix(DWORD frames)
    {
        tSamples s(size_t(frames) * 2, int16_t(0x5555));
        EXPECT_EQ(BASS_MixOffline(s.data(), frames), frames);
        return s;
    }

    static HMUSIC loadMusic(const tBytes& mod, DWORD flags = 0)
    {
        return BASS_MusicLoad(TRUE, mod.data(), 0, DWORD(mod.size()), flags, 0);
    }
    static HSTREAM loadStream(const tBytes& file, DWORD flags = 0)
    {
        return BASS_StreamCreateFile(TRUE, file.data(), 0, file.size(), flags);
    }
};

using AudioMusic = AudioEngineTest;
using AudioStream = AudioEngineTest;
using AudioSample = AudioEngineTest;
using AudioDsp = AudioEngineTest;
using AudioChannelData = AudioEngineTest;
using AudioHostile = AudioEngineTest;

// --- Modules -----------------------------------------------------------------

TEST_F(AudioMusic, PlaysOnlyAfterPlayFromMemoryFreedAfterLoading)
{
    initOffline();
    auto mod = std::make_unique<tBytes>(makeMod());
    const HMUSIC music = loadMusic(*mod, 0x2000);
    ASSERT_NE(music, 0u) << BASS_ErrorGetCode();
    std::fill(mod->begin(), mod->end(), 0xEE);
    mod.reset(); // libopenmpt keeps a copy; the sanitizer build catches any later read
    EXPECT_TRUE(BASS_MusicPreBuf(music));
    EXPECT_TRUE(silent(mix(2048))); // loaded paused

    ASSERT_TRUE(BASS_MusicPlay(music));
    const tSamples out = mix(4096);
    EXPECT_GT(peak(out, 0), 500); // the four channels are panned to both sides
    EXPECT_GT(peak(out, 1), 500);
    // The only channel: its latest 500 frames are the mix's last 500.
    int16_t data[1000];
    ASSERT_EQ(BASS_ChannelGetData(music, data, 2000), 2000u);
    EXPECT_TRUE(std::equal(data, data + 1000, out.end() - 1000));
}

TEST_F(AudioMusic, PauseKeepsThePositionAndPlayContinuesFromIt)
{
    initOffline();
    const tBytes mod = makeMod();
    const HMUSIC reference = loadMusic(mod);
    ASSERT_TRUE(BASS_MusicPlay(reference));
    const tSamples straight = mix(6000);
    ASSERT_TRUE(BASS_MusicFree(reference));

    const HMUSIC music = loadMusic(mod);
    ASSERT_TRUE(BASS_MusicPlay(music));
    tSamples joined = mix(2500);
    ASSERT_TRUE(BASS_ChannelPause(music));
    EXPECT_TRUE(BASS_ChannelPause(music)); // pausing twice is harmless
    EXPECT_TRUE(silent(mix(1500)));
    EXPECT_EQ(KXAUDIO_ChannelPosition(music), 2500u);
    ASSERT_TRUE(BASS_MusicPlay(music));
    const tSamples rest = mix(3500);
    joined.insert(joined.end(), rest.begin(), rest.end());
    EXPECT_EQ(joined, straight); // sample for sample, across other block sizes
}

TEST_F(AudioMusic, EndsThenPlaysAgainFromTheStartUnlessLooped)
{
    initOffline();
    const tBytes mod = makeMod(4); // 4 rows: 0.48 s
    const HMUSIC music = loadMusic(mod);
    ASSERT_TRUE(BASS_MusicPlay(music));
    const tSamples first = mix(kRate);
    // The song alone: a pattern break on its last row runs out of orders,
    // and there it stops.
    const unsigned long long length = KXAUDIO_ChannelPosition(music);
    EXPECT_GE(double(length), 0.48 * kRate);
    EXPECT_LE(double(length), 0.6 * kRate);
    EXPECT_TRUE(silent(first, size_t(length) * 2));
    ASSERT_TRUE(BASS_MusicPlay(music));
    EXPECT_EQ(mix(kRate), first);
    ASSERT_TRUE(BASS_MusicFree(music));

    const HMUSIC looped = loadMusic(mod, BASS_SAMPLE_LOOP);
    ASSERT_TRUE(BASS_MusicPlay(looped));
    mix(2 * kRate);
    EXPECT_GT(peak(mix(4096)), 1000);
}

TEST_F(AudioMusic, AJumpBackPlaysOnWhereTheOrderListRunsOutItEnds)
{
    initOffline();
    cTempDir dir;
    struct tCase {
        const char* what;
        int song; // 0 one pattern, 1 one pattern jumping back, 2 repeatsThroughABreak
        DWORD flags;
        bool playsOn;
        double passSeconds;
    } const cases[] = {
        {"jump back to the first order", 1, 0, true, 7.5},
        {"order list runs out", 0, 0, false, 7.5},
        {"order list runs out, looped by the flag", 0, BASS_SAMPLE_LOOP, true, 7.5},
        {"repeats through a break and a jump on rows before its end", 2, 0, true, 3.75},
    };
    for (const tCase& c : cases) {
        SCOPED_TRACE(c.what);
        const size_t pass = size_t(c.passSeconds * kRate);
        const tBytes mod =
            c.song == 2 ? repeatsThroughABreak(dir / "tune.mod") : writerModule(dir / "tune.mod", c.song == 1);
        ASSERT_FALSE(mod.empty());
        const HMUSIC music = loadMusic(mod, c.flags);
        ASSERT_TRUE(BASS_MusicPlay(music));
        const tSamples out = mix(DWORD(3 * pass + kRate)); // three passes and a second
        int16_t latest[1000];
        ASSERT_EQ(BASS_ChannelGetData(music, latest, 2000), 2000u);
        if (c.playsOn) {
            // Half a second near the end of each pass, and into the fourth.
            for (size_t at : {pass - kRate, 2 * pass - kRate, 3 * pass - kRate, 3 * pass + kRate / 4}) {
                const auto from = out.begin() + std::ptrdiff_t(2 * at);
                EXPECT_GT(peak(tSamples(from, from + kRate)), 1000) << "at frame " << at;
            }
            EXPECT_EQ(KXAUDIO_ChannelPosition(music), 3 * pass + kRate);
            EXPECT_GT(peak(tSamples(latest, latest + 1000)), 1000);
        } else {
            EXPECT_NEAR(double(KXAUDIO_ChannelPosition(music)), double(pass), 0.01 * kRate);
            EXPECT_TRUE(silent(out, 2 * (pass + kRate / 10)));
        }
        EXPECT_TRUE(BASS_MusicFree(music));
    }
    // Placed within a chunk of the end of its pass (a scrub or a reload
    // can land there), a tune that jumps back still plays on.
    const tBytes looping = writerModule(dir / "tune.mod", true);
    const HMUSIC placed = loadMusic(looping, 0);
    ASSERT_TRUE(BASS_ChannelSetPosition(placed, BASS_ChannelGetLength(placed, BASS_POS_BYTE) - 20 * 4, BASS_POS_BYTE));
    ASSERT_TRUE(BASS_MusicPlay(placed));
    EXPECT_GT(peak(mix(DWORD(kRate))), 1000) << "silent after being placed at the end of its pass";
    EXPECT_TRUE(BASS_MusicFree(placed));
    // As a sample a tune made to loop is rendered once.
    EXPECT_NE(BASS_SampleLoad(TRUE, looping.data(), 0, DWORD(looping.size()), 1, 0), 0u) << BASS_ErrorGetCode();
}

// The play calls of a show brought to its time are only written down; the
// engine then puts each channel where they have it.
TEST_F(AudioMusic, RehearsedPlaysArePlacedByShowTime)
{
    initOffline();
    cTempDir dir;
    const tBytes loop = repeatsThroughABreak(dir / "loop.mod");
    const tBytes brief = writerModule(dir / "brief.mod", false, "--patterns 1 --rows 8"); // 0.94 s
    ASSERT_FALSE(loop.empty() || brief.empty());
    const HMUSIC looping = loadMusic(loop, 0x2000), ended = loadMusic(brief, 0x2000), later = loadMusic(brief, 0x2000);
    const tBytes click = makeWav(tone(1000, int(kRate), 0.03, 2, 20000), 2, kRate);
    const HSAMPLE clicks = BASS_SampleLoad(TRUE, click.data(), 0, DWORD(click.size()), 16, 0);
    ASSERT_TRUE(looping && ended && later && clicks);

    ASSERT_TRUE(KXAUDIO_SetCue(0, 1, KXAUDIO_CUE_REHEARSE));
    ASSERT_TRUE(BASS_MusicPlay(looping));
    ASSERT_TRUE(BASS_MusicPlay(ended));
    for (int i = 1; i <= 10; ++i) {
        ASSERT_TRUE(KXAUDIO_SetCue(0.2 * i, 100 + i, KXAUDIO_CUE_REHEARSE));
        ASSERT_NE(BASS_SamplePlay(clicks), 0u);
    }
    ASSERT_TRUE(KXAUDIO_SetCue(10, 2, KXAUDIO_CUE_REHEARSE));
    ASSERT_TRUE(BASS_MusicPlay(later));
    ASSERT_TRUE(KXAUDIO_SetCue(6, 0, 0));
    EXPECT_TRUE(silent(mix(4096))); // rehearsed: nothing sounds
    EXPECT_EQ(KXAUDIO_PlayingMusic(), 0u);

    ASSERT_TRUE(KXAUDIO_PlaceChannels(6.0));
    // The looping tune round its loop (6 s is 1.875 + 0.375 s into the
    // song), at the start of a row; the rest silent.
    EXPECT_NEAR(double(KXAUDIO_ChannelPosition(looping)) / kRate, 2.25, 0.12);
    EXPECT_EQ(KXAUDIO_PlayingMusic(), looping);
    const QWORD here = KXAUDIO_ChannelPosition(looping);
    const tSamples out = mix(kRate / 2);
    EXPECT_GT(peak(out), 1000);
    int16_t data[1000];
    for (DWORD quiet : {DWORD(ended), DWORD(later), DWORD(clicks)}) {
        ASSERT_EQ(BASS_ChannelGetData(quiet, data, sizeof data), DWORD(sizeof data));
        EXPECT_TRUE(silent(tSamples(data, data + 1000))) << quiet;
    }
    // Placed again where it nearly is, a playing tune plays on untouched.
    ASSERT_TRUE(KXAUDIO_PlaceChannels(6.6));
    EXPECT_EQ(KXAUDIO_ChannelPosition(looping), here + kRate / 2);
    // Its later play made, the waiting tune starts from its beginning.
    ASSERT_TRUE(KXAUDIO_SetCue(10, 2, 0));
    ASSERT_TRUE(BASS_MusicPlay(later));
    mix(1000);
    EXPECT_EQ(KXAUDIO_ChannelPosition(later), 1000u);
    // Calls fail on bad arguments and outside a session.
    EXPECT_FALSE(KXAUDIO_SetCue(std::nan(""), 0, 0));
    EXPECT_FALSE(KXAUDIO_SetCue(0, 0, 2));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
    BASS_Free();
    EXPECT_FALSE(KXAUDIO_PlaceChannels(1.0));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);
}

TEST_F(AudioMusic, CallsCheckTheSessionAndTheKindOfHandle)
{
    const tBytes mod = makeMod();
    EXPECT_EQ(loadMusic(mod), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);

    initOffline();
    const tBytes wav = makeWav(tone(440, kRate, 0.1, 1, 1000), 1, kRate); // read as it plays
    const HMUSIC music = loadMusic(mod);
    const HSTREAM stream = loadStream(wav);
    ASSERT_NE(music, 0u);
    ASSERT_NE(stream, 0u);
    EXPECT_FALSE(BASS_MusicPlay(stream));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    EXPECT_FALSE(BASS_StreamPlay(music, FALSE, 0));
    EXPECT_FALSE(BASS_MusicFree(stream));
    EXPECT_FALSE(BASS_StreamFree(music));
    EXPECT_FALSE(BASS_SampleFree(music));
    EXPECT_EQ(BASS_SamplePlay(music), 0u);
    // Both are still alive after the wrong calls, and dead after the right ones.
    EXPECT_TRUE(BASS_MusicFree(music));
    EXPECT_TRUE(BASS_StreamFree(stream));
    EXPECT_FALSE(BASS_MusicPlay(music));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    EXPECT_FALSE(BASS_MusicPreBuf(music));
    EXPECT_FALSE(BASS_StreamPreBuf(stream));
}

// --- Streams -------------------------------------------------------------------

TEST_F(AudioStream, Wav440HzStreamsAt440HzAtTheFileRateAndResampled)
{
    for (int rate : {44100, 22050, 48000}) {
        SCOPED_TRACE(rate);
        initOffline();
        const tBytes wav = makeWav(tone(440, rate, 1.0, 1, 12000), 1, rate);
        const HSTREAM stream = loadStream(wav);
        ASSERT_NE(stream, 0u) << BASS_ErrorGetCode();
        ASSERT_TRUE(BASS_StreamPreBuf(stream));
        ASSERT_TRUE(BASS_StreamPlay(stream, FALSE, 0));
        const tSamples out = mix(kRate + 4096);
        EXPECT_EQ(dominantFrequency(out, 1000, 16384), 440.0);
        EXPECT_GT(power(out, 1000, 16384, 440), 100 * power(out, 1000, 16384, 880));
        EXPECT_NEAR(peak(out), 12000, 300);
        for (size_t i = 0; i < out.size(); i += 2) {
            ASSERT_EQ(out[i], out[i + 1]); // mono plays on both sides
        }
        // One second of sound at the output rate, then the stream ends.
        EXPECT_NEAR(double(KXAUDIO_ChannelPosition(stream)), kRate, 3);
        EXPECT_TRUE(silent(out, size_t(kRate + 3) * 2));
        ASSERT_TRUE(BASS_Free());
        BASS_SetOffline(FALSE);
    }
}

TEST_F(AudioStream, OggAndMp3DecodeTo440HzAndStereoKeepsItsSides)
{
    cTempDir dir;
    const tSamples mono = tone(440, kRate, 1.0, 1, 12000);
    const tBytes ogg = encodeOgg(dir, makeWav(mono, 1, kRate));
    const tBytes mp3 = encodeMp3(dir, mono, kRate);
    ASSERT_FALSE(ogg.empty()) << "neither oggenc nor sox made an OGG file";
    ASSERT_FALSE(mp3.empty()) << "libsndfile did not write MP3";
    initOffline();
    for (const tBytes* file : {&ogg, &mp3}) {
        const HSTREAM stream = loadStream(*file);
        ASSERT_NE(stream, 0u) << BASS_ErrorGetCode();
        ASSERT_TRUE(BASS_StreamPlay(stream, FALSE, 0));
        const tSamples out = mix(16384);
        EXPECT_EQ(dominantFrequency(out, 4000, 8192), 440.0);
        EXPECT_GT(peak(out), 8000);
        ASSERT_TRUE(BASS_StreamFree(stream));
    }
    const tBytes leftOnly = makeWav(tone(440, kRate, 0.2, 2, 9000, true), 2, kRate);
    ASSERT_TRUE(BASS_StreamPlay(loadStream(leftOnly), FALSE, 0));
    const tSamples out = mix(4000);
    EXPECT_GT(peak(out, 0), 8000);
    EXPECT_EQ(peak(out, 1), 0);
}

TEST_F(AudioStream, FlushAndEndRestartLoopRepeatsFreeStopsReading)
{
    initOffline();
    auto wav = std::make_unique<tBytes>(makeWav(tone(300, kRate, 0.1, 1, 9000), 1, kRate));
    const HSTREAM stream = loadStream(*wav); // 4410 frames
    ASSERT_TRUE(BASS_StreamPlay(stream, FALSE, 0));
    const tSamples first = mix(1000);
    mix(1000);
    ASSERT_TRUE(BASS_StreamPlay(stream, TRUE, 0)); // flush: from the start
    EXPECT_EQ(mix(1000), first);
    mix(8000); // past the end
    EXPECT_EQ(KXAUDIO_ChannelPosition(stream), 4410u);
    ASSERT_TRUE(BASS_StreamPlay(stream, FALSE, 0)); // after the end: from the start
    EXPECT_EQ(mix(1000), first);

    ASSERT_TRUE(BASS_StreamPlay(stream, TRUE, BASS_SAMPLE_LOOP));
    const tSamples looped = mix(3 * 4410 + 1000);
    EXPECT_EQ(KXAUDIO_ChannelPosition(stream), 3u * 4410 + 1000);
    EXPECT_TRUE(std::equal(first.begin(), first.end(), looped.begin() + 2 * 2 * 4410));

    ASSERT_TRUE(BASS_StreamFree(stream));
    wav.reset(); // the sanitizer build catches any later read
    EXPECT_TRUE(silent(mix(3000)));
    EXPECT_FALSE(BASS_StreamPlay(stream, FALSE, 0));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
}

// --- Samples -------------------------------------------------------------------

TEST_F(AudioSample, PlaybacksAddUpAndTheOldestIsCutAtTheLimit)
{
    initOffline();
    // A ramp: frame n holds n, so the sum tells which playbacks sound.
    tSamples ramp(20000);
    for (size_t i = 0; i < ramp.size(); ++i) {
        ramp[i] = int16_t(i);
    }
    const tBytes wav = makeWav(ramp, 1, kRate);
    const HSAMPLE sample = BASS_SampleLoad(TRUE, wav.data(), 0, DWORD(wav.size()), 2, BASS_SAMPLE_OVER_POS);
    ASSERT_NE(sample, 0u) << BASS_ErrorGetCode();
    EXPECT_TRUE(silent(mix(100)));

    EXPECT_EQ(BASS_SamplePlay(sample), sample);
    mix(100);
    BASS_SamplePlay(sample);
    mix(100);
    BASS_SamplePlay(sample); // a third: the first is cut
    const tSamples out = mix(100);
    for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(out[2 * size_t(i)], (100 + i) + i) << "frame " << i;
    }
    // The rest of the second playback, then the third alone, then silence.
    const tSamples tail = mix(20000);
    EXPECT_EQ(tail[2 * 1000], 1200 + 1100);
    EXPECT_EQ(tail[2 * 17000], 32767); // 17200 + 17100, saturated
    EXPECT_EQ(tail[2 * 19850], 19950); // the second ended at 19800: the third alone
    EXPECT_TRUE(silent(tail, 2 * 19900));
}

TEST_F(AudioSample, PauseHoldsEveryPlaybackAndModulesLoadAsSamples)
{
    initOffline();
    const tBytes wav = makeWav(tSamples(10000, 1000), 1, kRate); // a constant
    const HSAMPLE constant = BASS_SampleLoad(TRUE, wav.data(), 0, DWORD(wav.size()), 16, 0);
    ASSERT_NE(constant, 0u);
    BASS_SamplePlay(constant);
    BASS_SamplePlay(constant);
    EXPECT_EQ(mix(10)[0], 2000);
    ASSERT_TRUE(BASS_ChannelPause(constant));
    EXPECT_TRUE(silent(mix(500)));
    BASS_SamplePlay(constant); // resumes the two and starts a third
    EXPECT_EQ(mix(10)[1], 3000);
    ASSERT_TRUE(BASS_SampleFree(constant));
    EXPECT_EQ(BASS_SamplePlay(constant), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);

    const tBytes mod = makeMod(4);
    const HSAMPLE sample = BASS_SampleLoad(TRUE, mod.data(), 0, DWORD(mod.size()), 16, 0x10000);
    ASSERT_NE(sample, 0u) << BASS_ErrorGetCode();
    BASS_SamplePlay(sample);
    EXPECT_GT(peak(mix(4096)), 1000);
    mix(kRate);
    EXPECT_TRUE(silent(mix(1000))); // rendered once: 0.48 s

    EXPECT_EQ(BASS_SampleLoad(TRUE, wav.data(), 0, DWORD(wav.size()), 0, 0), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
}

// --- DSP procedures ------------------------------------------------------------

struct tTrace {
    std::vector<tSamples> blocks; // what each call was given
    std::vector<DWORD> lengths;
    std::vector<DWORD> channels;
    std::vector<std::thread::id> threads;
    int16_t write = 0; // written over every sample when nonzero
};

void CALLBACK traceDsp(HDSP, DWORD channel, void* buffer, DWORD length, void* user)
{
    auto* t = static_cast<tTrace*>(user);
    auto* s = static_cast<int16_t*>(buffer);
    t->blocks.emplace_back(s, s + length / 2);
    t->lengths.push_back(length);
    t->channels.push_back(channel);
    t->threads.push_back(std::this_thread::get_id());
    if (t->write != 0) {
        std::fill(s, s + length / 2, t->write);
    }
}

TEST_F(AudioDsp, SeesTheChannelsStereoBlocksAndItsChangesReachTheMix)
{
    initOffline();
    const DWORD channel = KXAUDIO_TestToneCreate(1000, 10000);
    tTrace trace;
    trace.write = 1234;
    const HDSP dsp = BASS_ChannelSetDSP(channel, &traceDsp, &trace, 0);
    ASSERT_NE(dsp, 0u);
    const tSamples out = mix(1500); // a full block and a part one

    ASSERT_EQ(trace.blocks.size(), 2u);
    EXPECT_EQ(trace.blocks[0].size(), 1024u * 2);
    EXPECT_EQ(trace.blocks[1].size(), 476u * 2);
    EXPECT_EQ(trace.channels[0], channel);
    // The tone as rendered, left and right, before the DSP.
    for (size_t i = 0; i < 1024; ++i) {
        const auto expected = int16_t(std::lround(10000 * std::sin(2 * kPi * 1000 * double(i) / kRate)));
        ASSERT_NEAR(trace.blocks[0][2 * i], expected, 1);
        ASSERT_EQ(trace.blocks[0][2 * i + 1], trace.blocks[0][2 * i]);
    }
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](int16_t v) { return v == 1234; }));
    int16_t data[1000];
    ASSERT_EQ(BASS_ChannelGetData(channel, data, 2000), 2000u);
    EXPECT_TRUE(std::all_of(data, data + 1000, [](int16_t v) { return v == 1234; }));

    // Removed: not called again, and the tone comes through untouched.
    ASSERT_TRUE(BASS_ChannelRemoveDSP(channel, dsp));
    EXPECT_FALSE(BASS_ChannelRemoveDSP(channel, dsp));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    EXPECT_GT(peak(mix(1000)), 9000);
    EXPECT_EQ(trace.blocks.size(), 2u);

    EXPECT_EQ(BASS_ChannelSetDSP(channel, nullptr, &trace, 0), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
    EXPECT_EQ(BASS_ChannelSetDSP(0, &traceDsp, &trace, 0), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    const DWORD other = KXAUDIO_TestToneCreate(600, 5000);
    const HDSP again = BASS_ChannelSetDSP(channel, &traceDsp, &trace, 0);
    EXPECT_NE(again, dsp);                             // handles are not reused
    EXPECT_FALSE(BASS_ChannelRemoveDSP(other, again)); // not that channel's
    ASSERT_TRUE(KXAUDIO_ChannelFree(channel));         // frees its procedures too
    EXPECT_FALSE(BASS_ChannelRemoveDSP(channel, again));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    mix(2048);
    EXPECT_EQ(trace.blocks.size(), 2u);
}

struct tStep {
    int mul;
    int add;
    std::vector<int>* order;
    int id;
};

void CALLBACK stepDsp(HDSP, DWORD, void* buffer, DWORD length, void* user)
{
    auto* step = static_cast<tStep*>(user);
    auto* s = static_cast<int16_t*>(buffer);
    for (DWORD i = 0; i < length / 2; ++i) {
        s[i] = int16_t(s[i] * step->mul + step->add);
    }
    if (step->order->empty() || step->order->back() != step->id) {
        step->order->push_back(step->id);
    }
}

TEST_F(AudioDsp, RunInPriorityOrderThenAttachOrder)
{
    initOffline();
    const DWORD channel = KXAUDIO_TestToneCreate(0, 0); // silence
    std::vector<int> order;
    tStep timesTwo{2, 0, &order, 1}, plusThree{1, 3, &order, 2}, plusOne{1, 1, &order, 3};
    ASSERT_NE(BASS_ChannelSetDSP(channel, &stepDsp, &timesTwo, 0), 0u);
    ASSERT_NE(BASS_ChannelSetDSP(channel, &stepDsp, &plusOne, 0), 0u);
    ASSERT_NE(BASS_ChannelSetDSP(channel, &stepDsp, &plusThree, 5), 0u);
    const tSamples out = mix(10);
    // (0 + 3) * 2 + 1: priority 5 first, then the two of priority 0 as attached.
    EXPECT_EQ(out[0], 7);
    EXPECT_EQ(order, (std::vector<int>{2, 1, 3}));
}

// Calls made from inside a DSP procedure, on the mixing thread.
struct tReentrant {
    DWORD channel = 0;
    HDSP self = 0;
    int calls = 0;
    int step = 0;
    DWORD gotData = 0;
    HDSP added = 0;
    HMUSIC loaded = 0;
    BOOL freed = FALSE;
    const tBytes* mod = nullptr;
    tTrace trace;
};

void CALLBACK reentrantDsp(HDSP, DWORD channel, void* buffer, DWORD, void* user)
{
    auto* r = static_cast<tReentrant*>(user);
    ++r->calls;
    int16_t data[100];
    switch (r->step) {
    case 0: // read its own data and attach another procedure behind itself
        r->gotData = BASS_ChannelGetData(channel, data, sizeof data);
        r->added = BASS_ChannelSetDSP(channel, &traceDsp, &r->trace, -1);
        break;
    case 1: // load and start a module, pause and remove itself
        r->loaded = BASS_MusicLoad(TRUE, r->mod->data(), 0, DWORD(r->mod->size()), 0, 0);
        BASS_MusicPlay(r->loaded);
        BASS_ChannelRemoveDSP(channel, r->self);
        BASS_ChannelPause(channel);
        break;
    }
    static_cast<int16_t*>(buffer)[0] = 1;
}

void CALLBACK freeingDsp(HDSP, DWORD channel, void*, DWORD, void* user)
{
    auto* r = static_cast<tReentrant*>(user);
    ++r->calls;
    r->freed = KXAUDIO_ChannelFree(channel);
}

TEST_F(AudioDsp, CallsFromInsideAProcedureDoNotDeadlock)
{
    initOffline();
    const tBytes mod = makeMod();
    tReentrant r;
    r.mod = &mod;
    r.channel = KXAUDIO_TestToneCreate(500, 5000);
    r.self = BASS_ChannelSetDSP(r.channel, &reentrantDsp, &r, 0);
    ASSERT_NE(r.self, 0u);

    mix(1024);
    EXPECT_EQ(r.gotData, 200u);
    ASSERT_NE(r.added, 0u);
    EXPECT_TRUE(r.trace.blocks.empty()); // attached during the block: from the next one
    r.step = 1;
    mix(1024);
    EXPECT_EQ(r.trace.blocks.size(), 1u); // ran after the first, before it removed itself
    ASSERT_NE(r.loaded, 0u);
    const tSamples later = mix(4096);
    EXPECT_EQ(r.calls, 2);                // removed itself
    EXPECT_EQ(r.trace.blocks.size(), 1u); // its channel is paused
    EXPECT_GT(peak(later), 1000);         // the module loaded inside plays
    EXPECT_TRUE(BASS_MusicFree(r.loaded));

    // A procedure that frees its own channel: the handle dies, the mixer goes on.
    tReentrant f;
    const DWORD doomed = KXAUDIO_TestToneCreate(500, 5000);
    ASSERT_NE(BASS_ChannelSetDSP(doomed, &freeingDsp, &f, 0), 0u);
    ASSERT_NE(BASS_ChannelSetDSP(doomed, &traceDsp, &f.trace, -1), 0u);
    mix(2048);
    EXPECT_EQ(f.calls, 1);
    EXPECT_TRUE(f.freed);
    EXPECT_TRUE(f.trace.blocks.empty()); // nothing ran after the channel was freed
    EXPECT_FALSE(BASS_ChannelPause(doomed));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
}

// A call a procedure makes once, on the mixing thread, and what came of it.
struct tCallInside {
    std::function<BOOL()> call;
    std::atomic<bool> done{false};
    BOOL result = TRUE;
    int error = BASS_OK;
};

void CALLBACK callingDsp(HDSP, DWORD, void*, DWORD, void* user)
{
    auto* c = static_cast<tCallInside*>(user);
    if (!c->done) {
        c->result = c->call();
        c->error = BASS_ErrorGetCode();
        c->done = true;
    }
}

// The calls that wait for the mixer (or would move the channel being mixed)
// fail from a procedure, offline and on the null device's thread; none may
// wait for the block that is calling it.
TEST_F(AudioDsp, SessionAndCueCallsFromAProcedureFailInsteadOfDeadlocking)
{
    struct {
        const char* what;
        std::function<BOOL()> call;
    } const calls[] = {
        {"BASS_Init", [] { return BASS_Init(-2, kRate, 0, nullptr, nullptr); }},
        {"BASS_Start", [] { return BASS_Start(); }},
        {"BASS_Stop", [] { return BASS_Stop(); }},
        {"BASS_Free", [] { return BASS_Free(); }},
        {"BASS_SetOffline", [] { return BASS_SetOffline(FALSE); }},
        {"BASS_MixOffline",
         [] {
             int16_t block[8];
             return BOOL(BASS_MixOffline(block, 2) != 0);
         }},
        {"KXAUDIO_SetCue", [] { return KXAUDIO_SetCue(1.0, 0, 0); }},
        {"KXAUDIO_ForgetCues", [] { return KXAUDIO_ForgetCues(0.0, TRUE); }},
        {"KXAUDIO_PlaceChannels", [] { return KXAUDIO_PlaceChannels(1.0); }},
    };
    for (const bool offline : {true, false}) {
        for (const auto& call : calls) {
            SCOPED_TRACE(std::string(call.what) + (offline ? " offline" : " on the null device"));
            if (offline) {
                initOffline();
            } else {
                ASSERT_TRUE(BASS_Init(-2, kRate, 0, nullptr, nullptr));
            }
            tCallInside inside;
            inside.call = call.call;
            const DWORD channel = KXAUDIO_TestToneCreate(500, 5000);
            ASSERT_NE(BASS_ChannelSetDSP(channel, &callingDsp, &inside, 0), 0u);
            auto mixed = std::async(std::launch::async, [&] {
                if (offline) {
                    int16_t block[2048 * 2];
                    BASS_MixOffline(block, 2048);
                }
                for (int i = 0; i < 1000 && !inside.done; ++i) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                }
            });
            if (mixed.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
                ADD_FAILURE() << "deadlocked";
                std::_Exit(1); // the mixing thread cannot be joined
            }
            EXPECT_TRUE(inside.done);
            EXPECT_FALSE(inside.result);
            EXPECT_EQ(inside.error, BASS_ERROR_NOTAVAIL);
            EXPECT_TRUE(BASS_Free());
            BASS_SetOffline(FALSE);
        }
    }
}

// Real time on the null device: the procedures run on its thread.
TEST_F(AudioDsp, RunOnTheMixingThreadInRealTime)
{
    ASSERT_TRUE(BASS_Init(-2, kRate, 0, nullptr, nullptr));
    const tBytes mod = makeMod();
    const HMUSIC music = loadMusic(mod);
    ASSERT_TRUE(BASS_MusicPlay(music));
    auto trace = std::make_unique<tTrace>();
    const HDSP dsp = BASS_ChannelSetDSP(music, &traceDsp, trace.get(), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_TRUE(BASS_ChannelRemoveDSP(music, dsp));
    // Removal waited for the mixer: the record is ours alone now.
    ASSERT_GE(trace->blocks.size(), 3u);
    for (size_t i = 0; i < trace->blocks.size(); ++i) {
        EXPECT_NE(trace->threads[i], std::this_thread::get_id());
        EXPECT_EQ(trace->lengths[i], 1024u * 4); // the null device's blocks
        EXPECT_EQ(trace->channels[i], music);
    }
    int16_t data[1000];
    ASSERT_EQ(BASS_ChannelGetData(music, data, 2000), 2000u);
    EXPECT_GT(peak(tSamples(data, data + 1000)), 0);
}

TEST_F(AudioDsp, ALostDeviceIsReportedOnceAndTheMixGoesOnInRealTime)
{
    // The system's default device. On Windows the waveOut output takes the
    // path of a write the driver refuses, or of a driver that keeps every
    // buffer; SDL's dummy driver has nothing to unplug, so there the device
    // counts as lost at once.
    const struct {
        const char* how;
        BOOL (*lose)();
    } ways[] = {{"a refused write", KXAUDIO_LoseDevice}, {"a hung device", KXAUDIO_StallDevice}};
    for (const auto& way : ways) {
        SCOPED_TRACE(way.how);
        if (!BASS_Init(-1, kRate, 0, nullptr, nullptr)) {
            GTEST_SKIP() << "no output device here (error " << BASS_ErrorGetCode() << ")";
        }
        const tBytes mod = makeMod();
        const HMUSIC music = loadMusic(mod, BASS_SAMPLE_LOOP);
        ASSERT_TRUE(BASS_MusicPlay(music));
        EXPECT_EQ(KXAUDIO_DeviceLost(), nullptr);
        ASSERT_TRUE(way.lose());
        for (int i = 0; i < 400 && !KXAUDIO_DeviceLost(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ASSERT_NE(KXAUDIO_DeviceLost(), nullptr);
        const std::string why = KXAUDIO_DeviceLost();
        // Mixing goes on, at about the real-time rate.
        const QWORD before = BASS_ChannelGetPosition(music, BASS_POS_BYTE);
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        const double moved = BASS_ChannelBytes2Seconds(music, BASS_ChannelGetPosition(music, BASS_POS_BYTE) - before);
        EXPECT_GT(moved, 0.2);
        EXPECT_LT(moved, 0.8);
        EXPECT_EQ(KXAUDIO_DeviceLost(), why) << "the first reason is kept";
        ASSERT_TRUE(BASS_Free());
        EXPECT_EQ(KXAUDIO_DeviceLost(), nullptr);
    }
}

// A record that the mixer must not touch once its procedure is removed.
struct tLiveRecord {
    static constexpr uint32_t kAlive = 0x4B584455;
    uint32_t magic = kAlive;
    long calls = 0;
};

std::atomic<int> deadRecordCalls{0};

void CALLBACK invertDsp(HDSP, DWORD, void* buffer, DWORD length, void* user)
{
    auto* record = static_cast<tLiveRecord*>(user);
    if (record->magic != tLiveRecord::kAlive) {
        deadRecordCalls.fetch_add(1);
        return;
    }
    ++record->calls;
    auto* s = static_cast<int16_t*>(buffer);
    for (DWORD i = 0; i < length / 2; ++i) {
        s[i] = int16_t(-(s[i] / 2));
    }
}

TEST_F(AudioDsp, SwitchingProceduresAndChannelsWhileTheNullDeviceMixes)
{
    ASSERT_TRUE(BASS_Init(-2, kRate, 0, nullptr, nullptr));
    const tBytes mod = makeMod();
    const tBytes wav = makeWav(tone(440, kRate, 0.5, 2, 8000), 2, kRate);
    const HMUSIC music = loadMusic(mod, BASS_SAMPLE_LOOP);
    ASSERT_TRUE(BASS_MusicPlay(music));
    long calls = 0;
    auto data = std::make_unique<tBytes>(wav);
    HSTREAM stream = loadStream(*data, BASS_SAMPLE_LOOP);
    ASSERT_TRUE(BASS_StreamPlay(stream, FALSE, 0));
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    int rounds = 0;
    while (std::chrono::steady_clock::now() < until) {
        ++rounds;
        auto* a = new tLiveRecord;
        auto* b = new tLiveRecord;
        const HDSP da = BASS_ChannelSetDSP(music, &invertDsp, a, rounds % 3);
        const HDSP db = BASS_ChannelSetDSP(stream, &invertDsp, b, 0);
        ASSERT_NE(da, 0u);
        ASSERT_NE(db, 0u);
        std::this_thread::sleep_for(std::chrono::microseconds(200 * (rounds % 7)));
        int16_t buffer[1000];
        BASS_ChannelGetData(rounds % 2 ? music : stream, buffer, 2000);
        ASSERT_TRUE(BASS_ChannelRemoveDSP(music, da));
        if (rounds % 5 == 0) {
            // Freeing the stream drops its procedures with it.
            ASSERT_TRUE(BASS_StreamFree(stream));
            std::fill(data->begin(), data->end(), 0xEE);
            data = std::make_unique<tBytes>(wav);
            stream = loadStream(*data, BASS_SAMPLE_LOOP);
            ASSERT_NE(stream, 0u);
            ASSERT_TRUE(BASS_StreamPlay(stream, FALSE, 0));
        } else {
            ASSERT_TRUE(BASS_ChannelRemoveDSP(stream, db));
        }
        calls += a->calls + b->calls;
        a->magic = 0;
        b->magic = 0;
        delete a;
        delete b;
    }
    EXPECT_TRUE(BASS_Free());
    EXPECT_GT(rounds, 100);
    EXPECT_GT(calls, 0);
    EXPECT_EQ(deadRecordCalls.load(), 0);
}

// --- Channel data ------------------------------------------------------------

TEST_F(AudioChannelData, EachChannelKeepsItsOwnLatestFrames)
{
    initOffline();
    const DWORD channel = KXAUDIO_TestToneCreate(700, 3000);
    const DWORD quiet = KXAUDIO_TestToneCreate(441, 100);
    std::vector<int16_t> buffer(40000, int16_t(0x5555));
    ASSERT_EQ(BASS_ChannelGetData(channel, buffer.data(), 2000), 2000u);
    EXPECT_TRUE(silent(tSamples(buffer.begin(), buffer.begin() + 1000))); // before any mixing
    mix(20000);
    ASSERT_EQ(BASS_ChannelGetData(quiet, buffer.data(), 2000), 2000u);
    EXPECT_NEAR(peak(tSamples(buffer.begin(), buffer.begin() + 1000)), 100, 2);
    // Whole frames only, and no more than it keeps.
    EXPECT_EQ(BASS_ChannelGetData(channel, buffer.data(), 2003), 2000u);
    EXPECT_EQ(buffer[1001], 0x5555);
    EXPECT_EQ(BASS_ChannelGetData(channel, buffer.data(), 80000), 32768u);
    for (DWORD i = 0; i < 8192; ++i) {
        const DWORD n = 20000 - 8192 + i;
        ASSERT_NEAR(buffer[2 * i], std::lround(3000 * std::sin(2 * kPi * 700 * n / kRate)), 1) << i;
    }
    EXPECT_EQ(BASS_ChannelGetData(channel, nullptr, 2000), DWORD(-1));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
    ASSERT_TRUE(KXAUDIO_ChannelFree(channel));
    EXPECT_EQ(BASS_ChannelGetData(channel, buffer.data(), 2000), DWORD(-1));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
}

// --- Hostile input -------------------------------------------------------------

// Loads `bytes` with each loader: each either refuses with an error code or
// gives a channel that plays a second without harm. With `mustRefuse` all
// three must refuse.
void expectRefusedOrHarmless(const tBytes& bytes, const std::string& what, bool mustRefuse)
{
    SCOPED_TRACE(what);
    DWORD handles[3];
    handles[0] = BASS_MusicLoad(TRUE, bytes.data(), 0, DWORD(bytes.size()), 0, 0);
    const int musicError = BASS_ErrorGetCode();
    handles[1] = BASS_StreamCreateFile(TRUE, bytes.data(), 0, bytes.size(), 0);
    const int streamError = BASS_ErrorGetCode();
    handles[2] = BASS_SampleLoad(TRUE, bytes.data(), 0, DWORD(bytes.size()), 16, 0);
    const int sampleError = BASS_ErrorGetCode();
    EXPECT_EQ(handles[0] == 0, musicError != BASS_OK);
    EXPECT_EQ(handles[1] == 0, streamError != BASS_OK);
    EXPECT_EQ(handles[2] == 0, sampleError != BASS_OK);
    for (int i = 0; i < 3; ++i) {
        const DWORD handle = handles[i];
        if (handle == 0) {
            continue;
        }
        EXPECT_FALSE(mustRefuse) << "accepted by loader " << i;
        // Whatever was accepted plays (or ends) without harm.
        BASS_MusicPlay(handle);
        BASS_StreamPlay(handle, FALSE, 0);
        BASS_SamplePlay(handle);
        std::vector<int16_t> out(size_t(kRate) * 2);
        EXPECT_EQ(BASS_MixOffline(out.data(), kRate), kRate);
    }
    for (DWORD handle : handles) {
        if (handle) {
            EXPECT_TRUE(BASS_MusicFree(handle) || BASS_StreamFree(handle) || BASS_SampleFree(handle));
        }
    }
}

TEST_F(AudioHostile, CorruptAndTruncatedFilesAreRefusedOrHarmless)
{
    cTempDir dir;
    const tBytes mod = makeMod();
    const tBytes wav = makeWav(tone(440, kRate, 0.5, 2, 9000), 2, kRate);
    const tBytes ogg = encodeOgg(dir, wav);
    const tBytes mp3 = encodeMp3(dir, tone(440, kRate, 0.5, 1, 9000), kRate);
    ASSERT_FALSE(ogg.empty());
    ASSERT_FALSE(mp3.empty());
    initOffline();

    tBytes garbage(5000);
    uint32_t x = 12345;
    for (auto& b : garbage) {
        x = x * 1664525u + 1013904223u;
        b = static_cast<unsigned char>(x >> 24);
    }
    // Bytes that look like the start of an MP3 stream and then go wrong.
    tBytes fakeMp3 = garbage;
    for (size_t i = 0; i + 4 < fakeMp3.size(); i += 417) {
        fakeMp3[i] = 0xFF;
        fakeMp3[i + 1] = 0xFB;
    }
    tBytes id3 = garbage;
    std::memcpy(id3.data(), "ID3\x04\x00\x00\x7F\x7F\x7F\x7F", 10); // a tag claiming 256 MB
    // Headers that claim 200 MB of sample data behind a few bytes.
    const tBytes wavHeaderOnly(makeWav({}, 2, kRate, 200u << 20));
    tBytes wavTruncated(wav.begin(), wav.begin() + 1000);
    put32(wavTruncated, 40, 200u << 20);
    tBytes modHugeSample = mod;
    modHugeSample[22 + 20] = 0xFF; // sample length 0xFF10 words
    modHugeSample[23 + 20] = 0x10;

    expectRefusedOrHarmless(garbage, "garbage", true);
    expectRefusedOrHarmless(fakeMp3, "frame syncs in garbage", false);
    expectRefusedOrHarmless(id3, "ID3 tag over garbage", false);
    expectRefusedOrHarmless(tBytes(mod.begin(), mod.begin() + 100), "MOD cut in its header", true);
    expectRefusedOrHarmless(tBytes(mod.begin(), mod.begin() + 1500), "MOD cut in its pattern", false);
    expectRefusedOrHarmless(modHugeSample, "MOD claiming a huge sample", false);
    expectRefusedOrHarmless(wavHeaderOnly, "WAV header alone", false);
    expectRefusedOrHarmless(wavTruncated, "WAV cut short", false);
    expectRefusedOrHarmless(tBytes(wav.begin(), wav.begin() + 30), "WAV cut in its header", true);
    expectRefusedOrHarmless(tBytes(ogg.begin(), ogg.begin() + 60), "OGG cut in its header", true);
    expectRefusedOrHarmless(tBytes(ogg.begin(), ogg.begin() + ogg.size() / 2), "OGG cut in half", false);
    expectRefusedOrHarmless(tBytes(mp3.begin(), mp3.begin() + mp3.size() * 2 / 3), "MP3 cut short", false);
    tBytes oggFlipped = ogg;
    for (size_t i = 200; i < oggFlipped.size(); i += 97) {
        oggFlipped[i] ^= 0x5A;
    }
    expectRefusedOrHarmless(oggFlipped, "OGG with flipped bytes", false);
    // Nothing is left behind by the refusals and the frees.
    std::vector<int16_t> out(2048);
    ASSERT_EQ(BASS_MixOffline(out.data(), 1024), 1024u);
    EXPECT_TRUE(silent(out));
}

TEST_F(AudioHostile, AnExceptionInALoadBecomesItsErrorCode)
{
    initOffline();
    const tBytes mod = makeMod(4);
    const tBytes wav = makeWav(tone(440, kRate, 0.1, 1, 1000), 1, kRate);
    struct tLoad {
        const char* what;
        std::function<DWORD()> load;
    } const loads[] = {
        {"music", [&] { return loadMusic(mod); }},
        {"stream", [&] { return loadStream(wav); }},
        {"sample", [&] { return BASS_SampleLoad(TRUE, wav.data(), 0, DWORD(wav.size()), 1, 0); }},
    };
    const std::pair<int, int> faults[] = {
        {KXAUDIO_FAULT_RUNTIME, BASS_ERROR_UNKNOWN}, {KXAUDIO_FAULT_LOCK, BASS_ERROR_UNKNOWN},
        {KXAUDIO_FAULT_RESOURCES, BASS_ERROR_MEM},   {KXAUDIO_FAULT_MEMORY, BASS_ERROR_MEM},
        {KXAUDIO_FAULT_FOREIGN, BASS_ERROR_UNKNOWN},
    };
    for (const tLoad& l : loads) {
        for (const auto& [fault, code] : faults) {
            SCOPED_TRACE(std::string(l.what) + ", fault " + std::to_string(fault));
            KXAUDIO_ThrowInNextLoad(fault);
            EXPECT_EQ(l.load(), 0u);
            EXPECT_EQ(BASS_ErrorGetCode(), code);
            EXPECT_NE(l.load(), 0u); // the next load is normal again
            EXPECT_EQ(BASS_ErrorGetCode(), BASS_OK);
        }
    }
}

TEST_F(AudioHostile, EmptyMissingAndAbsurdArgumentsAreRefused)
{
    cTempDir dir;
    initOffline();
    const tBytes wav = makeWav(tone(440, kRate, 0.1, 1, 9000), 1, kRate);
    writeFile(dir / "empty.wav", {});
    writeFile(dir / "tone", wav); // a name without extension
    const std::string empty = (dir / "empty.wav").string();
    const std::string missing = (dir / "missing").string();
    const std::string named = (dir / "tone").string();
    const std::string folder = (dir / "folder").string();
    fs::create_directory(folder);

    struct tCase {
        const char* what;
        BOOL mem;
        const void* file;
        QWORD offset;
        QWORD length;
        int error;
    };
    const tCase cases[] = {
        {"0 bytes in memory", TRUE, wav.data(), 0, 0, BASS_ERROR_ILLPARAM},
        {"null pointer", TRUE, nullptr, 0, 100, BASS_ERROR_ILLPARAM},
        {"600 MB claimed", TRUE, wav.data(), 0, 600u << 20, BASS_ERROR_ILLPARAM},
        {"offset wrapping the address space", TRUE, wav.data(), ~0ull - 10, 100, BASS_ERROR_ILLPARAM},
        {"0-byte file", FALSE, empty.c_str(), 0, 0, BASS_ERROR_FILEFORM},
        {"missing file", FALSE, missing.c_str(), 0, 0, BASS_ERROR_FILEOPEN},
        {"a folder", FALSE, folder.c_str(), 0, 0, BASS_ERROR_FILEOPEN},
        {"offset past the end", FALSE, named.c_str(), 1u << 20, 0, BASS_ERROR_FILEOPEN},
    };
    for (const tCase& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(BASS_MusicLoad(c.mem, c.file, c.offset, DWORD(std::min<QWORD>(c.length, ~0u)), 0, 0), 0u);
        EXPECT_EQ(BASS_ErrorGetCode(), c.error);
        EXPECT_EQ(BASS_StreamCreateFile(c.mem, c.file, c.offset, c.length, 0), 0u);
        EXPECT_EQ(BASS_ErrorGetCode(), c.error);
        EXPECT_EQ(BASS_SampleLoad(c.mem, c.file, c.offset, DWORD(std::min<QWORD>(c.length, ~0u)), 16, 0), 0u);
        EXPECT_EQ(BASS_ErrorGetCode(), c.error);
    }
    // Data of the wrong kind for the call.
    const tBytes mod = makeMod();
    EXPECT_EQ(loadStream(mod), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM);
    EXPECT_EQ(loadMusic(wav), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM);

    // From disk, a name without extension is read by its content; an offset
    // and a length pick a file out of a bigger one.
    writeFile(dir / "tune", mod);
    EXPECT_NE(BASS_MusicLoad(FALSE, (dir / "tune").string().c_str(), 0, 0, 0, 0), 0u);
    EXPECT_NE(BASS_StreamCreateFile(FALSE, named.c_str(), 0, 0, 0), 0u);
    tBytes packed(100 + wav.size() + 50, 0x77);
    std::copy(wav.begin(), wav.end(), packed.begin() + 100);
    writeFile(dir / "packed.bin", packed);
    const HSTREAM inner = BASS_StreamCreateFile(FALSE, (dir / "packed.bin").string().c_str(), 100, wav.size(), 0);
    ASSERT_NE(inner, 0u) << BASS_ErrorGetCode();
    const HSTREAM inMemory = BASS_StreamCreateFile(TRUE, packed.data(), 100, wav.size(), 0);
    ASSERT_NE(inMemory, 0u) << BASS_ErrorGetCode();
    ASSERT_TRUE(BASS_StreamPlay(inner, FALSE, 0));
    const tSamples out = mix(8192);
    EXPECT_EQ(KXAUDIO_ChannelPosition(inner), 4410u);
    EXPECT_NEAR(peak(out), 9000, 10);
}

} // namespace
