// Covers the screen with a colour whose intensity follows an
// attack-sustain-decay envelope each time a go element fires it.
#pragma once

#include "common/effect/effect.h"

class cFlash : public cEffect {
public:
    int load() override;
    void update(float step) override;
    void draw() override;
    int doXML(cXmlTag* element) override;

    // Frame steps up to this (15 ms, the player's own frames of 14 ms and
    // any faster rate) run the envelope unchanged; a longer step shows the
    // peak in the frame that reaches it.
    static constexpr float kLongestPlainStep = 1.5f;

    int mode = 0; // 0 additive, 1 multiplicative, 2 and 3 inverting
    float attack = 1.0f;
    float decay = 1.0f;
    float sustain = 1.0f;
    bool running = false;
    float phase = 1.0f; // +1 attack, 0 sustain, -1 decay
    float sustainLeft = 0.0f;
    float intensity = 0.0f;
    float color[4] = {1, 1, 1, 1};
};
