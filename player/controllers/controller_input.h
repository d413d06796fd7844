// What a controller asks of the show. OSC and MIDI ports deliver on threads
// of their own; the queue hands their actions to the frame loop, which
// handles them at the start of the next frame, in the order they came.
#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

namespace controllers {

struct sAction {
    // midi: a channel message from a port, translated by the show's <midi>
    // map on the frame loop's thread (the map changes with a reload).
    enum class eKind { press, bank, set, midi };
    eKind kind = eKind::press;
    int key = 0;        // press: the key's code as the keyboard would give it
    int bank = 0;       // bank: the key bank to set, as <keybank set=.../>
    std::string effect; // set: runs <effect attribute="value"/>
    std::string attribute;
    std::string value;
    unsigned char midi[3] = {}; // midi: status and data bytes
    const char* source = "";    // "OSC", "MIDI": says where an action came from in the log

    static sAction press(int code, const char* from);
    static sAction setBank(int bank, const char* from);
    static sAction set(std::string effect, std::string attribute, std::string value, const char* from);
    static sAction midiMessage(unsigned char status, unsigned char data1, unsigned char data2, const char* from);
};

// Thread-safe and bounded: a controller flooding a stalled show loses its
// newest actions (said once per frame in the log by the taker), never memory.
class cInputQueue {
public:
    enum : size_t { kMaxPending = 4096 };

    void push(sAction action);
    // Everything queued since the last take, oldest first, and how many
    // actions were dropped because the queue was full.
    std::vector<sAction> take(size_t* dropped = nullptr);

private:
    std::mutex mutex_;
    std::vector<sAction> pending_;
    size_t dropped_ = 0;
};

// The player's one queue.
cInputQueue& inputQueue();

} // namespace controllers
