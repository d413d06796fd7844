#include "common/scene/named_texture.h"

#include "common/media/gif_animation.h"

#include <cstring>

cNamedTexture::cNamedTexture() { std::memset(name, 0, sizeof name); }

cNamedTexture::~cNamedTexture()
{
    texture.destroy();
    delete animation;
}
