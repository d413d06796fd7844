// The program's command-line arguments as UTF-8 text.
#pragma once

#include "platform/api.h"

#include <string>
#include <vector>

namespace platform {

// argv[0] .. argv[argc - 1] as UTF-8. On Windows they are read from the wide
// command line: the narrow argv holds them in the ANSI code page, which
// turns every character outside it into '?', so a script in a folder named
// "Démo Ω" could not be found. Elsewhere argv is used as it is.
KX_PLATFORM_API std::vector<std::string> programArguments(int argc, char** argv);

} // namespace platform
