// What each back end gives the portable outline-font call
// (platform/outline_font.cpp).
#pragma once

#include "platform/outline_font.h"

namespace platform {

// useFontOutlines() once its arguments are checked: first .. first + count - 1
// lies within 0 .. 255, metrics (when given) holds count zeroed records and
// choice (when given) is cleared.
bool buildOutlineFont(const char* faceName, bool italic, int first, int count, unsigned listBase, float deviation,
                      float extrusion, GlyphMetricsFloat* metrics, OutlineFontChoice* choice);

} // namespace platform
