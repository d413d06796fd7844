// POSIX systems: child programs through posix_spawn, their input through a
// pipe.
#include "platform/process.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace platform {

struct sChildProcess {
    pid_t pid = -1;
    int input = -1; // write end of the child's standard input
};

namespace {

std::vector<char*> argumentVector(const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    return argv;
}

// Starts the child with `in` as its standard input and `out` as its
// standard output and error; -1 with the reason in `why` on failure.
pid_t spawn(const std::vector<std::string>& args, int in, int out, std::string& why)
{
    if (args.empty()) {
        why = "no program named";
        return -1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_adddup2(&actions, in, STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out, STDERR_FILENO);
    // A process group of its own: the terminal's Ctrl+C reaches only us.
    // The child starts with the default signal actions and mask, whatever
    // this program installed.
    sigset_t all, none;
    sigfillset(&all);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    std::vector<char*> argv = argumentVector(args);
    pid_t pid = -1;
    const int error = posix_spawn(&pid, args[0].c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (error != 0) {
        why = std::string("cannot start ") + args[0] + ": " + std::strerror(error);
        return -1;
    }
    return pid;
}

int waitFor(pid_t pid, double* cpuSeconds)
{
    int status = 0;
    struct rusage usage {};
    pid_t got;
    do {
        got = wait4(pid, &status, 0, &usage);
    } while (got < 0 && errno == EINTR);
    if (cpuSeconds)
        *cpuSeconds = got == pid ? double(usage.ru_utime.tv_sec) + double(usage.ru_stime.tv_sec) +
                                       1e-6 * double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec)
                                 : 0.0;
    if (got != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void closeFd(int& fd)
{
    if (fd >= 0) close(fd);
    fd = -1;
}

} // namespace

sChildProcess* startProcess(const std::vector<std::string>& args, const std::string& errorFile, std::string& why)
{
    // A child that stops reading must give us EPIPE, not end us.
    std::signal(SIGPIPE, SIG_IGN);
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) {
        why = std::string("cannot make a pipe: ") + std::strerror(errno);
        return nullptr;
    }
    const char* outName = errorFile.empty() ? "/dev/null" : errorFile.c_str();
    int out = open(outName, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0) {
        why = std::string("cannot write ") + outName + ": " + std::strerror(errno);
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        return nullptr;
    }
    const pid_t pid = spawn(args, pipeEnds[0], out, why);
    close(pipeEnds[0]);
    close(out);
    if (pid < 0) {
        close(pipeEnds[1]);
        return nullptr;
    }
    sChildProcess* child = new sChildProcess;
    child->pid = pid;
    child->input = pipeEnds[1];
    return child;
}

bool writeToProcess(sChildProcess* child, const void* data, size_t size)
{
    if (!child || child->input < 0) return false;
    const char* at = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = write(child->input, at, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            closeFd(child->input);
            return false;
        }
        at += n;
        size -= size_t(n);
    }
    return true;
}

int finishProcess(sChildProcess* child, double* cpuSeconds)
{
    if (!child) return -1;
    closeFd(child->input);
    const int code = waitFor(child->pid, cpuSeconds);
    delete child;
    return code;
}

void killProcess(sChildProcess* child)
{
    if (!child) return;
    kill(child->pid, SIGKILL);
    finishProcess(child, nullptr);
}

bool runProcess(const std::vector<std::string>& args, std::string& output, int& exitCode, size_t maxOutput)
{
    output.clear();
    exitCode = -1;
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) return false;
    const int in = open("/dev/null", O_RDONLY | O_CLOEXEC);
    std::string why;
    const pid_t pid = in >= 0 ? spawn(args, in, pipeEnds[1], why) : -1;
    if (in >= 0) close(in);
    close(pipeEnds[1]);
    if (pid < 0) {
        close(pipeEnds[0]);
        return false;
    }
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(pipeEnds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        const size_t room = maxOutput - output.size();
        output.append(buffer, size_t(n) < room ? size_t(n) : room);
    }
    close(pipeEnds[0]);
    exitCode = waitFor(pid, nullptr);
    return true;
}

bool isProgramFile(const std::string& path)
{
    struct stat info {};
    return !path.empty() && stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

} // namespace platform
