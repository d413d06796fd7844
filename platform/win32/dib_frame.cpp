#include "platform/win32/dib_frame.h"

namespace platform {

bool directDibLayout(const DibFormat& f, int maxSide, FrameLayout& layout)
{
    layout = FrameLayout{};
    if (f.compression != 0 || (f.bitCount != 24 && f.bitCount != 32)) return false;
    // Checked before negating: the most negative height has no opposite.
    if (f.width < 1 || f.width > maxSide || f.height == 0 || f.height > maxSide || f.height < -long(maxSide))
        return false;
    layout.width = int(f.width);
    layout.height = int(f.height < 0 ? -f.height : f.height);
    layout.pixelBytes = int(f.bitCount / 8);
    layout.stride = (size_t(f.width) * size_t(layout.pixelBytes) + 3) & ~size_t(3);
    layout.topDown = f.height < 0;
    return true;
}

} // namespace platform
