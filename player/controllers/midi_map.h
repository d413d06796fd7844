// The script's <midi> elements: which note presses which key, which
// controller moves which effect attribute. MIDI ports and MIDI files both
// go through it.
//   <midi note="36" key="A"/>                       a note-on (velocity > 0) presses A
//   <midi cc="7" effect="tune" param="volume" min="0" max="1"/>
//                                                   controller 7's 0..127 onto volume
//   channel="1".."16" narrows either; without it any channel matches.
#pragma once

#include "player/controllers/controller_input.h"

#include <cstdint>
#include <string>
#include <vector>

class cXmlTag;

namespace controllers {

class cMidiMap {
public:
    enum : size_t { kMaxEntries = 1024 };

    // Adds the mapping a <midi> element describes; a malformed one is
    // logged and left out. False when it was left out.
    bool add(const cXmlTag* tag);
    void clear() { entries_.clear(); }
    bool empty() const { return entries_.empty(); }

    // The actions one channel message makes: status (0x80..0xEF) with its
    // data bytes. Other messages, and note-ons of velocity 0 (note-offs),
    // make none. source says where the message came from in the log.
    std::vector<sAction> translate(uint8_t status, uint8_t data1, uint8_t data2, const char* source) const;

    // The attribute value a controller value gives: min + (max - min) * value / 127,
    // written with at most three decimals and no trailing zeros ("0.504", "1").
    static std::string scaledValue(float min, float max, int value);

private:
    struct sEntry {
        bool isNote = true;
        int number = 0;  // the note or the controller
        int channel = 0; // 1..16; 0 for any
        int key = 0;     // a note's key
        std::string effect, param;
        float min = 0.0f, max = 1.0f;
    };
    std::vector<sEntry> entries_;
};

} // namespace controllers
