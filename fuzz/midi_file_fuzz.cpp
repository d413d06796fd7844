// Fuzzes the standard MIDI file reader: whatever the input, a refusal says
// why and keeps nothing; a file read gives messages in time order, at
// finite times from 0 on, each a note or controller change with data bytes
// below 0x80, never more than the events the file holds.

#include "fuzz/fuzz_check.h"
#include "player/controllers/midi_file.h"

#include <cmath>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using controllers::cMidiFileReader;
    controllers::sMidiFile file;
    std::string why;
    if (!cMidiFileReader::read(data, size, file, why)) {
        check(!why.empty(), "a refusal says why");
        return 0;
    }
    check(file.format == 0 || file.format == 1, "format 0 or 1");
    check(file.tracks >= 1 && file.tracks <= int(cMidiFileReader::kMaxTracks), "track count in range");
    check(file.events >= 0 && file.events <= (long long)cMidiFileReader::kMaxEvents, "event count in range");
    check((long long)file.messages.size() <= file.events, "no more messages than events");
    check(file.messages.size() <= size / 2, "at least two bytes of file per message");
    double last = 0.0;
    for (const controllers::sMidiFileMessage& m : file.messages) {
        check(std::isfinite(m.seconds) && m.seconds >= last, "times finite, from 0, in order");
        last = m.seconds;
        const int kind = m.status & 0xF0;
        check(kind == 0x80 || kind == 0x90 || kind == 0xB0, "only notes and controllers kept");
        check(m.data1 < 0x80 && m.data2 < 0x80, "data bytes below 0x80");
    }
    return 0;
}
