// Tracker modules through libopenmpt.
#pragma once

#include "bass.h"

#include <cstdint>
#include <memory>

struct openmpt_module;

namespace kxaudio {

// Where a module's song ends.
enum class eModuleEnd {
    // The first time it would repeat itself, at a jump back or where the
    // order list runs out: the song rendered once.
    kFirstRepeat,
    // Only where the order list runs out. Any other end is the song
    // repeating itself (a position jump back, the way a tune is made to
    // loop, or breaks and pattern loops that lead to rows already played),
    // which is followed, so such a tune plays on and on.
    kOrderListEnd,
    // Never: after the order list's end it starts again.
    kNever,
};

class cModuleDecoder {
public:
    // Parses `size` bytes at `data` into libopenmpt's own copy (the bytes
    // are not used after this returns). Returns null and sets `error`
    // (BASS_ERROR_FILEFORM for data that is no module libopenmpt reads).
    // The song ends at its first repeat until setEnd says otherwise.
    static std::unique_ptr<cModuleDecoder> open(const unsigned char* data, size_t size, DWORD outRate, int& error);
    ~cModuleDecoder();
    cModuleDecoder(const cModuleDecoder&) = delete;
    cModuleDecoder& operator=(const cModuleDecoder&) = delete;

    // Sets where the song ends, then plays its end once to learn whether it
    // goes on after one pass and from where (loops()); starts again from
    // the beginning.
    void setEnd(eModuleEnd end);
    // Renders up to `frames` stereo frames; fewer only at the song's end.
    DWORD read(int16_t* out, DWORD frames);
    bool rewind();

    // Positions in frames at the output rate, and by order and row.
    //
    // The song's length: one pass, to its end or its first repeat; false
    // when libopenmpt cannot tell.
    bool lengthFrames(uint64_t& frames) const;
    int32_t orderCount() const;
    // Whether the song goes on after one pass, and the frame it goes on
    // from; false for a song that ends there.
    bool loops(uint64_t& loopStart) const
    {
        loopStart = loopStart_;
        return repeats_;
    }
    // Where the next rendered frame is in the order list.
    void orderRow(int32_t& order, int32_t& row) const;
    // Moves to frame `frame` (at most the length), or to the start of `row`
    // of order `order`, and sets `frame` to where libopenmpt landed. Return
    // a BASS_ code, BASS_ERROR_POSITION for a place the song does not have.
    int seekFrame(uint64_t& frame);
    int seekOrderRow(int32_t order, int32_t row, uint64_t& frame);

private:
    cModuleDecoder() = default;
    void applyEnd(eModuleEnd end);
    // One chunk from libopenmpt (at most chunk_ frames); notes the row.
    DWORD readChunk(int16_t* out, DWORD frames);
    bool endRunsOutOfOrders() const;
    void probeLoop();
    // Clears what read() knows of the song's end, after a seek.
    void restartFrom(double seconds, uint64_t& frame);

    openmpt_module* module_ = nullptr;
    int32_t rate_ = 44100;
    DWORD chunk_ = 110;
    eModuleEnd end_ = eModuleEnd::kFirstRepeat;
    bool ended_ = false;
    // The row playing after the last whole chunk; -1 before the first.
    int32_t lastOrder_ = -1;
    int32_t lastRow_ = -1;
    bool repeats_ = false;   // see loops()
    uint64_t loopStart_ = 0; // frames
};

} // namespace kxaudio
