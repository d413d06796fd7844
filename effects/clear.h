// Clears colour and depth at its place in the draw order, or, in trail
// mode, darkens the previous frame so moving things leave fading trails.
#pragma once

#include "common/effect/effect.h"

class cClear : public cEffect {
public:
    void update(float step) override;
    void draw() override;
    int doXML(cXmlTag* element) override;

    float color[4] = {0, 0, 0, 1};
    int mode = 0;
    float trailValue = 1.0f;
    float trailAlpha = 0.0f;
    bool clearColour = true;
    bool clearDepth = true;
};
