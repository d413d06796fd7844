// The webcam effect: grabs one frame from a capture driver each time it is
// updated, keeps it in the scene registry's texture "webcamtex" for other
// effects, and draws it over the whole window.
#pragma once

#include "common/effect/effect.h"

class cNamedTexture;
class cWebcamCapture;

class cWebcam : public cEffect {
public:
    enum : int { kDeviceSize = 64 };

    cWebcam() = default;
    ~cWebcam() override; // unload()

    int load() override;
    int unload() override;
    void update(float step) override;
    void draw() override;
    // The base attributes, and `device`: which capture driver to open (see
    // platform::openCaptureDevice; "testpattern" for the built-in one).
    int doXML(cXmlTag* element) override;

    cWebcamCapture* capture = nullptr; // owned; null until load
    cNamedTexture* texture = nullptr;  // the registry's "webcamtex"; the registry owns it
    char device[kDeviceSize] = {};     // empty: the first driver
};
