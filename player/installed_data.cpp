#include "player/installed_data.h"

#include "platform/file_name.h"

#include <filesystem>
#include <system_error>

namespace {

bool isFolder(const std::string& path)
{
    std::error_code error;
    return std::filesystem::is_directory(platform::filePath(path), error);
}

bool isFile(const std::string& path)
{
    std::error_code error;
    return std::filesystem::is_regular_file(platform::filePath(path), error);
}

bool endsWith(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

} // namespace

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
    std::error_code error;
    const std::filesystem::path resolved = std::filesystem::canonical(platform::filePath(home), error);
    return error ? home : platform::fileName(resolved);
}
