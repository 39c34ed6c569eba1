// Test hook of the desktop display: the pixels of a window's SDL
// framebuffer, as the window system was last handed them.
#include <utility>

#include "display_sdl.h"
#include "sdl_library.h"

namespace pelmorix_platform {

// Only meaningful for a window opened by the desktop display.
bool sdl_display_read_back(const WindowObject& window, std::vector<std::uint32_t>* pixels, int* width, int* height) {
    auto* record = static_cast<SdlWindowRecord*>(window.display_data);
    if (record == nullptr) return false;
    SDL_Surface* surface = sdl.GetWindowSurface(record->window);
    if (surface == nullptr) return false;
    std::vector<std::uint32_t> out(static_cast<std::size_t>(surface->w) * surface->h, 0);
    bool locked = SDL_MUSTLOCK(surface) && sdl.LockSurface(surface) == 0;
    if (SDL_MUSTLOCK(surface) && !locked) return false;
    int rc = sdl.ConvertPixels(surface->w, surface->h, surface->format->format, surface->pixels, surface->pitch,
                               SDL_PIXELFORMAT_RGB888, out.data(), surface->w * 4);
    if (locked) sdl.UnlockSurface(surface);
    if (rc != 0) return false;
    for (std::uint32_t& p : out) p &= 0x00FFFFFFu;
    *pixels = std::move(out);
    *width = surface->w;
    *height = surface->h;
    return true;
}

}  // namespace pelmorix_platform
