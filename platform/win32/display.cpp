// Windows back end: whether the process has a desktop to show windows on,
// and what a headless run changes (nothing: see useHeadlessDevices).
#include "platform/backend/display.h"

#include "platform/headless.h"
#include "platform/win32/native_window.h"

namespace platform {

bool displayAvailable()
{
    // Whether the process sits on a window station the user sees: not so for
    // a service, or a program started by the task scheduler without a
    // session. A message box there would wait for a click nobody can give.
    HWINSTA station = GetProcessWindowStation();
    if (!station) return false;
    USEROBJECTFLAGS flags{};
    DWORD needed = 0;
    if (!GetUserObjectInformationA(station, UOI_FLAGS, &flags, sizeof flags, &needed)) return true;
    return (flags.dwFlags & WSF_VISIBLE) != 0;
}

void useHeadlessDevices()
{
    // Windows and WGL contexts open on every window station, shown or not,
    // so there is no off-screen driver to choose. The audio engine opens no
    // device of the system's in a headless run either way: the player asks
    // it for the null device or for offline mixing.
}

} // namespace platform
