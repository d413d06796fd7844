// POSIX: arguments are bytes, UTF-8 by convention, and used as they come.
#include "platform/program_arguments.h"

namespace platform {

std::vector<std::string> programArguments(int argc, char** argv)
{
    std::vector<std::string> args;
    for (int i = 0; i < argc && argv; ++i) args.push_back(argv[i] ? argv[i] : "");
    return args;
}

} // namespace platform
