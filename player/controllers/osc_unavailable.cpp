// A player built without oscpack: --osc and osc= are answered in the log.
#include "player/controllers/osc_listener.h"
#include "player/log.h"

namespace controllers {

namespace {
std::string gCommandLinePort;
bool gTold = false;
} // namespace

void setOscCommandLinePort(const std::string& text) { gCommandLinePort = text; }

void oscForShow(const char* port, const char* bind)
{
    if (gTold || (gCommandLinePort.empty() && !port && !bind)) return;
    gTold = true;
    cLog::get()->logf("OSC: this build of the player has no OSC input; --osc, osc= and oscbind= are ignored");
}

void stopOsc() { }

} // namespace controllers
