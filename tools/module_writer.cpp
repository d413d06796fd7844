// kx_module_writer: writes the bundled show's tune, a 4-channel ProTracker
// module ("M.K.") of six synthesized samples and eight patterns, 60 seconds
// at 128 beats per minute.
//
//   kx_module_writer [--patterns N] [--rows N] [--loop] [OUTPUT]
//                                  (default data/music/kestrel.mod)
//
// --patterns N keeps only the first N patterns in the order list (a shorter
// song, for tests); --rows N plays only the first N rows of each (a pattern
// break on row N, for shorter tests still: a row lasts 117 ms); --loop makes
// the song's last row jump back to its first order (effect B00), as a tune
// made to play on and on is written.
//
// Channels (Amiga panning: 1 and 4 left, 2 and 3 right):
//   1 bass            2 kick, snare and hats
//   3 square lead     4 soft pulse: chord arpeggios and the lead's echo
//
// The song is A minor, Am F C G one bar each, four bars a pattern:
//   0 intro  1 theme  2 answer  3 break  4 theme  5 answer  6 theme with
//   chords  7 outro (fades out and ends exactly at 60 s).
// Everything is computed, nothing is random: the same file every time.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kRows = 64;
constexpr int kChannels = 4;
constexpr int kPatterns = 8;
constexpr double kPi = 3.14159265358979323846;

// ProTracker periods, octaves 1 to 3.
const int kPeriods[3][12] = {
    {856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453},
    {428, 404, 381, 360, 339, 320, 302, 285, 269, 254, 240, 226},
    {214, 202, 190, 180, 170, 160, 151, 143, 135, 127, 120, 113},
};

// A note by name, "C-2", "F#1", ...
int period(const char* name)
{
    static const char* const names[12] = {"C-", "C#", "D-", "D#", "E-", "F-", "F#", "G-", "G#", "A-", "A#", "B-"};
    for (int n = 0; n < 12; ++n)
        if (name[0] == names[n][0] && name[1] == names[n][1]) {
            const int octave = name[2] - '1';
            if (octave >= 0 && octave < 3) return kPeriods[octave][n];
        }
    std::fprintf(stderr, "kx_module_writer: bad note %s\n", name);
    return 0;
}

enum Sample { kLead = 1, kBass, kKick, kSnare, kHat, kPulse };

struct Cell {
    int sample = 0, period = 0, effect = 0, param = 0;
};

struct Pattern {
    Cell cells[kRows][kChannels];
    Cell& at(int row, int channel) { return cells[row][channel]; }
    void note(int row, int channel, int sample, const char* name, int effect = 0, int param = 0)
    {
        Cell& c = cells[row][channel];
        c.sample = sample;
        c.period = period(name);
        c.effect = effect;
        c.param = param;
    }
    void fx(int row, int channel, int effect, int param)
    {
        cells[row][channel].effect = effect;
        cells[row][channel].param = param;
    }
};

struct SampleData {
    std::string name;
    std::vector<int8_t> data;
    int volume = 64;
    int loopStart = 0, loopLength = 0; // bytes; 0 = no loop
};

int8_t clip8(double v)
{
    const long r = std::lround(v);
    return static_cast<int8_t>(r > 127 ? 127 : r < -128 ? -128 : r);
}

// A small fixed noise source.
struct Noise {
    uint32_t state = 0x2545F491u;
    double next()
    {
        state = state * 1664525u + 1013904223u;
        return double(int32_t(state)) / 2147483648.0; // -1 .. 1
    }
};

std::vector<SampleData> makeSamples()
{
    std::vector<SampleData> s(6);
    // Played at C-2 (8287 Hz) a 64-byte cycle sounds at 129.5 Hz.
    s[0].name = "square lead";
    s[0].volume = 28;
    for (int i = 0; i < 128; ++i) s[0].data.push_back(clip8((i % 64) < 32 ? 90 : -90));
    s[0].loopStart = 0;
    s[0].loopLength = 128;

    // Bass: a sawtooth with its top edge rounded off.
    s[1].name = "saw bass";
    s[1].volume = 40;
    for (int i = 0; i < 128; ++i) {
        const double t = (i % 64) / 64.0;
        double v = 2 * t - 1;
        v = v * (1 - 0.25 * v * v);
        s[1].data.push_back(clip8(v * 118));
    }
    s[1].loopStart = 0;
    s[1].loopLength = 128;

    // Kick: a sine falling from 160 Hz to 45 Hz at 8287 Hz, decaying.
    s[2].name = "kick";
    s[2].volume = 52;
    {
        double phase = 0;
        const int n = 2600;
        for (int i = 0; i < n; ++i) {
            const double t = i / 8287.0;
            const double f = 45 + 115 * std::exp(-t * 30);
            phase += 2 * kPi * f / 8287.0;
            const double env = std::exp(-t * 9) * (i < 16 ? i / 16.0 : 1);
            s[2].data.push_back(clip8(std::sin(phase) * 124 * env));
        }
    }

    // Snare: noise over a 190 Hz body.
    s[3].name = "snare";
    s[3].volume = 33;
    {
        Noise noise;
        const int n = 2400;
        for (int i = 0; i < n; ++i) {
            const double t = i / 8287.0;
            const double body = std::sin(2 * kPi * 190 * t) * std::exp(-t * 30);
            const double hiss = noise.next() * std::exp(-t * 14);
            s[3].data.push_back(clip8((0.45 * body + 0.75 * hiss) * 120));
        }
    }

    // Hat: high-passed noise, short.
    s[4].name = "hat";
    s[4].volume = 18;
    {
        Noise noise;
        noise.state = 0x9E3779B9u;
        double previous = 0;
        const int n = 700;
        for (int i = 0; i < n; ++i) {
            const double x = noise.next();
            const double y = x - previous;
            previous = x;
            const double env = std::exp(-i / 120.0);
            s[4].data.push_back(clip8(y * 64 * env));
        }
    }

    // Soft pulse: a quarter-duty pulse, quiet, for chords and echoes.
    s[5].name = "soft pulse";
    s[5].volume = 13;
    for (int i = 0; i < 128; ++i) s[5].data.push_back(clip8((i % 64) < 16 ? 100 : -34));
    s[5].loopStart = 0;
    s[5].loopLength = 128;
    return s;
}

// One bar of chords: root names for the bass (octave 1) and arpeggio
// parameters (minor: +3 +7, major: +4 +7).
struct Chord {
    const char* bass;
    const char* bassHigh;
    const char* pulse; // arpeggio base note, octave 2
    int arp;
};
const Chord kChords[4] = {
    {"A-1", "A-2", "A-2", 0x37},
    {"F-1", "F-2", "F-2", 0x47},
    {"C-2", "C-3", "C-2", 0x47},
    {"G-1", "G-2", "G-2", 0x47},
};

// Bass: eighths with the octave on the off-beats of beats 2 and 4, each
// note cut after four ticks for a plucked sound.
void bass(Pattern& p, bool busy = true)
{
    for (int bar = 0; bar < 4; ++bar)
        for (int e = 0; e < 8; ++e) {
            if (!busy && (e % 2) == 1) continue;
            const int row = bar * 16 + e * 2;
            const bool high = e == 3 || e == 7;
            p.note(row, 0, kBass, high ? kChords[bar].bassHigh : kChords[bar].bass, 0xE, 0xC5);
        }
}

// Drums: kick on 1 and 3, snare on 2 and 4, hats on the off-beat eighths.
void drums(Pattern& p, bool kick = true, bool snare = true, bool hats = true)
{
    for (int bar = 0; bar < 4; ++bar)
        for (int e = 0; e < 8; ++e) {
            const int row = bar * 16 + e * 2;
            if ((e == 0 || e == 4) && kick)
                p.note(row, 1, kKick, "C-2");
            else if ((e == 2 || e == 6) && snare)
                p.note(row, 1, kSnare, "C-2");
            else if (hats)
                p.note(row, 1, kHat, "C-3", 0xC, e % 2 ? 0x20 : 0x14);
        }
    // The last bar ends with a second kick before the snare.
    if (kick) p.note(3 * 16 + 10, 1, kKick, "C-2");
}

// A snare roll over the last bar: eighths, then sixteenths.
void roll(Pattern& p)
{
    for (int r = 48; r < 64; ++r) {
        if (r < 56 && (r % 2)) continue;
        p.note(r, 1, kSnare, "C-2", 0xC, 0x18 + (r - 48) * 2);
    }
}

// Arpeggio chords on channel 4, one note per beat.
void chords(Pattern& p, int volume)
{
    for (int bar = 0; bar < 4; ++bar)
        for (int beat = 0; beat < 4; ++beat) {
            const int row = bar * 16 + beat * 4;
            p.note(row, 3, kPulse, kChords[bar].pulse, 0x0, kChords[bar].arp);
            for (int r = 1; r < 4; ++r) p.fx(row + r, 3, 0x0, kChords[bar].arp);
            if (volume != 64) p.fx(row + 1, 3, 0xC, volume); // the note starts at full, then softer
        }
}

// A melody: note names with lengths in rows; "---" is a rest. Each note is
// cut one row short so repeated notes stay apart; long notes get vibrato.
struct Note {
    const char* name;
    int rows;
};

void melody(Pattern& p, const std::vector<Note>& notes, int channel, int sample, int echoDelay)
{
    int row = 0;
    for (const Note& n : notes) {
        if (std::strcmp(n.name, "---") != 0) {
            p.note(row, channel, sample, n.name);
            if (n.rows >= 4)
                for (int r = row + 2; r < row + n.rows - 1 && r < kRows; ++r) p.fx(r, channel, 0x4, 0x42);
            if (row + n.rows - 1 < kRows && n.rows > 1) p.fx(row + n.rows - 1, channel, 0xC, 0x08);
            // The echo: the same note on channel 4 a few rows later, quieter.
            if (echoDelay > 0 && row + echoDelay < kRows) {
                p.note(row + echoDelay, 3, kPulse, n.name);
            }
        }
        row += n.rows;
    }
    if (row != kRows) std::fprintf(stderr, "kx_module_writer: a melody of %d rows\n", row);
}

const std::vector<Note> kTheme = {
    {"A-2", 4}, {"C-3", 2}, {"E-3", 2}, {"D-3", 4}, {"C-3", 4}, // Am
    {"A-2", 4}, {"C-3", 4}, {"F-3", 4}, {"E-3", 2}, {"D-3", 2}, // F
    {"E-3", 4}, {"G-3", 2}, {"E-3", 2}, {"D-3", 4}, {"C-3", 4}, // C
    {"D-3", 4}, {"B-2", 4}, {"G-2", 6}, {"---", 2},             // G
};

const std::vector<Note> kAnswer = {
    {"E-3", 2}, {"A-3", 2}, {"G-3", 2}, {"E-3", 2}, {"C-3", 4}, {"E-3", 4}, // Am
    {"F-3", 4}, {"A-3", 4}, {"G-3", 2}, {"F-3", 2}, {"E-3", 4},             // F
    {"G-3", 4}, {"E-3", 2}, {"C-3", 2}, {"E-3", 4}, {"G-3", 4},             // C
    {"B-3", 4}, {"A-3", 2}, {"G-3", 2}, {"D-3", 6}, {"---", 2},             // G
};

std::vector<Pattern> makePatterns()
{
    std::vector<Pattern> ps(kPatterns);
    // 0 intro: bass, hats, then the kick from bar 3, chords throughout.
    {
        Pattern& p = ps[0];
        bass(p, false);
        chords(p, 0x18);
        Pattern d;
        drums(d, true, false, true);
        for (int r = 0; r < kRows; ++r)
            if (d.at(r, 1).sample == kHat || r >= 32) p.at(r, 1) = d.at(r, 1);
        p.fx(0, 2, 0xF, 0x80); // 128 beats per minute at the default speed 6
    }
    // 1 theme.
    bass(ps[1]);
    drums(ps[1]);
    melody(ps[1], kTheme, 2, kLead, 3);
    // 2 answer.
    bass(ps[2]);
    drums(ps[2]);
    melody(ps[2], kAnswer, 2, kLead, 3);
    // 3 break: no kick, chords up front, a roll into the theme.
    bass(ps[3], false);
    drums(ps[3], false, true, true);
    chords(ps[3], 0x28);
    roll(ps[3]);
    // 4 theme, 5 answer.
    bass(ps[4]);
    drums(ps[4]);
    melody(ps[4], kTheme, 2, kLead, 3);
    bass(ps[5]);
    drums(ps[5]);
    melody(ps[5], kAnswer, 2, kLead, 3);
    // 6 theme over the chords.
    bass(ps[6]);
    drums(ps[6]);
    chords(ps[6], 0x14);
    melody(ps[6], kTheme, 2, kLead, 0);
    // 7 outro: two bars of groove, then an A minor chord that fades out,
    // then silence.
    {
        Pattern& p = ps[7];
        Pattern b;
        bass(b);
        Pattern d;
        drums(d);
        for (int r = 0; r < 32; ++r) {
            p.at(r, 0) = b.at(r, 0);
            p.at(r, 1) = d.at(r, 1);
        }
        p.note(0, 2, kLead, "E-3");
        p.note(8, 2, kLead, "D-3");
        p.note(16, 2, kLead, "C-3");
        p.note(24, 2, kLead, "B-2");
        p.note(32, 0, kBass, "A-1");
        p.note(32, 1, kKick, "C-2");
        p.note(32, 2, kLead, "A-2");
        p.note(32, 3, kPulse, "A-2", 0x0, 0x37);
        // Volume slides act on every tick but the first: A01 takes 5 off a
        // row at speed 6, so the channels slide only on some rows.
        for (int r = 33; r < 60; ++r) {
            if (r % 2 == 0) p.fx(r, 0, 0xA, 0x01);
            if (r % 3 == 0) p.fx(r, 2, 0xA, 0x01);
            p.fx(r, 3, 0x0, 0x37);
            if (r % 5 == 0) p.fx(r, 3, 0xA, 0x01);
        }
        for (int c = 0; c < kChannels; ++c) p.fx(60, c, 0xC, 0x00);
    }
    return ps;
}

void put16be(std::string& out, int v)
{
    out.push_back(char((v >> 8) & 0xFF));
    out.push_back(char(v & 0xFF));
}

void putText(std::string& out, const std::string& text, size_t width)
{
    std::string t = text.substr(0, width);
    t.resize(width, '\0');
    out += t;
}

// Puts an effect on the first channel of the row that has none.
void putEffect(Pattern& p, int row, int effect, int param)
{
    int channel = 0;
    while (channel < kChannels - 1 && p.at(row, channel).effect != 0) ++channel;
    p.fx(row, channel, effect, param);
}

std::string writeModule(int orders, int rows, bool loop)
{
    const std::vector<SampleData> samples = makeSamples();
    std::vector<Pattern> patterns = makePatterns();
    patterns.resize(size_t(orders));
    for (size_t i = 0; rows < kRows && i + (loop ? 1 : 0) < patterns.size(); ++i)
        putEffect(patterns[i], rows - 1, 0xD, 0);
    if (loop) putEffect(patterns.back(), rows - 1, 0xB, 0x00);
    std::string out;
    putText(out, "kestrel flight", 20);
    for (int i = 0; i < 31; ++i) {
        if (i < int(samples.size())) {
            const SampleData& s = samples[size_t(i)];
            putText(out, s.name, 22);
            put16be(out, int(s.data.size() / 2));
            out.push_back(0); // finetune
            out.push_back(char(s.volume));
            if (s.loopLength > 0) {
                put16be(out, s.loopStart / 2);
                put16be(out, s.loopLength / 2);
            } else {
                put16be(out, 0);
                put16be(out, 1); // no loop
            }
        } else {
            putText(out, "", 22);
            put16be(out, 0);
            out.push_back(0);
            out.push_back(0);
            put16be(out, 0);
            put16be(out, 1);
        }
    }
    out.push_back(char(orders)); // song length
    out.push_back(char(127));    // restart byte as ProTracker writes it
    for (int i = 0; i < 128; ++i) out.push_back(char(i < orders ? i : 0));
    out += "M.K.";
    for (const Pattern& p : patterns)
        for (int r = 0; r < kRows; ++r)
            for (int c = 0; c < kChannels; ++c) {
                const Cell& cell = p.cells[r][c];
                out.push_back(char((cell.sample & 0xF0) | ((cell.period >> 8) & 0x0F)));
                out.push_back(char(cell.period & 0xFF));
                out.push_back(char(((cell.sample & 0x0F) << 4) | (cell.effect & 0x0F)));
                out.push_back(char(cell.param & 0xFF));
            }
    for (const SampleData& s : samples)
        for (int8_t v : s.data) out.push_back(char(v));
    return out;
}

const char* const kUsage = "usage: kx_module_writer [--patterns N] [--rows N] [--loop] [OUTPUT]\n"
                           "Writes a tune for a show: a 4-channel ProTracker module (.mod) of six\n"
                           "synthesized samples, 60 seconds at 128 beats per minute, the same file\n"
                           "every time. A musicplay effect plays it:\n"
                           "  <add type=\"musicplay\" name=\"song\"/><song filename=\"kestrel.mod\"/>\n"
                           "  <event time=\"0\"><song><play/></song></event>\n"
                           "\n"
                           "  OUTPUT        the file to write (default data/music/kestrel.mod; its\n"
                           "                folder must exist). Module files are looked for in\n"
                           "                data/music/.\n"
                           "  --patterns N  keep only the first N of the 8 patterns (7.5 s each): a\n"
                           "                shorter song\n"
                           "  --rows N      play only the first N of the 64 rows of each pattern (a\n"
                           "                break ends it early): a short tune for tests\n"
                           "  --loop        the last row jumps back to the start, so the tune plays\n"
                           "                on and on instead of ending\n"
                           "  --help        this text\n";

} // namespace

int main(int argc, char** argv)
{
    const char* path = "data/music/kestrel.mod";
    int orders = kPatterns;
    int rows = kRows;
    bool loop = false;
    bool pathGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--loop") {
            loop = true;
        } else if ((arg == "--patterns" || arg == "--rows") && i + 1 < argc) {
            const int most = arg == "--rows" ? kRows : kPatterns;
            char* end = nullptr;
            const long n = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || n < 1 || n > most) {
                std::fprintf(stderr, "kx_module_writer: %s takes 1 to %d\n", arg.c_str(), most);
                return 2;
            }
            (arg == "--rows" ? rows : orders) = int(n);
        } else if (!pathGiven && arg.compare(0, 2, "--") != 0) {
            path = argv[i];
            pathGiven = true;
        } else {
            std::fputs(kUsage, stderr);
            return 2;
        }
    }
    const std::string bytes = writeModule(orders, rows, loop);
    std::FILE* f = std::fopen(path, "wb");
    if (!f) {
        std::fprintf(stderr, "kx_module_writer: cannot write %s\n", path);
        return 1;
    }
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (std::fclose(f) != 0 || !ok) {
        std::fprintf(stderr, "kx_module_writer: cannot write %s\n", path);
        return 1;
    }
    std::printf("%s: %zu bytes\n", path, bytes.size());
    return 0;
}
