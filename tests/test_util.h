// Helpers shared by the tests: a temporary working folder with a data/ tree,
// and small file utilities.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <unistd.h>
#ifdef _WIN32
#include <stdlib.h>
#else
#include <sys/wait.h>
#endif

namespace kxtest {

// Makes a new folder "<prefix>XXXXXX" (random letters) under the system's
// temp folder; empty when none could be made.
inline std::filesystem::path makeTempFolder(const std::string& prefix)
{
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device seed;
    std::mt19937 random(seed());
    std::error_code ec;
    const std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    if (ec) return {};
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = prefix;
        for (int i = 0; i < 6; ++i) name += kLetters[random() % (sizeof kLetters - 1)];
        if (std::filesystem::create_directory(base / name, ec)) return base / name;
    }
    return {};
}

// Sets an environment variable for this process and the programs it starts.
inline void setEnv(const char* name, const char* value)
{
#ifdef _WIN32
    _putenv_s(name, value);
#else
    setenv(name, value, 1);
#endif
}

// A file name quoted for the command interpreter std::system runs.
inline std::string quoted(const std::string& file)
{
#ifdef _WIN32
    return "\"" + file + "\"";
#else
    return "'" + file + "'";
#endif
}

// The file that discards what is written to it, for a command's redirection.
inline const char* nullDevice()
{
#ifdef _WIN32
    return "NUL";
#else
    return "/dev/null";
#endif
}

// Runs a command line through the system's command interpreter and returns
// the program's exit code; -1 when it did not exit normally.
inline int runCommand(const std::string& command)
{
#ifdef _WIN32
    // cmd /c drops the first and the last quote of a line that starts with
    // one; a pair around the whole line keeps the rest as written.
    return std::system(("\"" + command + "\"").c_str());
#else
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

// A program built with the tests. On Windows, whose command interpreter
// looks for a bare name only in the working folder and the PATH, a bare name
// is the file beside the test program.
inline std::string toolPath(const char* tool)
{
#ifdef _WIN32
    const char* self = _pgmptr;
    if (!std::strpbrk(tool, "/\\") && self && *self) return (std::filesystem::path(self).parent_path() / tool).string();
#endif
    return tool;
}

// The calendar time in UTC.
inline std::tm utcTime(std::time_t t)
{
    std::tm parts{};
#ifdef _WIN32
    gmtime_s(&parts, &t);
#else
    gmtime_r(&t, &parts);
#endif
    return parts;
}

// A fresh folder under the system's temp folder, holding an empty data/
// tree. While it lives it is the current directory; on destruction the
// previous directory is restored and the folder removed.
class TempDir {
public:
    TempDir()
    {
        path_ = makeTempFolder("kx_test_");
        if (path_.empty()) {
            ADD_FAILURE() << "could not make a temporary folder";
            return;
        }
        previous_ = std::filesystem::current_path();
        std::filesystem::create_directories(path_ / "data");
        std::filesystem::current_path(path_);
    }
    ~TempDir()
    {
        if (path_.empty()) return;
        std::error_code ec;
        std::filesystem::current_path(previous_, ec);
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
    std::filesystem::path previous_;
};

// Writes bytes to a file (relative to the current directory), making its
// folders.
inline void writeFile(const std::filesystem::path& file, const std::string& bytes)
{
    if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << "could not write " << file;
}

// Writes a data file: data/<relative>.
inline void writeDataFile(const std::string& relative, const std::string& bytes)
{
    writeFile(std::filesystem::path("data") / relative, bytes);
}

inline std::string readFile(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A text file as lines ending in "\n", whichever line ends this system
// writes ("\r\n" on Windows).
inline std::string readTextFile(const std::filesystem::path& file)
{
    std::ifstream in(file);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool fileExists(const std::filesystem::path& file) { return std::filesystem::exists(file); }

// A small deterministic generator for the garbage tests.
class Random {
public:
    explicit Random(unsigned seed) : state_(seed * 2654435761u + 1u) { }
    unsigned next()
    {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_;
    }
    unsigned below(unsigned n) { return n ? next() % n : 0; }

private:
    unsigned state_;
};

} // namespace kxtest
