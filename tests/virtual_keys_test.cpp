// SDL keys → Windows virtual-key codes.
#include "platform/sdl/virtual_keys.h"

#include <gtest/gtest.h>

#include <set>

using platform::virtualKeyFromSdl;

namespace {

SDL_Keycode keyOf(SDL_Scancode s) { return SDL_SCANCODE_TO_KEYCODE(s); }

TEST(VirtualKey, LettersAreUpperCaseCodes)
{
    for (int i = 0; i < 26; ++i) {
        const auto scancode = static_cast<SDL_Scancode>(SDL_SCANCODE_A + i);
        const SDL_Keycode key = 'a' + i;
        EXPECT_EQ(virtualKeyFromSdl(key, scancode), 'A' + i);
        // Either half alone is enough.
        EXPECT_EQ(virtualKeyFromSdl(SDLK_UNKNOWN, scancode), 'A' + i);
        EXPECT_EQ(virtualKeyFromSdl(key, SDL_SCANCODE_UNKNOWN), 'A' + i);
    }
}

TEST(VirtualKey, LayoutDecidesLettersAndPositionIsTheFallback)
{
    // AZERTY: the key at the US "Q" position is an "A".
    EXPECT_EQ(virtualKeyFromSdl(SDLK_a, SDL_SCANCODE_Q), 'A');
    // QWERTZ: the US "Y" position is a "Z".
    EXPECT_EQ(virtualKeyFromSdl(SDLK_z, SDL_SCANCODE_Y), 'Z');
    // Dvorak: "S" sits where US has the semicolon, the apostrophe where US has "Q".
    EXPECT_EQ(virtualKeyFromSdl(SDLK_s, SDL_SCANCODE_SEMICOLON), 'S');
    EXPECT_EQ(virtualKeyFromSdl(SDLK_QUOTE, SDL_SCANCODE_Q), 222);
    // Cyrillic letters say nothing known: the position decides.
    EXPECT_EQ(virtualKeyFromSdl(0x0439, SDL_SCANCODE_Q), 'Q');
    EXPECT_EQ(virtualKeyFromSdl(0x0444, SDL_SCANCODE_A), 'A');
    // German "ß" on the US minus key.
    EXPECT_EQ(virtualKeyFromSdl(0xDF, SDL_SCANCODE_MINUS), 189);
}

TEST(VirtualKey, MainDigitsAndKeypadDiffer)
{
    const SDL_Scancode row[10] = {SDL_SCANCODE_0, SDL_SCANCODE_1, SDL_SCANCODE_2, SDL_SCANCODE_3, SDL_SCANCODE_4,
                                  SDL_SCANCODE_5, SDL_SCANCODE_6, SDL_SCANCODE_7, SDL_SCANCODE_8, SDL_SCANCODE_9};
    const SDL_Scancode pad[10] = {SDL_SCANCODE_KP_0, SDL_SCANCODE_KP_1, SDL_SCANCODE_KP_2, SDL_SCANCODE_KP_3,
                                  SDL_SCANCODE_KP_4, SDL_SCANCODE_KP_5, SDL_SCANCODE_KP_6, SDL_SCANCODE_KP_7,
                                  SDL_SCANCODE_KP_8, SDL_SCANCODE_KP_9};
    for (int d = 0; d < 10; ++d) {
        EXPECT_EQ(virtualKeyFromSdl('0' + d, row[d]), '0' + d) << d;
        EXPECT_EQ(virtualKeyFromSdl(keyOf(pad[d]), pad[d]), 96 + d) << d;
    }
    // The number row gives digits whatever the layout puts on it (AZERTY).
    EXPECT_EQ(virtualKeyFromSdl('&', SDL_SCANCODE_1), '1');
    EXPECT_EQ(virtualKeyFromSdl(SDLK_MINUS, SDL_SCANCODE_6), '6');
    EXPECT_EQ(virtualKeyFromSdl(0xE9, SDL_SCANCODE_2), '2');

    EXPECT_EQ(virtualKeyFromSdl(SDLK_KP_MULTIPLY, SDL_SCANCODE_KP_MULTIPLY), 106);
    EXPECT_EQ(virtualKeyFromSdl(SDLK_KP_PLUS, SDL_SCANCODE_KP_PLUS), 107);
    EXPECT_EQ(virtualKeyFromSdl(SDLK_KP_MINUS, SDL_SCANCODE_KP_MINUS), 109);
    EXPECT_EQ(virtualKeyFromSdl(SDLK_KP_PERIOD, SDL_SCANCODE_KP_PERIOD), 110);
    EXPECT_EQ(virtualKeyFromSdl(SDLK_KP_DIVIDE, SDL_SCANCODE_KP_DIVIDE), 111);
    EXPECT_EQ(virtualKeyFromSdl(SDLK_KP_ENTER, SDL_SCANCODE_KP_ENTER), 13);
}

TEST(VirtualKey, FunctionKeys)
{
    for (int i = 0; i < 12; ++i) {
        const auto s = static_cast<SDL_Scancode>(SDL_SCANCODE_F1 + i);
        EXPECT_EQ(virtualKeyFromSdl(keyOf(s), s), 112 + i) << "F" << i + 1;
    }
    for (int i = 0; i < 12; ++i) {
        const auto s = static_cast<SDL_Scancode>(SDL_SCANCODE_F13 + i);
        EXPECT_EQ(virtualKeyFromSdl(keyOf(s), s), 124 + i) << "F" << i + 13;
    }
}

TEST(VirtualKey, ControlKeysAndModifiers)
{
    EXPECT_EQ(virtualKeyFromSdl(SDLK_ESCAPE, SDL_SCANCODE_ESCAPE), 27);
    EXPECT_EQ(virtualKeyFromSdl(SDLK_RETURN, SDL_SCANCODE_RETURN), 13);
    EXPECT_EQ(virtualKeyFromSdl(SDLK_SPACE, SDL_SCANCODE_SPACE), 32);
    EXPECT_EQ(virtualKeyFromSdl(SDLK_LEFT, SDL_SCANCODE_LEFT), 37);
    EXPECT_EQ(virtualKeyFromSdl(SDLK_DOWN, SDL_SCANCODE_DOWN), 40);
    // Left and right give the same generic code.
    EXPECT_EQ(virtualKeyFromSdl(SDLK_LSHIFT, SDL_SCANCODE_LSHIFT), 16);
    EXPECT_EQ(virtualKeyFromSdl(SDLK_RSHIFT, SDL_SCANCODE_RSHIFT), 16);
    EXPECT_EQ(virtualKeyFromSdl(SDLK_RCTRL, SDL_SCANCODE_RCTRL), 17);
    EXPECT_EQ(virtualKeyFromSdl(SDLK_RALT, SDL_SCANCODE_RALT), 18);
    // A US punctuation keycode wins over the position it is found at.
    EXPECT_EQ(virtualKeyFromSdl(SDLK_SEMICOLON, SDL_SCANCODE_SEMICOLON), 186);
    EXPECT_EQ(virtualKeyFromSdl(SDLK_SLASH, SDL_SCANCODE_MINUS), 191);
}

TEST(VirtualKey, UnknownKeysGiveZero)
{
    EXPECT_EQ(virtualKeyFromSdl(SDLK_UNKNOWN, SDL_SCANCODE_UNKNOWN), 0);
    EXPECT_EQ(virtualKeyFromSdl(0x0439, SDL_SCANCODE_UNKNOWN), 0);
    EXPECT_EQ(virtualKeyFromSdl(SDLK_KP_EQUALS, SDL_SCANCODE_KP_EQUALS), 0);
    EXPECT_EQ(virtualKeyFromSdl(-1, SDL_NUM_SCANCODES), 0);
    EXPECT_EQ(virtualKeyFromSdl(0x7FFFFFFF, SDL_SCANCODE_UNKNOWN), 0);

    // Every scancode gives a code in the virtual-key range, and the
    // distinct keys of one kind do not collide.
    std::set<int> seen;
    for (int s = 0; s < SDL_NUM_SCANCODES; ++s) {
        const int vk = virtualKeyFromSdl(SDLK_UNKNOWN, static_cast<SDL_Scancode>(s));
        EXPECT_GE(vk, 0);
        EXPECT_LE(vk, 254);
        if (vk) {
            seen.insert(vk);
        }
    }
    EXPECT_GE(seen.size(), 26u + 10u + 10u + 24u);
}

} // namespace
