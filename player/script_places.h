// Where things stand in the script's files, for messages a person can act
// on ("show.txt:3:18: ..."). The reader notes the byte offset of every tag
// it makes and, when it fails, the offset and kind of the fault; lines and
// columns are worked out from the file's text only when a message needs them.
#pragma once

#include <string>

class cXmlTag;

struct sScriptPlace {
    std::string file; // the data file name as the script gives it
    long offset = -1; // byte offset in that file
    int line = 0;     // from 1; 0 when unknown
    int column = 0;   // from 1, in bytes

    bool known() const { return line > 0; }
    // "file:line:column" or "file" when the line is not known.
    std::string text() const;
};

// What the reader found where it stopped.
enum class eReadFault {
    none,
    unclosedTag,      // a '<' that no '>' closes
    tagWithoutName,   // "<" followed by no letter before its '>'
    endTagMismatch,   // an end tag that does not close the open tag
    quoteOutOfPlace,  // a '"' where an attribute name was expected
    openingInsideTag, // a '<' inside a start tag
    unquotedValue,    // name=value without quotes
    unclosedValue,    // a value whose closing quote is missing
    includeTooDeep,   // includes nested past the limit
};

// Forgets every noted place and fault (a new read begins).
void clearScriptPlaces();
// The reader's notes: where a tag starts (the offset of its '<').
void noteTagPlace(const cXmlTag* tag, const char* file, long offset);
// The first fault of a read wins: the innermost, where reading stopped.
// `name` is the attribute or tag the fault concerns, `open` the tag that
// was open (for an end tag that does not close it).
void noteReadFault(eReadFault kind, const char* file, long offset, const std::string& name = std::string(),
                   const cXmlTag* open = nullptr);
// The same for a fault at a tag whose place was noted (an include that
// goes too deep is shown where that include is written).
void noteReadFaultAt(eReadFault kind, const cXmlTag* tag, const std::string& name = std::string());

// The place of a tag the reader made; unknown for tags made otherwise.
sScriptPlace tagPlace(const cXmlTag* tag);
// The line and column of a byte offset in a data file.
sScriptPlace placeIn(const std::string& file, long offset);

// After a failed read: "file:line:column: what was expected", one line per
// finding (a comment the reader took for a tag gets its own line), or ""
// when the reader noted no fault.
std::string describeReadFault();

// The text of a data file as it lies on disk (cached until the places are
// cleared); empty when it cannot be read.
const std::string& scriptFileText(const std::string& file);
// Gives a file's text without the disk: for a text read from memory.
void setScriptFileText(const std::string& file, const std::string& text);
