// Keyboard messages of the Windows back end → the layer's key codes.
#include "platform/win32/virtual_keys.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

TEST(Win32VirtualKey, MessagesGiveTheLayersCodes)
{
    struct Case {
        const char* what;
        std::uintptr_t wParam;
        int code;
    };
    const Case cases[] = {
        {"letter", 'A', 'A'},
        {"digit", '7', '7'},
        {"Escape", 0x1B, 27},
        {"F1", 0x70, 0x70},
        {"OEM comma", 0xBC, 0xBC},
        {"generic Shift", 0x10, 16},
        {"left Shift", 0xA0, 16},
        {"right Shift", 0xA1, 16},
        {"left Ctrl", 0xA2, 17},
        {"right Ctrl", 0xA3, 17},
        {"left Alt", 0xA4, 18},
        {"right Alt (AltGr)", 0xA5, 18},
        {"input method's processed key", 0xE5, 0},
        {"injected character packet", 0xE7, 0},
        {"no key (0)", 0, 0},
        {"no key (255)", 0xFF, 0},
        {"beyond a byte", 0x1FF, 0},
        {"high bits above the low word ignored", (std::uintptr_t(1) << 20) | 'Q', 'Q'},
        {"high bits with a right Ctrl", (std::uintptr_t(0xABC) << 16) | 0xA3, 17},
    };
    for (const Case& c : cases) EXPECT_EQ(platform::virtualKeyFromMessage(c.wParam), c.code) << c.what;
}

} // namespace
