#include "module_decoder.h"

#include <libopenmpt/libopenmpt.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace kxaudio {

std::unique_ptr<cModuleDecoder> cModuleDecoder::open(const unsigned char* data, size_t size, DWORD outRate, int& error)
{
    error = BASS_ERROR_FILEFORM;
    if (!data || size == 0 || outRate == 0) {
        return nullptr;
    }
    std::unique_ptr<cModuleDecoder> d(new cModuleDecoder);
    int openError = OPENMPT_ERROR_OK;
    // Silent: a library must not write to the program's standard error.
    d->module_ = openmpt_module_create_from_memory2(data, size, &openmpt_log_func_silent, nullptr,
                                                    &openmpt_error_func_ignore, nullptr, &openError, nullptr, nullptr);
    if (!d->module_) {
        error = openError == OPENMPT_ERROR_OUT_OF_MEMORY ? BASS_ERROR_MEM : BASS_ERROR_FILEFORM;
        return nullptr;
    }
    d->rate_ = int32_t(outRate);
    // Rendered in chunks of 2.5 ms, shorter than a tick at any tempo a
    // tracker sets (at most 255 beats per minute: 9.8 ms), so that at most
    // one row begins within a chunk; see read().
    d->chunk_ = std::max<DWORD>(1, outRate / 400);
    // No dither: the same module renders to the same samples every time,
    // whatever the block sizes, so captured shows are reproducible.
    openmpt_module_ctl_set_integer(d->module_, "dither", 0);
    // Cubic interpolation instead of libopenmpt's default 8-tap sinc: a
    // third less CPU on the mixing thread, which also runs the effects' DSPs
    // and must keep well ahead of real time, for a barely audible difference.
    openmpt_module_set_render_param(d->module_, OPENMPT_MODULE_RENDER_INTERPOLATIONFILTER_LENGTH, 4);
    // A seek rebuilds the notes held at the new place too, so a show that
    // jumps into its music hears what plays there, not silence until the
    // next note.
    openmpt_module_ctl_set_boolean(d->module_, "seek.sync_samples", 1);
    d->applyEnd(eModuleEnd::kFirstRepeat);
    error = BASS_OK;
    return d;
}

cModuleDecoder::~cModuleDecoder()
{
    if (module_) {
        openmpt_module_destroy(module_);
    }
}

void cModuleDecoder::setEnd(eModuleEnd end)
{
    applyEnd(end);
    probeLoop();
}

void cModuleDecoder::applyEnd(eModuleEnd end)
{
    end_ = end;
    // libopenmpt calls the song's end the point where it would repeat
    // itself, whether by a jump back or by running out of orders. Once
    // (repeat count 0) it stops there: after a short fade to render the song
    // once, or, to tell the two apart, without one and ready to go on from
    // where the song repeats (see read()). Endlessly it never stops.
    openmpt_module_set_repeat_count(module_, end == eModuleEnd::kNever ? -1 : 0);
    openmpt_module_ctl_set_text(module_, "play.at_end", end == eModuleEnd::kOrderListEnd ? "continue" : "fadeout");
}

void cModuleDecoder::probeLoop()
{
    repeats_ = false;
    loopStart_ = 0;
    uint64_t length = 0;
    if (end_ != eModuleEnd::kFirstRepeat && lengthFrames(length)) {
        // The last half second of one pass, to its end, as read() plays it.
        const eModuleEnd end = end_;
        applyEnd(eModuleEnd::kOrderListEnd);
        uint64_t frame = 0;
        restartFrom(openmpt_module_set_position_seconds(module_, std::max(0.0, double(length) / rate_ - 0.5)), frame);
        std::vector<int16_t> scratch(size_t(chunk_) * 2);
        // Bounded: a song libopenmpt misjudges does not stall the load.
        for (uint64_t left = uint64_t(rate_) * 4; left >= chunk_; left -= chunk_) {
            if (readChunk(scratch.data(), chunk_) < chunk_) {
                break;
            }
        }
        repeats_ = end == eModuleEnd::kNever || !endRunsOutOfOrders();
        if (repeats_) {
            // libopenmpt already stands where the song goes on: the time of
            // that row in the first pass.
            const double at = openmpt_module_set_position_order_row(module_, openmpt_module_get_current_order(module_),
                                                                    openmpt_module_get_current_row(module_));
            if (std::isfinite(at) && at > 0 && at * rate_ < double(length)) {
                loopStart_ = uint64_t(at * rate_);
            }
        }
        applyEnd(end);
    }
    rewind();
}

DWORD cModuleDecoder::read(int16_t* out, DWORD frames)
{
    DWORD produced = 0;
    int emptyReads = 0;
    while (produced < frames && !ended_) {
        const DWORD want = std::min(frames - produced, chunk_);
        const DWORD got = readChunk(out + size_t(produced) * 2, want);
        produced += got;
        if (got == want) {
            emptyReads = 0;
            continue;
        }
        // The song's end (or an error inside libopenmpt). Going on from
        // there, libopenmpt returns nothing once and then plays from where
        // the song repeats; twice nothing means nothing more will come.
        emptyReads = got == 0 ? emptyReads + 1 : 0;
        // Right after a seek to within a chunk of the song's end no row has
        // been played to tell from; the end is the one the load learnt.
        const bool runsOut = lastOrder_ < 0 ? !repeats_ : endRunsOutOfOrders();
        if (end_ != eModuleEnd::kOrderListEnd || emptyReads > 1 || runsOut) {
            ended_ = true;
        }
    }
    return produced;
}

DWORD cModuleDecoder::readChunk(int16_t* out, DWORD frames)
{
    const DWORD got = DWORD(openmpt_module_read_interleaved_stereo(module_, rate_, frames, out));
    if (got == frames) {
        // A chunk is shorter than a tick, so no row began in it but the one
        // now playing: if the song ends in the next chunk, this is its last
        // row.
        lastOrder_ = openmpt_module_get_current_order(module_);
        lastRow_ = openmpt_module_get_current_row(module_);
    }
    return got;
}

// Whether the song's end, just after the row played last, is its order list
// running out: that row moves on to the next order (it is its pattern's last
// row, or it breaks), no position jump sends it elsewhere, and no order with
// a pattern follows. Any other end is the song repeating itself.
bool cModuleDecoder::endRunsOutOfOrders() const
{
    // libopenmpt's own command numbers, the same for every format.
    constexpr int kPositionJump = 12;
    constexpr int kPatternBreak = 14;
    constexpr int32_t kSkipOrder = 0xFFFE; // "+++"
    if (lastOrder_ < 0 || lastRow_ < 0) {
        return true;
    }
    const int32_t orders = openmpt_module_get_num_orders(module_);
    const int32_t patterns = openmpt_module_get_num_patterns(module_);
    const int32_t pattern = openmpt_module_get_order_pattern(module_, lastOrder_);
    if (pattern < 0 || pattern >= patterns || lastRow_ >= openmpt_module_get_pattern_num_rows(module_, pattern)) {
        return true;
    }
    bool nextOrder = lastRow_ == openmpt_module_get_pattern_num_rows(module_, pattern) - 1;
    const int32_t channels = openmpt_module_get_num_channels(module_);
    for (int32_t c = 0; c < channels; ++c) {
        const int command = openmpt_module_get_pattern_row_channel_command(module_, pattern, lastRow_, c,
                                                                           OPENMPT_MODULE_COMMAND_EFFECT);
        if (command == kPositionJump) {
            // A jump to an order of the list plays on; one beyond it ends.
            return openmpt_module_get_pattern_row_channel_command(module_, pattern, lastRow_, c,
                                                                  OPENMPT_MODULE_COMMAND_PARAMETER) >= orders;
        }
        nextOrder = nextOrder || command == kPatternBreak;
    }
    if (!nextOrder) {
        return false; // ended inside a pattern: rows already played come next
    }
    for (int32_t o = lastOrder_ + 1; o < orders; ++o) {
        const int32_t next = openmpt_module_get_order_pattern(module_, o);
        if (next >= 0 && next < patterns) {
            return false;
        }
        if (next != kSkipOrder) {
            break;
        }
    }
    return true;
}

bool cModuleDecoder::rewind()
{
    uint64_t frame = 0;
    restartFrom(openmpt_module_set_position_seconds(module_, 0.0), frame);
    return true;
}

void cModuleDecoder::restartFrom(double seconds, uint64_t& frame)
{
    ended_ = false;
    lastOrder_ = lastRow_ = -1;
    frame = std::isfinite(seconds) && seconds > 0 ? uint64_t(std::llround(seconds * rate_)) : 0;
}

bool cModuleDecoder::lengthFrames(uint64_t& frames) const
{
    const double seconds = openmpt_module_get_duration_seconds(module_);
    // Beyond a day is libopenmpt giving up (it may say infinity).
    if (!std::isfinite(seconds) || seconds < 0 || seconds > 86400.0) {
        return false;
    }
    frames = uint64_t(seconds * rate_);
    return true;
}

int32_t cModuleDecoder::orderCount() const { return std::max<int32_t>(0, openmpt_module_get_num_orders(module_)); }

void cModuleDecoder::orderRow(int32_t& order, int32_t& row) const
{
    order = std::max<int32_t>(0, openmpt_module_get_current_order(module_));
    row = std::max<int32_t>(0, openmpt_module_get_current_row(module_));
}

int cModuleDecoder::seekFrame(uint64_t& frame)
{
    uint64_t length = 0;
    if (!lengthFrames(length)) {
        return BASS_ERROR_NOTAVAIL;
    }
    if (frame > length) {
        return BASS_ERROR_POSITION;
    }
    restartFrom(openmpt_module_set_position_seconds(module_, double(frame) / rate_), frame);
    return BASS_OK;
}

int cModuleDecoder::seekOrderRow(int32_t order, int32_t row, uint64_t& frame)
{
    // Checked here, as libopenmpt ignores a place out of range silently. An
    // order holding no pattern (a separator or the list's end marker) has no
    // rows.
    if (order < 0 || order >= orderCount() || row < 0) {
        return BASS_ERROR_POSITION;
    }
    const int32_t pattern = openmpt_module_get_order_pattern(module_, order);
    if (pattern < 0 || pattern >= openmpt_module_get_num_patterns(module_) ||
        row >= openmpt_module_get_pattern_num_rows(module_, pattern)) {
        return BASS_ERROR_POSITION;
    }
    restartFrom(openmpt_module_set_position_order_row(module_, order, row), frame);
    return BASS_OK;
}

} // namespace kxaudio
