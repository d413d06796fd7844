// SDL key events as Windows virtual-key codes, so scripts and the key log
// see the same numbers on every system.
#pragma once

#include <SDL_keycode.h>
#include <SDL_scancode.h>

namespace platform {

// The virtual-key code of one key, 0 for a key without one.
//
// Keys of the main number row give '0'..'9' whatever the layout, as on
// Windows. Otherwise the key's meaning in the current layout (its keycode)
// decides: a letter gives its upper-case code, punctuation the OEM code it
// has on a US keyboard. A keycode that says nothing known, such as a letter
// of a non-Latin layout, falls back to the key's position (its scancode) on
// a US keyboard. Left and right Shift, Ctrl and Alt give the generic 16, 17
// and 18.
int virtualKeyFromSdl(SDL_Keycode key, SDL_Scancode scancode);

} // namespace platform
