// A texture kept by name in the scene registry: loaded from an image file
// (named by the file) or created blank with a size and depth.
#pragma once

#include "common/media/texture.h"

class cGIFAnimation;

class cNamedTexture {
public:
    enum : int { kNameSize = 32 };

    cNamedTexture();
    // Deletes the GL texture and the animation.
    virtual ~cNamedTexture();

    cNamedTexture(const cNamedTexture&) = delete;
    cNamedTexture& operator=(const cNamedTexture&) = delete;

    char name[kNameSize]; // up to 31 characters, compared ignoring case
    cTexture texture;
    // The frames of an animated GIF the texture was loaded from, owned;
    // null for every other texture. The registry shows the frame of the
    // show time in the texture.
    cGIFAnimation* animation = nullptr;
    // Loaded from the file of its name (so a reload may keep it).
    bool fromFile = false;
};
