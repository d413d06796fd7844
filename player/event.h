// One timed or keyed script fragment.
#pragma once

class cXmlTag;

struct cEvent {
    int bank = -1;               // key bank in which a key trigger counts; -1 = every bank
    float time = 0.0f;           // show time in seconds; -10 for key-only events
    int trigger = 0;             // key code that fires the event; 0 = none
    cXmlTag* fragment = nullptr; // the event tag itself, owned by the document
    bool fired = false;          // the clock has run the fragment at least once
};
