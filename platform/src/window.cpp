// Window classes, windows, showing and painting.
#include <algorithm>
#include <cstring>
#include <strings.h>

#include "platform_internal.h"

namespace pelmorix_platform {

namespace {

// The frame and caption that CreateWindowExA's outer size includes: a
// 4-pixel border on every side and a 19-pixel caption above the top one.
constexpr int kFrameWidth = 8;
constexpr int kFrameHeight = 27;
constexpr int kFrameLeft = 4;
constexpr int kFrameTop = 23;
// Client size for CW_USEDEFAULT.
constexpr int kDefaultClientWidth = 640;
constexpr int kDefaultClientHeight = 480;

bool take_forced_failure(const char* function) {
    PlatformState& st = state();
    if (st.fail_function != function) return false;
    st.fail_function.clear();
    st.last_error = st.fail_error;
    return true;
}

void send_size(HWND handle, WPARAM kind, int width, int height) {
    send_message(handle, WM_SIZE, kind, MAKELPARAM(width, height));
}

// Shows or hides the window on the display, which marks it undrawn: SetPixel's
// short cuts, which do not mark it, go with it.
void show_on_display(WindowObject& w) {
    forget_pixel_shortcuts();
    display()->show_window(w);
}

}  // namespace

void resize_window(HWND handle, WindowObject& w, int width, int height, WPARAM kind) {
    w.surface.resize(width, height);
    objects_changed();  // what DCs kept of the surface's bounds no longer holds
    // The display's copy of the window is redrawn from the program's picture.
    w.needs_paint = true;
    send_size(handle, kind, width, height);
}

}  // namespace pelmorix_platform

using namespace pelmorix_platform;

extern "C" {

ATOM WINAPI RegisterClassA(const WNDCLASSA* wc) {
    if (journaling()) journal_call("RegisterClassA", nullptr, {}, wc != nullptr ? wc->lpszClassName : nullptr);
    if (take_forced_failure("RegisterClassA")) return 0;
    if (wc == nullptr || wc->lpszClassName == nullptr || wc->lpfnWndProc == nullptr) {
        return fail(ERROR_INVALID_PARAMETER, ATOM{0});
    }
    PlatformState& st = state();
    for (const WindowClass& c : st.classes) {
        if (strcasecmp(c.name.c_str(), wc->lpszClassName) == 0) return fail(ERROR_CLASS_ALREADY_EXISTS, ATOM{0});
    }
    WindowClass c;
    c.name = wc->lpszClassName;
    c.proc = wc->lpfnWndProc;
    c.style = wc->style;
    c.background = wc->hbrBackground;
    c.atom = static_cast<ATOM>(0xC000 + st.classes.size());
    st.classes.push_back(c);
    return c.atom;
}

HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name) {
    (void)instance;
    // Cursors are the display's business; a non-null handle names the
    // standard arrow.
    if (name != IDC_ARROW) return fail(ERROR_FILE_NOT_FOUND, HCURSOR{nullptr});
    return reinterpret_cast<HCURSOR>(static_cast<std::uintptr_t>(32512));
}

HWND WINAPI CreateWindowExA(DWORD ex_style, LPCSTR class_name, LPCSTR window_name, DWORD style, int x, int y,
                            int width, int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
    (void)ex_style, (void)x, (void)y, (void)parent, (void)menu, (void)instance, (void)param;
    if (journaling()) {
        journal_call("CreateWindowExA", nullptr, {ex_style, style, x, y, width, height},
                     window_name != nullptr ? window_name : "");
    }
    if (take_forced_failure("CreateWindowExA")) return nullptr;
    PlatformState& st = state();
    const WindowClass* cls = nullptr;
    for (const WindowClass& c : st.classes) {
        if (class_name != nullptr && strcasecmp(c.name.c_str(), class_name) == 0) cls = &c;
    }
    if (cls == nullptr) return fail(ERROR_CANNOT_FIND_WND_CLASS, HWND{nullptr});
    Display* d = display();
    if (d == nullptr) return nullptr;  // the last error says why

    auto w = std::make_unique<WindowObject>();
    w->cls = *cls;
    w->title = window_name != nullptr ? window_name : "";
    w->style = style;
    int cw = width == CW_USEDEFAULT ? kDefaultClientWidth : std::max(0, width - kFrameWidth);
    int ch = width == CW_USEDEFAULT ? kDefaultClientHeight : std::max(0, height - kFrameHeight);
    cw = std::min(cw, 16384);
    ch = std::min(ch, 16384);
    w->surface.resize(cw, ch);
    w->restore_width = cw;
    w->restore_height = ch;
    WindowObject* raw = w.get();
    HWND handle = static_cast<HWND>(add_object(std::move(w)));
    if (handle == nullptr) return nullptr;
    if (!d->open_window(handle, *raw)) {
        remove_object(handle);
        return nullptr;
    }
    st.windows.push_back(handle);
    if (send_message(handle, WM_CREATE, 0, 0) == -1) {
        DestroyWindow(handle);
        return fail(ERROR_INVALID_PARAMETER, HWND{nullptr});
    }
    if (WindowObject* again = find_window(handle)) send_size(handle, SIZE_RESTORED, again->surface.width, again->surface.height);
    if ((style & WS_VISIBLE) != 0) ShowWindow(handle, SW_SHOW);
    return find_window(handle) != nullptr ? handle : nullptr;
}

BOOL WINAPI ShowWindow(HWND window, int show_command) {
    if (journaling()) journal_call("ShowWindow", window, {show_command});
    WindowObject* w = find_window(window);
    if (w == nullptr) return fail(ERROR_INVALID_WINDOW_HANDLE, FALSE);
    const BOOL was_visible = w->visible ? TRUE : FALSE;
    if (show_command == SW_HIDE) {
        w->visible = false;
        show_on_display(*w);
        return was_visible;
    }
    const bool first_show = !w->visible;
    w->visible = true;
    if (first_show) {
        w->needs_paint = true;
        w->needs_erase = true;
    }
    switch (show_command) {
        case SW_SHOWMAXIMIZED: {
            int sw = 0;
            int sh = 0;
            display()->screen_size(&sw, &sh);
            if (!w->maximized && !w->minimized) {
                w->restore_width = w->surface.width;
                w->restore_height = w->surface.height;
            }
            w->maximized = true;
            w->minimized = false;
            // A maximised window's client fills the screen below its caption.
            resize_window(window, *w, sw, std::max(0, sh - kFrameHeight), SIZE_MAXIMIZED);
            break;
        }
        case SW_SHOWMINIMIZED:
        case SW_MINIMIZE:
            if (!w->maximized && !w->minimized) {
                w->restore_width = w->surface.width;
                w->restore_height = w->surface.height;
            }
            w->minimized = true;
            resize_window(window, *w, 0, 0, SIZE_MINIMIZED);
            break;
        case SW_SHOWNORMAL:
        case SW_RESTORE:
            if (w->maximized || w->minimized) {
                w->maximized = false;
                w->minimized = false;
                resize_window(window, *w, w->restore_width, w->restore_height, SIZE_RESTORED);
            }
            break;
        default:
            break;
    }
    w = find_window(window);  // the window procedure may have destroyed it
    if (w == nullptr) return was_visible;
    show_on_display(*w);
    if (first_show) send_message(window, WM_SETFOCUS, 0, 0);
    return was_visible;
}

BOOL WINAPI UpdateWindow(HWND window) {
    if (journaling()) journal_call("UpdateWindow", window, {});
    WindowObject* w = find_window(window);
    if (w == nullptr) return fail(ERROR_INVALID_WINDOW_HANDLE, FALSE);
    if (w->needs_paint && w->visible) send_message(window, WM_PAINT, 0, 0);
    return TRUE;
}

BOOL WINAPI DestroyWindow(HWND window) {
    if (journaling()) journal_call("DestroyWindow", window, {});
    WindowObject* w = find_window(window);
    if (w == nullptr || w->destroying) return fail(ERROR_INVALID_WINDOW_HANDLE, FALSE);
    w->destroying = true;
    send_message(window, WM_DESTROY, 0, 0);
    send_message(window, WM_NCDESTROY, 0, 0);
    PlatformState& st = state();
    w = find_window(window);
    if (st.display != nullptr) st.display->close_window(*w);
    st.windows.erase(std::remove(st.windows.begin(), st.windows.end(), window), st.windows.end());
    // Messages posted to the window die with it; the quit message stays.
    st.posted.erase(std::remove_if(st.posted.begin(), st.posted.end(), [&](const MSG& m) { return m.hwnd == window; }),
                    st.posted.end());
    remove_object(window);
    return TRUE;
}

LRESULT WINAPI DefWindowProcA(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_NCCREATE:
            return TRUE;
        case WM_CLOSE:
            DestroyWindow(window);
            return 0;
        case WM_SYSCOMMAND:
            if ((wparam & 0xFFF0) == SC_CLOSE) send_message(window, WM_CLOSE, 0, 0);
            return 0;
        case WM_SETTEXT: {
            WindowObject* w = find_window(window);
            if (w == nullptr) return FALSE;
            w->title = lparam != 0 ? reinterpret_cast<LPCSTR>(lparam) : "";
            if (PlatformState& st = state(); st.display != nullptr) st.display->retitle(*w);
            return TRUE;
        }
        case WM_ERASEBKGND: {
            WindowObject* w = find_window(window);
            if (w == nullptr || w->cls.background == nullptr) return 0;
            RECT r{0, 0, w->surface.width, w->surface.height};
            FillRect(reinterpret_cast<HDC>(wparam), &r, w->cls.background);
            return 1;
        }
        case WM_PAINT: {
            PAINTSTRUCT ps;
            if (BeginPaint(window, &ps) != nullptr) EndPaint(window, &ps);
            return 0;
        }
        default:
            return 0;
    }
}

HDC WINAPI BeginPaint(HWND window, LPPAINTSTRUCT paint) {
    WindowObject* w = find_window(window);
    if (w == nullptr || paint == nullptr) {
        if (journaling()) journal_call("BeginPaint", window, {0});
        return fail(ERROR_INVALID_WINDOW_HANDLE, HDC{nullptr});
    }
    HDC dc = make_window_dc(window);
    if (journaling()) journal_call("BeginPaint", window, {hv(dc)});
    std::memset(paint, 0, sizeof(*paint));
    paint->hdc = dc;
    paint->rcPaint = RECT{0, 0, w->surface.width, w->surface.height};
    const bool erase = w->needs_erase;
    w->needs_paint = false;
    w->needs_erase = false;
    if (erase) paint->fErase = send_message(window, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) == 0;
    return dc;
}

BOOL WINAPI EndPaint(HWND window, const PAINTSTRUCT* paint) {
    if (journaling()) journal_call("EndPaint", window, {paint != nullptr ? hv(paint->hdc) : 0});
    if (paint == nullptr) return fail(ERROR_INVALID_PARAMETER, FALSE);
    if (DcObject* dc = find_dc(paint->hdc)) {
        if (dc->window == window) release_dc(paint->hdc);
    }
    return TRUE;
}

BOOL WINAPI ValidateRect(HWND window, const RECT* rect) {
    if (journaling()) journal_call("ValidateRect", window, {rect != nullptr ? 1 : 0});
    WindowObject* w = find_window(window);
    if (w == nullptr) return fail(ERROR_INVALID_WINDOW_HANDLE, FALSE);
    // The update region is the whole client or nothing: a rectangle that
    // does not cover the client leaves it to be painted.
    if (rect == nullptr ||
        (rect->left <= 0 && rect->top <= 0 && rect->right >= w->surface.width && rect->bottom >= w->surface.height)) {
        w->needs_paint = false;
        w->needs_erase = false;
    }
    return TRUE;
}

BOOL WINAPI InvalidateRect(HWND window, const RECT* rect, BOOL erase) {
    (void)rect;
    if (journaling()) journal_call("InvalidateRect", window, {erase});
    WindowObject* w = find_window(window);
    if (w == nullptr) return fail(ERROR_INVALID_WINDOW_HANDLE, FALSE);
    w->needs_paint = true;
    w->needs_erase = w->needs_erase || erase != FALSE;
    return TRUE;
}

BOOL WINAPI AdjustWindowRect(LPRECT rect, DWORD style, BOOL menu) {
    // Every window has the same frame here, whatever its style; there are no menus.
    (void)style, (void)menu;
    if (rect == nullptr) return fail(ERROR_INVALID_PARAMETER, FALSE);
    rect->left -= kFrameLeft;
    rect->top -= kFrameTop;
    rect->right += kFrameWidth - kFrameLeft;
    rect->bottom += kFrameHeight - kFrameTop;
    return TRUE;
}

BOOL WINAPI SystemParametersInfoA(UINT action, UINT param, PVOID data, UINT win_ini) {
    (void)param, (void)win_ini;
    if (action != SPI_GETWORKAREA || data == nullptr) return fail(ERROR_INVALID_PARAMETER, FALSE);
    Display* d = display();
    if (d == nullptr) return FALSE;  // the last error says why
    if (!d->work_area(static_cast<RECT*>(data))) return fail(ERROR_DEVICE_NOT_CONNECTED, FALSE);
    return TRUE;
}

BOOL WINAPI GetClientRect(HWND window, LPRECT rect) {
    WindowObject* w = find_window(window);
    if (w == nullptr) return fail(ERROR_INVALID_WINDOW_HANDLE, FALSE);
    if (rect == nullptr) return fail(ERROR_INVALID_PARAMETER, FALSE);
    *rect = RECT{0, 0, w->surface.width, w->surface.height};
    return TRUE;
}

// The title is set by the window's procedure, whose default handling of
// WM_SETTEXT keeps it and shows it, as on Windows.
BOOL WINAPI SetWindowTextA(HWND window, LPCSTR text) {
    if (journaling()) journal_call("SetWindowTextA", window, {}, text != nullptr ? text : "");
    if (find_window(window) == nullptr) return fail(ERROR_INVALID_WINDOW_HANDLE, FALSE);
    return send_message(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) != 0 ? TRUE : FALSE;
}

int WINAPI GetWindowTextA(HWND window, LPSTR text, int max_count) {
    const WindowObject* w = find_window(window);
    if (w == nullptr) return fail(ERROR_INVALID_WINDOW_HANDLE, 0);
    if (text == nullptr || max_count <= 0) return 0;
    const std::size_t length = std::min(w->title.size(), static_cast<std::size_t>(max_count - 1));
    std::memcpy(text, w->title.data(), length);
    text[length] = '\0';
    return static_cast<int>(length);
}

}  // extern "C"
