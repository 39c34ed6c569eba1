// The desktop display: one SDL window per platform window, drawn by copying
// the window's client surface into SDL's window framebuffer.
//
// On a high-density screen every pixel of the client surface is shown as an
// N x N block (nearest neighbour, so the picture stays crisp). The scale is
// this display's business alone: the layer above sees client sizes, resizes
// and the screen size in the surface's own pixels.
//
// The display answers the window system by itself (service) with every
// round of presents and whenever it is polled: SDL answers pings as it takes events, a
// window whose picture the window system dropped (uncovered, exposed) is
// shown its client surface again at once, and the events that mean
// something to the program wait in the display until it next polls. So a
// window stays alive on the desktop while the program is busy or waits for
// something else, and nothing reaches a window procedure outside the
// program's own message loop.
//
// Everything SDL-specific stays in the display's files (this one, the
// library, the keys). A window's record lives in WindowObject::display_data
// and is owned here.
#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "display_sdl.h"
#include "platform_internal.h"
#include "sdl_keys.h"
#include "sdl_library.h"

namespace pelmorix_platform {

namespace {

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
    return ratio < 1 ? 1 : ratio > kMaxDisplayScale ? kMaxDisplayScale : static_cast<int>(ratio);
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

class SdlDisplay final : public Display {
public:
    SdlDisplay()
        : requested_scale_(scale_choice()), scale_(requested_scale_ > 0 ? requested_scale_ : density_scale()) {
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

    // The usable bounds at the scale a new window gets, so that a window
    // filling them fits the screen without its scale being lowered.
    bool work_area(RECT* area) override {
        SDL_Rect usable;
        if (sdl.GetDisplayUsableBounds(0, &usable) != 0 || usable.w <= 0 || usable.h <= 0) return false;
        *area = RECT{usable.x / scale_, usable.y / scale_, (usable.x + usable.w) / scale_,
                     (usable.y + usable.h) / scale_};
        return true;
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

    void retitle(WindowObject& window) override {
        SdlWindowRecord* record = record_of(window);
        if (record != nullptr) sdl.SetWindowTitle(record->window, window.title.c_str());
    }

    void present(WindowObject& window) override {
        window.dirty = false;
        SdlWindowRecord* record = record_of(window);
        if (record != nullptr) show(*record);
    }

    void service() override {
        SDL_Event event;
        while (sdl.PollEvent(&event) != 0) translate(event, pending_);
    }

    void poll(std::vector<DisplayEvent>& out) override {
        service();
        take_pending(out);
    }

    void wait(std::vector<DisplayEvent>& out) override {
        const std::size_t before = out.size();
        poll(out);
        while (out.size() == before) {
            SDL_Event event;
            if (sdl.WaitEvent(&event) == 0) {
                sdl.Delay(10);  // the event system failed; do not spin
                continue;
            }
            translate(event, pending_);
            poll(out);
        }
    }

private:
    SdlWindowRecord* record_of(const WindowObject& window) const {
        return static_cast<SdlWindowRecord*>(window.display_data);
    }

    // The window's client surface into its framebuffer, and that on the screen.
    void show(SdlWindowRecord& record) {
        SDL_Surface* target = sdl.GetWindowSurface(record.window);
        if (target == nullptr) return;  // e.g. minimised on some systems; shown again on restore
        if (record.object != nullptr) copy_scaled(record.object->surface, target, record.scale, record.scaled_row);
        sdl.UpdateWindowSurface(record.window);
    }

    // What the window system reported since the last poll, in order.
    void take_pending(std::vector<DisplayEvent>& out) {
        if (out.empty()) {
            out.swap(pending_);
        } else {
            out.insert(out.end(), pending_.begin(), pending_.end());
            pending_.clear();
        }
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
            case SDL_MOUSEMOTION: translate_motion(event.motion, out); break;
            case SDL_MOUSEBUTTONDOWN:
            case SDL_MOUSEBUTTONUP: translate_button(event.button, out); break;
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

    // A position in the window's screen pixels as a client pixel: the block
    // of the scale it lies in (rounded down, left of and above the client
    // too).
    static int client_pixel(Sint32 screen, int scale) {
        return screen >= 0 ? screen / scale : -((-screen + scale - 1) / scale);
    }

    void translate_motion(const SDL_MouseMotionEvent& motion, std::vector<DisplayEvent>& out) {
        SdlWindowRecord* record = find_record(motion.windowID);
        if (record == nullptr) return;
        DisplayEvent e = make(DisplayEvent::Type::Pointer, record->handle);
        e.x = client_pixel(motion.x, record->scale);
        e.y = client_pixel(motion.y, record->scale);
        // Only where the pointer is now matters: a move not yet polled for
        // gives way to a newer one.
        if (!out.empty() && out.back().type == DisplayEvent::Type::Pointer && out.back().window == e.window) {
            out.back() = e;
        } else {
            out.push_back(e);
        }
    }

    // The left and right buttons; SDL counts the clicks in a row itself.
    void translate_button(const SDL_MouseButtonEvent& button, std::vector<DisplayEvent>& out) {
        SdlWindowRecord* record = find_record(button.windowID);
        if (record == nullptr) return;
        if (button.button != SDL_BUTTON_LEFT && button.button != SDL_BUTTON_RIGHT) return;
        DisplayEvent e = make(DisplayEvent::Type::Button, record->handle);
        e.x = client_pixel(button.x, record->scale);
        e.y = client_pixel(button.y, record->scale);
        e.button = button.button == SDL_BUTTON_LEFT ? MK_LBUTTON : MK_RBUTTON;
        e.pressed = button.state == SDL_PRESSED;
        e.clicks = button.clicks;
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
                // now, without waiting for the program to repaint (which it
                // may not do for a while).
                if (record->object != nullptr && record->object->visible) show(*record);
                out.push_back(make(DisplayEvent::Type::Expose, hwnd));
                break;
            case SDL_WINDOWEVENT_CLOSE: out.push_back(make(DisplayEvent::Type::Close, hwnd)); break;
            default: break;
        }
    }

    std::map<Uint32, std::unique_ptr<SdlWindowRecord>> windows_;
    std::vector<DisplayEvent> pending_;  // taken from SDL, not yet polled for
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

}  // namespace pelmorix_platform
