#include "module_decoder.h"

#include <libopenmpt/libopenmpt.h>

namespace kxaudio {

std::unique_ptr<cModuleDecoder> cModuleDecoder::open(const unsigned char* data, size_t size,
                                                     DWORD outRate, int& error) {
    error = BASS_ERROR_FILEFORM;
    if (!data || size == 0 || outRate == 0) {
        return nullptr;
    }
    std::unique_ptr<cModuleDecoder> d(new cModuleDecoder);
    int openError = OPENMPT_ERROR_OK;
    // Silent: a library must not write to the program's standard error.
    d->module_ = openmpt_module_create_from_memory2(data, size, &openmpt_log_func_silent, nullptr,
                                                    &openmpt_error_func_ignore, nullptr,
                                                    &openError, nullptr, nullptr);
    if (!d->module_) {
        error = openError == OPENMPT_ERROR_OUT_OF_MEMORY ? BASS_ERROR_MEM : BASS_ERROR_FILEFORM;
        return nullptr;
    }
    d->rate_ = int32_t(outRate);
    // No dither: the same module renders to the same samples every time,
    // whatever the block sizes, so captured shows are reproducible.
    openmpt_module_ctl_set_integer(d->module_, "dither", 0);
    // Cubic interpolation instead of libopenmpt's default 8-tap sinc: a
    // third less CPU on the mixing thread, which also runs the effects' DSPs
    // and must keep well ahead of real time, for a barely audible difference.
    openmpt_module_set_render_param(d->module_, OPENMPT_MODULE_RENDER_INTERPOLATIONFILTER_LENGTH, 4);
    d->setLoop(false);
    error = BASS_OK;
    return d;
}

cModuleDecoder::~cModuleDecoder() {
    if (module_) {
        openmpt_module_destroy(module_);
    }
}

void cModuleDecoder::setLoop(bool loop) {
    openmpt_module_set_repeat_count(module_, loop ? -1 : 0);
}

DWORD cModuleDecoder::read(int16_t* out, DWORD frames) {
    DWORD produced = 0;
    while (produced < frames) {
        const size_t got = openmpt_module_read_interleaved_stereo(
            module_, rate_, frames - produced, out + size_t(produced) * 2);
        if (got == 0) {
            break;  // the song's end, or an error inside libopenmpt
        }
        produced += DWORD(got);
    }
    return produced;
}

bool cModuleDecoder::rewind() {
    openmpt_module_set_position_seconds(module_, 0.0);
    return true;
}

}  // namespace kxaudio
