// Files by name. Names are UTF-8 everywhere inside the program; only the
// call into the system converts them. On Windows that means the wide
// (UTF-16) calls, so a file or folder whose name lies outside the ANSI code
// page ("Ωmega é.tga") opens like any other. A name that is not valid UTF-8
// (a script saved by an editor in the ANSI code page) is handed to the
// system as ANSI text, as it always was. On other systems names are bytes
// and go through as they are.
//
// Every file the program, its plug-ins and the audio engine open goes
// through here: this is a small static library linked into each of them,
// with no state.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

namespace platform {

// Opens a file as std::fopen does.
std::FILE* openFile(const char* name, const char* mode);

// The std::filesystem path of a name, and the name of a path: whatever
// std::filesystem finds or makes comes back as UTF-8.
std::filesystem::path filePath(const std::string& name);
std::string fileName(const std::filesystem::path& path);

// Renames a file, replacing a file of the new name (which a plain rename
// refuses on Windows); true on success.
bool replaceFile(const char* from, const char* to);
// Deletes a file; true on success.
bool removeFile(const char* name);

// Whether a name has a folder in it (a separator, or on Windows a drive
// letter's colon), rather than being a bare file name.
bool nameHasFolder(const std::string& name);

#if defined(_WIN32)
// UTF-8 to UTF-16; false (and `wide` empty) for text that is not valid UTF-8.
bool widenUtf8(const char* text, std::wstring& wide);
// UTF-16 to UTF-8; unpaired surrogates become U+FFFD.
std::string utf8FromWide(const wchar_t* text);
// What openFile and filePath hand the system: UTF-8 converted, anything else
// read in the system's ANSI code page (also when the program's manifest
// makes its own code page UTF-8).
std::wstring systemName(const char* name);
#endif

} // namespace platform
