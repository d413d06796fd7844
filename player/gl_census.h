// A census of the GL objects alive in the show's context: textures, display
// lists, and shader and program objects. It is opt-in (--gl-census FILE) and
// meant for long runs that look for leaks: once a second the frame loop
// writes the counts to FILE, replacing it whole, as lines of "name count".
#pragma once

#include <string>

struct sGLCensus {
    long textures = 0;
    long lists = 0;
    long programs = 0; // shader and program objects together (one name space)
};

// Counts the names of the current context. A name is alive when glIsTexture,
// glIsList, glIsShader or glIsProgram says so; every name up to a freshly
// made one is asked, and beyond it until 4096 unused names in a row, so the
// count is right whether the driver hands out names in rising order or
// reuses freed ones. A few thousand lookups: well under a millisecond.
sGLCensus takeGLCensus();

// Asks every name from 1 for as long as `alive` finds names: up to `fresh`,
// and then until `gap` unused names in a row.
template <typename Alive> long countLiveNames(Alive alive, unsigned long fresh, unsigned long gap = 4096)
{
    long count = 0;
    unsigned long unused = 0;
    for (unsigned long n = 1; n < fresh || unused < gap; ++n) {
        if (alive(n)) {
            ++count;
            unused = 0;
        } else {
            ++unused;
        }
    }
    return count;
}

// The census file's text.
std::string formatGLCensus(const sGLCensus& census);

// Where the frame loop writes the census; empty (the default) writes none.
void setGLCensusFile(const std::string& path);

// Called once per frame: writes the census when a second has passed since
// the last one. The file is written beside FILE and renamed over it, so a
// reader never sees half of it.
void glCensusFrame();
