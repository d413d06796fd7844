// Windows back end: child programs through CreateProcess, their input
// through an anonymous pipe.
#include "platform/process.h"

#include "platform/file_name.h"
#include "platform/win32/native_window.h"

namespace platform {

struct sChildProcess {
    HANDLE process = nullptr;
    HANDLE input = nullptr; // write end of the child's standard input
};

namespace {

std::string lastErrorText(const std::string& what)
{
    char text[256];
    systemErrorText(GetLastError(), text, sizeof text);
    return what + ": " + text;
}

void closeHandle(HANDLE& h)
{
    if (h) CloseHandle(h);
    h = nullptr;
}

HANDLE inheritableFile(const char* name, DWORD access, DWORD disposition)
{
    // Names are UTF-8 inside the program: the wide call reaches every file.
    std::wstring wide;
    if (!widenUtf8(name, wide)) {
        SetLastError(ERROR_INVALID_NAME);
        return nullptr;
    }
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE h = CreateFileW(wide.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    return h == INVALID_HANDLE_VALUE ? nullptr : h;
}

// Starts the child with the three standard handles given (each inheritable);
// a new process group, so Ctrl+C in the console reaches only this program,
// and no window of its own.
HANDLE spawn(const std::vector<std::string>& args, HANDLE in, HANDLE out, std::string& why)
{
    if (args.empty()) {
        why = "no program named";
        return nullptr;
    }
    std::wstring program, line;
    if (!widenUtf8(args[0].c_str(), program) || !widenUtf8(windowsCommandLine(args).c_str(), line)) {
        why = "cannot start " + args[0] + ": the command line is not valid UTF-8";
        return nullptr;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = out;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(program.c_str(), &line[0], nullptr, nullptr, TRUE,
                        CREATE_NEW_PROCESS_GROUP | CREATE_NO_WINDOW, nullptr, nullptr, &startup, &info)) {
        why = lastErrorText("cannot start " + args[0]);
        return nullptr;
    }
    CloseHandle(info.hThread);
    return info.hProcess;
}

int waitFor(HANDLE process, double* cpuSeconds)
{
    WaitForSingleObject(process, INFINITE);
    DWORD code = DWORD(-1);
    if (!GetExitCodeProcess(process, &code)) code = DWORD(-1);
    if (cpuSeconds) {
        FILETIME created, ended, kernel, user;
        *cpuSeconds = 0;
        if (GetProcessTimes(process, &created, &ended, &kernel, &user)) {
            auto seconds = [](const FILETIME& t) {
                return double((ULONGLONG(t.dwHighDateTime) << 32) | t.dwLowDateTime) * 1e-7;
            };
            *cpuSeconds = seconds(kernel) + seconds(user);
        }
    }
    return code > 255 ? -1 : int(code);
}

} // namespace

sChildProcess* startProcess(const std::vector<std::string>& args, const std::string& errorFile, std::string& why)
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 1 << 20)) {
        why = lastErrorText("cannot make a pipe");
        return nullptr;
    }
    // Only the read end goes to the child; with the write end inherited too
    // the child would never see the end of its input.
    SetHandleInformation(writeEnd, HANDLE_FLAG_INHERIT, 0);
    const char* outName = errorFile.empty() ? "NUL" : errorFile.c_str();
    HANDLE out = inheritableFile(outName, GENERIC_WRITE, CREATE_ALWAYS);
    if (!out) {
        why = lastErrorText(std::string("cannot write ") + outName);
        closeHandle(readEnd);
        closeHandle(writeEnd);
        return nullptr;
    }
    HANDLE process = spawn(args, readEnd, out, why);
    closeHandle(readEnd);
    closeHandle(out);
    if (!process) {
        closeHandle(writeEnd);
        return nullptr;
    }
    sChildProcess* child = new sChildProcess;
    child->process = process;
    child->input = writeEnd;
    return child;
}

bool writeToProcess(sChildProcess* child, const void* data, size_t size)
{
    if (!child || !child->input) return false;
    const char* at = static_cast<const char*>(data);
    while (size > 0) {
        const DWORD chunk = size > (1u << 30) ? (1u << 30) : DWORD(size);
        DWORD written = 0;
        if (!WriteFile(child->input, at, chunk, &written, nullptr) || written == 0) {
            closeHandle(child->input);
            return false;
        }
        at += written;
        size -= written;
    }
    return true;
}

int finishProcess(sChildProcess* child, double* cpuSeconds)
{
    if (!child) return -1;
    closeHandle(child->input);
    const int code = waitFor(child->process, cpuSeconds);
    closeHandle(child->process);
    delete child;
    return code;
}

void killProcess(sChildProcess* child)
{
    if (!child) return;
    TerminateProcess(child->process, 1);
    finishProcess(child, nullptr);
}

bool runProcess(const std::vector<std::string>& args, std::string& output, int& exitCode, size_t maxOutput)
{
    output.clear();
    exitCode = -1;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return false;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    HANDLE in = inheritableFile("NUL", GENERIC_READ, OPEN_EXISTING);
    std::string why;
    HANDLE process = in ? spawn(args, in, writeEnd, why) : nullptr;
    closeHandle(in);
    closeHandle(writeEnd);
    if (!process) {
        closeHandle(readEnd);
        return false;
    }
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(readEnd, buffer, sizeof buffer, &n, nullptr) && n > 0) {
        const size_t room = maxOutput - output.size();
        output.append(buffer, size_t(n) < room ? size_t(n) : room);
    }
    closeHandle(readEnd);
    exitCode = waitFor(process, nullptr);
    closeHandle(process);
    return true;
}

bool isProgramFile(const std::string& path)
{
    if (path.empty()) return false;
    std::wstring wide;
    if (!widenUtf8(path.c_str(), wide)) return false;
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

} // namespace platform
