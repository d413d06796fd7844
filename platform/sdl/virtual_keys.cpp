// SDL keys → Windows virtual-key codes.
#include "platform/sdl/virtual_keys.h"

namespace platform {

namespace {

struct KeyRow {
    SDL_Scancode scancode; // the key's position on a US keyboard
    SDL_Keycode keycode;   // what that key means on a US layout
    int virtualKey;
};

// Each row: one key of a US keyboard. Codes are the Windows VK_ values.
constexpr KeyRow kKeys[] = {
    // Letters: upper-case character codes.
    {SDL_SCANCODE_A, SDLK_a, 'A'},
    {SDL_SCANCODE_B, SDLK_b, 'B'},
    {SDL_SCANCODE_C, SDLK_c, 'C'},
    {SDL_SCANCODE_D, SDLK_d, 'D'},
    {SDL_SCANCODE_E, SDLK_e, 'E'},
    {SDL_SCANCODE_F, SDLK_f, 'F'},
    {SDL_SCANCODE_G, SDLK_g, 'G'},
    {SDL_SCANCODE_H, SDLK_h, 'H'},
    {SDL_SCANCODE_I, SDLK_i, 'I'},
    {SDL_SCANCODE_J, SDLK_j, 'J'},
    {SDL_SCANCODE_K, SDLK_k, 'K'},
    {SDL_SCANCODE_L, SDLK_l, 'L'},
    {SDL_SCANCODE_M, SDLK_m, 'M'},
    {SDL_SCANCODE_N, SDLK_n, 'N'},
    {SDL_SCANCODE_O, SDLK_o, 'O'},
    {SDL_SCANCODE_P, SDLK_p, 'P'},
    {SDL_SCANCODE_Q, SDLK_q, 'Q'},
    {SDL_SCANCODE_R, SDLK_r, 'R'},
    {SDL_SCANCODE_S, SDLK_s, 'S'},
    {SDL_SCANCODE_T, SDLK_t, 'T'},
    {SDL_SCANCODE_U, SDLK_u, 'U'},
    {SDL_SCANCODE_V, SDLK_v, 'V'},
    {SDL_SCANCODE_W, SDLK_w, 'W'},
    {SDL_SCANCODE_X, SDLK_x, 'X'},
    {SDL_SCANCODE_Y, SDLK_y, 'Y'},
    {SDL_SCANCODE_Z, SDLK_z, 'Z'},

    // Main number row: digit codes.
    {SDL_SCANCODE_0, SDLK_0, '0'},
    {SDL_SCANCODE_1, SDLK_1, '1'},
    {SDL_SCANCODE_2, SDLK_2, '2'},
    {SDL_SCANCODE_3, SDLK_3, '3'},
    {SDL_SCANCODE_4, SDLK_4, '4'},
    {SDL_SCANCODE_5, SDLK_5, '5'},
    {SDL_SCANCODE_6, SDLK_6, '6'},
    {SDL_SCANCODE_7, SDLK_7, '7'},
    {SDL_SCANCODE_8, SDLK_8, '8'},
    {SDL_SCANCODE_9, SDLK_9, '9'},

    {SDL_SCANCODE_BACKSPACE, SDLK_BACKSPACE, 8},
    {SDL_SCANCODE_TAB, SDLK_TAB, 9},
    {SDL_SCANCODE_CLEAR, SDLK_CLEAR, 12},
    {SDL_SCANCODE_RETURN, SDLK_RETURN, 13},
    {SDL_SCANCODE_RETURN2, SDLK_RETURN2, 13},
    {SDL_SCANCODE_KP_ENTER, SDLK_KP_ENTER, 13},
    {SDL_SCANCODE_LSHIFT, SDLK_LSHIFT, 16},
    {SDL_SCANCODE_RSHIFT, SDLK_RSHIFT, 16},
    {SDL_SCANCODE_LCTRL, SDLK_LCTRL, 17},
    {SDL_SCANCODE_RCTRL, SDLK_RCTRL, 17},
    {SDL_SCANCODE_LALT, SDLK_LALT, 18},
    {SDL_SCANCODE_RALT, SDLK_RALT, 18},
    {SDL_SCANCODE_PAUSE, SDLK_PAUSE, 19},
    {SDL_SCANCODE_CAPSLOCK, SDLK_CAPSLOCK, 20},
    {SDL_SCANCODE_ESCAPE, SDLK_ESCAPE, 27},
    {SDL_SCANCODE_SPACE, SDLK_SPACE, 32},
    {SDL_SCANCODE_PAGEUP, SDLK_PAGEUP, 33},
    {SDL_SCANCODE_PAGEDOWN, SDLK_PAGEDOWN, 34},
    {SDL_SCANCODE_END, SDLK_END, 35},
    {SDL_SCANCODE_HOME, SDLK_HOME, 36},
    {SDL_SCANCODE_LEFT, SDLK_LEFT, 37},
    {SDL_SCANCODE_UP, SDLK_UP, 38},
    {SDL_SCANCODE_RIGHT, SDLK_RIGHT, 39},
    {SDL_SCANCODE_DOWN, SDLK_DOWN, 40},
    {SDL_SCANCODE_SELECT, SDLK_SELECT, 41},
    {SDL_SCANCODE_EXECUTE, SDLK_EXECUTE, 43},
    {SDL_SCANCODE_PRINTSCREEN, SDLK_PRINTSCREEN, 44},
    {SDL_SCANCODE_INSERT, SDLK_INSERT, 45},
    {SDL_SCANCODE_DELETE, SDLK_DELETE, 46},
    {SDL_SCANCODE_HELP, SDLK_HELP, 47},
    {SDL_SCANCODE_LGUI, SDLK_LGUI, 91},
    {SDL_SCANCODE_RGUI, SDLK_RGUI, 92},
    {SDL_SCANCODE_APPLICATION, SDLK_APPLICATION, 93},
    {SDL_SCANCODE_MENU, SDLK_MENU, 93},
    {SDL_SCANCODE_SLEEP, SDLK_SLEEP, 95},

    // Numeric keypad.
    {SDL_SCANCODE_KP_0, SDLK_KP_0, 96},
    {SDL_SCANCODE_KP_1, SDLK_KP_1, 97},
    {SDL_SCANCODE_KP_2, SDLK_KP_2, 98},
    {SDL_SCANCODE_KP_3, SDLK_KP_3, 99},
    {SDL_SCANCODE_KP_4, SDLK_KP_4, 100},
    {SDL_SCANCODE_KP_5, SDLK_KP_5, 101},
    {SDL_SCANCODE_KP_6, SDLK_KP_6, 102},
    {SDL_SCANCODE_KP_7, SDLK_KP_7, 103},
    {SDL_SCANCODE_KP_8, SDLK_KP_8, 104},
    {SDL_SCANCODE_KP_9, SDLK_KP_9, 105},
    {SDL_SCANCODE_KP_MULTIPLY, SDLK_KP_MULTIPLY, 106},
    {SDL_SCANCODE_KP_PLUS, SDLK_KP_PLUS, 107},
    {SDL_SCANCODE_SEPARATOR, SDLK_SEPARATOR, 108},
    {SDL_SCANCODE_KP_COMMA, SDLK_KP_COMMA, 108},
    {SDL_SCANCODE_KP_MINUS, SDLK_KP_MINUS, 109},
    {SDL_SCANCODE_KP_PERIOD, SDLK_KP_PERIOD, 110},
    {SDL_SCANCODE_KP_DECIMAL, SDLK_KP_DECIMAL, 110},
    {SDL_SCANCODE_KP_DIVIDE, SDLK_KP_DIVIDE, 111},

    // Function keys: F1 = 112 ... F24 = 135.
    {SDL_SCANCODE_F1, SDLK_F1, 112},
    {SDL_SCANCODE_F2, SDLK_F2, 113},
    {SDL_SCANCODE_F3, SDLK_F3, 114},
    {SDL_SCANCODE_F4, SDLK_F4, 115},
    {SDL_SCANCODE_F5, SDLK_F5, 116},
    {SDL_SCANCODE_F6, SDLK_F6, 117},
    {SDL_SCANCODE_F7, SDLK_F7, 118},
    {SDL_SCANCODE_F8, SDLK_F8, 119},
    {SDL_SCANCODE_F9, SDLK_F9, 120},
    {SDL_SCANCODE_F10, SDLK_F10, 121},
    {SDL_SCANCODE_F11, SDLK_F11, 122},
    {SDL_SCANCODE_F12, SDLK_F12, 123},
    {SDL_SCANCODE_F13, SDLK_F13, 124},
    {SDL_SCANCODE_F14, SDLK_F14, 125},
    {SDL_SCANCODE_F15, SDLK_F15, 126},
    {SDL_SCANCODE_F16, SDLK_F16, 127},
    {SDL_SCANCODE_F17, SDLK_F17, 128},
    {SDL_SCANCODE_F18, SDLK_F18, 129},
    {SDL_SCANCODE_F19, SDLK_F19, 130},
    {SDL_SCANCODE_F20, SDLK_F20, 131},
    {SDL_SCANCODE_F21, SDLK_F21, 132},
    {SDL_SCANCODE_F22, SDLK_F22, 133},
    {SDL_SCANCODE_F23, SDLK_F23, 134},
    {SDL_SCANCODE_F24, SDLK_F24, 135},

    {SDL_SCANCODE_NUMLOCKCLEAR, SDLK_NUMLOCKCLEAR, 144},
    {SDL_SCANCODE_SCROLLLOCK, SDLK_SCROLLLOCK, 145},

    // Browser and media keys.
    {SDL_SCANCODE_AC_BACK, SDLK_AC_BACK, 166},
    {SDL_SCANCODE_AC_FORWARD, SDLK_AC_FORWARD, 167},
    {SDL_SCANCODE_AC_REFRESH, SDLK_AC_REFRESH, 168},
    {SDL_SCANCODE_AC_STOP, SDLK_AC_STOP, 169},
    {SDL_SCANCODE_AC_SEARCH, SDLK_AC_SEARCH, 170},
    {SDL_SCANCODE_AC_BOOKMARKS, SDLK_AC_BOOKMARKS, 171},
    {SDL_SCANCODE_AC_HOME, SDLK_AC_HOME, 172},
    {SDL_SCANCODE_MUTE, SDLK_MUTE, 173},
    {SDL_SCANCODE_AUDIOMUTE, SDLK_AUDIOMUTE, 173},
    {SDL_SCANCODE_VOLUMEDOWN, SDLK_VOLUMEDOWN, 174},
    {SDL_SCANCODE_VOLUMEUP, SDLK_VOLUMEUP, 175},
    {SDL_SCANCODE_AUDIONEXT, SDLK_AUDIONEXT, 176},
    {SDL_SCANCODE_AUDIOPREV, SDLK_AUDIOPREV, 177},
    {SDL_SCANCODE_AUDIOSTOP, SDLK_AUDIOSTOP, 178},
    {SDL_SCANCODE_AUDIOPLAY, SDLK_AUDIOPLAY, 179},
    {SDL_SCANCODE_MAIL, SDLK_MAIL, 180},
    {SDL_SCANCODE_MEDIASELECT, SDLK_MEDIASELECT, 181},
    {SDL_SCANCODE_COMPUTER, SDLK_COMPUTER, 182},
    {SDL_SCANCODE_CALCULATOR, SDLK_CALCULATOR, 183},

    // Punctuation, as on a US keyboard (VK_OEM_*).
    {SDL_SCANCODE_SEMICOLON, SDLK_SEMICOLON, 186},
    {SDL_SCANCODE_EQUALS, SDLK_EQUALS, 187},
    {SDL_SCANCODE_COMMA, SDLK_COMMA, 188},
    {SDL_SCANCODE_MINUS, SDLK_MINUS, 189},
    {SDL_SCANCODE_PERIOD, SDLK_PERIOD, 190},
    {SDL_SCANCODE_SLASH, SDLK_SLASH, 191},
    {SDL_SCANCODE_GRAVE, SDLK_BACKQUOTE, 192},
    {SDL_SCANCODE_LEFTBRACKET, SDLK_LEFTBRACKET, 219},
    {SDL_SCANCODE_BACKSLASH, SDLK_BACKSLASH, 220},
    {SDL_SCANCODE_RIGHTBRACKET, SDLK_RIGHTBRACKET, 221},
    {SDL_SCANCODE_APOSTROPHE, SDLK_QUOTE, 222},
    // The extra key beside the backslash or left Shift of ISO keyboards.
    {SDL_SCANCODE_NONUSHASH, SDLK_HASH, 220},
    {SDL_SCANCODE_NONUSBACKSLASH, SDLK_LESS, 226},
};

constexpr int kKeyCount = static_cast<int>(sizeof kKeys / sizeof kKeys[0]);

// A second row for the same scancode or keycode would never be reached.
constexpr bool rowsDistinct()
{
    for (int i = 0; i < kKeyCount; ++i)
        for (int j = i + 1; j < kKeyCount; ++j)
            if (kKeys[i].scancode == kKeys[j].scancode || kKeys[i].keycode == kKeys[j].keycode) return false;
    return true;
}
static_assert(rowsDistinct(), "every scancode and keycode in one row only");

int byScancode(SDL_Scancode scancode)
{
    if (scancode == SDL_SCANCODE_UNKNOWN) return 0;
    for (const KeyRow& row : kKeys)
        if (row.scancode == scancode) return row.virtualKey;
    return 0;
}

int byKeycode(SDL_Keycode key)
{
    if (key == SDLK_UNKNOWN) return 0;
    for (const KeyRow& row : kKeys)
        if (row.keycode == key) return row.virtualKey;
    return 0;
}

} // namespace

int virtualKeyFromSdl(SDL_Keycode key, SDL_Scancode scancode)
{
    if (scancode >= SDL_SCANCODE_1 && scancode <= SDL_SCANCODE_0) return byScancode(scancode);
    if (const int vk = byKeycode(key)) return vk;
    return byScancode(scancode);
}

} // namespace platform
