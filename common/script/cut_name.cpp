#include "common/script/cut_name.h"

#include <cstring>
#include <strings.h>

bool cutNameMatches(const char* stored, const char* wanted, size_t maxLength)
{
    if (!wanted) wanted = "";
    // Equal in the first maxLength characters, and the stored name ends
    // where the wanted one ends or is cut.
    if (strncasecmp(stored, wanted, maxLength) != 0) return false;
    return strnlen(wanted, maxLength) < maxLength || strnlen(stored, maxLength + 1) == maxLength;
}
