// MIDI file cues in capture mode: for every note of a made file, the frame
// its change is drawn on against the frame of its time (the first frame
// whose start, k / fps, has reached the note's time in the show). The
// file has notes at awkward times (ticks of 1/384 beat, gaps of 1.1 to 3
// frames, a tempo change every few notes to tempi such as 119.7 or 61.3
// beats a minute) and starts at an awkward show time; each note presses
// one of three keys whose events paint the picture red, green or blue in
// turn, so each note's frame is the frame whose colour changes. The same
// notes written as the script's own timed events (<event time="..."
// trigger="..."/>) are the reference, run the same way. Goal: every note on
// the frame of its time. Arguments: notes (default 600) and frame rates
// (default 24 30 60).
#include "../tests/midi_builder.h"

#include <png.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#ifndef KX_PLAYER_PATH
#error "KX_PLAYER_PATH must name the player"
#endif

namespace fs = std::filesystem;

namespace {

constexpr int kDivision = 384;
constexpr double kStart = 0.1234; // the show time the file starts at

struct sNote {
    uint32_t tick;
    double seconds; // in the show
};

struct sResult {
    int exact = 0, late = 0, lateMore = 0, early = 0, missing = 0;
};

void writeBytes(const fs::path& file, const std::string& bytes)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The centre pixel's colour of a captured frame as 0, 1, 2 (red, green,
// blue), 3 for black, -1 when it cannot be read.
int colourOf(const std::string& file)
{
    png_image p{};
    p.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&p, file.c_str())) return -1;
    p.format = PNG_FORMAT_RGB;
    std::vector<unsigned char> rgb(PNG_IMAGE_SIZE(p));
    if (!png_image_finish_read(&p, nullptr, rgb.data(), 0, nullptr)) return -1;
    const size_t at = (size_t(p.height / 2) * p.width + p.width / 2) * 3;
    for (int c = 0; c < 3; ++c)
        if (rgb[at + size_t(c)] > 128) return c;
    return 3;
}

// Runs the player on data/script.txt in `work`; the frames' colours.
std::vector<int> capture(const fs::path& work, int fps, long frames)
{
    const std::string dir = (work / "cap").string();
    fs::remove_all(dir);
    const std::string command = "cd '" + work.string() +
                                "' && SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy DISPLAY= ASAN_OPTIONS=detect_leaks=0 '" +
                                KX_PLAYER_PATH + "' --capture cap --fps " + std::to_string(fps) + " --frames " +
                                std::to_string(frames) + " >player.txt 2>&1";
    if (std::system(command.c_str()) != 0) std::fprintf(stderr, "midi_file_bench: the player failed, see %s/player.txt\n", work.c_str());
    std::vector<int> colours;
    for (long f = 0; f < frames; ++f) {
        char name[64];
        std::snprintf(name, sizeof name, "/frame_%06ld.png", f);
        colours.push_back(colourOf(dir + name));
    }
    return colours;
}

// Note n's change is the n-th change of colour; the frame it shows on
// against the first frame k with k / fps >= its time.
sResult compare(const std::vector<sNote>& notes, const std::vector<int>& colours, int fps)
{
    sResult r;
    size_t frame = 0;
    for (size_t n = 0; n < notes.size(); ++n) {
        const int colour = int(n % 3);
        while (frame < colours.size() && colours[frame] != colour) ++frame;
        if (frame >= colours.size()) {
            r.missing += int(notes.size() - n);
            break;
        }
        // Exact: k / fps >= t, with k / fps a hair under t counted as reaching it.
        const long due = long(std::ceil(notes[n].seconds * fps - 1e-9));
        const long drawn = long(frame);
        if (drawn == due)
            ++r.exact;
        else if (drawn == due + 1)
            ++r.late;
        else if (drawn > due)
            ++r.lateMore;
        else
            ++r.early;
    }
    return r;
}

void print(const char* what, int fps, size_t notes, const sResult& r)
{
    std::printf("%-22s %4d fps  %5zu notes: %5d on their frame (%5.1f %%), %d a frame late, %d later, %d early, "
                "%d not seen   goal: all on their frame\n",
                what, fps, notes, r.exact, 100.0 * r.exact / double(notes), r.late, r.lateMore, r.early, r.missing);
}

} // namespace

int main(int argc, char** argv)
{
    const int count = argc > 1 ? std::atoi(argv[1]) : 600;
    std::vector<int> rates;
    for (int i = 2; i < argc; ++i) rates.push_back(std::atoi(argv[i]));
    if (rates.empty()) rates = {24, 30, 60};
    if (count < 1 || count > 3000) {
        std::fprintf(stderr, "usage: kx_midi_file_bench [notes, 1 to 3000] [frame rates...]\n");
        return 2;
    }

    // The notes: gaps of 1.1 to 3 frames of the slowest rate, a new tempo
    // every 5 to 12 notes. Times worked out here, by the file's rules.
    std::mt19937 random(20261209);
    const double slowest = 1.0 / 24;
    std::vector<sNote> notes;
    kxtest::MidiTrack tempoTrack, noteTrack;
    uint32_t tick = 0, lastTempoTick = 0, lastNoteTick = 0;
    double seconds = kStart;
    uint32_t tempo = 500000;
    int untilTempo = 0, tempoChanges = 0;
    for (int n = 0; n < count; ++n) {
        if (untilTempo-- == 0) {
            tempo = 240000 + random() % 760000; // 60 to 250 beats a minute, rarely round
            tempoTrack.tempo(tick - lastTempoTick, tempo);
            lastTempoTick = tick;
            ++tempoChanges;
            untilTempo = 5 + int(random() % 8);
        }
        const double gap = slowest * (1.1 + 1.9 * double(random() % 10000) / 10000.0);
        const double tickSeconds = tempo / 1e6 / kDivision;
        const uint32_t ticks = uint32_t(std::ceil(gap / tickSeconds));
        tick += ticks;
        seconds += ticks * tickSeconds;
        notes.push_back({tick, seconds});
        noteTrack.note(tick - lastNoteTick, 1, 60 + n % 3, 100);
        lastNoteTick = tick;
    }
    tempoTrack.end();
    noteTrack.end();

    const fs::path work = fs::temp_directory_path() / ("kx_midi_file_bench_" + std::to_string(::getpid()));
    fs::create_directories(work / "data" / "music");
    writeBytes(work / "data" / "music" / "notes.mid", kxtest::midiFile(1, kDivision, {tempoTrack, noteTrack}));
    const std::string head = R"(<demo width="16" height="16">
        <loadplugin file="lumafold.dll"/>
        <add type="clear" name="bg"/><bg color="ff000000"/><draworder effect="bg"/>
        <midi note="60" key="R"/><midi note="61" key="G"/><midi note="62" key="B"/>
        <event key="R"><bg color="ffff0000"/></event>
        <event key="G"><bg color="ff00ff00"/></event>
        <event key="B"><bg color="ff0000ff"/></event>
)";
    const std::string tail = "<create/><load/><run/></demo>\n";
    std::string reference = head;
    for (size_t n = 0; n < notes.size(); ++n) {
        char line[96];
        std::snprintf(line, sizeof line, "<event time=\"%.9g\" trigger=\"%c\"/>\n", double(float(notes[n].seconds)),
                      "RGB"[n % 3]);
        reference += line;
    }
    reference += tail;
    char start[128];
    std::snprintf(start, sizeof start, "<event time=\"%.9g\"><midifile filename=\"notes.mid\"/></event>\n", kStart);
    const std::string cues = head + start + tail;

    std::printf("%d notes from %.4f s to %.3f s of show, %d tempo changes\n", count, notes.front().seconds,
                notes.back().seconds, tempoChanges);
    int failures = 0;
    for (int fps : rates) {
        const long frames = long(std::ceil(notes.back().seconds * fps)) + 2;
        writeBytes(work / "data" / "script.txt", reference);
        const sResult own = compare(notes, capture(work, fps, frames), fps);
        writeBytes(work / "data" / "script.txt", cues);
        const sResult file = compare(notes, capture(work, fps, frames), fps);
        print("script events (ref.)", fps, notes.size(), own);
        print("MIDI file cues", fps, notes.size(), file);
        failures += file.exact != count;
    }
    std::error_code error;
    fs::remove_all(work, error);
    return failures ? 1 : 0;
}
