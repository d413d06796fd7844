// The built-in test-pattern capture driver: colour bars with a moving white
// square, so shows and tests run without a camera. It is a driver of its
// own, the same on every system.
#pragma once

#include "platform/backend/video_capture.h"

#include <cstddef>

namespace platform {

// The name that opens it, alone or followed by ":" and options.
inline constexpr char kTestPatternName[] = "testpattern";

void testPatternDescription(char* name, size_t nameSize, char* description, size_t descriptionSize);

// Opens the test pattern with options (null or "" for none): "size=WxH"
// gives it a size of its own that it keeps whatever is asked, "frames=N"
// makes it fail after N frames, "dialogs" makes it report the three driver
// dialogs and print a console line for each one shown and for the capture
// parameters, "dialogs=fail" makes it report dialogs that never open,
// "short" makes every frame arrive cut short; separated by commas. Null with the reason
// set for a bad option.
CaptureDevice* openTestPattern(const char* options);

} // namespace platform
