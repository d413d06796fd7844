// Error and warning lines for the console that also belong in the player's
// log: a missing picture, texture, font or tune is reported by code in the
// libraries, which know nothing of the log. The line is printed on
// standard output as it always was, and handed to the sink the program set.
#pragma once

#include "platform/api.h"

namespace platform {

// Formats printf-style and prints the line on standard output (the format
// ends with "\n" as for printf); then the sink gets the line without it.
KX_PLATFORM_API void reportProblem(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Where every reported line also goes; null: only the console.
KX_PLATFORM_API void setProblemSink(void (*sink)(const char* line));

} // namespace platform
