// Helpers shared by the tests: a temporary working folder with a data/ tree,
// and small file utilities.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

namespace kxtest {

// A fresh folder under the system's temp folder, holding an empty data/
// tree. While it lives it is the current directory; on destruction the
// previous directory is restored and the folder removed.
class TempDir {
public:
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "kx_test_XXXXXX").string();
        char* made = mkdtemp(pattern.data());
        if (!made) {
            ADD_FAILURE() << "mkdtemp failed";
            return;
        }
        path_ = made;
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
