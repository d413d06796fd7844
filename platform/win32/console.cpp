// Windows back end: stop requests through a console control handler, and
// the terminal check.
#include "platform/console.h"

#include "platform/win32/native_window.h"

#include <atomic>

namespace platform {

namespace {

// The console event that asked the program to stop, plus one; 0 while none
// has. The handler runs on a thread the system starts for it.
std::atomic<unsigned> gStopEvent{0};

void (*gSessionEndHandler)() = nullptr;

const char* eventName(unsigned event)
{
    switch (event) {
    case CTRL_C_EVENT:
        return "Ctrl+C";
    case CTRL_BREAK_EVENT:
        return "Ctrl+Break";
    case CTRL_CLOSE_EVENT:
        return "console closed";
    case CTRL_LOGOFF_EVENT:
        return "log-off";
    case CTRL_SHUTDOWN_EVENT:
        return "shut-down";
    default:
        return "a console event";
    }
}

BOOL WINAPI onConsoleEvent(DWORD event)
{
    // A second request of the same kind: the system's default handler ends
    // the program at once, so a program stuck inside one long step can still
    // be ended.
    if (gStopEvent.exchange(unsigned(event) + 1) == unsigned(event) + 1) return FALSE;
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        // The system ends the process as soon as this handler returns, and
        // some seconds later anyway: the time in between lets the program
        // finish its step and leave on its own.
        Sleep(10000);
    }
    return TRUE;
}

} // namespace

void installStopHandlers()
{
    // A Ctrl+C that the parent process told the program to ignore (with
    // SetConsoleCtrlHandler(NULL, TRUE), which children inherit) never
    // reaches the handler, so it stays ignored.
    SetConsoleCtrlHandler(&onConsoleEvent, TRUE);
}

void setSessionEndHandler(void (*finish)()) { gSessionEndHandler = finish; }

void requestStopForSessionEnd(bool logOff)
{
    // Named as the console's events of the same meaning.
    gStopEvent.store(unsigned(logOff ? CTRL_LOGOFF_EVENT : CTRL_SHUTDOWN_EVENT) + 1);
}

void finishForSessionEnd()
{
    void (*finish)() = gSessionEndHandler;
    gSessionEndHandler = nullptr;
    if (finish) finish();
}

const char* stopRequest()
{
    const unsigned event = gStopEvent.load();
    return event ? eventName(event - 1) : nullptr;
}

bool standardErrorIsTerminal()
{
    HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    return error && error != INVALID_HANDLE_VALUE && GetFileType(error) == FILE_TYPE_CHAR &&
           GetConsoleMode(error, &mode) != FALSE;
}

} // namespace platform
