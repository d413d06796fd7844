#include "platform/problem_report.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {
void (*gSink)(const char*) = nullptr;
} // namespace

namespace platform {

void reportProblem(const char* format, ...)
{
    char line[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    std::fputs(line, stdout);
    if (!gSink) return;
    size_t n = std::strlen(line);
    while (n > 0 && (line[n - 1] == '\n' || line[n - 1] == '\r')) line[--n] = 0;
    gSink(line);
}

void setProblemSink(void (*sink)(const char* line)) { gSink = sink; }

} // namespace platform
