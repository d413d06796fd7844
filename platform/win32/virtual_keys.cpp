// Windows virtual-key codes → the layer's key codes (nearly the identity).
#include "platform/win32/virtual_keys.h"

namespace platform {

namespace {

// The codes that differ from the layer's, by the Windows VK_ names.
enum : int {
    kShift = 0x10,      // VK_SHIFT
    kControl = 0x11,    // VK_CONTROL
    kAlt = 0x12,        // VK_MENU
    kLeftShift = 0xA0,  // VK_LSHIFT
    kRightShift = 0xA1, // VK_RSHIFT
    kLeftCtrl = 0xA2,   // VK_LCONTROL
    kRightCtrl = 0xA3,  // VK_RCONTROL
    kLeftAlt = 0xA4,    // VK_LMENU
    kRightAlt = 0xA5,   // VK_RMENU
    kProcessKey = 0xE5, // VK_PROCESSKEY: the input method consumed the key
    kPacket = 0xE7,     // VK_PACKET: a character injected as a key message
    kNoKey = 0xFF,
};

} // namespace

int virtualKeyFromMessage(std::uintptr_t wParam)
{
    const int code = int(wParam & 0xFFFF);
    switch (code) {
    case kLeftShift:
    case kRightShift:
        return kShift;
    case kLeftCtrl:
    case kRightCtrl:
        return kControl;
    case kLeftAlt:
    case kRightAlt:
        return kAlt;
    case kProcessKey:
    case kPacket:
    case kNoKey:
        return 0;
    default:
        return code > 0 && code < 0xFF ? code : 0;
    }
}

} // namespace platform
