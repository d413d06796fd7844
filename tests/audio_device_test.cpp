// The audio engine's output session, offline mode, mixer and handles.

#include "audio/bass.h"
#include "audio/handles.h"
#include "audio/testtone.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <thread>
#include <vector>

namespace {

constexpr DWORD kRate = 44100;

// The tone channel's frame n, as its contract states it.
int toneSample(double freq, int amplitude, unsigned long long n)
{
    const double pi = 3.14159265358979323846;
    return int(std::lround(double(amplitude) * std::sin(2.0 * pi * freq * double(n) / kRate)));
}

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Every test starts and ends uninitialised, online, on SDL's dummy driver.
class AudioTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        BASS_Free();
        BASS_SetOffline(FALSE);
    }
    void TearDown() override
    {
        BASS_Free();
        BASS_SetOffline(FALSE);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
    }

    // Mixes `frames` frames offline and returns the interleaved samples.
    std::vector<int16_t> mixOffline(DWORD frames)
    {
        std::vector<int16_t> samples(size_t(frames) * 2, int16_t(0x5555));
        EXPECT_EQ(BASS_MixOffline(samples.data(), frames), frames);
        return samples;
    }

    void initOffline()
    {
        ASSERT_TRUE(BASS_SetOffline(TRUE));
        ASSERT_TRUE(BASS_Init(-1, kRate, 0, nullptr, nullptr));
    }
};

using AudioDevice = AudioTest;
using AudioOffline = AudioTest;
using AudioMixer = AudioTest;

// --- Session ---------------------------------------------------------------

TEST_F(AudioDevice, InitFreeAndInitAgainOnTheDefaultDevice)
{
    ASSERT_TRUE(BASS_Init(-1, kRate, 0, nullptr, nullptr));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_OK);
    EXPECT_TRUE(BASS_Free());
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_OK);
    ASSERT_TRUE(BASS_Init(-1, kRate, 0, nullptr, nullptr));
    EXPECT_TRUE(BASS_Free());
}

TEST_F(AudioDevice, SecondInitFailsWithAlready)
{
    ASSERT_TRUE(BASS_Init(-1, kRate, 0, nullptr, nullptr));
    EXPECT_FALSE(BASS_Init(-1, kRate, 0, nullptr, nullptr));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ALREADY);
    EXPECT_FALSE(BASS_Init(-2, kRate, 0, nullptr, nullptr));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ALREADY);
    // The first session is untouched and still closes normally.
    EXPECT_TRUE(BASS_Free());
}

TEST_F(AudioDevice, CallsWithoutInitFailWithInit)
{
    EXPECT_FALSE(BASS_Free());
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);
    EXPECT_FALSE(BASS_Start());
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);
    EXPECT_FALSE(BASS_Stop());
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);
    EXPECT_EQ(KXAUDIO_TestToneCreate(440, 1000), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);
    // Free after Free is as harmless as the first.
    ASSERT_TRUE(BASS_Init(-2, kRate, 0, nullptr, nullptr));
    EXPECT_TRUE(BASS_Free());
    EXPECT_FALSE(BASS_Free());
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);
}

TEST_F(AudioDevice, DefaultDeviceFailureIsReportedAndTheNullDeviceStillMixes)
{
    setenv("SDL_AUDIODRIVER", "no-such-audio-driver", 1);
    EXPECT_FALSE(BASS_Init(-1, kRate, 0, nullptr, nullptr));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_DRIVER);
    ASSERT_TRUE(BASS_Init(-2, kRate, 0, nullptr, nullptr));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_OK);
    // The null device mixes without any SDL driver.
    const unsigned long long before = KXAUDIO_MixedFrames();
    sleepMs(100);
    EXPECT_GT(KXAUDIO_MixedFrames(), before);
    EXPECT_TRUE(BASS_Free());
    // Device 0 is the null device too.
    ASSERT_TRUE(BASS_Init(0, kRate, 0, nullptr, nullptr));
    EXPECT_TRUE(BASS_Free());
}

TEST_F(AudioDevice, DeviceNumbersAndRatesAreChecked)
{
    // The dummy driver has exactly one device: number 1.
    ASSERT_TRUE(BASS_Init(1, kRate, 0, nullptr, nullptr));
    EXPECT_TRUE(BASS_Free());
    EXPECT_FALSE(BASS_Init(1000, kRate, 0, nullptr, nullptr));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_DEVICE);
    EXPECT_FALSE(BASS_Init(-3, kRate, 0, nullptr, nullptr));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_DEVICE);
    EXPECT_FALSE(BASS_Init(-2, 0, 0, nullptr, nullptr));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
    EXPECT_FALSE(BASS_Init(-1, 10000000, 0, nullptr, nullptr));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
    // None of the failures left a session open.
    EXPECT_FALSE(BASS_Free());
}

// --- Real-time mixing ------------------------------------------------------

TEST_F(AudioDevice, NullDeviceMixesAtAboutRealTime)
{
    ASSERT_TRUE(BASS_Init(-2, kRate, 0, nullptr, nullptr));
    const DWORD tone = KXAUDIO_TestToneCreate(440, 1000);
    ASSERT_NE(tone, 0u);
    sleepMs(50); // let the thread settle into its schedule
    const auto t0 = std::chrono::steady_clock::now();
    const unsigned long long mixed0 = KXAUDIO_MixedFrames();
    const unsigned long long pos0 = KXAUDIO_ChannelPosition(tone);
    sleepMs(300);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double mixed = double(KXAUDIO_MixedFrames() - mixed0);
    const double expected = seconds * kRate;
    EXPECT_GT(mixed, 0.5 * expected);
    EXPECT_LT(mixed, 2.0 * expected);
    // The playing channel advanced with the mix.
    EXPECT_GT(double(KXAUDIO_ChannelPosition(tone) - pos0), 0.5 * expected);
}

TEST_F(AudioDevice, SdlDeviceRunsTheMixer)
{
    ASSERT_TRUE(BASS_Init(-1, kRate, 0, nullptr, nullptr));
    const unsigned long long before = KXAUDIO_MixedFrames();
    sleepMs(300);
    EXPECT_GT(KXAUDIO_MixedFrames() - before, 0.25 * 0.3 * kRate);
}

void expectStopHaltsAndStartResumes(int device)
{
    ASSERT_TRUE(BASS_Init(device, kRate, 0, nullptr, nullptr));
    const DWORD tone = KXAUDIO_TestToneCreate(440, 1000);
    ASSERT_NE(tone, 0u);
    sleepMs(100);
    ASSERT_TRUE(BASS_Stop());
    const unsigned long long mixed = KXAUDIO_MixedFrames();
    const unsigned long long position = KXAUDIO_ChannelPosition(tone);
    EXPECT_GT(position, 0u);
    sleepMs(150);
    EXPECT_EQ(KXAUDIO_MixedFrames(), mixed);
    EXPECT_EQ(KXAUDIO_ChannelPosition(tone), position);
    EXPECT_TRUE(BASS_Stop()); // stopping twice is harmless
    ASSERT_TRUE(BASS_Start());
    EXPECT_TRUE(BASS_Start());
    sleepMs(150);
    EXPECT_GT(KXAUDIO_MixedFrames(), mixed);
    EXPECT_GT(KXAUDIO_ChannelPosition(tone), position);
}

TEST_F(AudioDevice, StopHaltsMixingAndStartResumesOnTheNullDevice) { expectStopHaltsAndStartResumes(-2); }

TEST_F(AudioDevice, StopHaltsMixingAndStartResumesOnAnSdlDevice) { expectStopHaltsAndStartResumes(-1); }

TEST_F(AudioDevice, ChannelsChangeWhileTheNullDeviceMixes)
{
    ASSERT_TRUE(BASS_Init(-2, kRate, 0, nullptr, nullptr));
    std::vector<DWORD> live;
    for (int i = 0; i < 300; ++i) {
        const DWORD tone = KXAUDIO_TestToneCreate(100 + i, 500);
        ASSERT_NE(tone, 0u);
        live.push_back(tone);
        if (i % 3 == 2) {
            EXPECT_TRUE(KXAUDIO_ChannelSetPlaying(live.front(), FALSE));
            EXPECT_TRUE(KXAUDIO_ChannelFree(live.front()));
            live.erase(live.begin());
        }
        if (i % 50 == 0) {
            sleepMs(5);
        }
    }
    EXPECT_EQ(live.size(), 200u);
    // Free releases the channels that are still there.
    EXPECT_TRUE(BASS_Free());
    ASSERT_TRUE(BASS_Init(-2, kRate, 0, nullptr, nullptr));
    for (DWORD handle : live) {
        EXPECT_FALSE(KXAUDIO_ChannelFree(handle));
        EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    }
}

// --- Offline mode -----------------------------------------------------------

TEST_F(AudioOffline, MixesExactlyTheRequestedFrames)
{
    initOffline();
    const unsigned long long before = KXAUDIO_MixedFrames();
    sleepMs(60); // no thread of its own: nothing is mixed meanwhile
    EXPECT_EQ(KXAUDIO_MixedFrames(), before);

    // Silence, written over every frame asked for and no further.
    std::vector<int16_t> samples(3001 * 2, int16_t(0x5555));
    EXPECT_EQ(BASS_MixOffline(samples.data(), 3000), 3000u);
    EXPECT_EQ(KXAUDIO_MixedFrames() - before, 3000u);
    EXPECT_TRUE(std::all_of(samples.begin(), samples.begin() + 6000, [](int16_t s) { return s == 0; }));
    EXPECT_EQ(samples[6000], 0x5555);
    EXPECT_EQ(samples[6001], 0x5555);
    EXPECT_EQ(BASS_MixOffline(samples.data(), 0), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_OK);
}

TEST_F(AudioOffline, ToneAppearsInTheMixAcrossBlocks)
{
    initOffline();
    const double freq = 441.0;
    const int amplitude = 12000;
    const DWORD tone = KXAUDIO_TestToneCreate(freq, amplitude);
    ASSERT_NE(tone, 0u);
    // Uneven request sizes cross the mixer's internal block boundaries.
    unsigned long long n = 0;
    int peak = 0;
    for (DWORD frames : {1u, 1023u, 1025u, 5000u, 77u}) {
        const std::vector<int16_t> samples = mixOffline(frames);
        for (DWORD i = 0; i < frames; ++i, ++n) {
            const int expected = toneSample(freq, amplitude, n);
            ASSERT_NEAR(samples[2 * i], expected, 1) << "frame " << n;
            ASSERT_EQ(samples[2 * i + 1], samples[2 * i]) << "frame " << n;
            peak = std::max(peak, std::abs(int(samples[2 * i])));
        }
    }
    EXPECT_EQ(KXAUDIO_ChannelPosition(tone), n);
    EXPECT_NEAR(peak, amplitude, 1);
}

TEST_F(AudioOffline, StopGivesSilenceAndKeepsPositions)
{
    initOffline();
    const double freq = 300.0;
    const DWORD tone = KXAUDIO_TestToneCreate(freq, 8000);
    ASSERT_NE(tone, 0u);
    mixOffline(500);
    ASSERT_TRUE(BASS_Stop());
    const std::vector<int16_t> stopped = mixOffline(400);
    EXPECT_TRUE(std::all_of(stopped.begin(), stopped.end(), [](int16_t s) { return s == 0; }));
    EXPECT_EQ(KXAUDIO_ChannelPosition(tone), 500u);
    ASSERT_TRUE(BASS_Start());
    const std::vector<int16_t> resumed = mixOffline(200);
    for (DWORD i = 0; i < 200; ++i) {
        ASSERT_NEAR(resumed[2 * i], toneSample(freq, 8000, 500 + i), 1) << "frame " << i;
    }
}

TEST_F(AudioOffline, RejectsMisuse)
{
    int16_t buffer[8] = {};
    EXPECT_EQ(BASS_MixOffline(buffer, 2), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);

    // Not offline: the device does the mixing.
    ASSERT_TRUE(BASS_Init(-2, kRate, 0, nullptr, nullptr));
    EXPECT_EQ(BASS_MixOffline(buffer, 2), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_NOTAVAIL);
    EXPECT_FALSE(BASS_SetOffline(TRUE));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ALREADY);
    EXPECT_TRUE(BASS_Free());

    initOffline();
    EXPECT_EQ(BASS_MixOffline(nullptr, 2), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
    EXPECT_TRUE(BASS_Free());
}

TEST_F(AudioOffline, OpensNoDeviceEvenWithoutADriver)
{
    setenv("SDL_AUDIODRIVER", "no-such-audio-driver", 1);
    initOffline();
    // Any byte address will do; the frames are 4 bytes each.
    std::vector<unsigned char> bytes(4 * 16 + 1, 0xAA);
    const DWORD tone = KXAUDIO_TestToneCreate(1000, 20000);
    ASSERT_NE(tone, 0u);
    EXPECT_EQ(BASS_MixOffline(bytes.data() + 1, 16), 16u);
    int16_t frame5[2];
    std::memcpy(frame5, bytes.data() + 1 + 5 * 4, 4);
    EXPECT_NEAR(frame5[0], toneSample(1000, 20000, 5), 1);
    EXPECT_EQ(bytes[0], 0xAA);
}

// --- Mixer ------------------------------------------------------------------

TEST_F(AudioMixer, SumsChannelsAndSaturates)
{
    initOffline();
    const double freq = 220.5; // 200 frames a period
    const DWORD a = KXAUDIO_TestToneCreate(freq, 30000);
    const DWORD b = KXAUDIO_TestToneCreate(freq, 30000);
    const DWORD quiet = KXAUDIO_TestToneCreate(freq * 3, 1000);
    ASSERT_NE(a, 0u);
    ASSERT_NE(b, 0u);
    ASSERT_NE(quiet, 0u);
    const std::vector<int16_t> samples = mixOffline(400);
    int clippedHigh = 0, clippedLow = 0;
    for (DWORD i = 0; i < 400; ++i) {
        const int sum = 2 * toneSample(freq, 30000, i) + toneSample(freq * 3, 1000, i);
        const int expected = std::clamp(sum, -32768, 32767);
        ASSERT_NEAR(samples[2 * i], expected, 3) << "frame " << i;
        clippedHigh += samples[2 * i] == 32767;
        clippedLow += samples[2 * i] == -32768;
    }
    // Far past full scale at both crests: saturated, not wrapped round.
    EXPECT_GT(clippedHigh, 50);
    EXPECT_GT(clippedLow, 50);
}

TEST_F(AudioMixer, VolumeScalesAChannelsShareOfTheMix)
{
    initOffline();
    const double freq = 220.5;
    const DWORD tone = KXAUDIO_TestToneCreate(freq, 20000);
    ASSERT_NE(tone, 0u);
    ASSERT_TRUE(BASS_ChannelSetAttribute(tone, BASS_ATTRIB_VOL, 0.25f));
    std::vector<int16_t> samples = mixOffline(200);
    for (DWORD i = 0; i < 200; ++i) ASSERT_NEAR(samples[2 * i], toneSample(freq, 20000, i) * 0.25, 3) << "frame " << i;
    // Out of range clamps; other attributes and NaN are refused.
    ASSERT_TRUE(BASS_ChannelSetAttribute(tone, BASS_ATTRIB_VOL, -3.0f));
    samples = mixOffline(50);
    EXPECT_TRUE(std::all_of(samples.begin(), samples.end(), [](int16_t s) { return s == 0; }));
    EXPECT_FALSE(BASS_ChannelSetAttribute(tone, 99, 0.5f));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
    EXPECT_FALSE(BASS_ChannelSetAttribute(tone, BASS_ATTRIB_VOL, std::nanf("")));
    EXPECT_FALSE(BASS_ChannelSetAttribute(12345, BASS_ATTRIB_VOL, 0.5f));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
}

TEST_F(AudioMixer, PausedChannelIsSilentAndKeepsItsPosition)
{
    initOffline();
    const DWORD tone = KXAUDIO_TestToneCreate(500, 10000);
    ASSERT_NE(tone, 0u);
    mixOffline(100);
    ASSERT_TRUE(KXAUDIO_ChannelSetPlaying(tone, FALSE));
    const std::vector<int16_t> paused = mixOffline(300);
    EXPECT_TRUE(std::all_of(paused.begin(), paused.end(), [](int16_t s) { return s == 0; }));
    EXPECT_EQ(KXAUDIO_ChannelPosition(tone), 100u);
    ASSERT_TRUE(KXAUDIO_ChannelSetPlaying(tone, TRUE));
    const std::vector<int16_t> resumed = mixOffline(10);
    EXPECT_NEAR(resumed[2 * 3], toneSample(500, 10000, 103), 1);
}

TEST_F(AudioMixer, FreedHandleIsDeadAndNeverReused)
{
    initOffline();
    const DWORD first = KXAUDIO_TestToneCreate(500, 10000);
    ASSERT_NE(first, 0u);
    ASSERT_TRUE(KXAUDIO_ChannelFree(first));
    EXPECT_FALSE(KXAUDIO_ChannelFree(first));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    EXPECT_FALSE(KXAUDIO_ChannelSetPlaying(first, TRUE));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    EXPECT_EQ(KXAUDIO_ChannelPosition(first), ~0ull);
    EXPECT_FALSE(KXAUDIO_ChannelFree(0));

    const DWORD second = KXAUDIO_TestToneCreate(500, 10000);
    ASSERT_NE(second, 0u);
    EXPECT_NE(second, first);
    // The freed channel is gone from the mix.
    const std::vector<int16_t> samples = mixOffline(50);
    EXPECT_NEAR(samples[2 * 10], toneSample(500, 10000, 10), 1);
    // A handle freed by BASS_Free stays dead in the next session.
    ASSERT_TRUE(BASS_Free());
    initOffline();
    EXPECT_FALSE(KXAUDIO_ChannelSetPlaying(second, TRUE));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    const std::vector<int16_t> silent = mixOffline(50);
    EXPECT_TRUE(std::all_of(silent.begin(), silent.end(), [](int16_t s) { return s == 0; }));
}

TEST(AudioHandles, WrapSkipsZero)
{
    kxaudio::cHandleTable<int> table(0xFFFFFFFEu);
    const uint32_t a = table.add(std::make_shared<int>(1));
    const uint32_t b = table.add(std::make_shared<int>(2));
    EXPECT_EQ(a, 0xFFFFFFFEu);
    EXPECT_EQ(b, 0xFFFFFFFFu);
    const uint32_t c = table.add(std::make_shared<int>(3));
    EXPECT_EQ(c, 1u); // 0 is never a handle
    ASSERT_TRUE(table.remove(a));
    EXPECT_FALSE(table.remove(a));
    EXPECT_EQ(table.find(a), nullptr);
    EXPECT_EQ(*table.find(c), 3);

    // Null objects get no handle and use up no number.
    kxaudio::cHandleTable<int> wrapped(0xFFFFFFFFu);
    EXPECT_EQ(wrapped.add(nullptr), 0u);
    EXPECT_EQ(wrapped.add(std::make_shared<int>(4)), 0xFFFFFFFFu);
    EXPECT_EQ(wrapped.add(std::make_shared<int>(5)), 1u);
    EXPECT_EQ(wrapped.size(), 2u);
}

} // namespace
