// Standard MIDI files made by the tests, byte by byte: a header and tracks
// of events with delta times.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace kxtest {

// A variable-length number: seven bits a byte, the high bit on all but the last.
inline std::string midiNumber(uint32_t v)
{
    std::string out(1, char(v & 0x7F));
    while (v >>= 7) out.insert(out.begin(), char(0x80 | (v & 0x7F)));
    return out;
}

struct MidiTrack {
    std::string bytes; // the chunk's data

    // Any bytes after a delta time (running status, system exclusive, ...).
    MidiTrack& raw(uint32_t delta, std::initializer_list<int> data)
    {
        bytes += midiNumber(delta);
        for (int b : data) bytes += char(b);
        return *this;
    }
    MidiTrack& note(uint32_t delta, int channel, int key, int velocity)
    {
        return raw(delta, {0x90 | (channel - 1), key, velocity});
    }
    MidiTrack& cc(uint32_t delta, int channel, int number, int value)
    {
        return raw(delta, {0xB0 | (channel - 1), number, value});
    }
    MidiTrack& tempo(uint32_t delta, uint32_t microsecondsPerQuarter)
    {
        return raw(delta, {0xFF, 0x51, 3, int(microsecondsPerQuarter >> 16), int(microsecondsPerQuarter >> 8 & 0xFF),
                           int(microsecondsPerQuarter & 0xFF)});
    }
    MidiTrack& end(uint32_t delta = 0) { return raw(delta, {0xFF, 0x2F, 0}); }
};

inline std::string bigEndian(uint32_t v, int bytes)
{
    std::string out;
    for (int i = bytes - 1; i >= 0; --i) out += char(v >> (8 * i) & 0xFF);
    return out;
}

// A chunk: four letters, a length, the data.
inline std::string midiChunk(const std::string& type, const std::string& data)
{
    return type + bigEndian(uint32_t(data.size()), 4) + data;
}

// A whole file. division: ticks per quarter note, or 0xE728 style SMPTE
// timing; tracksAnnounced: the header's track count (-1: the tracks given).
inline std::string midiFile(int format, int division, const std::vector<MidiTrack>& tracks, int tracksAnnounced = -1)
{
    const int n = tracksAnnounced < 0 ? int(tracks.size()) : tracksAnnounced;
    std::string out = midiChunk("MThd", bigEndian(uint32_t(format), 2) + bigEndian(uint32_t(n), 2) +
                                            bigEndian(uint32_t(division), 2));
    for (const MidiTrack& t : tracks) out += midiChunk("MTrk", t.bytes);
    return out;
}

} // namespace kxtest
