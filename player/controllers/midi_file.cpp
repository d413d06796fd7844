// The standard MIDI file reader.
#include "player/controllers/midi_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace controllers {

namespace {

uint32_t be32(const unsigned char* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }
unsigned be16(const unsigned char* p) { return unsigned(p[0]) << 8 | p[1]; }

std::string format(const char* pattern, long long a = 0, long long b = 0, long long c = 0)
{
    char text[200];
    std::snprintf(text, sizeof text, pattern, a, b, c);
    return text;
}

struct sTimed {
    uint64_t tick;
    uint32_t tempo; // tempo changes: microseconds per quarter note
    uint8_t status, data1, data2;
};

// One track chunk's events, appended to the file's messages and tempo
// changes with their ticks.
class cTrackReader {
public:
    cTrackReader(const unsigned char* bytes, size_t size, int number, sMidiFile& file, std::vector<sTimed>& messages,
                 std::vector<sTimed>& tempos)
        : p_(bytes), size_(size), number_(number), file_(file), messages_(messages), tempos_(tempos)
    {
    }

    bool read(std::string& why)
    {
        uint64_t tick = 0;
        uint8_t running = 0;
        while (at_ < size_) {
            uint32_t delta = 0;
            if (!number(delta, "a delta time", why)) return false;
            tick += delta;
            if (at_ >= size_) return fail(why, "track %lld ends inside an event");
            if (++file_.events > static_cast<long long>(cMidiFileReader::kMaxEvents))
                return fail(why, "more than %lld events", cMidiFileReader::kMaxEvents);
            const uint8_t b = p_[at_];
            if (b == 0xFF) {
                // Meta event: type, length, data.
                if (size_ - at_ < 2) return fail(why, "track %lld ends inside a meta event");
                const uint8_t type = p_[at_ + 1];
                at_ += 2;
                uint32_t length = 0;
                if (!number(length, "a meta event's length", why) || !skip(length, "a meta event", why)) return false;
                const unsigned char* data = p_ + at_ - length;
                if (type == 0x2F) return true; // end of track: what follows is not read
                if (type == 0x51) {
                    if (length != 3) return fail(why, "track %lld: a tempo event of %lld bytes (3 expected)", length);
                    const uint32_t tempo = uint32_t(data[0]) << 16 | uint32_t(data[1]) << 8 | data[2];
                    if (tempo == 0) return fail(why, "track %lld: a tempo of 0 microseconds per quarter note");
                    tempos_.push_back({tick, tempo, 0, 0, 0});
                    ++file_.tempoChanges;
                }
                // Running status goes on after meta and system exclusive
                // events: some writers rely on it, and nothing is lost.
                continue;
            }
            if (b == 0xF0 || b == 0xF7) {
                // System exclusive (or its continuation): length, data; skipped.
                ++at_;
                uint32_t length = 0;
                if (!number(length, "a system exclusive length", why) || !skip(length, "a system exclusive event", why))
                    return false;
                continue;
            }
            if (b > 0xF0) return fail(why, "track %lld: status byte 0x%02llX does not belong in a file", b);
            uint8_t status = running;
            if (b & 0x80) {
                status = running = b;
                ++at_;
            } else if (!running) {
                return fail(why, "track %lld: a data byte (0x%02llX) with no status before it", b);
            }
            const uint8_t kind = status & 0xF0;
            const size_t n = kind == 0xC0 || kind == 0xD0 ? 1 : 2;
            if (size_ - at_ < n) return fail(why, "track %lld ends inside a channel message");
            const uint8_t d1 = p_[at_], d2 = n == 2 ? p_[at_ + 1] : 0;
            if ((d1 | d2) & 0x80) return fail(why, "track %lld: a channel message with data byte 0x%02llX", (d1 & 0x80) ? d1 : d2);
            at_ += n;
            // Notes and controllers are kept; program changes, pressure and
            // pitch bend are read past.
            if (kind == 0x80 || kind == 0x90 || kind == 0xB0) messages_.push_back({tick, 0, status, d1, d2});
        }
        return true; // a track without its end-of-track event ends with its chunk
    }

private:
    bool fail(std::string& why, const char* pattern, long long a = 0, long long b = 0)
    {
        // Messages about this track put its number first.
        if (std::strncmp(pattern, "track %lld", 10) == 0)
            why = format(pattern, number_, a, b);
        else
            why = format(pattern, a, b);
        return false;
    }

    // A variable-length number: at most four bytes of seven bits.
    bool number(uint32_t& value, const char* what, std::string& why)
    {
        value = 0;
        for (int i = 0; i < 4; ++i) {
            if (at_ >= size_) {
                why = format("track %lld: ", number_) + what + " runs past the end of the track";
                return false;
            }
            const uint8_t b = p_[at_++];
            value = value << 7 | (b & 0x7F);
            if (!(b & 0x80)) return true;
        }
        why = format("track %lld: ", number_) + what + " longer than four bytes";
        return false;
    }

    bool skip(uint32_t length, const char* what, std::string& why)
    {
        if (length > size_ - at_) {
            why = format("track %lld: ", number_) + what + format(" of %lld bytes runs past the end of the track", length);
            return false;
        }
        at_ += length;
        return true;
    }

    const unsigned char* p_;
    size_t size_;
    size_t at_ = 0;
    long long number_;
    sMidiFile& file_;
    std::vector<sTimed>& messages_;
    std::vector<sTimed>& tempos_;
};

} // namespace

bool cMidiFileReader::read(const unsigned char* bytes, size_t size, sMidiFile& out, std::string& why)
{
    out = sMidiFile();
    if (size > kMaxFileBytes) {
        why = format("%lld bytes: larger than the %lld bytes a MIDI file may have", static_cast<long long>(size),
                     kMaxFileBytes);
        return false;
    }
    if (!bytes || size < 14 || std::memcmp(bytes, "MThd", 4) != 0) {
        why = "no MThd header: not a standard MIDI file";
        return false;
    }
    const uint32_t headerLength = be32(bytes + 4);
    if (headerLength < 6 || headerLength > size - 8) {
        why = format("a header of %lld bytes (6 expected, %lld there)", headerLength, static_cast<long long>(size - 8));
        return false;
    }
    const unsigned fileFormat = be16(bytes + 8), trackCount = be16(bytes + 10), division = be16(bytes + 12);
    if (fileFormat == 2) {
        why = "format 2 (independent sequences) is not played, only formats 0 and 1";
        return false;
    }
    if (fileFormat > 2) {
        why = format("unknown format %lld", fileFormat);
        return false;
    }
    if (trackCount == 0 || trackCount > kMaxTracks || (fileFormat == 0 && trackCount != 1)) {
        why = format(fileFormat == 0 ? "format 0 with %lld tracks (1 expected)" : "%lld tracks (1 to %lld expected)",
                     trackCount, kMaxTracks);
        return false;
    }
    // Ticks per quarter note, or SMPTE frames per second and ticks per frame.
    double ticksPerSecond = 0;
    if (division & 0x8000) {
        const int fps = -static_cast<int>(static_cast<int8_t>(division >> 8));
        const unsigned perFrame = division & 0xFF;
        if ((fps != 24 && fps != 25 && fps != 29 && fps != 30) || perFrame == 0) {
            why = format("SMPTE timing of %lld frames per second and %lld ticks per frame (24, 25, 29 or 30 and at "
                         "least 1 expected)",
                         fps, perFrame);
            return false;
        }
        // 29 stands for 30 frames of drop-frame time code: 29.97 a second.
        ticksPerSecond = (fps == 29 ? 30000.0 / 1001.0 : double(fps)) * perFrame;
    } else if (division == 0) {
        why = "a division of 0 ticks per quarter note";
        return false;
    }
    out.format = static_cast<int>(fileFormat);
    out.division = (division & 0x8000) ? 0 : static_cast<int>(division);

    std::vector<sTimed> messages, tempos;
    size_t at = 8 + size_t(headerLength);
    while (out.tracks < static_cast<int>(trackCount)) {
        if (size - at < 8) {
            why = format("the header announces %lld tracks, the file holds %lld", trackCount, out.tracks);
            return false;
        }
        const uint32_t length = be32(bytes + at + 4);
        const bool track = std::memcmp(bytes + at, "MTrk", 4) == 0;
        at += 8;
        if (length > size - at) {
            why = format(track ? "track %lld is cut short (%lld bytes announced, %lld there)"
                               : "a chunk after track %lld is cut short (%lld bytes announced, %lld there)",
                         out.tracks + (track ? 1 : 0), length, static_cast<long long>(size - at));
            return false;
        }
        // Chunks of other types are read past, as the format asks.
        if (track) {
            cTrackReader reader(bytes + at, length, out.tracks + 1, out, messages, tempos);
            if (!reader.read(why)) return false;
            ++out.tracks;
        }
        at += length;
    }

    // Format 1 keeps its tempo map in the first track; it times every track.
    std::stable_sort(messages.begin(), messages.end(), [](const sTimed& a, const sTimed& b) { return a.tick < b.tick; });
    std::stable_sort(tempos.begin(), tempos.end(), [](const sTimed& a, const sTimed& b) { return a.tick < b.tick; });
    out.messages.reserve(messages.size());
    uint64_t since = 0;    // the tick of the tempo in force
    double sinceAt = 0.0;  // its time in seconds
    uint32_t tempo = 500000; // 120 quarter notes a minute until a tempo event says otherwise
    size_t nextTempo = 0;
    auto seconds = [&](uint64_t tick) {
        if (ticksPerSecond > 0) return double(tick) / ticksPerSecond; // SMPTE: tempo events do not apply
        return sinceAt + double(tick - since) * double(tempo) / (1e6 * double(division));
    };
    for (const sTimed& m : messages) {
        while (nextTempo < tempos.size() && tempos[nextTempo].tick <= m.tick) {
            sinceAt = seconds(tempos[nextTempo].tick);
            since = tempos[nextTempo].tick;
            tempo = tempos[nextTempo].tempo;
            ++nextTempo;
        }
        out.messages.push_back({seconds(m.tick), m.status, m.data1, m.data2});
    }
    return true;
}

} // namespace controllers
