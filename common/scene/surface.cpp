#include "common/scene/surface.h"

cSurface::cSurface() = default;

// The texture's destructor releases what there is.
cSurface::~cSurface() = default;
