// A named drawing target that the script declares and the draw order names.
// Only a registry entry: its texture stays empty and nothing is drawn into it.
#pragma once

#include "common/scene/named_texture.h"

class cSurface : public cNamedTexture {
public:
    cSurface();
    ~cSurface() override;
};
