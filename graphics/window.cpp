// The graphics window: its procedure, the device contexts and the backing
// page, the message pump and the keyboard queue.
#include "graphics_internal.h"

namespace {

constexpr int kEscape = 27;

// Clears the bitmap in page_dc, unclipped. FillRect leaves out the right
// column and bottom row, so those stay as the new bitmap had them.
void clear_new_page() {
    GraphicsContext& g = graphics_context();
    const RECT page{-g.viewport.left, -g.viewport.top, g.screen_width - g.viewport.left - 1,
                    g.screen_height - g.viewport.top - 1};
    if (g.clip_region != nullptr) SelectClipRgn(g.page_dc, nullptr);
    FillRect(g.page_dc, &page, g.fill_brushes[kBackgroundBrush]);
    if (g.clip_region != nullptr) SelectClipRgn(g.page_dc, g.clip_region);
}

// Makes the window's DC, the memory DCs and the active page, and gives both
// drawing DCs the layer's colours and brush. The window's DC is kept until
// WM_DESTROY, so drawing can reach the window without waiting for a paint.
void first_paint(HWND window) {
    GraphicsContext& g = graphics_context();
    g.screen_dc = BeginPaint(window, &g.paint_info);
    SelectPalette(g.screen_dc, g.palette_handle, FALSE);
    RealizePalette(g.screen_dc);
    HDC memory[3];
    for (HDC& dc : memory) {
        dc = CreateCompatibleDC(g.screen_dc);
        SelectPalette(dc, g.palette_handle, FALSE);
    }
    g.page_dc = memory[0];
    g.aux_dc[0] = memory[1];
    g.aux_dc[1] = memory[2];
    // A page holds the whole client area, even one larger than the screen.
    const int screen_width = GetDeviceCaps(g.screen_dc, HORZRES);
    const int screen_height = GetDeviceCaps(g.screen_dc, VERTRES);
    g.screen_width = screen_width > g.window_width ? screen_width : g.window_width;
    g.screen_height = screen_height > g.window_height ? screen_height : g.window_height;
    g.page_bitmaps[g.active_page] = CreateCompatibleBitmap(g.screen_dc, g.screen_width, g.screen_height);
    SelectObject(g.page_dc, g.page_bitmaps[g.active_page]);
    SetTextColor(g.screen_dc, palette_color(g.text_color_cache));
    SetTextColor(g.page_dc, palette_color(g.text_color_cache));
    SetBkColor(g.screen_dc, palette_color(0));
    SetBkColor(g.page_dc, palette_color(0));
    SelectObject(g.screen_dc, g.fill_brushes[g.fill_pattern]);
    SelectObject(g.page_dc, g.fill_brushes[g.fill_pattern]);
    clear_new_page();
}

// Copies the visual page to the whole client area, unclipped.
void repaint(HWND window) {
    GraphicsContext& g = graphics_context();
    const bool flip = g.visual_page != g.active_page;
    if (g.clip_region != nullptr) SelectClipRgn(g.screen_dc, nullptr);
    if (flip) SelectObject(g.page_dc, g.page_bitmaps[g.visual_page]);
    BitBlt(g.screen_dc, -g.viewport.left, -g.viewport.top, g.window_width, g.window_height, g.page_dc,
           -g.viewport.left, -g.viewport.top, SRCCOPY);
    if (g.clip_region != nullptr) SelectClipRgn(g.screen_dc, g.clip_region);
    if (flip) SelectObject(g.page_dc, g.page_bitmaps[g.active_page]);
    ValidateRect(window, nullptr);
}

// Makes page `page` at the pages' size, cleared as the first paint clears
// page 0, when it does not exist yet; page_dc keeps the active page.
void make_page(int page) {
    GraphicsContext& g = graphics_context();
    if (g.page_bitmaps[page] != nullptr) return;
    g.page_bitmaps[page] = CreateCompatibleBitmap(g.screen_dc, g.screen_width, g.screen_height);
    SelectObject(g.page_dc, g.page_bitmaps[page]);
    clear_new_page();
    SelectObject(g.page_dc, g.page_bitmaps[g.active_page]);
}

// A page number the record has room for; drawing before the first paint
// has no page to make.
bool usable_page(int page) { return page >= 0 && page < kPageCount && graphics_context().screen_dc != nullptr; }

// After another program changed the system palette: a fresh palette object
// in all four DCs.
void rebuild_palette() {
    GraphicsContext& g = graphics_context();
    HPALETTE fresh = CreatePalette(g.logical_palette);
    SelectPalette(g.screen_dc, fresh, FALSE);
    RealizePalette(g.screen_dc);
    SelectPalette(g.page_dc, fresh, FALSE);
    SelectPalette(g.aux_dc[0], fresh, FALSE);
    SelectPalette(g.aux_dc[1], fresh, FALSE);
    DeleteObject(g.palette_handle);
    g.palette_handle = fresh;
    palette_dirty = 0;
}

// Everything that belongs to the window; brushes, pens, fonts, the clip
// region and the key ring outlive it.
void release_window_resources(HWND window) {
    GraphicsContext& g = graphics_context();
    EndPaint(window, &g.paint_info);
    g.screen_dc = nullptr;
    DeleteDC(g.page_dc);
    DeleteDC(g.aux_dc[0]);
    DeleteDC(g.aux_dc[1]);
    g.page_dc = nullptr;
    g.aux_dc[0] = nullptr;
    g.aux_dc[1] = nullptr;
    for (HBITMAP& page : g.page_bitmaps) {
        if (page != nullptr) {
            DeleteObject(page);
            page = nullptr;
        }
    }
    DeleteObject(g.palette_handle);
    g.palette_handle = nullptr;
    window_exists = 0;
    PostQuitMessage(0);
    quit_waiting = 1;
}

}  // namespace

LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    GraphicsContext& g = graphics_context();
    switch (message) {
        case WM_PAINT:
            if (g.screen_dc == nullptr) first_paint(window);
            repaint(window);
            return 0;
        case WM_SIZE:
            g.window_width = LOWORD(lparam);
            g.window_height = HIWORD(lparam);
            return 0;
        case WM_SETFOCUS:
            if (palette_dirty != 0) rebuild_palette();
            return 0;
        case WM_PALETTECHANGED:
            RealizePalette(g.screen_dc);
            UpdateColors(g.screen_dc);
            palette_dirty = 1;
            return 0;
        case WM_CHAR:
            key_ring_write(static_cast<unsigned char>(wparam & 0xFF));
            return 0;
        case WM_TIMER:
            KillTimer(window, 1);
            return 0;
        case WM_MOUSEMOVE:
            pointer_queue_write(pointer_moved, lparam);
            return 0;
        case WM_LBUTTONDBLCLK:
            pointer_queue_write(pointer_double_click, lparam);
            return 0;
        case WM_RBUTTONDOWN:
        case WM_RBUTTONDBLCLK:  // a second right click in a row is a right click too
            pointer_queue_write(pointer_right_click, lparam);
            return 0;
        case WM_DESTROY:
            release_window_resources(window);
            return 0;
        default:
            return DefWindowProcA(window, message, wparam, lparam);
    }
}

void key_ring_write(unsigned char ch) {
    KeyRing& ring = graphics_context().key_ring;
    ring.slots[ring.write_index] = ch;
    if (++ring.write_index == ring.capacity) ring.write_index = 0;
    if (ring.write_index == ring.read_index) {
        // Full: the oldest waiting character gives way.
        if (++ring.read_index == ring.capacity) ring.read_index = 0;
    }
}

void pointer_queue_write(int action, LPARAM position) {
    PointerQueue& queue = graphics_context().pointer_queue;
    // The coordinates are signed 16-bit numbers: left of or above the client
    // they are negative.
    const PointerEvent event{action, static_cast<short>(LOWORD(position)), static_cast<short>(HIWORD(position))};
    if (queue.read_index != queue.write_index && action == pointer_moved) {
        PointerEvent& last = queue.slots[(queue.write_index + kPointerSlots - 1) % kPointerSlots];
        if (last.action == pointer_moved) {
            last = event;
            return;
        }
    }
    queue.slots[queue.write_index] = event;
    queue.write_index = (queue.write_index + 1) % kPointerSlots;
    if (queue.write_index == queue.read_index) queue.read_index = (queue.read_index + 1) % kPointerSlots;
}

bool get_pointer_event(PointerEvent* event) {
    PointerQueue& queue = graphics_context().pointer_queue;
    if (queue.read_index == queue.write_index) return false;
    *event = queue.slots[queue.read_index];
    queue.read_index = (queue.read_index + 1) % kPointerSlots;
    return true;
}

bool wait_for_input() {
    const GraphicsContext& g = graphics_context();
    const auto pointer_waiting = [&g] { return g.pointer_queue.read_index != g.pointer_queue.write_index; };
    while (!pointer_waiting() && g.key_ring.read_index == g.key_ring.write_index) {
        // With the window gone get_key answers by itself.
        if (window_exists == 0 || !dispatch_next_message()) return false;
    }
    return pointer_waiting();
}

void set_caption(const char* text) {
    if (window_exists != 0) SetWindowTextA(graphics_context().window_handle, text);
}

bool dispatch_next_message() {
    MSG message;
    // 0 is the quit message; -1 means no message could be had at all, and
    // waiting on would never end.
    const BOOL got = GetMessageA(&message, nullptr, 0, 0);
    if (got == 0) quit_waiting = 0;
    if (got <= 0) return false;
    TranslateMessage(&message);
    DispatchMessageA(&message);
    return true;
}

void take_quit_message() {
    while (quit_waiting != 0 && dispatch_next_message()) {
    }
}

void flush_graphics() { GdiFlush(); }

bool dispatch_waiting_messages() {
    MSG message;
    // The window's quit message stays for close_graphics to take.
    while (window_exists != 0 && PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE) != 0) {
        if (message.message == WM_QUIT) {
            quit_waiting = 0;
            break;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return window_exists != 0;
}

void answer_window_system() {
    // A look at the queue, leaving what is there: the system counts the
    // window as answering, and the display answers its own questions as it
    // gathers them.
    MSG message;
    if (window_exists != 0) (void)PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
}

bool key_waiting(int ch) {
    const KeyRing& ring = graphics_context().key_ring;
    for (int i = ring.read_index; i != ring.write_index; i = i + 1 == ring.capacity ? 0 : i + 1) {
        if (ring.slots[i] == static_cast<unsigned char>(ch)) return true;
    }
    return false;
}

int get_key() {
    KeyRing& ring = graphics_context().key_ring;
    while (ring.read_index == ring.write_index) {
        // With the window gone no character can come: answer as Esc would,
        // with the window's quit message taken, as close_graphics takes it.
        if (window_exists == 0 || !dispatch_next_message()) {
            take_quit_message();
            return kEscape;
        }
    }
    const unsigned char ch = ring.slots[ring.read_index];
    if (++ring.read_index == ring.capacity) ring.read_index = 0;
    return ch;
}

void set_active_page(int page) {
    if (!usable_page(page)) return;
    GraphicsContext& g = graphics_context();
    make_page(page);
    if (page == g.active_page) return;
    g.active_page = page;
    SelectObject(g.page_dc, g.page_bitmaps[page]);
}

void set_visual_page(int page) {
    if (!usable_page(page)) return;
    GraphicsContext& g = graphics_context();
    make_page(page);
    if (page == g.visual_page) return;
    g.visual_page = page;
    // Shown at once, as a repaint shows it.
    if (window_exists != 0) repaint(g.window_handle);
}
