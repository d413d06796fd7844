// Channel positions, seeks and lengths, and the spectrum of channels and of
// the whole mix, in offline mode where every frame is known.
//
// Fixtures are made here: WAV files of computed tones and ramps, and the
// project's tune as kx_module_writer writes it.

#include "audio/bass.h"
#include "audio/handles.h"
#include "audio/testtone.h"
#include "tests/test_util.h"
#include "tests/wav_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr DWORD kRate = 44100;
constexpr double kPi = 3.14159265358979323846;

using tBytes = std::vector<unsigned char>;
using tSamples = std::vector<int16_t>;

// A mono 16-bit PCM WAV file of `samples` at `rate`.
tBytes makeWav(const tSamples& samples, int rate) { return kxtest::makeWav(samples, 1, rate); }

// Frame n holds a value that tells n apart from its neighbours: a ramp
// that wraps every 30000 frames.
tSamples ramp(size_t frames)
{
    tSamples s(frames);
    for (size_t i = 0; i < frames; ++i) s[i] = int16_t(int(i % 30000) - 15000);
    return s;
}

// The project's tune cut to `patterns` patterns of 64 rows at 128 beats per
// minute; empty when the writer fails.
tBytes makeWriterModule(int patterns)
{
    const fs::path file = fs::temp_directory_path() / ("kxaudio-position-" + std::to_string(patterns) + ".mod");
    const std::string cmd = kxtest::quoted(kxtest::toolPath(KX_MODULE_WRITER_PATH)) + " --patterns " +
                            std::to_string(patterns) + " " + kxtest::quoted(file.string()) + " >" +
                            kxtest::nullDevice();
    if (kxtest::runCommand(cmd) != 0) return {};
    tBytes bytes;
    {
        // Closed before the removal: Windows refuses to remove an open file.
        std::ifstream in(file, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::error_code ignored;
    fs::remove(file, ignored);
    return bytes;
}

// Each tune is written once per run: the tests share it, and the live test
// below then starts no program while its device mixes.
const tBytes& writerModule(int patterns)
{
    static std::map<int, tBytes> made;
    auto it = made.find(patterns);
    if (it == made.end() || it->second.empty()) it = made.insert_or_assign(patterns, makeWriterModule(patterns)).first;
    return it->second;
}

// One row of the tune: speed 6 at 128 beats per minute (libopenmpt makes a
// tick a whole number of frames, so its rows are a little shorter).
constexpr double kRowSeconds = 6 * 2.5 / 128;

DWORD orderRow(DWORD order, DWORD row) { return (row << 16) | order; }

class AudioPositionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        BASS_Free();
        ASSERT_TRUE(BASS_SetOffline(TRUE));
        ASSERT_TRUE(BASS_Init(-1, kRate, 0, nullptr, nullptr));
    }
    void TearDown() override
    {
        BASS_Free();
        BASS_SetOffline(FALSE);
    }

    static tSamples mix(DWORD frames)
    {
        tSamples s(size_t(frames) * 2);
        EXPECT_EQ(BASS_MixOffline(s.data(), frames), frames);
        return s;
    }
    static HSTREAM loadStream(const tBytes& file, DWORD flags = 0)
    {
        return BASS_StreamCreateFile(TRUE, file.data(), 0, file.size(), flags);
    }
    static HMUSIC loadMusic(const tBytes& mod, DWORD flags = 0)
    {
        return BASS_MusicLoad(TRUE, mod.data(), 0, DWORD(mod.size()), flags, 0);
    }
};

using AudioPosition = AudioPositionTest;

TEST_F(AudioPosition, OfflineMixingMovesEveryPlayingChannelByItsFrames)
{
    const tBytes mod = writerModule(1);
    ASSERT_FALSE(mod.empty());
    const tBytes wav = makeWav(ramp(1000), kRate);
    const HMUSIC music = loadMusic(mod);
    const HSTREAM looped = loadStream(wav, BASS_SAMPLE_LOOP);
    const DWORD tone = KXAUDIO_TestToneCreate(1000, 1000);
    ASSERT_TRUE(music && looped && tone);
    EXPECT_EQ(KXAUDIO_PlayingMusic(), 0u); // a tone is no music
    ASSERT_TRUE(BASS_MusicPlay(music));
    ASSERT_TRUE(BASS_StreamPlay(looped, FALSE, 0));
    DWORD mixed = 0;
    for (DWORD chunk : {1u, 1470u, 1024u, 5000u, 333u}) {
        mix(chunk);
        mixed += chunk;
        for (DWORD handle : {music, looped, tone}) {
            EXPECT_EQ(BASS_ChannelGetPosition(handle, BASS_POS_BYTE), QWORD(mixed) * 4) << handle;
        }
    }
    // Play time, not the place in the file: the looped stream is past its
    // length.
    EXPECT_EQ(BASS_ChannelGetLength(looped, BASS_POS_BYTE), 4000u);
    EXPECT_DOUBLE_EQ(BASS_ChannelBytes2Seconds(music, BASS_ChannelGetPosition(music, BASS_POS_BYTE)),
                     double(mixed) / kRate);

    // The music heard is the one started or resumed last that still plays.
    EXPECT_EQ(KXAUDIO_PlayingMusic(), looped);
    ASSERT_TRUE(BASS_MusicPlay(music)); // resumed: now the newest
    EXPECT_EQ(KXAUDIO_PlayingMusic(), music);
    ASSERT_TRUE(BASS_ChannelPause(music));
    EXPECT_EQ(KXAUDIO_PlayingMusic(), looped);
    const HSAMPLE sample = BASS_SampleLoad(TRUE, wav.data(), 0, DWORD(wav.size()), 4, 0);
    ASSERT_EQ(BASS_SamplePlay(sample), sample);
    EXPECT_EQ(KXAUDIO_PlayingMusic(), looped); // samples are sounds, not music
    ASSERT_TRUE(BASS_StreamFree(looped));
    EXPECT_EQ(KXAUDIO_PlayingMusic(), 0u);
    // A paused channel keeps its place.
    mix(777);
    EXPECT_EQ(BASS_ChannelGetPosition(music, BASS_POS_BYTE), QWORD(mixed) * 4);
}

TEST_F(AudioPosition, AStreamSeeksToTheFrameItWouldPlayThere)
{
    const tSamples source = ramp(40000);
    struct tCase {
        int rate;
        DWORD frame;
    } const cases[] = {
        {44100, 0}, {44100, 12345}, {44100, 39000}, {22050, 1}, {22050, 33333}, {48000, 7}, {48000, 25000},
    };
    for (const tCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rate << " Hz, frame " << c.frame);
        const tBytes wav = makeWav(source, c.rate);
        // The reference: played straight through, to its end.
        const HSTREAM straight = loadStream(wav);
        ASSERT_TRUE(BASS_StreamPlay(straight, FALSE, 0));
        const tSamples whole = mix(100000);
        const QWORD played = BASS_ChannelGetPosition(straight, BASS_POS_BYTE);
        EXPECT_EQ(BASS_ChannelGetLength(straight, BASS_POS_BYTE), played);
        ASSERT_TRUE(BASS_StreamFree(straight));

        const HSTREAM stream = loadStream(wav);
        ASSERT_TRUE(BASS_StreamPlay(stream, FALSE, 0));
        mix(3000);
        ASSERT_TRUE(BASS_ChannelSetPosition(stream, QWORD(c.frame) * 4 + 3, BASS_POS_BYTE)); // whole frames
        EXPECT_EQ(BASS_ChannelGetPosition(stream, BASS_POS_BYTE), QWORD(c.frame) * 4);
        const tSamples after = mix(2000);
        const size_t n = std::min<size_t>(2000, size_t(played / 4 - c.frame));
        ASSERT_TRUE(std::equal(after.begin(), after.begin() + std::ptrdiff_t(2 * n),
                               whole.begin() + std::ptrdiff_t(2 * size_t(c.frame))));
        ASSERT_TRUE(BASS_StreamFree(stream));
    }
}

TEST_F(AudioPosition, SeekingPastTheEndFailsAtTheEndPlaysNothingAfterTheEndResumes)
{
    const tBytes wav = makeWav(ramp(4410), kRate);
    const HSTREAM stream = loadStream(wav);
    ASSERT_TRUE(BASS_StreamPlay(stream, FALSE, 0));
    EXPECT_FALSE(BASS_ChannelSetPosition(stream, 4411 * 4, BASS_POS_BYTE));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_POSITION);
    ASSERT_TRUE(BASS_ChannelSetPosition(stream, 4410 * 4, BASS_POS_BYTE));
    EXPECT_EQ(mix(100), tSamples(200, 0));
    EXPECT_EQ(KXAUDIO_PlayingMusic(), 0u); // it ended there
    // Moved back after its end, a play call resumes from the new place
    // instead of starting over.
    ASSERT_TRUE(BASS_ChannelSetPosition(stream, 4000 * 4, BASS_POS_BYTE));
    ASSERT_TRUE(BASS_StreamPlay(stream, FALSE, 0));
    const tSamples out = mix(500);
    EXPECT_EQ(out[0], ramp(4410)[4000]);
    EXPECT_EQ(out[2 * 409], ramp(4410)[4409]);
    EXPECT_EQ(out[2 * 410], 0);
    EXPECT_EQ(BASS_ChannelGetPosition(stream, BASS_POS_BYTE), 4410u * 4);
}

TEST_F(AudioPosition, AModuleSeeksByOrderAndRowAndByTime)
{
    const tBytes mod = writerModule(2);
    ASSERT_FALSE(mod.empty());
    const HMUSIC music = loadMusic(mod);
    ASSERT_NE(music, 0u);
    EXPECT_EQ(BASS_ChannelGetLength(music, BASS_POS_MUSIC_ORDER), 2u);
    EXPECT_NEAR(BASS_ChannelBytes2Seconds(music, BASS_ChannelGetLength(music, BASS_POS_BYTE)), 128 * kRowSeconds, 0.01);
    EXPECT_EQ(BASS_ChannelGetPosition(music, BASS_POS_MUSIC_ORDER), orderRow(0, 0));
    ASSERT_TRUE(BASS_MusicPlay(music));

    struct tCase {
        DWORD order, row;
    } const rows[] = {{1, 16}, {0, 3}, {1, 63}, {0, 0}};
    for (const tCase& c : rows) {
        SCOPED_TRACE(testing::Message() << "order " << c.order << " row " << c.row);
        ASSERT_TRUE(BASS_ChannelSetPosition(music, orderRow(c.order, c.row), BASS_POS_MUSIC_ORDER));
        ASSERT_TRUE(BASS_MusicPlay(music)); // after the song's end too: from the new place
        EXPECT_EQ(BASS_ChannelGetPosition(music, BASS_POS_MUSIC_ORDER), orderRow(c.order, c.row));
        const double at = (64 * c.order + c.row) * kRowSeconds;
        EXPECT_NEAR(BASS_ChannelBytes2Seconds(music, BASS_ChannelGetPosition(music, BASS_POS_BYTE)), at, 0.01);
        mix(DWORD(1.5 * kRowSeconds * kRate)); // into the next row
        const DWORD next = c.row == 63 ? orderRow(c.order + 1, 0) : orderRow(c.order, c.row + 1);
        if (c.order < 1 || c.row < 63) { // the last row is the song's end
            EXPECT_EQ(BASS_ChannelGetPosition(music, BASS_POS_MUSIC_ORDER), next);
        }
    }
    // By time, in the first order and the second: libopenmpt lands on the
    // start of a row near it, and the position says which.
    for (double seconds : {3.0, 9.0, 0.0}) {
        SCOPED_TRACE(seconds);
        ASSERT_TRUE(BASS_ChannelSetPosition(music, BASS_ChannelSeconds2Bytes(music, seconds), BASS_POS_BYTE));
        const double landed = BASS_ChannelBytes2Seconds(music, BASS_ChannelGetPosition(music, BASS_POS_BYTE));
        EXPECT_NEAR(landed, seconds, kRowSeconds);
        const auto row = DWORD(std::lround(landed / kRowSeconds));
        EXPECT_NEAR(landed, row * kRowSeconds, 0.01);
        EXPECT_EQ(BASS_ChannelGetPosition(music, BASS_POS_MUSIC_ORDER), orderRow(row / 64, row % 64));
    }
    // Places the song does not have.
    for (QWORD bad : {QWORD(orderRow(2, 0)), QWORD(orderRow(0, 64)), QWORD(orderRow(0xFFFF, 0)), QWORD(1) << 32}) {
        EXPECT_FALSE(BASS_ChannelSetPosition(music, bad, BASS_POS_MUSIC_ORDER)) << bad;
        EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_POSITION);
    }
    EXPECT_FALSE(BASS_ChannelSetPosition(music, BASS_ChannelGetLength(music, BASS_POS_BYTE) + 4, BASS_POS_BYTE));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_POSITION);
    const tSamples still = mix(8000); // and it still plays
    EXPECT_TRUE(std::any_of(still.begin(), still.end(), [](int16_t v) { return v != 0; }));
}

TEST_F(AudioPosition, ASampleSeeksItsNewestPlayback)
{
    const tBytes wav = makeWav(ramp(20000), kRate);
    const HSAMPLE sample = BASS_SampleLoad(TRUE, wav.data(), 0, DWORD(wav.size()), 4, 0);
    ASSERT_NE(sample, 0u);
    EXPECT_EQ(BASS_ChannelGetLength(sample, BASS_POS_BYTE), 20000u * 4);
    EXPECT_FALSE(BASS_ChannelSetPosition(sample, 0, BASS_POS_BYTE)); // nothing sounds
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_NOTAVAIL);
    BASS_SamplePlay(sample);
    mix(100);
    BASS_SamplePlay(sample);
    mix(100);
    EXPECT_EQ(BASS_ChannelGetPosition(sample, BASS_POS_BYTE), 100u * 4);
    // The newest jumps ahead of the oldest, ends first, and the oldest plays on.
    ASSERT_TRUE(BASS_ChannelSetPosition(sample, 19950 * 4, BASS_POS_BYTE));
    const tSamples out = mix(100);
    EXPECT_EQ(out[0], ramp(20000)[200] + ramp(20000)[19950]);
    EXPECT_EQ(out[2 * 60], ramp(20000)[260]);
    EXPECT_EQ(BASS_ChannelGetPosition(sample, BASS_POS_BYTE), 300u * 4); // the one left
}

TEST(AudioPositionLive, SeeksWhileTheNullDeviceMixes)
{
    const tBytes mod = writerModule(2);
    const tBytes wav = makeWav(ramp(40000), 22050);
    ASSERT_FALSE(mod.empty());
    BASS_Free();
    BASS_SetOffline(FALSE);
    ASSERT_TRUE(BASS_Init(-2, kRate, 0, nullptr, nullptr));
    const HMUSIC music = BASS_MusicLoad(TRUE, mod.data(), 0, DWORD(mod.size()), BASS_SAMPLE_LOOP, 0);
    const HSTREAM stream = BASS_StreamCreateFile(TRUE, wav.data(), 0, wav.size(), BASS_SAMPLE_LOOP);
    ASSERT_TRUE(BASS_MusicPlay(music) && BASS_StreamPlay(stream, FALSE, 0));
    for (DWORD i = 0; i < 200; ++i) {
        ASSERT_TRUE(BASS_ChannelSetPosition(music, orderRow(i % 2, i % 64), BASS_POS_MUSIC_ORDER));
        ASSERT_TRUE(BASS_ChannelSetPosition(stream, QWORD(i * 397 % 80000) * 4, BASS_POS_BYTE));
        EXPECT_LT(BASS_ChannelGetPosition(music, BASS_POS_MUSIC_ORDER) & 0xFFFF, 2u);
        EXPECT_EQ(KXAUDIO_PlayingMusic(), stream);
    }
    BASS_Free();
}

TEST_F(AudioPosition, BadHandlesModesAndValuesAreRefused)
{
    const tBytes wav = makeWav(ramp(1000), kRate);
    const HSTREAM stream = loadStream(wav);
    const DWORD tone = KXAUDIO_TestToneCreate(440, 1000);
    ASSERT_TRUE(stream && tone);
    const QWORD none = ~QWORD(0);
    struct tCase {
        const char* what;
        std::function<bool()> fails;
        int code;
    } const cases[] = {
        {"position of no handle", [&] { return BASS_ChannelGetPosition(12345, BASS_POS_BYTE) == none; },
         BASS_ERROR_HANDLE},
        {"position in another mode", [&] { return BASS_ChannelGetPosition(stream, 2) == none; }, BASS_ERROR_ILLPARAM},
        {"order of a stream", [&] { return BASS_ChannelGetPosition(stream, BASS_POS_MUSIC_ORDER) == none; },
         BASS_ERROR_NOTAVAIL},
        {"seek of no handle", [&] { return !BASS_ChannelSetPosition(0, 0, BASS_POS_BYTE); }, BASS_ERROR_HANDLE},
        {"seek in another mode", [&] { return !BASS_ChannelSetPosition(stream, 0, 7); }, BASS_ERROR_ILLPARAM},
        {"seek of a stream by order", [&] { return !BASS_ChannelSetPosition(stream, 0, BASS_POS_MUSIC_ORDER); },
         BASS_ERROR_NOTAVAIL},
        {"length of a tone", [&] { return BASS_ChannelGetLength(tone, BASS_POS_BYTE) == none; }, BASS_ERROR_NOTAVAIL},
        {"orders of a stream", [&] { return BASS_ChannelGetLength(stream, BASS_POS_MUSIC_ORDER) == none; },
         BASS_ERROR_NOTAVAIL},
        {"length in another mode", [&] { return BASS_ChannelGetLength(stream, 9) == none; }, BASS_ERROR_ILLPARAM},
        {"seconds of no handle", [&] { return BASS_ChannelBytes2Seconds(999, 4) < 0; }, BASS_ERROR_HANDLE},
        {"negative seconds", [&] { return BASS_ChannelSeconds2Bytes(stream, -0.5) == none; }, BASS_ERROR_ILLPARAM},
        {"not a number", [&] { return BASS_ChannelSeconds2Bytes(stream, std::nan("")) == none; }, BASS_ERROR_ILLPARAM},
        {"infinity", [&] { return BASS_ChannelSeconds2Bytes(stream, HUGE_VAL) == none; }, BASS_ERROR_ILLPARAM},
        {"absurdly long", [&] { return BASS_ChannelSeconds2Bytes(stream, 1e300) == none; }, BASS_ERROR_ILLPARAM},
        {"bytes of no handle", [&] { return BASS_ChannelSeconds2Bytes(999, 1.0) == none; }, BASS_ERROR_HANDLE},
    };
    for (const tCase& c : cases) {
        EXPECT_TRUE(c.fails()) << c.what;
        EXPECT_EQ(BASS_ErrorGetCode(), c.code) << c.what;
    }
    // Whole frames, rounded down; a time made from a frame count gives it back.
    EXPECT_EQ(BASS_ChannelSeconds2Bytes(stream, 1.0), 4u * kRate);
    EXPECT_EQ(BASS_ChannelSeconds2Bytes(stream, 0.99999), 4u * 44099);
    for (QWORD bytes : {QWORD(0), QWORD(4), QWORD(4) * 12345, QWORD(4) * 999999937}) {
        EXPECT_EQ(BASS_ChannelSeconds2Bytes(stream, BASS_ChannelBytes2Seconds(stream, bytes)), bytes);
    }
    BASS_Free();
    EXPECT_EQ(KXAUDIO_PlayingMusic(), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);
}

} // namespace

// --- Spectrum and the mix --------------------------------------------------------

using AudioSpectrum = AudioPositionTest;

// The spectrum of `handle` with `flag` (BASS_DATA_FFTn), n / 2 bins.
std::vector<float> spectrum(DWORD handle, DWORD flag)
{
    const DWORD frames = 256u << (flag & 0xF);
    std::vector<float> bins(frames / 2, -1.0f);
    EXPECT_EQ(BASS_ChannelGetData(handle, bins.data(), flag), frames * 4);
    return bins;
}

size_t loudest(const std::vector<float>& bins)
{
    return size_t(std::max_element(bins.begin(), bins.end()) - bins.begin());
}

TEST_F(AudioSpectrum, ATonePeaksInItsBinAtItsAmplitude)
{
    // 1033.6 Hz and 5168 Hz lie at the centre of a bin at every size; 1 and
    // 5 kHz do not, and the Hann window's scalloping takes up to 15% off.
    struct tCase {
        double freq;
        int amplitude;
        double low, high; // of the loudest bin, as a fraction of the amplitude
    } const cases[] = {
        {1000, 32767, 0.84, 1.0},
        {5000, 32767, 0.84, 1.0},
        {1000, 16384, 0.84, 1.0},
        {5000, 16384, 0.84, 1.0},
        {6 * 44100.0 / 256, 32767, 0.99, 1.01},
        {30 * 44100.0 / 256, 16384, 0.99, 1.01},
    };
    for (const tCase& c : cases) {
        const DWORD tone = KXAUDIO_TestToneCreate(c.freq, c.amplitude);
        mix(9000);
        for (DWORD flag = BASS_DATA_FFT256; flag <= BASS_DATA_FFT8192; ++flag) {
            SCOPED_TRACE(testing::Message()
                         << c.freq << " Hz at " << c.amplitude << ", FFT of " << (256 << (flag & 0xF)));
            const std::vector<float> bins = spectrum(tone, flag);
            const size_t peak = loudest(bins);
            EXPECT_EQ(peak, size_t(std::lround(c.freq * double(bins.size() * 2) / kRate)));
            const double full = c.amplitude / 32768.0;
            EXPECT_GE(bins[peak], c.low * full);
            EXPECT_LE(bins[peak], c.high * full);
            // Away from the tone, next to nothing.
            EXPECT_LT(bins[peak > bins.size() / 2 ? peak / 4 : std::min(bins.size() - 1, peak * 3)], 0.001);
        }
        ASSERT_TRUE(KXAUDIO_ChannelFree(tone));
    }
}

TEST_F(AudioSpectrum, TheMixIsEveryChannelAfterItsVolume)
{
    tSamples silence(1000, 1);
    EXPECT_EQ(BASS_ChannelGetData(KXAUDIO_MIX, silence.data(), 2000), 2000u);
    EXPECT_EQ(silence, tSamples(1000, 0)); // nothing mixed yet
    const double low = 6 * 44100.0 / 256;
    const double high = 30 * 44100.0 / 256;
    ASSERT_NE(KXAUDIO_TestToneCreate(low, 16384), 0u);
    const DWORD second = KXAUDIO_TestToneCreate(high, 16384);
    ASSERT_TRUE(BASS_ChannelSetAttribute(second, BASS_ATTRIB_VOL, 0.5f));
    const tSamples out = mix(10000);

    tSamples latest(1000);
    ASSERT_EQ(BASS_ChannelGetData(KXAUDIO_MIX, latest.data(), 2000), 2000u);
    EXPECT_TRUE(std::equal(latest.begin(), latest.end(), out.end() - 1000));
    std::vector<float> floats(1000);
    ASSERT_EQ(BASS_ChannelGetData(KXAUDIO_MIX, floats.data(), BASS_DATA_FLOAT | 4000), 4000u);
    for (size_t i = 0; i < floats.size(); ++i) {
        ASSERT_EQ(floats[i], float(out[out.size() - 1000 + i]) / 32768.0f) << i;
    }

    const std::vector<float> mixed = spectrum(KXAUDIO_MIX, BASS_DATA_FFT2048);
    const std::vector<float> own = spectrum(second, BASS_DATA_FFT2048);
    const auto bin = [](double freq) { return size_t(std::lround(freq * 2048 / kRate)); };
    EXPECT_NEAR(mixed[bin(low)], 0.5, 0.01);
    EXPECT_NEAR(mixed[bin(high)], 0.25, 0.01); // at half volume in the mix
    EXPECT_NEAR(own[bin(high)], 0.5, 0.01);    // the channel's own data is before its volume
    EXPECT_LT(own[bin(low)], 0.001);

    // A new session starts from silence.
    BASS_Free();
    EXPECT_EQ(BASS_ChannelGetData(KXAUDIO_MIX, latest.data(), 2000), DWORD(-1));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);
    ASSERT_TRUE(BASS_Init(-1, kRate, 0, nullptr, nullptr));
    ASSERT_EQ(BASS_ChannelGetData(KXAUDIO_MIX, latest.data(), 2000), 2000u);
    EXPECT_EQ(latest, tSamples(1000, 0));
}

TEST_F(AudioSpectrum, LengthsAndFlagsItDoesNotKnowAreRefused)
{
    const DWORD tone = KXAUDIO_TestToneCreate(440, 1000);
    std::vector<float> out(16384);
    struct tCase {
        DWORD handle;
        void* buffer;
        DWORD length;
        DWORD result;
        int code;
    } const cases[] = {
        {tone, out.data(), 0x80000006, DWORD(-1), BASS_ERROR_ILLPARAM},         // no FFT of 16384
        {tone, out.data(), 0x80000010, DWORD(-1), BASS_ERROR_ILLPARAM},         // a flag unknown here
        {tone, out.data(), 0xA0000002, DWORD(-1), BASS_ERROR_ILLPARAM},         // another
        {tone, nullptr, BASS_DATA_FFT512, DWORD(-1), BASS_ERROR_ILLPARAM},      // nowhere to write
        {tone, nullptr, BASS_DATA_FLOAT | 8, DWORD(-1), BASS_ERROR_ILLPARAM},   // nowhere to write
        {tone + 1, out.data(), BASS_DATA_FFT512, DWORD(-1), BASS_ERROR_HANDLE}, // no such channel
        {tone, out.data(), BASS_DATA_FLOAT | BASS_DATA_FFT512, 2048, BASS_OK},  // floats anyway
        {tone, out.data(), BASS_DATA_FLOAT | 100000, 65536, BASS_OK},           // all there is
        {tone, out.data(), BASS_DATA_FLOAT | 15, 8, BASS_OK},                   // whole frames
        {tone, nullptr, BASS_DATA_AVAILABLE, 32768, BASS_OK},
        {KXAUDIO_MIX, nullptr, BASS_DATA_FLOAT, 65536, BASS_OK},
        {tone + 1, nullptr, BASS_DATA_AVAILABLE, DWORD(-1), BASS_ERROR_HANDLE},
    };
    for (const tCase& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.length);
        EXPECT_EQ(BASS_ChannelGetData(c.handle, c.buffer, c.length), c.result);
        EXPECT_EQ(BASS_ErrorGetCode(), c.code);
    }
}

TEST(AudioHandles, TheMixsHandleIsNeverAChannels)
{
    kxaudio::cHandleTable<int> table(KXAUDIO_MIX - 1);
    EXPECT_EQ(table.add(std::make_shared<int>(1)), KXAUDIO_MIX - 1);
    EXPECT_EQ(table.add(std::make_shared<int>(2)), KXAUDIO_MIX + 1);
}
