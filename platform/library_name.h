// How a library name from a script becomes file names to load. The rule is
// the same on every system; only the suffix differs, so each back end takes
// the names from here and applies its own search folders to each.
#pragma once

#include <string>
#include <vector>

namespace platform {

// The file name suffix of the system's dynamic libraries.
#if defined(_WIN32)
inline constexpr char kLibrarySuffix[] = ".dll";
#else
inline constexpr char kLibrarySuffix[] = ".so";
#endif

// The file names to try for `name`, in order:
// - a name whose last part has no extension ("lumafold", "plugins/fx"):
//   with the suffix added, then as it stands;
// - a name ending in ".dll" on a system whose suffix differs: as it stands,
//   then with the system's suffix in place of ".dll";
// - any other name: as it stands.
// Empty for a null or empty name.
std::vector<std::string> libraryFileNames(const char* name, const char* suffix = kLibrarySuffix);

} // namespace platform
