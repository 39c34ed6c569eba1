// Translating SDL's keys and text into virtual keys and single-byte characters.
#include "sdl_keys.h"

namespace pelmorix_platform {

namespace {

// Virtual keys beyond the ones windows.h names.
constexpr UINT kVkShift = 0x10;
constexpr UINT kVkControl = 0x11;
constexpr UINT kVkMenu = 0x12;
constexpr UINT kVkPause = 0x13;
constexpr UINT kVkCapital = 0x14;
constexpr UINT kVkPrior = 0x21;
constexpr UINT kVkNext = 0x22;
constexpr UINT kVkEnd = 0x23;
constexpr UINT kVkHome = 0x24;
constexpr UINT kVkSnapshot = 0x2C;
constexpr UINT kVkInsert = 0x2D;
constexpr UINT kVkDelete = 0x2E;
constexpr UINT kVkNumlock = 0x90;
constexpr UINT kVkScroll = 0x91;

}  // namespace

UINT virtual_key_of(SDL_Keycode sym) {
    if (sym >= SDLK_F1 && sym <= SDLK_F12) return VK_F1 + static_cast<UINT>(sym - SDLK_F1);
    if (sym >= SDLK_F13 && sym <= SDLK_F24) return VK_F1 + 12 + static_cast<UINT>(sym - SDLK_F13);
    switch (sym) {
        case SDLK_LEFT: return VK_LEFT;
        case SDLK_RIGHT: return VK_RIGHT;
        case SDLK_UP: return VK_UP;
        case SDLK_DOWN: return VK_DOWN;
        case SDLK_PAGEUP: return kVkPrior;
        case SDLK_PAGEDOWN: return kVkNext;
        case SDLK_HOME: return kVkHome;
        case SDLK_END: return kVkEnd;
        case SDLK_INSERT: return kVkInsert;
        case SDLK_DELETE: return kVkDelete;
        case SDLK_PAUSE: return kVkPause;
        case SDLK_PRINTSCREEN: return kVkSnapshot;
        case SDLK_CAPSLOCK: return kVkCapital;
        case SDLK_NUMLOCKCLEAR: return kVkNumlock;
        case SDLK_SCROLLLOCK: return kVkScroll;
        case SDLK_LSHIFT:
        case SDLK_RSHIFT: return kVkShift;
        case SDLK_LCTRL:
        case SDLK_RCTRL: return kVkControl;
        case SDLK_LALT:
        case SDLK_RALT: return kVkMenu;
        default: return 0;
    }
}

bool types_text(SDL_Keycode sym) {
    if ((sym & SDLK_SCANCODE_MASK) == 0) return sym >= ' ' && sym != SDLK_DELETE;
    switch (sym) {
        case SDLK_KP_0: case SDLK_KP_1: case SDLK_KP_2: case SDLK_KP_3: case SDLK_KP_4:
        case SDLK_KP_5: case SDLK_KP_6: case SDLK_KP_7: case SDLK_KP_8: case SDLK_KP_9:
        case SDLK_KP_PERIOD: case SDLK_KP_DIVIDE: case SDLK_KP_MULTIPLY: case SDLK_KP_MINUS:
        case SDLK_KP_PLUS: case SDLK_KP_EQUALS: case SDLK_KP_COMMA:
            return true;
        default:
            return false;
    }
}

UINT virtual_key_of_char(unsigned char ch) {
    if (ch >= 'a' && ch <= 'z') return ch - 'a' + 'A';
    if ((ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9')) return ch;
    if (ch == ' ') return VK_SPACE;
    return 0;
}

}  // namespace pelmorix_platform
