// Opening SDL and finding its functions.
#include "sdl_library.h"

#include <dlfcn.h>

namespace pelmorix_platform {

SdlLibrary sdl;

namespace {

template <class Function>
bool find_function(void* library, const char* name, Function* function) {
    void* const found = dlsym(library, name);
    *function = reinterpret_cast<Function>(found);
    return found != nullptr;
}

}  // namespace

bool load_sdl() {
    static const bool loaded = [] {
        void* const library = dlopen(PELMORIX_SDL_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) return false;
        SdlLibrary found;
        bool complete = true;
#define PELMORIX_SDL_FIND(name) complete = find_function(library, "SDL_" #name, &found.name) && complete;
        PELMORIX_SDL_FUNCTIONS(PELMORIX_SDL_FIND)
#undef PELMORIX_SDL_FIND
#if SDL_VERSION_ATLEAST(2, 26, 0)
        (void)find_function(library, "SDL_GetWindowSizeInPixels", &found.GetWindowSizeInPixels);
#endif
        if (!complete) {
            dlclose(library);
            return false;
        }
        // Never closed: windows and events may live until the program ends.
        sdl = found;
        return true;
    }();
    return loaded;
}

}  // namespace pelmorix_platform
