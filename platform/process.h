// Child programs: starting one with a pipe to its standard input (capture
// mode feeds an encoder this way), running one to read what it prints, and
// finding a program on the search path. The portable part holds the
// policy (search order, the Windows command line's quoting); the back end
// makes the system's calls.
#pragma once

#include "platform/api.h"

#include <cstddef>
#include <string>
#include <vector>

namespace platform {

// A running child program; opaque.
struct sChildProcess;

// Starts args[0] (a path to the program) with the other arguments. Its
// standard input is a pipe that writeToProcess feeds; its standard output
// and standard error go to errorFile (created or emptied), or are dropped
// when errorFile is empty. The child runs in a process group of its own, so
// a Ctrl+C at the terminal reaches only this program, which then ends the
// child's input in order. Null with the reason in `why` when it cannot
// start.
KX_PLATFORM_API sChildProcess* startProcess(const std::vector<std::string>& args, const std::string& errorFile,
                                            std::string& why);

// Writes all of `size` bytes to the child's standard input, waiting while
// the pipe is full. False once the child has stopped reading (it ended or
// closed its input); the program is not ended by that.
KX_PLATFORM_API bool writeToProcess(sChildProcess* child, const void* data, size_t size);

// Ends the child's input, waits for it to end and frees it. The exit code,
// or -1 when it was ended by a signal or could not be waited for.
// cpuSeconds, when given, receives the processor time the child used.
KX_PLATFORM_API int finishProcess(sChildProcess* child, double* cpuSeconds);

// Ends the child at once, waits for it and frees it.
KX_PLATFORM_API void killProcess(sChildProcess* child);

// Runs args[0] with the other arguments and no input, and collects what it
// prints (standard output and standard error, at most maxOutput bytes; the
// rest is read and dropped). False when it cannot start.
KX_PLATFORM_API bool runProcess(const std::vector<std::string>& args, std::string& output, int& exitCode,
                                size_t maxOutput = 1 << 20);

// Whether path names a file this program could start.
KX_PLATFORM_API bool isProgramFile(const std::string& path);

// The file name of a program on this system: "ffmpeg" stays "ffmpeg"
// where programs have no suffix and becomes "ffmpeg.exe" on Windows.
KX_PLATFORM_API std::string programFileName(const std::string& name);

// The first folder of `searchPath` (the PATH variable's value: folders
// separated by ':', or ';' on Windows; empty entries skipped) holding the
// program `fileName`; empty when none does.
KX_PLATFORM_API std::string findProgramOnPath(const std::string& fileName, const std::string& searchPath);

// The Windows command line that hands `args` to a program whose C library
// splits it the usual way (quotes around arguments with blanks or quotes,
// backslashes doubled before a quote).
KX_PLATFORM_API std::string windowsCommandLine(const std::vector<std::string>& args);

} // namespace platform
