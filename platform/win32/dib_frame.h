// Frames of the Video for Windows capture interface as the layer's
// pictures: 24-bit BGR, rows packed end to end, bottom row first.
#pragma once

#include "platform/win32/windows_api.h"

#include <cstddef>

namespace platform {

// Whether frames of this format can be read as they come: uncompressed
// (BI_RGB) 24 or 32 bits per pixel, of a size from 1 to maxSide each way.
bool isDirectDibFormat(const BITMAPINFOHEADER& format, int maxSide);

// Copies one frame of a direct format (rows padded to 4 bytes; bottom row
// first for a positive height, top row first for a negative one) into
// width x height pixels at out, nearest pixel where the sizes differ.
// False, with nothing written, when the format is not direct or `bytes`
// is too short for a whole frame.
bool convertDibFrame(const BITMAPINFOHEADER& format, const void* data, size_t bytes, int maxSide, int width, int height,
                     unsigned char* out);

} // namespace platform
