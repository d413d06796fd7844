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

// The user's session is ending (Windows' log-off and shut-down): the
// system may end the process at any moment after telling the program, so
// the stop request is recorded and `finish` is called at once, on the
// thread that owns the windows, to complete what must not be left half
// written. Called at most once; the program then goes on ending normally
// if it is given the time. Elsewhere sessions end with a stop signal and
// the handler is never called.
KX_PLATFORM_API void setSessionEndHandler(void (*finish)());

// What asked the program to stop, as a reader names it ("SIGINT (Ctrl+C)",
// "SIGTERM"); the latest request when several came; null while none has.
KX_PLATFORM_API const char* stopRequest();

// Whether standard error goes to a terminal (rather than a file or a pipe).
KX_PLATFORM_API bool standardErrorIsTerminal();

} // namespace platform
