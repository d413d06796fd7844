#include "effects/music_play.h"

#include "audio/bass.h"
#include "common/media/media_shelf.h"
#include "common/media/stream.h"
#include "common/scene/scene_registry.h"
#include "common/script/xml_tag.h"
#include "platform/problem_report.h"

#include <GL/gl.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <strings.h>

namespace {

enum { kFlange = 0, kEcho = 1, kRotate = 2 };

void CALLBACK flangeProc(HDSP, DWORD, void* buffer, DWORD length, void* user)
{
    auto* d = static_cast<cMusicPlay::sFlange*>(user);
    flangeBlock(d->state, gMusicDspLines, static_cast<int16_t*>(buffer), length);
}

void CALLBACK echoProc(HDSP, DWORD, void* buffer, DWORD length, void* user)
{
    auto* d = static_cast<cMusicPlay::sEcho*>(user);
    echoBlock(d->state, gMusicDspLines, static_cast<int16_t*>(buffer), length);
}

void CALLBACK rotateProc(HDSP, DWORD, void* buffer, DWORD length, void* user)
{
    auto* d = static_cast<cMusicPlay::sRotate*>(user);
    rotateBlock(d->state, static_cast<int16_t*>(buffer), length);
}

DSPPROC* const kProcs[] = {&flangeProc, &echoProc, &rotateProc};

bool isOneOf(const char* ext, std::initializer_list<const char*> list)
{
    for (const char* e : list)
        if (std::strcmp(ext, e) == 0) return true;
    return false;
}

} // namespace

cMusicPlay::cMusicPlay()
{
    // All three DSP states or none: when one cannot be allocated, the ones
    // made before it are freed on the way out.
    std::unique_ptr<sFlange> newFlange(new sFlange);
    std::unique_ptr<sEcho> newEcho(new sEcho);
    rotate = new sRotate;
    flange = newFlange.release();
    echo = newEcho.release();
}

cMusicPlay::~cMusicPlay()
{
    detachAll();
    unload();
    delete flange;
    delete echo;
    delete rotate;
}

void cMusicPlay::setDsp(sDsp& dsp, bool on, int which)
{
    if (on) {
        if (!dsp.handle && dsp.channel && dsp.channel->handle) {
            void* user = which == kFlange ? static_cast<void*>(flange)
                         : which == kEcho ? static_cast<void*>(echo)
                                          : static_cast<void*>(rotate);
            dsp.handle = BASS_ChannelSetDSP(dsp.channel->handle, kProcs[which], user, 0);
        }
    } else if (dsp.handle) {
        if (dsp.channel && dsp.channel->handle) BASS_ChannelRemoveDSP(dsp.channel->handle, dsp.handle);
        dsp.handle = 0;
    }
}

void cMusicPlay::detachAll()
{
    // Before a channel goes, its DSPs go: a removed DSP is never called again.
    setDsp(*flange, false, kFlange);
    setDsp(*echo, false, kEcho);
    setDsp(*rotate, false, kRotate);
}

void cMusicPlay::applyVolume()
{
    for (sChannel* c : {music, stream, sample})
        if (c && c->handle) BASS_ChannelSetAttribute(c->handle, BASS_ATTRIB_VOL, volume);
}

int cMusicPlay::doXML(cXmlTag* element)
{
    cEffect::doXML(element);
    for (const cXmlParam* p : element->params()) {
        const char* n = p->name;
        if (strcasecmp(n, "filename") == 0) {
            std::snprintf(fileName, sizeof fileName, "%s", p->value);
        } else if (strcasecmp(n, "volume") == 0) {
            volume = cXmlTag::toFloat(p->value);
            applyVolume();
        } else if (strcasecmp(n, "sample") == 0) {
            asSample = cXmlTag::toInt(p->value);
        } else if (strcasecmp(n, "flange") == 0) {
            flangeOn = cXmlTag::toInt(p->value) != 0;
            setDsp(*flange, flangeOn, kFlange);
        } else if (strcasecmp(n, "echo") == 0) {
            echoOn = cXmlTag::toInt(p->value) != 0;
            setDsp(*echo, echoOn, kEcho);
        } else if (strcasecmp(n, "rotate") == 0) {
            rotateOn = cXmlTag::toInt(p->value) != 0;
            setDsp(*rotate, rotateOn, kRotate);
        } else if (strcasecmp(n, "flangespeed") == 0) {
            const float speed = cXmlTag::toFloat(p->value);
            if (std::fabs(speed) <= sFlangeState::kMaxSweep)
                flange->state.sweep.store(speed, std::memory_order_relaxed);
            else
                std::printf("musicplay: flangespeed %.40s ignored, it must be between %g and %g\n", p->value,
                            double(-sFlangeState::kMaxSweep), double(sFlangeState::kMaxSweep));
        } else if (strcasecmp(n, "preset") == 0) {
            preset = cXmlTag::toInt(p->value);
        }
    }
    for (cXmlTag* child : element->children()) {
        if (child->nameIs("play")) {
            if (music && music->handle) BASS_MusicPlay(music->handle);
            if (stream && stream->handle) BASS_StreamPlay(stream->handle, 0, 0);
            if (sample && sample->handle) BASS_SamplePlay(sample->handle);
        } else if (child->nameIs("stop")) {
            for (sChannel* c : {music, stream, sample})
                if (c && c->handle) BASS_ChannelPause(c->handle);
        } else if (child->nameIs("init")) {
            load();
        }
    }
    return 0;
}

namespace {

void releaseSample(void* item)
{
    auto* c = static_cast<cMusicPlay::sChannel*>(item);
    if (c->handle) BASS_SampleFree(c->handle);
    delete c->file;
    delete c;
}

void releaseMusic(void* item)
{
    auto* c = static_cast<cMusicPlay::sChannel*>(item);
    if (c->handle) BASS_MusicFree(c->handle);
    delete c->file;
    delete c;
}

void releaseStream(void* item)
{
    auto* c = static_cast<cMusicPlay::sChannel*>(item);
    if (c->handle) BASS_StreamFree(c->handle);
    delete c->file;
    delete c;
}

} // namespace

void cMusicPlay::freeChannels()
{
    detachAll();
    // While the show is rebuilt the channels go on the shelf, still
    // playing, for the new show's music of the same file.
    cMediaShelf* shelf = registry ? registry->shelf : nullptr;
    const struct {
        sChannel*& channel;
        const char* kind;
        cMediaShelf::Release release;
    } channels[] = {
        {sample, "sample", &releaseSample}, {music, "music", &releaseMusic}, {stream, "stream", &releaseStream}};
    for (const auto& c : channels) {
        if (!c.channel) continue;
        if (!(shelf && shelf->put(c.kind, loadedFrom_, c.channel, c.release))) c.release(c.channel);
        c.channel = nullptr;
    }
    flange->channel = echo->channel = rotate->channel = nullptr;
}

void cMusicPlay::reportUnplayable(const sChannel& channel) const
{
    // A file that is not there is not one that does not decode.
    char path[512];
    if ((!channel.file || channel.file->size() == 0) && locateDataFile(fileName, path, sizeof path))
        platform::reportProblem("musicplay: %s not found (looked for %s)\n", fileName, path);
    else
        platform::reportProblem("musicplay: %s could not be played\n", fileName);
}

int cMusicPlay::unload()
{
    freeChannels();
    return 0;
}

int cMusicPlay::load()
{
    freeChannels();
    const char* dot = std::strchr(fileName, '.');
    if (!dot) return 0;
    const char* ext = dot; // from the first dot, compared exactly

    std::snprintf(loadedFrom_, sizeof loadedFrom_, "%s", fileName);
    cMediaShelf* shelf = registry ? registry->shelf : nullptr;
    auto read = [&]() {
        auto* c = new sChannel;
        c->file = new cMemoryStream(fileName);
        return c;
    };
    // The old show's channel of an unchanged file, while the show is
    // rebuilt; the player places its sound once the new show stands at its
    // time, from the play calls of the new show.
    auto take = [&](const char* kind) { return shelf ? static_cast<sChannel*>(shelf->take(kind, fileName)) : nullptr; };
    const auto length = [](sChannel* c) { return static_cast<DWORD>(c->file->size()); };

    if (asSample) {
        if ((sample = take("sample"))) {
            applyVolume();
            return 0;
        }
        sample = read();
        if (length(sample) > 0)
            sample->handle = BASS_SampleLoad(1, sample->file->data(), 0, length(sample), 16, 0x10000);
        BASS_ErrorGetCode();
        if (sample->handle == 0) reportUnplayable(*sample);
        applyVolume();
        return 0;
    }
    sChannel* channel = nullptr;
    if (isOneOf(ext, {".it", ".xm", ".mod", ".mtm", ".s3m", ".mo3"})) {
        channel = music = take("music");
        if (!music) {
            channel = music = read();
            if (length(music) > 0) {
                music->handle = BASS_MusicLoad(1, music->file->data(), 0, length(music), 0x2000, 0);
                if (music->handle) BASS_MusicPreBuf(music->handle);
            }
        }
    } else if (isOneOf(ext, {".mp3", ".mp2", ".mp1", ".mpg", ".ogg", ".wav"})) {
        channel = stream = take("stream");
        if (!stream) {
            channel = stream = read();
            if (length(stream) > 0) {
                stream->handle = BASS_StreamCreateFile(1, stream->file->data(), 0, length(stream), 0);
                BASS_ErrorGetCode();
                if (stream->handle) BASS_StreamPreBuf(stream->handle);
            }
        }
    } else {
        return 0;
    }
    if (channel->handle == 0) reportUnplayable(*channel);
    applyVolume();
    flange->channel = echo->channel = rotate->channel = channel;
    setDsp(*flange, flangeOn, kFlange);
    setDsp(*echo, echoOn, kEcho);
    setDsp(*rotate, rotateOn, kRotate);
    return 0;
}

void cMusicPlay::draw()
{
    if (preset < 0) preset = std::rand() % 2;

    glEnable(GL_TEXTURE_2D);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);

    sChannel* c = current();
    if (preset == 1) {
        int16_t values[1000] = {};
        if (c && c->handle && BASS_ChannelGetData(c->handle, values, sizeof values) == DWORD(-1))
            std::memset(values, 0, sizeof values);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glScalef(1, 9, 1);
        glColor4f(0.3f, 0.3f, 0.3f, 0.3f);
        glBegin(GL_LINES);
        for (int i = 0; i < 1000; ++i) {
            const int v = values[i] / 3;
            const float x = 0.002f * float(i) - 1.0f;
            const float z = -2.0f - 0.001f * float(v);
            glVertex3f(x, 0, z);
            glVertex3f(x, float(v) / 16384.0f, z);
        }
        glEnd();
        glDisable(GL_TEXTURE_2D);
        return;
    }

    if (c && c->handle) {
        int16_t values[1000];
        if (BASS_ChannelGetData(c->handle, values, sizeof values) != DWORD(-1))
            std::memcpy(kept_, values, sizeof kept_);
    }
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glScalef(1, 9, 1);
    glDisable(GL_TEXTURE_2D);
    glColor4f(1, 1, 1, 1);
    glBegin(GL_QUADS);
    for (int i = 0; i < 999; ++i) {
        const int a = kept_[i] / 3;
        const int b = kept_[i + 1] / 3;
        const float x0 = 0.002f * float(i) - 1.0f;
        const float x1 = 0.002f * float(i + 1) - 1.0f;
        glTexCoord2f(0, 0);
        glVertex3f(x0, 0, -2);
        glTexCoord2f(1, 0);
        glVertex3f(x0, float(a) / 32768.0f, -2);
        glTexCoord2f(1, 1);
        glVertex3f(x1, float(b) / 32768.0f, -2);
        glTexCoord2f(1, 0);
        glVertex3f(x1, 0, -2);
    }
    glEnd();
    glEnable(GL_DEPTH_TEST);
}
