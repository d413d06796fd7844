// Names from the script kept in fixed-size fields: a name longer than its
// field is cut to fit where it is stored, so every lookup of the name must
// cut the wanted name the same way to find the entry again.
#pragma once

#include <cstddef>

// True when the stored name equals the wanted one cut to maxLength
// characters, ignoring ASCII case. Null wants the empty name.
bool cutNameMatches(const char* stored, const char* wanted, size_t maxLength);
