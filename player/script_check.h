// Checks a script that was read without playing it: elements that are
// neither commands nor effects (with the nearest known name), attributes
// given to an effect before its add, texture attributes read before the
// window exists, effects that draworder and load name but no add makes,
// and, when asked, every file the script names and the effect types of the
// libraries it loads. The player warns about what it finds before a show
// starts; `kestrelux --check` prints all of it and says by its exit status
// whether the script is clean.
#pragma once

#include "player/script_places.h"

#include <string>
#include <vector>

class cXmlTag;

struct sDiagnostic {
    bool error = false; // an error, else a warning
    sScriptPlace place;
    std::string text;

    // "file:line:column: warning: text"
    std::string line() const;
};

struct sCheckOptions {
    bool resolveFiles = false; // look every named data file up under data/
    bool loadPlugins = false;  // load the libraries to know the types they make
};

// `filesRead`: the script and every file its includes named, as the reader
// recorded them.
std::vector<sDiagnostic> checkScript(const cXmlTag* root, const std::vector<std::string>& filesRead,
                                     const sCheckOptions& options);

// The known name nearest to `name` by edit distance (ignoring case), or ""
// when none is close enough to be a slip of the keyboard.
std::string nearestName(const char* name, const std::vector<std::string>& known);

// A problem the show meets while it runs: "file:line:column: text" (the
// tag's place when known) on standard error and in the log.
void reportScriptProblem(const cXmlTag* tag, const std::string& text);
// The warnings and errors of a check, the same way; the number reported.
int reportDiagnostics(const std::vector<sDiagnostic>& diagnostics);
