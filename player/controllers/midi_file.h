// Standard MIDI files read as timed input: the notes and controller changes
// of a format 0 or 1 file, each with its time in seconds from the start of
// the file, the file's tempo map applied. Our own small reader: the file
// comes from anyone, so every length is checked against what is left of
// its chunk, and file size, track count and event count have limits; a
// file that breaks a rule is refused with a sentence saying which.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace controllers {

// One channel message kept from a file: a note-on or note-off (0x80, 0x90)
// or a controller change (0xB0), with its channel in the low four bits.
struct sMidiFileMessage {
    double seconds = 0.0;
    uint8_t status = 0;
    uint8_t data1 = 0;
    uint8_t data2 = 0;
};

struct sMidiFile {
    int format = 0;   // 0 or 1
    int tracks = 0;   // track chunks read
    int division = 0; // ticks per quarter note; 0 for SMPTE timing
    long long events = 0; // every event read, meta and system exclusive included
    int tempoChanges = 0;
    // In time order; messages at the same time keep file order (track by
    // track, for a format 1 file).
    std::vector<sMidiFileMessage> messages;
};

class cMidiFileReader {
public:
    enum : size_t {
        kMaxFileBytes = 16u << 20, // a file of a whole evening's cues is far smaller
        kMaxTracks = 1024,
        kMaxEvents = 1u << 20, // all events of all tracks
    };

    // Reads a whole file from memory. False when it is refused, with the
    // reason in why ("format 2 (independent sequences) is not played").
    static bool read(const unsigned char* bytes, size_t size, sMidiFile& out, std::string& why);
};

} // namespace controllers
