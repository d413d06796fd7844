// MIDI input ports with the real player. Without a port (no ALSA
// sequencer device, no JACK server, or none named as asked) a show plays
// and says so in one line. With a JACK server of the test's own (jackd -d
// dummy), jack_midiseq and a fader client of the test's own play notes and
// controller changes into the player: pads press keys, the fader moves the
// tune's volume (heard through SDL's disk audio driver), both are in the
// key log, and a reload keeps, narrows and closes the ports.
#include "player_runner.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <jack/jack.h>
#include <jack/midiport.h>
#include <mutex>
#include <regex>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace kxtest;

// A program of the test's (jackd, jack_midiseq), ended with the test.
class Child {
public:
    Child(std::vector<std::string> argv, const std::string& server, const std::string& output)
    {
        const pid_t parent = getpid();
        pid_ = fork();
        if (pid_ != 0) return;
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(126);
        const int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out >= 0) {
            dup2(out, 1);
            dup2(out, 2);
        }
        setenv("JACK_DEFAULT_SERVER", server.c_str(), 1);
        std::vector<char*> args;
        for (std::string& a : argv) args.push_back(&a[0]);
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    ~Child()
    {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        for (int i = 0; i < 250 && waitpid(pid_, nullptr, WNOHANG) == 0; ++i) usleep(20000);
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

private:
    pid_t pid_ = -1;
};

// A MIDI source of the test's own: what send() is given goes out through
// its port "NAME:out", a few messages per JACK cycle (43 ms) as a
// controller's fader sends them.
class JackMidiSource {
public:
    explicit JackMidiSource(const char* name)
    {
        client_ = jack_client_open(name, JackNoStartServer, nullptr);
        if (!client_) return;
        port_ = jack_port_register(client_, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        jack_set_process_callback(client_, process, this);
        if (!port_ || jack_activate(client_) != 0) port_ = nullptr;
    }
    ~JackMidiSource()
    {
        if (client_) jack_client_close(client_);
    }
    JackMidiSource(const JackMidiSource&) = delete;
    JackMidiSource& operator=(const JackMidiSource&) = delete;

    bool ready() const { return port_ != nullptr; }
    void send(std::vector<unsigned char> message)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        pending_.push_back(std::move(message));
    }

private:
    static constexpr size_t kPerCycle = 8;
    static int process(jack_nframes_t frames, void* arg)
    {
        auto* self = static_cast<JackMidiSource*>(arg);
        void* buffer = jack_port_get_buffer(self->port_, frames);
        jack_midi_clear_buffer(buffer);
        std::unique_lock<std::mutex> lock(self->mutex_, std::try_to_lock);
        if (!lock) return 0;
        size_t sent = 0;
        while (sent < self->pending_.size() && sent < kPerCycle && sent < frames) {
            const std::vector<unsigned char>& m = self->pending_[sent];
            jack_midi_event_write(buffer, jack_nframes_t(sent), m.data(), m.size());
            ++sent;
        }
        self->pending_.erase(self->pending_.begin(), self->pending_.begin() + long(sent));
        return 0;
    }

    jack_client_t* client_ = nullptr;
    jack_port_t* port_ = nullptr;
    std::mutex mutex_;
    std::vector<std::vector<unsigned char>> pending_;
};

// jackd -d dummy under a server name of this test's own, so tests running
// side by side never meet; `why` says what went wrong when it cannot start.
class JackServer {
public:
    JackServer()
        : name_("kxtest" + std::to_string(getpid())),
          jackd_({"jackd", "-n", name_, "-r", "-d", "dummy", "-r", "48000", "-p", "2048"}, name_, "jackd.txt")
    {
        setEnv("JACK_DEFAULT_SERVER", name_.c_str());
        // Asking before the server is up makes the library complain.
        jack_set_error_function([](const char*) {});
        jack_set_info_function([](const char*) {});
        for (int i = 0; i < 100; ++i) {
            if (jack_client_t* probe = jack_client_open("kxprobe", JackNoStartServer, nullptr)) {
                jack_client_close(probe);
                running_ = true;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    bool running() const { return running_; }
    const std::string& name() const { return name_; }
    // Waits until a client has made the port.
    bool waitForPort(const char* port)
    {
        jack_client_t* client = jack_client_open("kxwatch", JackNoStartServer, nullptr);
        bool there = false;
        for (int i = 0; client && !there && i < 200; ++i) {
            there = jack_port_by_name(client, port) != nullptr;
            if (!there) std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
        if (client) jack_client_close(client);
        return there;
    }

private:
    std::string name_;
    Child jackd_;
    bool running_ = false;
};

// The player playing in the background, headless, its sound written to
// heard.raw (16-bit stereo at 44.1 kHz) as it is played.
PlayerProcess::Options live(const std::string& args, const std::string& server)
{
    PlayerProcess::Options o;
    o.args = words(args);
    o.env = {"JACK_DEFAULT_SERVER=" + server, "SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=heard.raw"};
    o.deadlineSeconds = 90;
    return o;
}

// Waits until the file holds the text; false when the player ended first
// or after `seconds`.
bool waitFor(PlayerProcess& player, const char* file, const std::string& text, int seconds = 30)
{
    for (int i = 0; i < seconds * 50 && readFile(file).find(text) == std::string::npos && !player.ended(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return readFile(file).find(text) != std::string::npos;
}

long heardBytes() { return long(readFile("heard.raw").size()); }

// The loudest quarter second (dBFS) of what was heard between two byte
// offsets; -99 for silence.
double loudest(long from, long to)
{
    const std::string raw = readFile("heard.raw");
    const long window = 44100 / 4 * 4;
    double most = -99;
    for (long at = std::max(0L, from) / 4 * 4; at + window <= std::min<long>(to, long(raw.size())); at += window) {
        double sum = 0;
        for (long i = at; i < at + window; i += 2) {
            const auto v = int16_t(uint8_t(raw[size_t(i)]) | (uint8_t(raw[size_t(i) + 1]) << 8));
            sum += double(v) * double(v);
        }
        const double mean = sum / double(window / 2) / (32768.0 * 32768.0);
        most = std::max(most, mean > 0 ? 10 * std::log10(mean) : -99.0);
    }
    return most;
}

// The show of the user guide's example: four pads on notes 36 to 39 press
// A to D, a fader on controller 7 sets the tune's volume.
std::string padShow(const std::string& demoAttributes, bool mapped = true)
{
    std::string show = R"(<demo name="pads" width="64" height="48" )" + demoAttributes + R"(>
        <loadplugin file="lumafold.dll"/>
        <add type="clear" name="bg"/><draworder effect="bg"/>
        <add type="musicplay" name="tune"/><tune filename="loop.mod"/>
        <event time="0"><tune><play/></tune></event>
        <event key="A"><markPadA/></event><event key="B"><markPadB/></event>
        <event key="C"><markPadC/></event><event key="D"><markPadD/></event>
)";
    if (mapped)
        show += R"(        <midi note="36" key="A"/><midi note="37" key="B"/>
        <midi note="38" key="C"/><midi note="39" key="D"/>
        <midi cc="7" effect="tune" param="volume" min="0" max="1"/>
)";
    return show + "        <create/><load/><run/>\n    </demo>";
}

std::vector<std::string> volumeRecords(const std::string& keyLog)
{
    std::vector<std::string> out;
    const std::regex record("<event time=\"([0-9.]+)\">\n\t\t<tune volume=\"([0-9.]+)\"/>");
    for (std::sregex_iterator it(keyLog.begin(), keyLog.end(), record), end; it != end; ++it)
        out.push_back((*it)[1].str() + " " + (*it)[2].str());
    return out;
}

void writeTune()
{
    std::filesystem::create_directories("data/music");
    ASSERT_EQ(std::system((std::string(KX_MODULE_WRITER_PATH) + " --loop data/music/loop.mod >/dev/null").c_str()), 0);
}

class MidiPortsRun : public ::testing::Test {
protected:
    TempDir dir;
};

TEST_F(MidiPortsRun, WithoutAPortTheShowPlaysAndSaysSoInOneLine)
{
    struct Case {
        const char* what;
        const char* args;
        const char* demo; // the demo element's attributes
        bool mapped;
        const char* line; // the one MIDI line of the log; none when empty
    };
    // Whatever this machine has, no port's name holds these.
    const Case cases[] = {
        {"the demo element names the ports", "", "midi=\"kx-from-demo\"", true,
         "MIDI: no input port's name contains \"kx-from-demo\" ("},
        {"the command line wins", "--midi kx-from-command-line", "midi=\"kx-from-demo\"", true,
         "MIDI: no input port's name contains \"kx-from-command-line\" ("},
        {"a show without <midi> opens nothing", "--midi kx-from-command-line", "", false, ""},
        {"a capture takes no live input", "--capture c --fps 10 --frames 10", "", true,
         "MIDI: a capture takes no input from MIDI ports; none opened"},
    };
    writeTune();
    for (const Case& c : cases) {
        std::string show = padShow(c.demo, c.mapped);
        show.insert(show.find("<create/>"), "<event time=\"0.3\"><exit/></event>");
        writeDataFile("script.txt", show);
        // No JACK server has this name.
        const PlayerResult r = runPlayer(c.args, "JACK_DEFAULT_SERVER=kx-none-" + std::to_string(getpid()));
        EXPECT_EQ(r.status, 0) << c.what << "\n" << r.out;
        const std::string log = readFile("log.txt");
        EXPECT_EQ(count(log, "MIDI:"), *c.line ? 1u : 0u) << c.what << "\n" << log;
        if (*c.line) {
            EXPECT_EQ(count(log, c.line), 1u) << c.what << "\n" << log;
        }
        EXPECT_NE(log.find("Show ended: the script's exit command"), std::string::npos) << c.what << "\n" << log;
        // The MIDI systems' own complaints stay off the console.
        for (const char* noise : {"ALSA lib", "Cannot connect to server", "MidiIn", "JACK"})
            EXPECT_EQ(r.out.find(noise), std::string::npos) << c.what << ": " << noise << "\n" << r.out;
    }
}

TEST_F(MidiPortsRun, JackPadsAndAFaderPlayTheShowAndAReloadKeepsNarrowsAndClosesThePorts)
{
    JackServer jack;
    if (!jack.running()) GTEST_SKIP() << "jackd -d dummy cannot start here: " << readFile("jackd.txt");
    writeTune();
    writeDataFile("script.txt", padShow(""));
    // jack_midiseq plays note 36 every half second; the fader is ours.
    Child sequencer({"jack_midiseq", "kxseq", "24000", "0", "36", "8000"}, jack.name(), "midiseq.txt");
    JackMidiSource fader("kxfader");
    ASSERT_TRUE(fader.ready());
    ASSERT_TRUE(jack.waitForPort("kxseq:out")) << readFile("midiseq.txt");

    PlayerProcess player(live("", jack.name()));
    ASSERT_TRUE(waitFor(player, "log.txt", "MIDI: input port [kxfader:out (JACK)] opened")) << readFile("log.txt");
    ASSERT_TRUE(waitFor(player, "log.txt", "MIDI: input port [kxseq:out (JACK)] opened")) << readFile("log.txt");
    // The sequencer's note presses A.
    ASSERT_TRUE(waitFor(player, "keylog.txt", "bank=\"0\" trigger=\"A\">")) << readFile("log.txt");

    // A JACK server that is not real-time drops a cycle now and then on a
    // busy machine (an xrun), and what the clients sent in it: a message
    // whose record does not come is sent again, as a player would hit a pad
    // again. The key log must never hold more than was sent.
    int sent[3] = {};
    auto playUntilRecorded = [&](std::vector<unsigned char> message, const std::string& record, int* count) {
        for (int attempt = 0; attempt < 3; ++attempt) {
            fader.send(message);
            if (message[0] == 0x90) fader.send({0x80, message[1], 0});
            if (count) ++*count;
            if (waitFor(player, "keylog.txt", record, 3)) return true;
        }
        return false;
    };
    // Three pads, each a note-on and its note-off.
    for (unsigned char note = 37; note <= 39; ++note) {
        const std::string key(1, char('B' + (note - 37)));
        ASSERT_TRUE(playUntilRecorded({0x90, note, 100}, "trigger=\"" + key + "\">", &sent[note - 37]))
            << key << "\n"
            << readFile("keylog.txt") << "\njackd:\n"
            << readFile("jackd.txt");
    }
    // A second of the tune at full volume reaches heard.raw.
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const long loudUntil = heardBytes();

    // The fader down from the top: 128 changes, eight per JACK cycle.
    for (int v = 127; v > 0; --v) fader.send({0xB0, 7, static_cast<unsigned char>(v)});
    ASSERT_TRUE(playUntilRecorded({0xB0, 7, 0}, "<tune volume=\"0\"/>", nullptr))
        << readFile("keylog.txt") << "\njackd:\n"
        << readFile("jackd.txt");
    const long quietFrom = heardBytes();
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    const long quietUntil = heardBytes();

    // Narrowed to the fader by the rebuilt show's midi attribute.
    writeDataFile("script.txt", padShow("midi=\"KXFADER\""));
    ASSERT_TRUE(waitFor(player, "log.txt", "MIDI: input port [kxseq:out (JACK)] closed: its name does not contain"))
        << readFile("log.txt");
    // Without <midi> elements the last port closes.
    writeDataFile("script.txt", padShow("midi=\"KXFADER\"", false));
    ASSERT_TRUE(waitFor(player, "log.txt", "MIDI: the show has no <midi> mapping any more")) << readFile("log.txt");
    // With them again the fader's port opens again; a stop signal ends the
    // show and closes it.
    writeDataFile("script.txt", padShow("midi=\"KXFADER\""));
    for (int i = 0; i < 150 && count(readFile("log.txt"), "reload: show rebuilt at") < 3; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    player.stop();

    const std::string log = readFile("log.txt"), keyLog = readFile("keylog.txt");
    for (const char* pad : {"[markPadA]", "[markPadB]", "[markPadC]", "[markPadD]"})
        EXPECT_NE(log.find(pad), std::string::npos) << pad;
    for (int pad = 0; pad < 3; ++pad) {
        const size_t presses = count(keyLog, std::string("trigger=\"") + char('B' + pad) + "\">");
        EXPECT_GE(presses, 1u) << keyLog;
        EXPECT_LE(presses, size_t(sent[pad])) << "a note-off pressed too\n" << keyLog;
    }
    // The fader sweep: one record per frame at most, the last at 0.
    const std::vector<std::string> volumes = volumeRecords(keyLog);
    ASSERT_GE(volumes.size(), 2u) << keyLog;
    EXPECT_LT(volumes.size(), 64u) << keyLog;
    EXPECT_EQ(volumes.back().substr(volumes.back().find(' ') + 1), "0") << keyLog;
    for (size_t i = 1; i < volumes.size(); ++i)
        EXPECT_LT(std::stod(volumes[i - 1]), std::stod(volumes[i])) << "two records of one frame:\n" << keyLog;
    // The fader is heard: loud before, silent once it is down (until the
    // reload, whose show starts at the script's volume again).
    EXPECT_GT(loudest(0, loudUntil), -40) << "the tune was not heard before the fader moved";
    EXPECT_LT(loudest(quietFrom + 2 * 44100, quietUntil), -80) << "the tune sounds after the fader went down";
    // The fader's port stayed open through the first reload; the reload
    // without <midi> and the show's end each closed what was open.
    EXPECT_EQ(count(log, "MIDI: input port [kxfader:out (JACK)] opened"), 2u) << log;
    EXPECT_EQ(count(log, "MIDI: input port"), 4u) << log;
    EXPECT_EQ(count(log, "MIDI: 1 input port closed"), 2u) << log;
    EXPECT_LT(log.rfind("MIDI: 1 input port closed"), log.find("Show ended: stopped by")) << log;
}

} // namespace
