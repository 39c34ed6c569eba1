// The desktop display's record of one window, shared by the display and
// its test hook. The record lives in WindowObject::display_data and is
// owned by the display.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <vector>

#include "platform_internal.h"

namespace pelmorix_platform {

struct SdlWindowRecord {
    SDL_Window* window = nullptr;
    Uint32 id = 0;
    HWND handle = nullptr;
    WindowObject* object = nullptr;  // valid until close_window
    // Client size, in surface pixels, as last set here or reported by the
    // window system; a surface of this size needs no SDL_SetWindowSize
    // (which would fight a resize the user is still dragging).
    int known_width = 0;
    int known_height = 0;
    int scale = 1;  // screen pixels per surface pixel, along each axis
    std::vector<std::uint32_t> scaled_row;  // one screen row being widened
};

// Test hook: the pixels of a window's SDL framebuffer, as 0x00RRGGBB.
bool sdl_display_read_back(const WindowObject& window, std::vector<std::uint32_t>* pixels, int* width, int* height);

}  // namespace pelmorix_platform
