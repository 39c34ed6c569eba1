// The desktop display: one SDL window per platform window, drawn by copying
// the window's client surface into SDL's window framebuffer.
//
// On a high-density screen every pixel of the client surface is shown as an
// N x N block (nearest neighbour, so the picture stays crisp). The scale is
// this file's business alone: the layer above sees client sizes, resizes and
// the screen size in the surface's own pixels.
//
// Everything SDL-specific stays in this file. A window's record (SDL window,
// its id, its handle) lives in WindowObject::display_data and is owned here.
//
// SDL is opened when a window display is first wanted, not when the program
// starts: with the window-system, sound and codec libraries it brings (over
// fifty on a Linux desktop) it takes ~14 ms to load, three quarters of the
// start of a run, which a headless run, the usage banner and every refused
// argument would otherwise pay. Without SDL the program still runs, headless.
#include <SDL.h>
#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "platform_internal.h"

namespace pelmorix_platform {

namespace {

// The SDL functions used here, by their names without the prefix.
#define PELMORIX_SDL_FUNCTIONS(X)                                                                                  \
    X(ConvertPixels) X(CreateWindow) X(Delay) X(DestroyWindow) X(FillRect) X(GetCurrentVideoDriver)               \
    X(GetDesktopDisplayMode) X(GetDisplayDPI) X(GetDisplayUsableBounds) X(GetWindowFlags) X(GetWindowID)           \
    X(GetWindowSize) X(GetWindowSurface) X(GetWindowTitle) X(HideWindow) X(InitSubSystem) X(LockSurface) X(MapRGB) \
    X(MaximizeWindow) X(MinimizeWindow) X(PollEvent) X(QuitSubSystem) X(RestoreWindow) X(SetHint) X(SetWindowSize) \
    X(SetWindowTitle) X(ShowWindow) X(StartTextInput) X(StopTextInput) X(UnlockSurface) X(UpdateWindowSurface)     \
    X(WaitEvent)

// SDL's functions, found in the library once it is open.
struct SdlLibrary {
#define PELMORIX_SDL_POINTER(name) decltype(&::SDL_##name) name = nullptr;
    PELMORIX_SDL_FUNCTIONS(PELMORIX_SDL_POINTER)
#undef PELMORIX_SDL_POINTER
#if SDL_VERSION_ATLEAST(2, 26, 0)
    // Newer than some SDL that may be installed: null where it is missing.
    decltype(&::SDL_GetWindowSizeInPixels) GetWindowSizeInPixels = nullptr;
#endif
};

SdlLibrary sdl;

template <class Function>
bool find_function(void* library, const char* name, Function* function) {
    void* const found = dlsym(library, name);
    *function = reinterpret_cast<Function>(found);
    return found != nullptr;
}

// Opens SDL and finds its functions, the first time; false when the library
// or one of them is missing.
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

constexpr int kMaxScale = 8;

// The scale asked for in PELMORIX_SCALE; 0 when it is unset, empty or not a
// whole number from 1 to kMaxScale (said on standard error).
int requested_scale() {
    const char* text = std::getenv("PELMORIX_SCALE");
    if (text == nullptr || *text == '\0') return 0;
    if (text[0] >= '1' && text[0] <= '0' + kMaxScale && text[1] == '\0') return text[0] - '0';
    std::fprintf(stderr, "pelmorix: PELMORIX_SCALE=%s ignored: the scale is a whole number from 1 to %d\n", text,
                 kMaxScale);
    return 0;
}

// The display's density over the 96 dots per inch of an ordinary screen,
// rounded down; 1 when the display does not tell. Physical sizes come in
// whole millimetres, so a 192-dpi screen may report 191.8: a density within
// 1% below a multiple still counts as that multiple.
int density_scale() {
    float diagonal = 0;
    float horizontal = 0;
    float vertical = 0;
    if (sdl.GetDisplayDPI(0, &diagonal, &horizontal, &vertical) != 0) return 1;
    const float dpi = std::min(horizontal, vertical);
    if (!(dpi > 0)) return 1;
    const double ratio = std::floor(dpi / 96.0 + 0.01);
    return ratio < 1 ? 1 : ratio > kMaxScale ? kMaxScale : static_cast<int>(ratio);
}

// Copies the client surface to the window framebuffer, each surface pixel
// an N x N block, as far as the framebuffer reaches; the rest is black.
void copy_scaled(const Surface& source, SDL_Surface* target, int scale, std::vector<std::uint32_t>& row) {
    const int w = std::min(source.width, (target->w + scale - 1) / scale);
    const int h = std::min(source.height, (target->h + scale - 1) / scale);
    const int covered_w = std::min(target->w, w * scale);
    const int covered_h = std::min(target->h, h * scale);
    if (covered_w < target->w || covered_h < target->h) {
        // Mid-resize: what the client surface does not cover yet shows black.
        sdl.FillRect(target, nullptr, sdl.MapRGB(target->format, 0, 0, 0));
    }
    if (w <= 0 || h <= 0 || source.pixels.size() < static_cast<std::size_t>(source.width) * source.height) return;
    bool locked = SDL_MUSTLOCK(target) && sdl.LockSurface(target) == 0;
    if (SDL_MUSTLOCK(target) && !locked) return;
    auto* bytes = static_cast<Uint8*>(target->pixels);
    if (scale == 1) {
        sdl.ConvertPixels(w, h, SDL_PIXELFORMAT_RGB888, source.pixels.data(), source.width * 4,
                          target->format->format, bytes, target->pitch);
    } else {
        // Widen a row once, convert it once, then repeat the converted row.
        row.resize(static_cast<std::size_t>(covered_w));
        const std::size_t row_bytes = static_cast<std::size_t>(covered_w) * target->format->BytesPerPixel;
        for (int y = 0; y < h; ++y) {
            const std::uint32_t* in = source.pixels.data() + static_cast<std::size_t>(y) * source.width;
            std::uint32_t* out = row.data();
            std::uint32_t* const out_end = out + covered_w;
            for (int x = 0; out < out_end; ++x) {
                for (int k = 0; k < scale && out < out_end; ++k) *out++ = in[x];
            }
            Uint8* first = bytes + static_cast<std::ptrdiff_t>(y) * scale * target->pitch;
            sdl.ConvertPixels(covered_w, 1, SDL_PIXELFORMAT_RGB888, row.data(), covered_w * 4,
                              target->format->format, first, target->pitch);
            const int repeats = std::min(scale, covered_h - y * scale);
            for (int k = 1; k < repeats; ++k) {
                std::memcpy(first + static_cast<std::ptrdiff_t>(k) * target->pitch, first, row_bytes);
            }
        }
    }
    if (locked) sdl.UnlockSurface(target);
}

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

// The virtual key of a key that types no character; 0 when it has none.
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

// Keys whose characters arrive as SDL_TEXTINPUT rather than from KEYDOWN.
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

// The key that would have typed `ch`, as far as one can tell from the byte.
UINT virtual_key_of_char(unsigned char ch) {
    if (ch >= 'a' && ch <= 'z') return ch - 'a' + 'A';
    if ((ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9')) return ch;
    if (ch == ' ') return VK_SPACE;
    return 0;
}

// Decodes UTF-8, calling `emit` with each code point; malformed bytes are skipped.
template <class Emit>
void decode_utf8(const char* text, Emit emit) {
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    while (*p != 0) {
        unsigned char lead = *p;
        int extra = 0;
        std::uint32_t cp = 0;
        if (lead < 0x80) {
            cp = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            extra = 1;
            cp = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2;
            cp = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3;
            cp = lead & 0x07;
        } else {
            ++p;  // stray continuation or invalid lead byte
            continue;
        }
        int got = 0;
        while (got < extra && (p[1 + got] & 0xC0) == 0x80) {
            cp = (cp << 6) | (p[1 + got] & 0x3F);
            ++got;
        }
        if (got < extra) {
            p += 1 + got;  // truncated sequence
            continue;
        }
        p += 1 + extra;
        static const std::uint32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kMinimum[extra]) continue;  // overlong form
        emit(cp);
    }
}

class SdlDisplay final : public Display {
public:
    SdlDisplay()
        : requested_scale_(requested_scale()), scale_(requested_scale_ > 0 ? requested_scale_ : density_scale()) {
        sdl.StartTextInput();
    }

    ~SdlDisplay() override {
        for (auto& entry : windows_) sdl.DestroyWindow(entry.second->window);
        windows_.clear();
        sdl.StopTextInput();
        sdl.QuitSubSystem(SDL_INIT_VIDEO);
    }

    SdlDisplay(const SdlDisplay&) = delete;
    SdlDisplay& operator=(const SdlDisplay&) = delete;

    const char* name() const override { return "window"; }

    // In surface pixels, at the scale of the window opened last.
    void screen_size(int* width, int* height) override {
        SDL_DisplayMode mode;
        if (sdl.GetDesktopDisplayMode(0, &mode) == 0 && mode.w > 0 && mode.h > 0) {
            *width = mode.w / scale_;
            *height = mode.h / scale_;
        } else {
            *width = 1280;
            *height = 1024;
        }
    }

    bool open_window(HWND handle, WindowObject& window) override {
        const int w = std::max(1, window.surface.width);
        const int h = std::max(1, window.surface.height);
        const int scale = scale_for(w, h);
        Uint32 flags = SDL_WINDOW_HIDDEN;
        if ((window.style & WS_THICKFRAME) != 0) flags |= SDL_WINDOW_RESIZABLE;
        SDL_Window* shown = sdl.CreateWindow(window.title.c_str(), SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                                             w * scale, h * scale, flags);
        if (shown == nullptr) return fail(static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED), false);
        scale_ = scale;
        auto record = std::make_unique<SdlWindowRecord>();
        record->window = shown;
        record->id = sdl.GetWindowID(shown);
        record->handle = handle;
        record->object = &window;
        record->known_width = w;
        record->known_height = h;
        record->scale = scale;
        window.display_data = record.get();
        Uint32 id = record->id;
        windows_[id] = std::move(record);
        return true;
    }

    void close_window(WindowObject& window) override {
        SdlWindowRecord* record = record_of(window);
        if (record == nullptr) return;
        sdl.DestroyWindow(record->window);
        window.display_data = nullptr;
        Uint32 id = record->id;  // a key that outlives the record it is erased with
        windows_.erase(id);
    }

    void show_window(WindowObject& window) override {
        SdlWindowRecord* record = record_of(window);
        if (record == nullptr) return;
        SDL_Window* shown = record->window;
        if (!window.visible) {
            sdl.HideWindow(shown);
            return;
        }
        if (window.title != sdl.GetWindowTitle(shown)) sdl.SetWindowTitle(shown, window.title.c_str());
        sdl.ShowWindow(shown);
        if (window.maximized) {
            sdl.MaximizeWindow(shown);
        } else if (window.minimized) {
            sdl.MinimizeWindow(shown);
        } else {
            int w = std::max(1, window.surface.width);
            int h = std::max(1, window.surface.height);
            bool restored = false;
            if ((sdl.GetWindowFlags(shown) & (SDL_WINDOW_MAXIMIZED | SDL_WINDOW_MINIMIZED)) != 0) {
                sdl.RestoreWindow(shown);
                restored = true;  // back at the window system's idea of the size, not ours
            }
            if (restored || w != record->known_width || h != record->known_height) {
                sdl.SetWindowSize(shown, w * record->scale, h * record->scale);
                record->known_width = w;
                record->known_height = h;
            }
        }
        present(window);
    }

    void present(WindowObject& window) override {
        window.dirty = false;
        SdlWindowRecord* record = record_of(window);
        if (record == nullptr) return;
        SDL_Surface* target = sdl.GetWindowSurface(record->window);
        if (target == nullptr) return;  // e.g. minimised on some systems; shown again on restore
        copy_scaled(window.surface, target, record->scale, record->scaled_row);
        sdl.UpdateWindowSurface(record->window);
    }

    void poll(std::vector<DisplayEvent>& out) override {
        SDL_Event event;
        while (sdl.PollEvent(&event) != 0) translate(event, out);
    }

    void wait(std::vector<DisplayEvent>& out) override {
        std::size_t before = out.size();
        while (out.size() == before) {
            SDL_Event event;
            if (sdl.WaitEvent(&event) == 0) {
                sdl.Delay(10);  // the event system failed; do not spin
                continue;
            }
            translate(event, out);
            poll(out);
        }
    }

private:
    SdlWindowRecord* record_of(const WindowObject& window) const {
        return static_cast<SdlWindowRecord*>(window.display_data);
    }

    SdlWindowRecord* find_record(Uint32 id) const {
        auto it = windows_.find(id);
        return it == windows_.end() ? nullptr : it->second.get();
    }

    static DisplayEvent make(DisplayEvent::Type type, HWND window) {
        DisplayEvent e;
        e.type = type;
        e.window = window;
        return e;
    }

    static DisplayEvent make_char(HWND window, unsigned char ch, UINT vk) {
        DisplayEvent e = make(DisplayEvent::Type::Char, window);
        e.ch = ch;
        e.vk = vk;
        return e;
    }

    // The window's client size in surface pixels: screen pixels over the scale.
    static void client_size(const SdlWindowRecord& record, int* width, int* height) {
#if SDL_VERSION_ATLEAST(2, 26, 0)
        if (sdl.GetWindowSizeInPixels != nullptr) {
            sdl.GetWindowSizeInPixels(record.window, width, height);
        } else {
            sdl.GetWindowSize(record.window, width, height);
        }
#else
        sdl.GetWindowSize(record.window, width, height);
#endif
        *width /= record.scale;
        *height /= record.scale;
    }

    // The scale of a new window of w x h surface pixels: the one asked for,
    // or the display's, lowered until the window fits the usable screen.
    int scale_for(int w, int h) const {
        if (requested_scale_ > 0) return requested_scale_;
        int scale = density_scale();
        SDL_Rect usable;
        if (sdl.GetDisplayUsableBounds(0, &usable) == 0) {
            while (scale > 1 && (w * scale > usable.w || h * scale > usable.h)) --scale;
        }
        return scale;
    }

    void translate(const SDL_Event& event, std::vector<DisplayEvent>& out) {
        switch (event.type) {
            case SDL_TEXTINPUT: translate_text(event.text, out); break;
            case SDL_KEYDOWN: translate_key(event.key, out); break;
            case SDL_WINDOWEVENT: translate_window(event.window, out); break;
            case SDL_QUIT:
                for (const auto& entry : windows_) out.push_back(make(DisplayEvent::Type::Close, entry.second->handle));
                break;
            default: break;
        }
    }

    void translate_text(const SDL_TextInputEvent& text, std::vector<DisplayEvent>& out) {
        SdlWindowRecord* record = find_record(text.windowID);
        if (record == nullptr) return;
        char suppressed = suppress_letter_;
        suppress_letter_ = 0;
        // Some systems also send the letter of a Ctrl+letter chord as text;
        // the control character has already been reported.
        if (suppressed != 0 && text.text[1] == 0 && (text.text[0] | 0x20) == suppressed) return;
        decode_utf8(text.text, [&](std::uint32_t cp) {
            if (cp >= 256) return;  // not representable in the single-byte character set
            auto ch = static_cast<unsigned char>(cp);
            out.push_back(make_char(record->handle, ch, virtual_key_of_char(ch)));
        });
    }

    void translate_key(const SDL_KeyboardEvent& key, std::vector<DisplayEvent>& out) {
        suppress_letter_ = 0;
        SdlWindowRecord* record = find_record(key.windowID);
        if (record == nullptr) return;
        HWND hwnd = record->handle;
        SDL_Keycode sym = key.keysym.sym;
        Uint16 mod = key.keysym.mod;
        switch (sym) {
            case SDLK_ESCAPE: out.push_back(make_char(hwnd, 27, VK_ESCAPE)); return;
            case SDLK_RETURN:
            case SDLK_KP_ENTER: out.push_back(make_char(hwnd, 13, VK_RETURN)); return;
            case SDLK_BACKSPACE: out.push_back(make_char(hwnd, 8, VK_BACK)); return;
            case SDLK_TAB: out.push_back(make_char(hwnd, 9, VK_TAB)); return;
            default: break;
        }
        // Ctrl+Alt is AltGr on some layouts: its characters come as text.
        bool control = (mod & KMOD_CTRL) != 0 && (mod & KMOD_ALT) == 0;
        if (control && sym >= SDLK_a && sym <= SDLK_z) {
            auto letter = static_cast<unsigned char>(sym - SDLK_a);
            out.push_back(make_char(hwnd, static_cast<unsigned char>(letter + 1), 'A' + letter));
            suppress_letter_ = static_cast<char>(sym);
            return;
        }
        if (types_text(sym)) return;
        DisplayEvent e = make(DisplayEvent::Type::Key, hwnd);
        e.vk = virtual_key_of(sym);
        out.push_back(e);
    }

    void translate_window(const SDL_WindowEvent& we, std::vector<DisplayEvent>& out) {
        SdlWindowRecord* record = find_record(we.windowID);
        if (record == nullptr) return;
        HWND hwnd = record->handle;
        switch (we.event) {
            case SDL_WINDOWEVENT_SIZE_CHANGED: {
                DisplayEvent e = make(DisplayEvent::Type::Resize, hwnd);
                e.width = we.data1 / record->scale;
                e.height = we.data2 / record->scale;
                record->known_width = e.width;
                record->known_height = e.height;
                out.push_back(e);
                break;
            }
            case SDL_WINDOWEVENT_MINIMIZED: out.push_back(make(DisplayEvent::Type::Minimize, hwnd)); break;
            case SDL_WINDOWEVENT_RESTORED:
            case SDL_WINDOWEVENT_MAXIMIZED: {
                if (we.event == SDL_WINDOWEVENT_RESTORED) out.push_back(make(DisplayEvent::Type::Restore, hwnd));
                DisplayEvent e = make(DisplayEvent::Type::Resize, hwnd);
                client_size(*record, &e.width, &e.height);
                record->known_width = e.width;
                record->known_height = e.height;
                out.push_back(e);
                break;
            }
            case SDL_WINDOWEVENT_FOCUS_GAINED: out.push_back(make(DisplayEvent::Type::Focus, hwnd)); break;
            case SDL_WINDOWEVENT_EXPOSED:
                // The window system dropped the picture: put back what we have
                // now, without waiting for the program to repaint.
                if (record->object != nullptr && record->object->visible) present(*record->object);
                out.push_back(make(DisplayEvent::Type::Expose, hwnd));
                break;
            case SDL_WINDOWEVENT_CLOSE: out.push_back(make(DisplayEvent::Type::Close, hwnd)); break;
            default: break;
        }
    }

    std::map<Uint32, std::unique_ptr<SdlWindowRecord>> windows_;
    int requested_scale_;  // PELMORIX_SCALE, 0 when not given
    int scale_;            // of the window opened last; before any, the one a window would get
    char suppress_letter_ = 0;  // letter of the last Ctrl+letter chord, see translate_text
};

bool is_real_driver(const char* driver) {
    if (driver == nullptr) return false;
    static const char* const kNotReal[] = {"dummy", "evdev", "offscreen"};
    for (const char* name : kNotReal) {
        if (std::strcmp(driver, name) == 0) return false;
    }
    return true;
}

}  // namespace

std::unique_ptr<Display> make_window_display(DWORD* error) {
#if !defined(__APPLE__)
    // No desktop session named and no driver forced: there is nothing to show
    // windows on (a text console is not taken over). Deciding here also keeps
    // the window-system libraries from complaining on stderr while probing,
    // and from being loaded at all.
    if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr &&
        std::getenv("SDL_VIDEODRIVER") == nullptr) {
        if (error != nullptr) *error = ERROR_DEVICE_NOT_CONNECTED;
        return nullptr;
    }
#endif
    if (!load_sdl()) {
        if (error != nullptr) *error = ERROR_MOD_NOT_FOUND;
        return nullptr;
    }
    // A console program keeps its own Ctrl+C handling and the user's screensaver;
    // closing the last window is reported as that window's close, nothing more.
    sdl.SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    sdl.SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
    sdl.SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    if (sdl.InitSubSystem(SDL_INIT_VIDEO) != 0) {
        if (error != nullptr) *error = ERROR_DEVICE_NOT_CONNECTED;
        return nullptr;
    }
    if (!is_real_driver(sdl.GetCurrentVideoDriver())) {
        sdl.QuitSubSystem(SDL_INIT_VIDEO);
        if (error != nullptr) *error = ERROR_DEVICE_NOT_CONNECTED;
        return nullptr;
    }
    // The X server takes our pixels directly (shared memory when local);
    // there is no need to bring up a GPU renderer just to show a bitmap.
    if (std::strcmp(sdl.GetCurrentVideoDriver(), "x11") == 0) sdl.SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    return std::make_unique<SdlDisplay>();
}

// Test hook: the pixels of a window's SDL framebuffer. Only meaningful for a
// window opened by the desktop display.
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
