// Captured frames into the layer's pictures: the one place where a frame of
// any driver's layout becomes width x height pixels of 24-bit BGR, rows
// packed end to end, bottom row first, scaled to the nearest pixel. Every
// back end describes what its driver delivers as a FrameLayout and hands
// the frame here.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

// A frame as a driver delivers it: blue-green-red pixels of 3 bytes, or of
// 4 with the fourth ignored.
struct FrameLayout {
    int width = 0;
    int height = 0;
    int pixelBytes = 3;   // 3 or 4
    size_t stride = 0;    // bytes from the start of one row to the next
    bool topDown = false; // the first row in memory is the top one
};

enum class FrameScale {
    done,       // the picture is written
    shortFrame, // fewer bytes than stride x height: nothing written
    unusable,   // a layout no frame can have: nothing written
};

// Whether frames of this layout can be scaled: each side 1 .. maxSide, 3 or
// 4 bytes per pixel, a stride that holds a row and is at most 4 x maxSide.
bool usableFrameLayout(const FrameLayout& layout, int maxSide);

// The bytes a whole frame of this layout takes (stride x height).
size_t frameLayoutBytes(const FrameLayout& layout);

// Writes the frame at `data` (`bytes` long) into out, width x height x 3
// bytes: destination pixel (x, y), counted from the bottom, takes source
// pixel (x * source width / width, y * source height / height), also
// counted from the bottom.
FrameScale scaleFrame(const FrameLayout& layout, const void* data, size_t bytes, int maxSide, int width, int height,
                      unsigned char* out);

// The four characters of a format code (the first in the low byte), each
// unprintable one as '?'.
void fourCharacterCode(uint32_t code, char out[5]);

} // namespace platform
