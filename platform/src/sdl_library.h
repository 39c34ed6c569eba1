// SDL, opened when a window display is first wanted rather than linked: a
// headless run, the usage banner and every refused argument never pay for
// loading it and the window-system, sound and codec libraries it brings.
// Without SDL the program still runs, headless.
#pragma once

#include <SDL.h>

namespace pelmorix_platform {

// The SDL functions used, by their names without the prefix.
#define PELMORIX_SDL_FUNCTIONS(X)                                                                                  \
    X(ConvertPixels) X(CreateWindow) X(Delay) X(DestroyWindow) X(FillRect) X(GetCurrentVideoDriver)               \
    X(GetDesktopDisplayMode) X(GetDisplayDPI) X(GetDisplayUsableBounds) X(GetWindowFlags) X(GetWindowID)           \
    X(GetWindowSize) X(GetWindowSurface) X(GetWindowTitle) X(HideWindow) X(InitSubSystem) X(LockSurface) X(MapRGB) \
    X(MaximizeWindow) X(MinimizeWindow) X(PollEvent) X(QuitSubSystem) X(RestoreWindow) X(SetHint) X(SetWindowSize) \
    X(SetWindowTitle) X(ShowWindow) X(StartTextInput) X(StopTextInput) X(UnlockSurface) X(UpdateWindowSurface)     \
    X(WaitEvent)

// SDL's functions, found in the library once it is open; called as
// `sdl.CreateWindow(...)`. Their types come from SDL's own header, so a
// wrong signature cannot compile.
struct SdlLibrary {
#define PELMORIX_SDL_POINTER(name) decltype(&::SDL_##name) name = nullptr;
    PELMORIX_SDL_FUNCTIONS(PELMORIX_SDL_POINTER)
#undef PELMORIX_SDL_POINTER
#if SDL_VERSION_ATLEAST(2, 26, 0)
    // Newer than some SDL that may be installed: null where it is missing.
    decltype(&::SDL_GetWindowSizeInPixels) GetWindowSizeInPixels = nullptr;
#endif
};

// Valid once load_sdl has returned true.
extern SdlLibrary sdl;

// Opens SDL and finds its functions, the first time; false when the library
// or one of them is missing.
bool load_sdl();

}  // namespace pelmorix_platform
