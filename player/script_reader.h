// The script reader: turns the text of a script file into a tree of cXmlTag
// elements, following include tags into further files. Errors are recorded in
// one last-error text, not logged; the caller decides what to show.
#pragma once

#include "common/script/xml_tag.h"

#include <string>
#include <vector>

class cMemoryStream;

// Reads the data file `path` whole and parses it into `root`. 0 or -1.
int loadFile(cXmlTag* root, const char* path);

// Parses tags from the source's position into `parent`; returns at the end of
// the text or after the closing tag of `parent`. 0 or -1. The document keeps
// the source's text: names and values point into it.
int parse(cXmlTag* parent, cMemoryStream& source);

// Reads the params of one start tag from `text` (the inner text after the
// tag's name, `length` bytes). 0 or -1.
int parseParams(cXmlTag* tag, const char* text, int length);

// The text of the error the latest read recorded ("" when it recorded none).
const char* lastError();

// While `names` is set, the name of every data file the reader opens (the
// script, and each included file, found or not) is appended to it, so the
// player knows which files a show was read from. Null stops recording.
void recordFilesRead(std::vector<std::string>* names);
