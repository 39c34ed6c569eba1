// Test instrumentation: the call journal, pixel read-back, input injection,
// forced failures and reset.
#include <cstdio>
#include <cstring>
#include <utility>

#include "platform_internal.h"

namespace pelmorix_platform {

void journal_call(const char* function, const void* target, std::initializer_list<long long> args, const char* text,
                  int text_length) {
    platform_testing::Call c;
    c.function = function;
    c.target = target;
    c.args.assign(args.begin(), args.end());
    if (text != nullptr) {
        // Integer resource names (small values) are not strings.
        if (reinterpret_cast<std::uintptr_t>(text) < 0x10000) {
            c.text = "#" + std::to_string(reinterpret_cast<std::uintptr_t>(text));
        } else {
            c.text = text_length < 0 ? std::string(text) : std::string(text, static_cast<std::size_t>(text_length));
        }
    }
    state().journal.push_back(std::move(c));
}

}  // namespace pelmorix_platform

namespace platform_testing {

using namespace pelmorix_platform;

void journal_enable(bool on) {
    state().journal_on = on;
    forget_pixel_shortcuts();  // the short cut journals nothing
}
const std::vector<Call>& journal() { return state().journal; }
void journal_clear() { state().journal.clear(); }

std::vector<Call> journal_of(const std::string& function) {
    std::vector<Call> out;
    for (const Call& c : state().journal) {
        if (c.function == function) out.push_back(c);
    }
    return out;
}

std::string describe(const Call& call) {
    char target[32];
    std::snprintf(target, sizeof target, "%#llx", static_cast<unsigned long long>(hv(call.target)));
    std::string s = call.function + " " + target;
    for (long long a : call.args) s += " " + std::to_string(a);
    if (!call.text.empty()) s += " \"" + call.text + "\"";
    return s;
}

long long handle_value(const void* handle) { return hv(handle); }

bool read_surface(HDC dc, std::vector<unsigned>* pixels, int* width, int* height) {
    DcObject* d = find_dc(dc);
    DrawTarget t;
    if (d == nullptr || !draw_target(*d, &t)) return false;
    pixels->assign(t.surface->pixels.begin(), t.surface->pixels.end());
    *width = t.surface->width;
    *height = t.surface->height;
    return true;
}

bool read_pixel(HDC dc, int x, int y, unsigned* rgb) {
    DcObject* d = find_dc(dc);
    DrawTarget t;
    if (d == nullptr || !draw_target(*d, &t)) return false;
    if (x < 0 || y < 0 || x >= t.surface->width || y >= t.surface->height) return false;
    const Surface& surface = *t.surface;  // a read: what the surface knows of its runs stays
    *rgb = surface.row(y)[x];
    return true;
}

bool read_window(HWND window, std::vector<unsigned>* pixels, int* width, int* height) {
    const WindowObject* w = find_window(window);
    if (w == nullptr) return false;
    pixels->assign(w->surface.pixels.begin(), w->surface.pixels.end());
    *width = w->surface.width;
    *height = w->surface.height;
    return true;
}

namespace {
// The event queued, for the caller to fill in further.
DisplayEvent& inject(DisplayEvent::Type type, HWND window, int width = 0, int height = 0, unsigned char ch = 0,
                     UINT vk = 0) {
    DisplayEvent e;
    e.type = type;
    e.window = window;
    e.width = width;
    e.height = height;
    e.ch = ch;
    e.vk = vk;
    state().injected.push_back(e);
    return state().injected.back();
}
}  // namespace

void type_char(HWND window, unsigned char ch) {
    const UINT vk = ch == 27 ? VK_ESCAPE : ch == 13 ? VK_RETURN : (ch >= 'a' && ch <= 'z') ? ch - 32u : ch;
    inject(DisplayEvent::Type::Char, window, 0, 0, ch, vk);
}
void press_key(HWND window, UINT virtual_key) { inject(DisplayEvent::Type::Key, window, 0, 0, 0, virtual_key); }
void click_close(HWND window) { inject(DisplayEvent::Type::Close, window); }
void resize_client(HWND window, int width, int height) { inject(DisplayEvent::Type::Resize, window, width, height); }
void minimize(HWND window) { inject(DisplayEvent::Type::Minimize, window); }
void restore(HWND window) { inject(DisplayEvent::Type::Restore, window); }
void gain_focus(HWND window) { inject(DisplayEvent::Type::Focus, window); }
void expose(HWND window) { inject(DisplayEvent::Type::Expose, window); }

namespace {
void inject_pointer(DisplayEvent::Type type, HWND window, int x, int y, UINT button, bool pressed, int clicks) {
    DisplayEvent& e = inject(type, window);
    e.x = x;
    e.y = y;
    e.button = button;
    e.pressed = pressed;
    e.clicks = clicks;
}
}  // namespace

void move_pointer(HWND window, int x, int y) { inject_pointer(DisplayEvent::Type::Pointer, window, x, y, 0, false, 0); }
void press_button(HWND window, UINT button, int x, int y, int clicks) {
    inject_pointer(DisplayEvent::Type::Button, window, x, y, button, true, clicks);
}
void release_button(HWND window, UINT button, int x, int y) {
    inject_pointer(DisplayEvent::Type::Button, window, x, y, button, false, 1);
}

bool dispatch_pending() {
    // A marker posted last comes back once everything before it is handled.
    constexpr UINT kMarker = WM_USER + 0x3FF;
    PostMessageA(nullptr, kMarker, 0, 0);
    MSG m{};
    for (;;) {
        if (!GetMessageA(&m, nullptr, 0, 0)) return false;
        if (m.message == kMarker && m.hwnd == nullptr) return true;
        DispatchMessageA(&m);
    }
}

void fail_next(const std::string& function, DWORD error) {
    state().fail_function = function;
    state().fail_error = error;
}

void reset() {
    PlatformState& st = state();
    if (st.display != nullptr) {
        for (HWND h : st.windows) {
            if (WindowObject* w = find_window(h)) st.display->close_window(*w);
        }
    }
    st.display.reset();
    // Objects go, but slot generations stay, so no old handle comes back to life.
    for (std::size_t i = 0; i < st.slots.size(); ++i) {
        if (st.slots[i].object != nullptr) {
            st.slots[i].object.reset();
            ++st.slots[i].generation;
            st.free_slots.push_back(static_cast<std::uint32_t>(i));
        }
    }
    for (HGDIOBJ& s : st.stock) s = nullptr;
    st.classes.clear();
    st.windows.clear();
    st.posted.clear();
    st.quit_pending = false;
    st.quit_code = 0;
    st.typed.clear();
    st.buttons_down = 0;
    st.last_error = 0;
    st.injected.clear();
    st.input_ended = false;
    st.journal.clear();
    st.journal_on = false;
    st.fail_function.clear();
    st.fail_error = 0;
    st.flush_hook = nullptr;
    objects_changed();  // the objects went without remove_object: nothing kept of them holds
}

void on_gdi_flush(std::function<void()> hook) { state().flush_hook = std::move(hook); }

void set_headless_input(int fd) { state().headless_fd = fd; }

void set_headless_screen(int width, int height) {
    state().headless_width = width;
    state().headless_height = height;
}

bool write_snapshot(const char* path) {
    PlatformState& st = state();
    if (st.windows.empty()) return false;
    const WindowObject* w = find_window(st.windows.back());
    return w != nullptr && write_png(path, w->surface);
}

}  // namespace platform_testing
