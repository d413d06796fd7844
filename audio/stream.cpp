// Sampled and compressed files decoded as they play: BASS_StreamCreateFile,
// BASS_StreamPreBuf, BASS_StreamPlay and BASS_StreamFree.

#include "channel.h"
#include "load.h"
#include "sound_decoder.h"

#include <memory>

namespace kxaudio {

namespace {

class cStreamChannel : public cChannel {
public:
    cStreamChannel(tSource source, std::unique_ptr<cSoundDecoder> decoder, bool loop)
        : source_(std::move(source)), decoder_(std::move(decoder)), loop_(loop)
    {
    }

    DWORD render(int16_t* out, DWORD frames) override { return decoder_ ? decoder_->read(out, frames, loop_) : 0; }
    bool rewind() override { return decoder_ && decoder_->rewind(); }
    // After this the caller's memory is no longer read.
    void release() override
    {
        decoder_.reset();
        source_ = tSource();
    }

    int seek(uint64_t& frame) override { return decoder_ ? decoder_->seek(frame) : BASS_ERROR_NOTAVAIL; }
    bool lengthFrames(uint64_t& frames) const override { return decoder_ && decoder_->lengthFrames(frames); }
    bool isMusic() const override { return true; }
    tShape shape() const override
    {
        tShape s = cChannel::shape();
        s.repeats = loop_; // from its start
        return s;
    }

    void setLoop(bool loop) { loop_ = loop; }

private:
    tSource source_; // the bytes the decoder reads; owned when read from disk
    std::unique_ptr<cSoundDecoder> decoder_;
    bool loop_;
};

} // namespace

} // namespace kxaudio

using namespace kxaudio;

extern "C" KXAUDIO_API HSTREAM BASS_StreamCreateFile(BOOL mem, const void* file, QWORD offset, QWORD length,
                                                     DWORD flags)
{
    return loadChannel(mem, file, offset, length, [flags](tSource& source, int& error) {
        std::shared_ptr<cChannel> stream;
        if (auto decoder = cSoundDecoder::open(source.data, source.size, mixer().rate(), error)) {
            stream = std::make_shared<cStreamChannel>(std::move(source), std::move(decoder),
                                                      (flags & BASS_SAMPLE_LOOP) != 0);
        }
        return stream;
    });
}

extern "C" KXAUDIO_API BOOL BASS_StreamPreBuf(HSTREAM handle)
{
    return withChannel<cStreamChannel>(handle, [](cStreamChannel&) { return BASS_OK; });
}

extern "C" KXAUDIO_API BOOL BASS_StreamPlay(HSTREAM handle, BOOL flush, DWORD flags)
{
    return withChannel<cStreamChannel>(handle, [&](cStreamChannel& stream) {
        if (flags & BASS_SAMPLE_LOOP) {
            stream.setLoop(true);
        }
        return cued(stream, flush ? eCue::restart : eCue::play,
                    [&stream, flush] { return playChannel(stream, flush != FALSE); });
    });
}

extern "C" KXAUDIO_API BOOL BASS_StreamFree(HSTREAM handle) { return freeChannelOfKind<cStreamChannel>(handle); }
