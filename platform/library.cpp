// Dynamic libraries, the part every system shares: the file names a library
// name stands for, the folders a bare name is looked for in and their
// order, and which failure is reported. The back end loads one file.
#include "platform/library.h"

#include "platform/backend/library.h"
#include "platform/file_name.h"
#include "platform/library_name.h"

#include <filesystem>
#include <string>
#include <system_error>

namespace platform {

namespace {

std::string gLibraryError;
// The reason kept is about a file that exists but does not load, when one
// was met; otherwise the first reason.
bool gErrorAboutAFile = false;

// checkFile: the name is a path to the file (not a name for the system
// loader's search), so whether the file exists can be told.
void* tryOpen(const std::string& path, bool checkFile)
{
    std::string why;
    if (void* handle = loadLibraryFile(path.c_str(), why)) return handle;
    std::error_code error;
    const bool aboutAFile = checkFile && std::filesystem::exists(filePath(path), error);
    if ((aboutAFile && !gErrorAboutAFile) || gLibraryError.empty()) {
        gLibraryError = why.empty() ? path + ": cannot load" : why;
        gErrorAboutAFile = aboutAFile;
    }
    return nullptr;
}

// One file name: a name with a folder in it as it stands; a bare name beside
// the program, in the working folder, then wherever the system loader looks.
void* openFile(const std::string& name)
{
    if (nameHasFolder(name)) return tryOpen(name, true);
    if (void* h = tryOpen(programFolder() + "/" + name, true)) return h;
    if (void* h = tryOpen("./" + name, true)) return h;
    return tryOpen(name, false);
}

} // namespace

void* openLibrary(const char* name)
{
    gLibraryError.clear();
    gErrorAboutAFile = false;
    if (!name || !*name) {
        gLibraryError = "no library name";
        return nullptr;
    }
    for (const std::string& file : libraryFileNames(name))
        if (void* h = openFile(file)) return h;
    return nullptr;
}

const char* lastLibraryError() { return gLibraryError.c_str(); }

} // namespace platform
