// Message boxes, the part every system shares: when a box may open, and
// where its text goes when none does.
#include "platform/message_box.h"

#include "platform/backend/message_box.h"

#include <cstdio>

namespace platform {

namespace {
bool gInteractive = true;
} // namespace

void setInteractive(bool interactive) { gInteractive = interactive; }
bool isInteractive() { return gInteractive; }

void messageBox(const char* caption, const char* text, MessageIcon icon)
{
    if (!caption) caption = "";
    if (!text) text = "";
    if (gInteractive && displayAvailable() && showMessageBox(caption, text, icon)) return;
    std::fprintf(stderr, "[%s] %s\n", caption, text);
    std::fflush(stderr);
}

} // namespace platform
