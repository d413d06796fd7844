// A show built from a script held in memory, for the benchmarks that time a
// real window: the script is read and its commands run (create, load, ...).
// The parsed tree outlives the show, whose events point into it.
#pragma once

#include "common/media/stream.h"
#include "player/demo.h"
#include "player/script_reader.h"

#include <cstdio>

struct sBenchShow {
    cXmlTag root;
    cDemo demo;

    // Reads `script` (a string literal) and runs its commands; false, said
    // on the console, when the script cannot be read.
    template <size_t N>
    bool build(const char (&script)[N])
    {
        cMemoryStream source(script, N - 1);
        if (parse(&root, source) != 0) {
            std::printf("script: %s\n", lastError());
            return false;
        }
        demo.doXML(root.firstChild);
        return true;
    }
};
