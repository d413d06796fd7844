// Windows back end: the arguments from the wide command line, split by the
// system's own rules (the ones the C runtime follows for argv).
#include "platform/program_arguments.h"

#include "platform/file_name.h"
#include "platform/win32/windows_api.h"

#include <shellapi.h>

namespace platform {

std::vector<std::string> programArguments(int argc, char** argv)
{
    std::vector<std::string> args;
    int count = 0;
    if (LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 0; i < count; ++i) args.push_back(utf8FromWide(wide[i]));
        LocalFree(wide);
        return args;
    }
    // Without the wide command line, the narrow one as the runtime gave it.
    for (int i = 0; i < argc && argv; ++i) args.push_back(argv[i] ? argv[i] : "");
    return args;
}

} // namespace platform
