#include "platform/library_name.h"

#include <strings.h>

namespace platform {

std::vector<std::string> libraryFileNames(const char* name, const char* suffix)
{
    std::vector<std::string> names;
    if (!name || !*name) return names;
    const std::string given = name;
    const std::string ext = suffix ? suffix : "";
    // The extension belongs to the last part of a path.
    const size_t partStart = given.find_last_of("/\\");
    const std::string part = partStart == std::string::npos ? given : given.substr(partStart + 1);
    const size_t len = given.size();

    if (part.find('.') == std::string::npos && !ext.empty()) {
        names.push_back(given + ext);
        names.push_back(given);
    } else if (len > 4 && strcasecmp(given.c_str() + len - 4, ".dll") == 0 && !ext.empty() &&
               strcasecmp(ext.c_str(), ".dll") != 0) {
        names.push_back(given);
        names.push_back(given.substr(0, len - 4) + ext);
    } else {
        names.push_back(given);
    }
    return names;
}

} // namespace platform
