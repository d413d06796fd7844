// Child programs, the portable part: program file names, the search path
// and the Windows command line.
#include "platform/process.h"

namespace platform {

namespace {

#if defined(_WIN32)
constexpr char kPathSeparator = ';';
constexpr const char* kProgramSuffix = ".exe";
constexpr const char* kFolderSeparator = "\\";
#else
constexpr char kPathSeparator = ':';
constexpr const char* kProgramSuffix = "";
constexpr const char* kFolderSeparator = "/";
#endif

// Appends one argument, quoted the way the C library's start-up code splits
// a command line: 2n backslashes before a quote stand for n, 2n+1 for n and
// a literal quote; backslashes elsewhere stand for themselves.
void appendQuoted(std::string& line, const std::string& arg)
{
    if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) {
        line += arg;
        return;
    }
    line += '"';
    size_t backslashes = 0;
    for (const char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') line.append(backslashes * 2 + 1, '\\');
        else line.append(backslashes, '\\');
        backslashes = 0;
        line += c;
    }
    // Before the closing quote every backslash is doubled.
    line.append(backslashes * 2, '\\');
    line += '"';
}

} // namespace

std::string programFileName(const std::string& name)
{
    const std::string suffix = kProgramSuffix;
    if (suffix.empty() || (name.size() >= suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(),
                                                                         suffix) == 0))
        return name;
    return name + suffix;
}

std::string findProgramOnPath(const std::string& fileName, const std::string& searchPath)
{
    size_t from = 0;
    while (from <= searchPath.size()) {
        size_t to = searchPath.find(kPathSeparator, from);
        if (to == std::string::npos) to = searchPath.size();
        std::string folder = searchPath.substr(from, to - from);
#if defined(_WIN32)
        // Folders on the Windows path are sometimes quoted.
        if (folder.size() >= 2 && folder.front() == '"' && folder.back() == '"')
            folder = folder.substr(1, folder.size() - 2);
#endif
        if (!folder.empty()) {
            const std::string candidate = folder + kFolderSeparator + fileName;
            if (isProgramFile(candidate)) return candidate;
        }
        from = to + 1;
    }
    return std::string();
}

std::string windowsCommandLine(const std::vector<std::string>& args)
{
    std::string line;
    for (size_t i = 0; i < args.size(); ++i) {
        if (i) line += ' ';
        appendQuoted(line, args[i]);
    }
    return line;
}

} // namespace platform
