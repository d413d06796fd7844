// Tracker modules: BASS_MusicLoad, BASS_MusicPreBuf, BASS_MusicPlay and
// BASS_MusicFree.

#include "channel.h"
#include "load.h"
#include "module_decoder.h"

#include <memory>

namespace kxaudio {

namespace {

class cMusicChannel : public cChannel {
public:
    explicit cMusicChannel(std::unique_ptr<cModuleDecoder> module) : module_(std::move(module)) { }

    DWORD render(int16_t* out, DWORD frames) override { return module_ ? module_->read(out, frames) : 0; }
    bool rewind() override { return module_ && module_->rewind(); }
    void release() override { module_.reset(); }
    int seek(uint64_t& frame) override { return module_ ? module_->seekFrame(frame) : BASS_ERROR_NOTAVAIL; }
    bool lengthFrames(uint64_t& frames) const override { return module_ && module_->lengthFrames(frames); }
    cModuleDecoder* module() override { return module_.get(); }
    bool isMusic() const override { return true; }
    tShape shape() const override
    {
        tShape s = cChannel::shape();
        s.repeats = module_ && module_->loops(s.loopStart);
        return s;
    }

private:
    std::unique_ptr<cModuleDecoder> module_;
};

} // namespace

} // namespace kxaudio

using namespace kxaudio;

extern "C" KXAUDIO_API HMUSIC BASS_MusicLoad(BOOL mem, const void* file, QWORD offset, DWORD length, DWORD flags, DWORD)
{
    return loadChannel(mem, file, offset, length, [flags](tSource& source, int& error) {
        std::shared_ptr<cChannel> music;
        if (auto module = cModuleDecoder::open(source.data, source.size, mixer().rate(), error)) {
            module->setEnd((flags & BASS_SAMPLE_LOOP) ? eModuleEnd::kNever : eModuleEnd::kOrderListEnd);
            music = std::make_shared<cMusicChannel>(std::move(module));
        }
        return music;
    });
}

extern "C" KXAUDIO_API BOOL BASS_MusicPreBuf(HMUSIC handle)
{
    return withChannel<cMusicChannel>(handle, [](cMusicChannel&) { return BASS_OK; });
}

extern "C" KXAUDIO_API BOOL BASS_MusicPlay(HMUSIC handle)
{
    return withChannel<cMusicChannel>(handle, [](cMusicChannel& music) {
        return cued(music, eCue::play, [&music] { return playChannel(music, false); });
    });
}

extern "C" KXAUDIO_API BOOL BASS_MusicFree(HMUSIC handle) { return freeChannelOfKind<cMusicChannel>(handle); }
