// The console the program runs in: requests to stop it (Ctrl+C, and the
// system's request to end it), and whether its standard error is a
// terminal.
#pragma once

#include "platform/api.h"

namespace platform {

// Installs handlers for Ctrl+C and for the system's request to end the
// program (SIGINT and SIGTERM on Linux). A handler only records the
// request; the program looks at stopRequest() between its steps. A second
// request of the same kind ends the program at once, the system's default
// way. A request that the parent process told the program to ignore (a
// background job's Ctrl+C) stays ignored.
KX_PLATFORM_API void installStopHandlers();

// What asked the program to stop, as a reader names it ("SIGINT (Ctrl+C)",
// "SIGTERM"); the latest request when several came; null while none has.
KX_PLATFORM_API const char* stopRequest();

// Whether standard error goes to a terminal (rather than a file or a pipe).
KX_PLATFORM_API bool standardErrorIsTerminal();

} // namespace platform
