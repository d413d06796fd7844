// Plays the show's music or a sound through the audio engine, can insert a
// flange, an echo and a rotation into the channel, and draws the current
// waveform in one of two styles.
#pragma once

#include "common/effect/effect.h"
#include "effects/music_dsp.h"

#include <cstdint>

class cMemoryStream;

class cMusicPlay : public cEffect {
public:
    cMusicPlay();
    ~cMusicPlay() override;

    int load() override;
    int unload() override;
    void update(float) override { }
    void draw() override;
    int doXML(cXmlTag* element) override;

    // One loaded channel and the file it plays from, which must live as long
    // as the handle.
    struct sChannel {
        uint32_t handle = 0;
        cMemoryStream* file = nullptr;
    };

    // One DSP: the channel it works on, its handle while attached, its state.
    struct sDsp {
        sChannel* channel = nullptr;
        uint32_t handle = 0;
    };
    struct sFlange : sDsp {
        sFlangeState state;
    };
    struct sEcho : sDsp {
        sEchoState state;
    };
    struct sRotate : sDsp {
        sRotateState state;
    };

    char fileName[64] = {};
    float volume = 1.0f;
    sChannel* music = nullptr;
    sChannel* stream = nullptr;
    sChannel* sample = nullptr;
    sFlange* flange;
    sEcho* echo;
    sRotate* rotate;
    int asSample = 0;
    bool flangeOn = false;
    bool echoOn = false;
    bool rotateOn = false;
    int preset = 0;

private:
    void freeChannels();
    void setDsp(sDsp& dsp, bool on, int which);
    void detachAll();
    void applyVolume();
    sChannel* current() const { return music ? music : stream; }

    int16_t kept_[1000] = {};      // the filled outline keeps its last waveform
    char loadedFrom_[64] = {};     // the file the channels were made from
    // "not found" for a missing file, "could not be played" for one that does not decode.
    void reportUnplayable(const sChannel& channel) const;
};
