// The message queue, the display it waits on, and the translation of
// display events into window messages.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "platform_internal.h"

namespace pelmorix_platform {

namespace {

long long now_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void post(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    PlatformState& st = state();
    MSG m{};
    m.hwnd = window;
    m.message = message;
    m.wParam = wparam;
    m.lParam = lparam;
    m.time = ++st.clock;
    st.posted.push_back(m);
}

// A key press: WM_KEYDOWN now, its character (if any) when TranslateMessage
// sees it.
void post_key(HWND window, UINT vk, bool has_char, unsigned char ch) {
    PlatformState& st = state();
    post(window, WM_KEYDOWN, vk, 1);
    // Kept for as long as the key press waits, however many follow it.
    if (has_char) st.typed.push_back(TypedChar{st.clock, ch});
}

// The pointer's client coordinates as a mouse message carries them.
LPARAM pointer_lparam(const DisplayEvent& e) {
    return MAKELPARAM(static_cast<WORD>(static_cast<short>(e.x)), static_cast<WORD>(static_cast<short>(e.y)));
}

// As on Windows, moves are not queued one after another: a move waiting
// last in the queue is replaced by the newer one.
void post_pointer_move(const DisplayEvent& e) {
    PlatformState& st = state();
    if (!st.posted.empty() && st.posted.back().message == WM_MOUSEMOVE && st.posted.back().hwnd == e.window) {
        st.posted.pop_back();
    }
    post(e.window, WM_MOUSEMOVE, st.buttons_down, pointer_lparam(e));
}

// A press or release of the left or right button. The second click of a
// double-click (and the fourth, ...) is a double-click message only for a
// window whose class asks for them with CS_DBLCLKS, as on Windows.
void post_button(const WindowObject& w, const DisplayEvent& e) {
    PlatformState& st = state();
    const bool left = e.button == MK_LBUTTON;
    if (!left && e.button != MK_RBUTTON) return;
    UINT message;
    if (e.pressed) {
        st.buttons_down |= e.button;
        const bool double_click = (w.cls.style & CS_DBLCLKS) != 0 && e.clicks >= 2 && e.clicks % 2 == 0;
        message = left ? (double_click ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN)
                       : (double_click ? WM_RBUTTONDBLCLK : WM_RBUTTONDOWN);
    } else {
        st.buttons_down &= ~e.button;
        message = left ? WM_LBUTTONUP : WM_RBUTTONUP;
    }
    post(e.window, message, st.buttons_down, pointer_lparam(e));
}

void handle_event(const DisplayEvent& e) {
    PlatformState& st = state();
    if (e.type == DisplayEvent::Type::EndOfInput) {
        // No more input can come: as if the user closed every window.
        st.input_ended = true;
        const std::vector<HWND> windows = st.windows;
        for (HWND w : windows) {
            if (find_window(w) != nullptr) send_message(w, WM_SYSCOMMAND, SC_CLOSE, 0);
        }
        return;
    }
    WindowObject* w = find_window(e.window);
    if (w == nullptr) return;
    switch (e.type) {
        case DisplayEvent::Type::Char:
            post_key(e.window, e.vk, true, e.ch);
            break;
        case DisplayEvent::Type::Key:
            post_key(e.window, e.vk, false, 0);
            break;
        case DisplayEvent::Type::Close:
            send_message(e.window, WM_SYSCOMMAND, SC_CLOSE, 0);
            break;
        case DisplayEvent::Type::Resize:
            if (w->minimized || w->surface.width != e.width || w->surface.height != e.height) {
                w->minimized = false;
                resize_window(e.window, *w, e.width, e.height, w->maximized ? SIZE_MAXIMIZED : SIZE_RESTORED);
            }
            break;
        case DisplayEvent::Type::Minimize:
            if (!w->minimized) {
                if (!w->maximized) {
                    w->restore_width = w->surface.width;
                    w->restore_height = w->surface.height;
                }
                w->minimized = true;
                resize_window(e.window, *w, 0, 0, SIZE_MINIMIZED);
            }
            break;
        case DisplayEvent::Type::Restore:
            if (w->minimized || w->maximized) {
                w->minimized = false;
                w->maximized = false;
                resize_window(e.window, *w, w->restore_width, w->restore_height, SIZE_RESTORED);
            }
            break;
        case DisplayEvent::Type::Focus:
            send_message(e.window, WM_SETFOCUS, 0, 0);
            break;
        case DisplayEvent::Type::Expose:
            w->needs_paint = true;
            break;
        case DisplayEvent::Type::Pointer:
            post_pointer_move(e);
            break;
        case DisplayEvent::Type::Button:
            post_button(*w, e);
            break;
        case DisplayEvent::Type::EndOfInput:
            break;
    }
}

void handle_events(std::vector<DisplayEvent>& events) {
    // Handling one event may inject or wait for nothing; take the list first.
    std::vector<DisplayEvent> list;
    list.swap(events);
    for (const DisplayEvent& e : list) handle_event(e);
}

// Takes test input and whatever the display already has, without waiting.
void gather_events() {
    PlatformState& st = state();
    if (!st.injected.empty()) handle_events(st.injected);
    if (st.display != nullptr) {
        std::vector<DisplayEvent> events;
        st.display->poll(events);
        handle_events(events);
    }
}

HWND window_to_paint() {
    for (HWND h : state().windows) {
        const WindowObject* w = find_window(h);
        if (w != nullptr && w->visible && w->needs_paint) return h;
    }
    return nullptr;
}

// A failed write is said on standard error, once for each cause in a run:
// the program goes on, and the older snapshot stays as it was.
void write_requested_snapshot() {
    const char* path = std::getenv("PELMORIX_SNAPSHOT");
    PlatformState& st = state();
    if (path == nullptr || *path == '\0' || st.windows.empty()) return;
    const WindowObject* w = find_window(st.windows.back());
    if (w == nullptr) return;
    st.snapshot_stale = false;
    st.last_snapshot_ms = now_ms();
    if (write_png(path, w->surface)) return;
    const int error = errno;
    std::vector<int>& said = st.snapshot_errors_said;
    if (std::find(said.begin(), said.end(), error) != said.end()) return;
    said.push_back(error);
    std::fflush(stdout);  // the console's lines before it, on a shared terminal
    std::fprintf(stderr, "Error. No se pudo escribir la imagen %s: %s\n", path, std::strerror(error));
}

// With no screen to look at, the snapshot is what a watcher of a live log
// sees: while the program waits for more of it, the snapshot follows the
// picture, written at most once a second.
constexpr long long kLiveSnapshotEveryMs = 1000;
void write_snapshot_if_due() {
    PlatformState& st = state();
    if (!st.snapshot_stale || st.display == nullptr || !st.display->headless()) return;
    if (st.last_snapshot_ms >= 0 && now_ms() - st.last_snapshot_ms < kLiveSnapshotEveryMs) return;
    write_requested_snapshot();
}

// What the queue has to deliver now, taking test input and the display's
// events first: posted messages, then the quit message, then a paint. False
// when there is nothing. Taken off the queue when `take`; a paint never is,
// as it comes for as long as the window needs painting.
bool next_message(MSG* msg, bool take) {
    PlatformState& st = state();
    gather_events();
    if (!st.posted.empty()) {
        *msg = st.posted.front();
        if (take) st.posted.pop_front();
        return true;
    }
    if (st.quit_pending) {
        *msg = MSG{};
        msg->message = WM_QUIT;
        msg->wParam = static_cast<WPARAM>(st.quit_code);
        msg->time = ++st.clock;
        if (take) st.quit_pending = false;
        return true;
    }
    if (HWND paint = window_to_paint()) {
        *msg = MSG{};
        msg->hwnd = paint;
        msg->message = WM_PAINT;
        msg->time = ++st.clock;
        return true;
    }
    return false;
}

}  // namespace

Display* display() {
    PlatformState& st = state();
    if (st.display != nullptr) return st.display.get();
    const DisplayChoice choice = display_choice();
    if (choice == DisplayChoice::Headless) {
        st.display = make_headless_display(st.headless_fd, st.headless_width, st.headless_height);
    } else {
        DWORD error = ERROR_DEVICE_NOT_CONNECTED;
        st.display = make_window_display(&error);
        if (st.display == nullptr) {
            if (choice == DisplayChoice::Window) return fail(error, static_cast<Display*>(nullptr));
            std::fputs("pelmorix: no display could be opened; drawing headless\n", stderr);
            st.display = make_headless_display(st.headless_fd, st.headless_width, st.headless_height);
        }
    }
    return st.display.get();
}

LRESULT send_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    const WindowObject* w = find_window(window);
    if (w == nullptr) return fail(ERROR_INVALID_WINDOW_HANDLE, LRESULT{0});
    return w->cls.proc(window, message, wparam, lparam);
}

void present_dirty_windows() {
    PlatformState& st = state();
    if (st.display == nullptr) return;
    const long long started = now_ms();
    for (HWND h : st.windows) {
        WindowObject* w = find_window(h);
        if (w != nullptr && w->dirty) {
            st.display->present(*w);
            st.snapshot_stale = true;
            forget_pixel_shortcuts();  // the next pixel marks the window drawn again
        }
    }
    // Whether or not anything was drawn, the window system is answered.
    st.display->service();
    st.last_present_ms = now_ms();
    st.last_present_cost_ms = st.last_present_ms - started;
}

void present_dirty_windows_if_due() {
    // Every frame, but for a window so large that showing it takes a while:
    // then spaced so that showing takes about a tenth of the time at most,
    // and drawing goes on at its own pace whatever the window's size.
    const PlatformState& st = state();
    const long long interval = std::max(16LL, 9 * st.last_present_cost_ms);
    if (now_ms() - st.last_present_ms >= interval) present_dirty_windows();
}

}  // namespace pelmorix_platform

using namespace pelmorix_platform;

extern "C" {

BOOL WINAPI GetMessageA(LPMSG msg, HWND window, UINT filter_min, UINT filter_max) {
    // Filters are not supported: every caller here takes any message of the thread.
    (void)window, (void)filter_min, (void)filter_max;
    if (msg == nullptr) return fail(ERROR_INVALID_PARAMETER, FALSE);
    PlatformState& st = state();
    for (;;) {
        if (next_message(msg, true)) {
            if (journaling()) journal_call("GetMessageA", msg->hwnd, {msg->message, static_cast<long long>(msg->wParam)});
            return msg->message != WM_QUIT ? TRUE : FALSE;
        }
        // Nothing to deliver: show the picture as it stands, then wait.
        write_requested_snapshot();
        present_dirty_windows();
        if (st.input_ended) {
            // Nothing can arrive any more; waiting would never end.
            *msg = MSG{};
            msg->message = WM_QUIT;
            msg->time = ++st.clock;
            return FALSE;
        }
        Display* d = display();
        if (d == nullptr) return fail(ERROR_DEVICE_NOT_CONNECTED, -1);
        std::vector<DisplayEvent> events;
        d->wait(events);
        handle_events(events);
    }
}

BOOL WINAPI PeekMessageA(LPMSG msg, HWND window, UINT filter_min, UINT filter_max, UINT remove) {
    // As GetMessageA, without the wait.
    (void)window, (void)filter_min, (void)filter_max;
    if (msg == nullptr) return fail(ERROR_INVALID_PARAMETER, FALSE);
    const bool found = next_message(msg, (remove & PM_REMOVE) != 0);
    // Nothing to take: the program waits. A look that leaves the queue as
    // it is (a busy program answering for its window) is no wait.
    if (!found && (remove & PM_REMOVE) != 0) write_snapshot_if_due();
    if (journaling()) {
        journal_call("PeekMessageA", found ? msg->hwnd : nullptr,
                     {found ? static_cast<long long>(msg->message) : 0, static_cast<long long>(remove)});
    }
    return found ? TRUE : FALSE;
}

BOOL WINAPI TranslateMessage(const MSG* msg) {
    if (journaling()) journal_call("TranslateMessage", msg != nullptr ? msg->hwnd : nullptr, {msg != nullptr ? msg->message : 0});
    if (msg == nullptr || (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN)) return FALSE;
    // Key presses come off the queue in the order they were posted, so the
    // characters of earlier ones that were never translated can go. (Time
    // stamps are compared as a difference, which survives the clock wrapping.)
    std::deque<TypedChar>& typed = state().typed;
    while (!typed.empty() && static_cast<std::int32_t>(typed.front().time - msg->time) < 0) typed.pop_front();
    if (!typed.empty() && typed.front().time == msg->time) {
        const unsigned char ch = typed.front().ch;
        typed.pop_front();  // a second translation of the same press types nothing
        post(msg->hwnd, WM_CHAR, ch, msg->lParam);
    }
    return TRUE;
}

LRESULT WINAPI DispatchMessageA(const MSG* msg) {
    if (journaling()) journal_call("DispatchMessageA", msg != nullptr ? msg->hwnd : nullptr, {msg != nullptr ? msg->message : 0});
    if (msg == nullptr || msg->hwnd == nullptr) return 0;
    return send_message(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (journaling()) journal_call("PostMessageA", window, {message, static_cast<long long>(wparam), lparam});
    if (window != nullptr && find_window(window) == nullptr) return fail(ERROR_INVALID_WINDOW_HANDLE, FALSE);
    post(window, message, wparam, lparam);
    return TRUE;
}

LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (journaling()) journal_call("SendMessageA", window, {message, static_cast<long long>(wparam), lparam});
    return send_message(window, message, wparam, lparam);
}

void WINAPI PostQuitMessage(int exit_code) {
    if (journaling()) journal_call("PostQuitMessage", nullptr, {exit_code});
    state().quit_pending = true;
    state().quit_code = exit_code;
}

BOOL WINAPI GdiFlush(void) {
    if (journaling()) journal_call("GdiFlush", nullptr, {});
    // Drawing calls are never held back here; what can lag is the screen,
    // which sees a drawn window only at its next present. So every window
    // drawn on since it was last shown is shown now.
    present_dirty_windows();
    write_snapshot_if_due();  // flushed before waiting, for a live log, say
    PlatformState& st = state();
    if (st.flush_hook) {
        const std::function<void()> hook = st.flush_hook;  // it may replace itself
        hook();
    }
    return TRUE;
}

BOOL WINAPI KillTimer(HWND window, UINT_PTR id) {
    if (journaling()) journal_call("KillTimer", window, {static_cast<long long>(id)});
    // No timers are ever set: there is none to kill.
    return fail(ERROR_INVALID_PARAMETER, FALSE);
}

}  // extern "C"
