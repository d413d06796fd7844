// POSIX systems: stop requests through signal handlers, and the terminal
// check.
#include "platform/console.h"

#include <csignal>
#include <unistd.h>

namespace platform {

namespace {

volatile std::sig_atomic_t gStopSignal = 0;

// Async-signal-safe: it only stores the signal number.
void onStopSignal(int sig) { gStopSignal = sig; }

void install(int sig)
{
    struct sigaction current { };
    if (sigaction(sig, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) return;
    struct sigaction action { };
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    // SA_RESETHAND: the next signal of this kind finds the default action,
    // so a program stuck inside one long step can still be ended.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    sigaction(sig, &action, nullptr);
}

} // namespace

void installStopHandlers()
{
    install(SIGINT);
    install(SIGTERM);
}

void setSessionEndHandler(void (*)())
{
    // Here a session that ends sends SIGTERM, a stop signal like any other.
}

const char* stopRequest()
{
    const int sig = gStopSignal;
    if (sig == 0) return nullptr;
    if (sig == SIGINT) return "SIGINT (Ctrl+C)";
    if (sig == SIGTERM) return "SIGTERM";
    return "a signal";
}

bool standardErrorIsTerminal() { return isatty(STDERR_FILENO) == 1; }

} // namespace platform
