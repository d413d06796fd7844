// The process-wide log. Every message of the player goes through
// cLog::get()->logf(...), one line per call, into "log.txt"; lines from
// several threads are written one after the other, never mixed.
#pragma once

#include <cstdint>

class cLog {
public:
    enum Format : uint32_t {
        formatTime = 0x40,
        formatDate = 0x80,
        formatLineNumber = 0x100,
        formatLevelBar = 0x200,
    };
    enum Output : uint32_t {
        outputFile = 0x1,
        outputConsole = 0x2,
        outputMessageBox = 0x8,
    };

    // The one log, created disabled with the defaults on first use.
    static cLog* get();

    void setFileName(const char* fileName);
    void setOutput(uint32_t flags) { output_ = flags; }
    void setFormat(uint32_t flags) { format_ = flags; }
    void setEnabled(bool on) { enabled_ = on ? 1 : 0; }

    // Formats printf-style and writes one line at level 0.
    void logf(const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;
    // Writes one line; the text is written as it stands.
    void write(unsigned level, const char* text);

    uint32_t lineCount() const { return lines_; }
    const char* fileName() const { return fileName_; }
    bool enabled() const { return enabled_ != 0; }

    // Back to the state of a new log (used at exit and by tests).
    void reset();

private:
    cLog() { reset(); }

    uint32_t format_;
    uint32_t output_;
    uint32_t lines_;
    char fileName_[256];
    uint32_t level_;
    unsigned char started_;
    unsigned char enabled_;
};
