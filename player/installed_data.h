// Where an installed player finds its bundled show. A package puts the
// program in a private folder (lib/kestrelux/, with a link in bin/) and the
// bundled show in a shared folder (share/kestrelux/data/). Someone who starts
// the installed player in a folder without data/ plays that show; a folder
// that has data/ is used as always.
#pragma once

#include <string>

// The folder to read data files from instead of the working folder: the
// folder `relativeHome` (relative to `programFolder`), when the program runs
// from its installed folder (`programFolder` ends with `installedProgramDir`,
// such as "lib/kestrelux"; a build tree's bin/ never does), the working
// folder has no data/ folder, and that folder holds the script at
// `scriptPath` (its located path, such as "data/script.txt"). "" in every
// other case, so a working folder with data/ in it is never passed over.
std::string installedDataHome(const std::string& programFolder, const char* installedProgramDir,
                              const char* relativeHome, const char* scriptPath);
