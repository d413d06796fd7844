// A texture kept by name in the scene registry: loaded from an image file
// (named by the file) or created blank with a size and depth.
#pragma once

#include "common/media/texture.h"

class cNamedTexture {
public:
    enum : int { kNameSize = 32 };

    cNamedTexture();
    // Deletes the GL texture.
    virtual ~cNamedTexture();

    cNamedTexture(const cNamedTexture&) = delete;
    cNamedTexture& operator=(const cNamedTexture&) = delete;

    char name[kNameSize];  // up to 31 characters, compared ignoring case
    cTexture texture;
};
