#include "player/show_end.h"

namespace {
const char* gHow = nullptr;
} // namespace

const char* const kShowEndNoWindow = "no window could be opened";

void noteShowEnd(const char* how) { gHow = how; }
const char* showEnd() { return gHow; }
