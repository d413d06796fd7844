#include "player/installed_data.h"

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool isFolder(const std::string& path)
{
    struct stat st { };
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isFile(const std::string& path)
{
    struct stat st { };
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool endsWith(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

} // namespace

std::string programFolder()
{
#if defined(__linux__)
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return "";
    path[n] = 0;
    const std::string program = path;
    const size_t slash = program.find_last_of('/');
    return slash == std::string::npos ? "" : program.substr(0, slash);
#else
    return "";
#endif
}

std::string installedDataHome(const std::string& programFolder, const char* installedProgramDir,
                              const char* relativeHome, const char* scriptPath)
{
    if (programFolder.empty() || !installedProgramDir || !relativeHome || !*relativeHome || !scriptPath || !*scriptPath)
        return "";
    while (*installedProgramDir == '/') ++installedProgramDir;
    const std::string tail = std::string("/") + installedProgramDir;
    if (!*installedProgramDir || !endsWith(programFolder, tail)) return "";
    if (isFolder("data")) return "";
    const std::string home = programFolder + "/" + relativeHome;
    if (!isFolder(home + "/data") || !isFile(home + "/" + scriptPath)) return "";
    // A plain path for the messages: "/usr/lib/kestrelux/../../share/kestrelux"
    // becomes "/usr/share/kestrelux".
    char resolved[4096];
    return realpath(home.c_str(), resolved) ? std::string(resolved) : home;
}
