// Shows one image file: without a camera as a wallpaper that scrolls, turns
// and scales over time (a 7 x 7 grid of copies around the screen centre
// keeps the screen covered), with a camera as one unit square seen through
// the camera's viewport and view.
#pragma once

#include "common/effect/effect.h"

class cCamera;
class cLargeTexture;

class cPicture : public cEffect {
public:
    enum : int { kFileNameSize = 64 };

    cPicture();
    ~cPicture() override;

    int load() override;
    int unload() override;
    void update(float step) override;
    void draw() override;
    int doXML(cXmlTag* element) override;

    // The wallpaper copy's modelview matrix (column-major): scale, then the
    // rotation about x, y, z, then the translation by position plus the
    // grid offset (gridX, gridY), applied right to left to the vertices.
    void wallpaperMatrix(int gridX, int gridY, float out[16]) const;

    char fileName[kFileNameSize] = {};
    cLargeTexture* image = nullptr;
    cCamera* camera = nullptr; // a registry camera, not owned
    float position[3] = {0, 0, 0};
    float rotation[3] = {0, 0, 0}; // radians
    float scale[3] = {1, 1, 1};
    float positionInc[3] = {0, 0, 0};
    float rotationInc[3] = {0, 0, 0}; // radians per step
    float scaleInc[3] = {0, 0, 0};
    float colour[3] = {1, 1, 1};

private:
    char loadedFrom_[kFileNameSize] = {}; // the file the image was made from
};
