// A library for the smoke test of the Windows back end: one export, hasFX.
#include <cstring>

extern "C" __declspec(dllexport) bool hasFX(const char* name) { return name && std::strcmp(name, "smoke") == 0; }
