// MIDI input ports on RtMidi.
#include "player/controllers/midi_ports.h"

#include "player/log.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <mutex>
#include <string>
#include <utility>

#if KX_HAVE_RTMIDI
#include <RtMidi.h>
#endif
#if KX_HAVE_RTMIDI && defined(KX_MIDI_ASK_ALSA) && defined(__LINUX_ALSA__)
#include <alsa/asoundlib.h>
#endif
#if KX_HAVE_RTMIDI && defined(KX_MIDI_ASK_JACK) && defined(__UNIX_JACK__)
#include <jack/jack.h>
#endif
#if KX_HAVE_RTMIDI && defined(__WINDOWS_MM__)
#include <windows.h>
// mmsystem.h needs windows.h before it.
#include <mmsystem.h>
#endif

namespace controllers {

namespace {

std::string gCommandLineName;

// Where the actions of the ports say they come from in the log.
const char* const kSource = "MIDI";

} // namespace

void setPortNameFromCommandLine(const std::string& name) { gCommandLineName = name; }
const std::string& portNameFromCommandLine() { return gCommandLineName; }

bool pushPortMessage(const unsigned char* bytes, size_t size, cInputQueue& queue)
{
    if (!bytes || size < 2) return false;
    const unsigned char status = bytes[0];
    const unsigned char kind = status & 0xF0;
    const bool twoData = kind == 0x80 || kind == 0x90 || kind == 0xB0;
    if (!twoData && kind != 0xC0) return false;
    if (size < (twoData ? 3u : 2u)) return false;
    if (bytes[1] > 127 || (twoData && bytes[2] > 127)) return false;
    queue.push(sAction::midiMessage(status, bytes[1], twoData ? bytes[2] : 0, kSource));
    return true;
}

#if KX_HAVE_RTMIDI

namespace {

// What the MIDI systems say on threads of their own (RtMidi's error
// callback, JACK's error messages). The log is written by the frame loop's
// thread only, so they wait here until the ports are next opened or closed.
class cNotes {
public:
    enum : size_t { kMax = 16 };
    void add(std::string text)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (lines_.size() < kMax)
            lines_.push_back(std::move(text));
        else
            ++dropped_;
    }
    std::vector<std::string> take(size_t& dropped)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<std::string> out;
        out.swap(lines_);
        dropped = dropped_;
        dropped_ = 0;
        return out;
    }

private:
    std::mutex mutex_;
    std::vector<std::string> lines_;
    size_t dropped_ = 0;
};

cNotes& notes()
{
    static cNotes n;
    return n;
}

std::string joined(const std::vector<std::string>& parts)
{
    std::string out;
    for (const std::string& p : parts) out += (out.empty() ? "" : "; ") + p;
    return out;
}

void logNotes()
{
    size_t dropped = 0;
    for (const std::string& line : notes().take(dropped)) cLog::get()->logf("MIDI: %s", line.c_str());
    if (dropped) cLog::get()->logf("MIDI: %u further messages of the MIDI systems left out", unsigned(dropped));
}

// The client name the MIDI systems show for the player, and the name of
// the input port it makes for each port it listens to.
const char* const kClientName = "kestrelux";
const char* const kInputName = "MIDI in";

const char* systemName(RtMidi::Api api)
{
    switch (api) {
    case RtMidi::LINUX_ALSA:
        return "ALSA";
    case RtMidi::UNIX_JACK:
        return "JACK";
    case RtMidi::WINDOWS_MM:
        return "WinMM";
    case RtMidi::MACOSX_CORE:
        return "CoreMIDI";
    default:
        return "MIDI";
    }
}

void onError(RtMidiError::Type, const std::string& text, void*)
{
    try {
        notes().add(text);
    } catch (...) {
    }
}

// RtMidi's thread: nothing but the push, and no exception may leave.
void onMessage(double, std::vector<unsigned char>* message, void*)
{
    if (!message) return;
    try {
        pushPortMessage(message->data(), message->size(), inputQueue());
    } catch (...) {
    }
}

#if defined(KX_MIDI_ASK_ALSA) && defined(__LINUX_ALSA__)
void quietAlsa(const char*, int, const char*, int, const char*, ...) { }
#endif

#if defined(KX_MIDI_ASK_JACK) && defined(__UNIX_JACK__)
// JACK's messages: dropped while the player asks whether a server runs
// (its absence is said once, in the player's own words), kept for the log
// otherwise.
std::atomic<bool> gAskingJack{false};
void jackError(const char* text)
{
    if (!gAskingJack && text) notes().add(std::string("JACK: ") + text);
}
void jackInfo(const char*) { }
#endif

// Whether a MIDI system can be used here, asked without RtMidi, which
// would write its own complaint (and the system library's) to standard
// error first. Empty when it can; else why not.
std::string systemMissing(RtMidi::Api api)
{
#if defined(KX_MIDI_ASK_ALSA) && defined(__LINUX_ALSA__)
    if (api == RtMidi::LINUX_ALSA) {
        snd_lib_error_set_handler(quietAlsa);
        snd_seq_t* sequencer = nullptr;
        const int result = snd_seq_open(&sequencer, "default", SND_SEQ_OPEN_DUPLEX, SND_SEQ_NONBLOCK);
        if (result >= 0) snd_seq_close(sequencer);
        snd_lib_error_set_handler(nullptr);
        if (result < 0) return std::string("no sequencer (") + snd_strerror(result) + ")";
    }
#endif
#if defined(KX_MIDI_ASK_JACK) && defined(__UNIX_JACK__)
    if (api == RtMidi::UNIX_JACK) {
        static bool quietened = false;
        if (!quietened) {
            jack_set_error_function(jackError);
            jack_set_info_function(jackInfo);
            quietened = true;
        }
        gAskingJack = true;
        jack_status_t status{};
        jack_client_t* client = jack_client_open(kClientName, JackNoStartServer, &status);
        if (client) jack_client_close(client);
        gAskingJack = false;
        if (!client) return "no server running";
    }
#endif
#if defined(__WINDOWS_MM__)
    if (api == RtMidi::WINDOWS_MM && midiInGetNumDevs() == 0) return "no MIDI input device";
#endif
    (void)api;
    return "";
}

// Whether a port's name contains `wanted`, ignoring case; an empty wanted
// matches every port.
bool portNameMatches(const std::string& port, const std::string& wanted)
{
    auto lower = [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); };
    return std::search(port.begin(), port.end(), wanted.begin(), wanted.end(),
                       [&](char a, char b) { return lower(a) == lower(b); }) != port.end();
}

struct sFoundPort {
    RtMidi::Api api;
    std::string name;
};

// Every input port of every MIDI system RtMidi was built with that works
// here; `systems` says, per system, what was found or why nothing was.
std::vector<sFoundPort> listPorts(std::vector<std::string>& systems)
{
    std::vector<sFoundPort> found;
    std::vector<RtMidi::Api> apis;
    RtMidi::getCompiledApi(apis);
    for (const RtMidi::Api api : apis) {
        if (api == RtMidi::RTMIDI_DUMMY || api == RtMidi::WEB_MIDI_API) continue;
        const char* system = systemName(api);
        const std::string missing = systemMissing(api);
        if (!missing.empty()) {
            systems.push_back(std::string(system) + ": " + missing);
            continue;
        }
        try {
            RtMidiIn scanner(api, kClientName);
            scanner.setErrorCallback(onError);
            const unsigned count = scanner.getPortCount();
            for (unsigned i = 0; i < count; ++i) {
                const std::string name = scanner.getPortName(i);
                if (!name.empty()) found.push_back({api, name});
            }
            systems.push_back(std::string(system) + ": " + std::to_string(count) + (count == 1 ? " port" : " ports"));
        } catch (const RtMidiError& e) {
            systems.push_back(std::string(system) + ": " + e.getMessage());
        } catch (const std::exception& e) {
            systems.push_back(std::string(system) + ": " + e.what());
        }
    }
    if (apis.empty()) systems.push_back("RtMidi was built without a MIDI system");
    return found;
}

} // namespace

struct cMidiPorts::sPort {
    RtMidi::Api api;
    std::string name;
    std::unique_ptr<RtMidiIn> in;

    std::string label() const { return name + " (" + systemName(api) + ")"; }
};

namespace {

// Opens one port with an RtMidiIn of its own; null, with the reason, when
// it cannot be opened.
std::unique_ptr<RtMidiIn> openPort(const sFoundPort& port, std::string& why)
{
    try {
        std::unique_ptr<RtMidiIn> in(new RtMidiIn(port.api, kClientName));
        in->setErrorCallback(onError);
        // The list may have changed since it was made: the port is looked
        // for by its name again.
        const unsigned count = in->getPortCount();
        unsigned index = 0;
        while (index < count && in->getPortName(index) != port.name) ++index;
        if (index == count) {
            why = "it went away";
            return nullptr;
        }
        in->ignoreTypes(true, true, true);
        in->setCallback(onMessage, nullptr);
        // What the system says about this port is the reason it failed.
        logNotes();
        in->openPort(index, kInputName);
        if (in->isPortOpen()) return in;
        size_t dropped = 0;
        why = joined(notes().take(dropped));
        if (why.empty()) why = "the MIDI system refused it";
    } catch (const RtMidiError& e) {
        why = e.getMessage();
    } catch (const std::exception& e) {
        why = e.what();
    }
    return nullptr;
}

} // namespace

cMidiPorts::cMidiPorts() = default;
cMidiPorts::~cMidiPorts() { close(); }

void cMidiPorts::follow(bool wanted, const std::string& name)
{
    cLog* log = cLog::get();
    if (!wanted) {
        if (!ports_.empty()) {
            log->logf("MIDI: the show has no <midi> mapping any more: its input ports close");
            close();
        }
        logNotes();
        return;
    }
    std::vector<std::string> systems;
    const std::vector<sFoundPort> found = listPorts(systems);
    auto listed = [&](const sPort& p) {
        for (const sFoundPort& f : found)
            if (f.api == p.api && f.name == p.name) return true;
        return false;
    };
    for (auto it = ports_.begin(); it != ports_.end();) {
        const sPort& p = **it;
        const bool stays = listed(p) && portNameMatches(p.name, name);
        if (stays) {
            ++it;
            continue;
        }
        log->logf("MIDI: input port [%s] closed: %s", p.label().c_str(),
                  listed(p) ? "its name does not contain the name asked for" : "it went away");
        it = ports_.erase(it);
    }
    bool anyMatch = false;
    for (const sFoundPort& f : found) {
        if (!portNameMatches(f.name, name)) continue;
        anyMatch = true;
        const bool open = std::any_of(ports_.begin(), ports_.end(), [&](const std::unique_ptr<sPort>& p) {
            return p->api == f.api && p->name == f.name;
        });
        if (open) continue;
        std::unique_ptr<sPort> port(new sPort{f.api, f.name, nullptr});
        std::string why;
        port->in = openPort(f, why);
        if (!port->in) {
            log->logf("MIDI: input port [%s] cannot be opened: %s%s", port->label().c_str(), why.c_str(),
                      f.api == RtMidi::WINDOWS_MM ? " (only one program at a time may open a WinMM port: is "
                                                    "another program using it?)"
                                                  : "");
            continue;
        }
        log->logf("MIDI: input port [%s] opened", port->label().c_str());
        ports_.push_back(std::move(port));
    }
    if (ports_.empty()) {
        if (!anyMatch) {
            // What there is, so a misspelt name shows.
            std::string there = found.empty() ? joined(systems) : "ports: ";
            for (size_t i = 0; i < found.size() && i < 16; ++i)
                there += (i ? ", " : "") + found[i].name + " (" + systemName(found[i].api) + ")";
            if (found.size() > 16) there += ", ...";
            if (name.empty())
                log->logf("MIDI: no input port to open (%s)", there.c_str());
            else
                log->logf("MIDI: no input port's name contains \"%s\" (%s)", name.c_str(), there.c_str());
        } else
            log->logf("MIDI: no input port could be opened");
    }
    logNotes();
}

void cMidiPorts::close()
{
    if (!ports_.empty()) {
        const size_t n = ports_.size();
        // Each closes its connection and waits for its thread.
        ports_.clear();
        cLog::get()->logf("MIDI: %u input port%s closed", unsigned(n), n == 1 ? "" : "s");
    }
    logNotes();
}

std::vector<std::string> cMidiPorts::openPorts() const
{
    std::vector<std::string> out;
    for (const auto& p : ports_) out.push_back(p->label());
    return out;
}

#else // no RtMidi in this build

struct cMidiPorts::sPort { };

cMidiPorts::cMidiPorts() = default;
cMidiPorts::~cMidiPorts() = default;

void cMidiPorts::follow(bool wanted, const std::string&)
{
    static bool told = false;
    if (wanted && !told) cLog::get()->logf("MIDI: this build of the player has no MIDI input ports");
    told = told || wanted;
}

void cMidiPorts::close() { }

std::vector<std::string> cMidiPorts::openPorts() const { return {}; }

#endif

} // namespace controllers
