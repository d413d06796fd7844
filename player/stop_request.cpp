#include "player/stop_request.h"

#include "platform/console.h"

void installStopHandlers() { platform::installStopHandlers(); }

bool stopRequested() { return platform::stopRequest() != nullptr; }

const char* stopRequestName() { return platform::stopRequest(); }
