// The device output on Windows: a waveOut device fed from a ring of short
// buffers. The driver signals an event each time it has played a buffer; a
// thread of the output's own wakes on it, mixes the next stretch into every
// buffer the driver has handed back and queues it again.
//
// A write the driver refuses means the device is gone (a USB headset
// unplugged): nothing will be played or signalled any more. The loss is
// reported to the engine once, and from then on the thread no longer waits
// for the driver: it mixes a buffer every 20 ms on its own schedule and
// discards it, as the null device does, so positions and everything fed by
// the mixer go on.
//
// A device can also hang without refusing anything: it keeps every buffer
// and signals nothing. When all buffers have been with the driver for two
// seconds while the output is started (25 times what is queued), the device
// counts as lost in the same way.

#include "bass.h"
#include "outputs.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mmsystem.h>
#include <vector>

namespace kxaudio {

namespace {

// Four buffers of 20 ms: 80 ms queued at most, which rides out a busy
// moment of the machine, while DSPs and channel data stay close to what is
// heard.
constexpr size_t kBufferCount = 4;
constexpr DWORD kBuffersPerSecond = 50;
// How long every buffer may stay with a started device before it counts as
// hung.
constexpr DWORD kStallMilliseconds = 2000;

class cWaveOutOutput : public cOutput {
public:
    // Takes ownership of the open device and of the event it signals.
    cWaveOutOutput(cMixer& mixer, HWAVEOUT device, HANDLE event, DWORD frames);
    ~cWaveOutOutput() override;

    // Prepares the buffers and starts the thread; false when the driver
    // refuses a buffer. Throws when the thread cannot be created.
    bool launch();
    void start() override;
    void stop() override;
    void failNextWrite() override { failNext_ = true; }
    void stall() override;

private:
    void run();
    // Mixes into every buffer the driver does not hold and queues it. Called
    // with mutex_ held.
    void refill();
    // After the loss: mixes the buffers due by now and discards them; the
    // milliseconds until the next one is due.
    DWORD mixOnSchedule();
    // True when the driver holds every buffer. Called with mutex_ held.
    bool driverHoldsAll() const;
    // Reports the loss once and switches to mixing on the schedule. Called
    // with mutex_ held.
    void lose(const char* why);

    cMixer& mixer_;
    const HWAVEOUT device_;
    const HANDLE event_;
    const DWORD frames_; // per buffer
    std::vector<int16_t> samples_;
    std::array<WAVEHDR, kBufferCount> headers_{};
    // Held by the thread while it mixes, so stop() returns only after the
    // buffer under way is done.
    std::mutex mutex_;
    bool started_ = false;                      // under mutex_
    bool quit_ = false;                         // under mutex_
    bool lost_ = false;                         // under mutex_: the device refused a write
    std::chrono::steady_clock::time_point due_; // under mutex_: the next buffer after the loss
    std::atomic<bool> failNext_{false};
    std::vector<int16_t> discard_; // what is mixed after the loss
    std::thread thread_;
};

cWaveOutOutput::cWaveOutOutput(cMixer& mixer, HWAVEOUT device, HANDLE event, DWORD frames)
    : mixer_(mixer), device_(device), event_(event), frames_(frames)
{
}

cWaveOutOutput::~cWaveOutOutput()
{
    if (thread_.joinable()) {
        {
            std::lock_guard<std::mutex> guard(mutex_);
            quit_ = true;
        }
        SetEvent(event_);
        thread_.join();
    }
    // Hands every queued buffer back, so that all of them can be unprepared.
    waveOutReset(device_);
    for (WAVEHDR& header : headers_) {
        if (header.dwFlags & WHDR_PREPARED) {
            waveOutUnprepareHeader(device_, &header, sizeof(header));
        }
    }
    waveOutClose(device_);
    CloseHandle(event_);
}

bool cWaveOutOutput::launch()
{
    samples_.assign(size_t(frames_) * 2 * kBufferCount, 0);
    discard_.assign(size_t(frames_) * 2, 0);
    for (size_t i = 0; i < kBufferCount; ++i) {
        WAVEHDR& header = headers_[i];
        header.lpData = reinterpret_cast<LPSTR>(samples_.data() + i * size_t(frames_) * 2);
        header.dwBufferLength = frames_ * 4;
        if (waveOutPrepareHeader(device_, &header, sizeof(header)) != MMSYSERR_NOERROR) {
            return false;
        }
    }
    thread_ = std::thread(&cWaveOutOutput::run, this);
    return true;
}

void cWaveOutOutput::start()
{
    {
        std::lock_guard<std::mutex> guard(mutex_);
        started_ = true;
    }
    waveOutRestart(device_);
    SetEvent(event_); // the buffers left free while stopped are filled now
}

void cWaveOutOutput::stop()
{
    {
        std::lock_guard<std::mutex> guard(mutex_);
        started_ = false;
    }
    // What is already queued stays queued and plays first after start().
    waveOutPause(device_);
}

void cWaveOutOutput::stall()
{
    // A paused device keeps what is queued and signals nothing, while the
    // output still counts itself started.
    waveOutPause(device_);
}

void cWaveOutOutput::run()
{
    // The mix must keep ahead of the driver even when the machine is busy.
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
    std::unique_lock<std::mutex> lock(mutex_);
    while (!quit_) {
        DWORD wait = INFINITE;
        if (started_) {
            if (!lost_) {
                refill();
            }
            wait = lost_ ? mixOnSchedule() : kStallMilliseconds;
        }
        lock.unlock();
        // Signalled for each buffer played, by start() and on closing; after
        // the loss only by those two.
        const DWORD woken = WaitForSingleObject(event_, wait);
        lock.lock();
        if (woken == WAIT_TIMEOUT && started_ && !lost_ && driverHoldsAll()) {
            lose("waveOut: the device has played nothing for two seconds");
        }
    }
}

bool cWaveOutOutput::driverHoldsAll() const
{
    for (const WAVEHDR& header : headers_) {
        if (!(static_cast<const volatile DWORD&>(header.dwFlags) & WHDR_INQUEUE)) {
            return false;
        }
    }
    return true;
}

void cWaveOutOutput::lose(const char* why)
{
    deviceLost(why);
    lost_ = true;
    due_ = std::chrono::steady_clock::now();
}

DWORD cWaveOutOutput::mixOnSchedule()
{
    using clock = std::chrono::steady_clock;
    const auto period = std::chrono::milliseconds(1000 / kBuffersPerSecond);
    auto now = clock::now();
    // After a pause or a stall the schedule starts again from now instead
    // of catching up in a burst.
    if (now - due_ > period * 4) {
        due_ = now;
    }
    while (due_ <= now) {
        mixer_.mix(discard_.data(), frames_);
        due_ += period;
        now = clock::now();
    }
    return DWORD(std::chrono::duration_cast<std::chrono::milliseconds>(due_ - now).count()) + 1;
}

void cWaveOutOutput::refill()
{
    for (WAVEHDR& header : headers_) {
        // The driver sets and clears WHDR_INQUEUE from its own thread.
        const DWORD flags = static_cast<volatile DWORD&>(header.dwFlags);
        if (flags & WHDR_INQUEUE) {
            continue;
        }
        mixer_.mix(header.lpData, frames_);
        const MMRESULT result =
            failNext_.exchange(false) ? MMRESULT(MMSYSERR_NODRIVER) : waveOutWrite(device_, &header, sizeof(header));
        if (result != MMSYSERR_NOERROR) {
            // The device is gone: nothing more will be played or signalled.
            char text[MAXERRORLENGTH] = {};
            if (waveOutGetErrorTextA(result, text, sizeof text) != MMSYSERR_NOERROR) {
                std::snprintf(text, sizeof text, "error %u", unsigned(result));
            }
            char why[MAXERRORLENGTH + 32];
            std::snprintf(why, sizeof why, "waveOutWrite: %s", text);
            lose(why);
            return;
        }
    }
}

} // namespace

std::unique_ptr<cOutput> openDeviceOutput(cMixer& mixer, int device, DWORD rate, int& error)
{
    UINT id = WAVE_MAPPER; // the default device
    if (device >= 1) {
        if (UINT(device) > waveOutGetNumDevs()) {
            error = BASS_ERROR_DEVICE;
            return nullptr;
        }
        id = UINT(device - 1);
    }

    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = rate;
    format.wBitsPerSample = 16;
    format.nBlockAlign = 4;
    format.nAvgBytesPerSec = rate * 4;

    const HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!event) {
        error = BASS_ERROR_MEM;
        return nullptr;
    }
    HWAVEOUT handle = nullptr;
    if (waveOutOpen(&handle, id, &format, DWORD_PTR(event), 0, CALLBACK_EVENT) != MMSYSERR_NOERROR) {
        CloseHandle(event);
        error = BASS_ERROR_DRIVER;
        return nullptr;
    }
    const DWORD frames = rate / kBuffersPerSecond;
    std::unique_ptr<cWaveOutOutput> output;
    try {
        output = std::make_unique<cWaveOutOutput>(mixer, handle, event, frames);
    } catch (...) {
        waveOutClose(handle);
        CloseHandle(event);
        throw;
    }
    if (!output->launch()) {
        error = BASS_ERROR_DRIVER;
        return nullptr;
    }
    return output;
}

} // namespace kxaudio
