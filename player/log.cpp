#include "player/log.h"

#include "platform/clock.h"
#include "platform/file_name.h"
#include "platform/message_box.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {
constexpr size_t kMessageSize = 16384;
constexpr size_t kLineSize = 32768;
char gMessage[kMessageSize];
char gLine[kLineSize];
// Controller threads (OSC, MIDI ports) log too: one line at a time, and
// the buffers above are shared.
std::recursive_mutex gLineLock;

// Appends formatted text to the line buffer, never past its end.
void appendf(size_t& used, const char* format, ...)
{
    if (used >= kLineSize - 1) return;
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(gLine + used, kLineSize - used, format, args);
    va_end(args);
    if (n > 0) used += static_cast<size_t>(n) < kLineSize - used ? static_cast<size_t>(n) : kLineSize - 1 - used;
}

void append(size_t& used, const char* text)
{
    const size_t room = kLineSize - 1 - used;
    size_t n = std::strlen(text);
    if (n > room) n = room;
    std::memcpy(gLine + used, text, n);
    used += n;
    gLine[used] = 0;
}
} // namespace

cLog* cLog::get()
{
    static cLog* instance = [] {
        static cLog log;
        std::atexit([] { log.reset(); });
        return &log;
    }();
    return instance;
}

void cLog::reset()
{
    format_ = formatTime | formatLineNumber | formatLevelBar;
    output_ = outputFile;
    lines_ = 0;
    std::snprintf(fileName_, sizeof fileName_, "%s", "log.txt");
    level_ = 0;
    started_ = 0;
    enabled_ = 0;
}

void cLog::setFileName(const char* fileName)
{
    std::snprintf(fileName_, sizeof fileName_, "%s", fileName ? fileName : "");
    started_ = 0;
}

void cLog::logf(const char* format, ...)
{
    if (!enabled_) return;
    std::lock_guard<std::recursive_mutex> lock(gLineLock);
    va_list args;
    va_start(args, format);
    std::vsnprintf(gMessage, sizeof gMessage, format, args);
    va_end(args);
    write(0, gMessage);
}

void cLog::write(unsigned level, const char* text)
{
    if (!enabled_) return;
    std::lock_guard<std::recursive_mutex> lock(gLineLock);
    size_t used = 0;
    gLine[0] = 0;

    if (format_ & formatLineNumber) appendf(used, "%06u|", lines_);
    if (format_ & (formatTime | formatDate)) {
        const platform::UtcTime t = platform::utcNow();
        if (format_ & formatDate) appendf(used, "[%02u-%02u-%04u] ", t.day, t.month, t.year);
        if (format_ & formatTime) appendf(used, "[%02u:%02u:%02u.%03u] ", t.hour, t.minute, t.second, t.millisecond);
    }
    level_ = level & 63;
    if (format_ & formatLevelBar) {
        char bar[7];
        for (unsigned i = 0; i < 5; ++i) bar[i] = level_ >= i ? ' ' : '*';
        bar[5] = ' ';
        bar[6] = 0;
        append(used, bar);
    }
    append(used, text ? text : "");
    append(used, "\r\n");

    if (output_ & outputFile) {
        // Binary both times: the line already ends in "\r\n", which a text
        // mode file on Windows would write as "\r\r\n".
        std::FILE* f = platform::openFile(fileName_, started_ ? "ab" : "wb");
        if (f) {
            started_ = 1;
            std::fwrite(gLine, 1, used, f);
            std::fflush(f);
            std::fclose(f);
        }
    }
    if (output_ & outputConsole) {
        std::fwrite(gLine, 1, used, stdout);
        std::fflush(stdout);
    }
    if (output_ & outputMessageBox) platform::messageBox("LOG", gLine, platform::MessageIcon::information);
    ++lines_;
}
