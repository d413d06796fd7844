// MIDI input ports: a show with <midi> mappings listens to every MIDI input
// port of every MIDI system the machine has (the ALSA sequencer and JACK on
// Linux, WinMM on Windows), or to those whose name contains a given text.
// RtMidi calls back on threads of its own; there the raw channel message is
// only pushed into the player's input queue, and the frame loop translates
// it through the show's <midi> map. No port, or no MIDI system at all, is a
// line in the log, never an error.
#pragma once

#include "player/controllers/controller_input.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace controllers {

class cMidiPorts {
public:
    cMidiPorts();
    ~cMidiPorts();
    cMidiPorts(const cMidiPorts&) = delete;
    cMidiPorts& operator=(const cMidiPorts&) = delete;

    // Brings the open ports in line with what the show asks for: `wanted`
    // when its <midi> map holds mappings; `name`: only ports whose name
    // contains it, ignoring case (empty: every port). Ports already open
    // stay open (a reload does not interrupt a performer), ports that are
    // no longer there or no longer match are closed, ports that appeared
    // since are opened. Every port opened or closed is a log line, and so
    // is a show that wants ports and finds none.
    void follow(bool wanted, const std::string& name);
    // Closes every port (the show's end); a log line when some were open.
    void close();

    // The open ports, as "NAME (SYSTEM)".
    std::vector<std::string> openPorts() const;

private:
    struct sPort;
    std::vector<std::unique_ptr<sPort>> ports_;
};

// --midi NAME from the command line; it wins over the demo element's
// midi="NAME". Empty: not given.
void setPortNameFromCommandLine(const std::string& name);
const std::string& portNameFromCommandLine();

// Pushes what the <midi> map can use of one message from a port: note-on,
// note-off, controller change and program change. System messages (sysex,
// clock, active sensing), the continuous streams (aftertouch, pitch bend)
// and malformed messages (no status byte, too short, data bytes above 127)
// are dropped. True when a message was pushed.
bool pushPortMessage(const unsigned char* bytes, size_t size, cInputQueue& queue);

} // namespace controllers
