// The graphics layer's private side: its one state record, the caches, the
// constant tables and the helpers that the units share. Tests include it to
// look inside; the viewer does not.
#ifndef PELMORIX_GRAPHICS_INTERNAL_H
#define PELMORIX_GRAPHICS_INTERNAL_H

#include <windows.h>

#include <cstdint>

#include "graphics.h"

// Typed characters waiting for get_key. Empty when the two indices are equal;
// a write that catches up with read_index drops the oldest character.
struct KeyRing {
    unsigned char* slots = nullptr;  // `capacity` bytes from the free store
    std::int32_t write_index = 0;    // slot that receives the next character
    std::int32_t read_index = 0;     // slot of the next character to hand out
    std::int32_t capacity = 0;       // 256 once set up
};

// The pointer's events waiting for get_pointer_event, as a ring like the
// key ring's: empty when the indices are equal.
constexpr int kPointerSlots = 17;  // room for 16 events
struct PointerQueue {
    PointerEvent slots[kPointerSlots] = {};
    std::int32_t write_index = 0;  // slot that receives the next event
    std::int32_t read_index = 0;   // slot of the next event to hand out
};

// The link pair that both cache headers and cache entries begin with, so the
// header can be the sentinel of a circular list of entries.
struct CacheLink {
    CacheLink* next_link = nullptr;  // towards the least recently used end
    CacheLink* prev_link = nullptr;  // towards the most recently used end
};

struct PenCacheEntry : CacheLink {
    HPEN pen = nullptr;              // owned by the cache
    std::int32_t key_color = 0;      // palette entry number, 16..31
    std::int32_t key_thickness = 0;  // line_thickness when made
    std::int32_t key_style = 0;      // line_style when made
    std::int32_t key_pattern = 0;    // line_pattern when made; compared for style 4 only
};

constexpr int kCacheEntries = 8;

// Header (sentinel: next_link = most recent, prev_link = least recent) plus
// eight preallocated entries; unused entries are chained from free_entries.
struct PenCache : CacheLink {
    PenCacheEntry* free_entries = nullptr;
    PenCacheEntry entries[kCacheEntries];
};

struct FontCacheEntry : CacheLink {
    HFONT font = nullptr;           // owned by the cache
    std::int32_t font_number = 0;   // key: text_font
    std::int32_t direction = 0;     // key: text_direction
    std::int32_t width = 0;         // key: character width in pixels
    std::int32_t height = 0;        // key: character height in pixels
};

struct FontCache : CacheLink {
    FontCacheEntry* free_entries = nullptr;
    FontCacheEntry entries[kCacheEntries];
};

// Scale of the user character size (char_size 0).
struct UserCharSize {
    std::int32_t mult_x = 0;
    std::int32_t div_x = 0;
    std::int32_t mult_y = 0;
    std::int32_t div_y = 0;
};

constexpr int kBrushCount = 14;
constexpr int kPageCount = 16;
constexpr int kBackgroundBrush = 13;  // fill_brushes slot that clears pages
constexpr int kErrorTextSize = 256;

// The graphics layer's whole state. Zero or null at program start except the
// key ring and the two caches, which static initialisation sets up.
struct GraphicsContext {
    HDC screen_dc = nullptr;                    // the window's DC, from the first paint until WM_DESTROY
    HDC page_dc = nullptr;                      // memory DC holding the active page's bitmap
    HDC aux_dc[2] = {};                         // memory DCs with the palette; nothing draws on them
    HPEN current_pen = nullptr;                 // pen selected into both DCs
    HRGN clip_region = nullptr;                 // viewport clip, null when the viewport does not clip
    HFONT current_font = nullptr;               // font selected into both DCs
    LOGPALETTE* logical_palette = nullptr;      // 256 entries, made once, never freed
    PAINTSTRUCT paint_info = {};                // from the first BeginPaint, handed back at WM_DESTROY
    HWND window_handle = nullptr;               // the graphics window
    HBRUSH fill_brushes[kBrushCount] = {};      // indexed by fill pattern number
    HPALETTE palette_handle = nullptr;          // palette object made from logical_palette
    HBITMAP page_bitmaps[kPageCount] = {};      // backing pages by page number
    std::int32_t screen_width = 0;              // screen size, or the client's where larger: the size of every page
    std::int32_t screen_height = 0;
    std::int32_t window_width = 0;              // client size, from mode_resolution then WM_SIZE
    std::int32_t window_height = 0;
    PaletteRecord palette = {};                 // what get_palette hands out
    std::int32_t line_style = 0;                // 0..4, 4 = user pattern
    std::int32_t line_pattern = 0;              // user pattern, low 16 bits used
    std::int32_t line_thickness = 0;            // pen width in pixels
    std::int32_t fill_pattern = 0;              // index into fill_brushes
    std::int32_t fill_color = 0;                // 0..15
    std::int32_t current_color = 0;             // drawing colour 0..15
    std::int32_t text_color_cache = 0;          // colour last given to SetTextColor on both DCs
    std::int32_t aspect_x = 0;
    std::int32_t aspect_y = 0;
    std::int32_t text_font = 0;                 // font number 0..10
    std::int32_t text_direction = 0;            // quarter turns of the text
    std::int32_t char_size = 0;                 // 1..10, 0 = user size
    std::int32_t h_justify = 0;                 // 0 left, 1 centre, 2 right
    std::int32_t v_justify = 0;                 // 0 bottom, 1 baseline, 2 top
    ViewportRecord viewport = {};               // as last given to set_viewport
    UserCharSize user_char_size = {};           // nothing sets it
    std::int32_t align_state = 0;               // 2 = both DCs carry the current alignment
    std::int32_t visual_page = 0;               // page shown in the window
    std::int32_t active_page = 0;               // page drawing goes into
    KeyRing key_ring = {};                      // typed characters
    PointerQueue pointer_queue = {};            // the pointer's events
    PenCache pen_cache = {};                    // recently used pens
    FontCache font_cache = {};                  // recently used fonts
    char error_text[kErrorTextSize] = {};       // written by graph_error_message
    std::uint32_t last_error = 0;               // error of the failed start-up step, 0 = success
    WNDCLASSA window_class = {};                // class name non-null once the one-time set-up began
};

GraphicsContext& graphics_context();

// Flags kept beside the context; init_graphics does not reset them.
extern int always_to_page;           // 1: every drawing goes into page_dc
extern int default_mode;             // mode of the fallback driver 9
extern unsigned char palette_dirty;  // WM_PALETTECHANGED seen, palette not rebuilt yet
extern unsigned char window_exists;  // the window was created and not yet destroyed
extern unsigned char quit_waiting;   // the window's quit message is posted and not yet taken
extern unsigned char size_detected;  // the client size came from PELMORIX_SIZE: the frame is measured around it

// The client size PELMORIX_SIZE asks the detect driver for (settings.cpp);
// false when unset, not understood, or `screen` with no screen (said once).
bool detected_client_size(int* width, int* height);
// One line on standard error when PELMORIX_SIZE is not understood; run at start-up.
void report_size_setting();

// Constant data.
extern const PALETTEENTRY default_colors[16];
extern const unsigned char fill_pattern_bits[11][16];
extern const int pen_styles[5];

// Colour number c as the platform sees it: logical palette entry 16 + c.
inline COLORREF palette_color(int color) { return PALETTEINDEX(16 + (color & 15)); }

// The output rule: drawing goes to page_dc first, then to screen_dc.
inline bool output_to_page() {
    const GraphicsContext& g = graphics_context();
    return always_to_page != 0 || g.visual_page != g.active_page;
}
inline bool output_to_screen() {
    const GraphicsContext& g = graphics_context();
    return g.visual_page == g.active_page;
}

// Window, pages and keyboard.
LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
bool dispatch_next_message();
// Dispatches messages until the quit message of a destroyed window has been
// taken; returns at once when none is waiting.
void take_quit_message();
void key_ring_write(unsigned char ch);
void pointer_queue_write(int action, LPARAM position);

// Pens.
void pen_cache_init(PenCache& cache);
void pen_cache_select(PenCache& cache, int color);
// Fills `dashes` (room for 32) from the low 16 bits of `pattern`; returns the count.
int pattern_to_dashes(DWORD* dashes, int pattern);

// Fonts and text.
void font_cache_init(FontCache& cache);
void font_cache_select(FontCache& cache, int font, int direction, int width, int height);
void select_text_font();
void draw_text(int x, int y, const char* text);

// The list operations both caches use.
inline void cache_unlink(CacheLink* entry) {
    entry->prev_link->next_link = entry->next_link;
    entry->next_link->prev_link = entry->prev_link;
}
inline void cache_insert_front(CacheLink& head, CacheLink* entry) {
    entry->next_link = head.next_link;
    entry->prev_link = &head;
    head.next_link->prev_link = entry;
    head.next_link = entry;
}
// Empty list, every entry on the free chain in pool order.
template <class Cache>
void cache_list_init(Cache& cache) {
    cache.next_link = &cache;
    cache.prev_link = &cache;
    for (int i = 0; i < kCacheEntries; ++i) {
        cache.entries[i].next_link = i + 1 < kCacheEntries ? &cache.entries[i + 1] : nullptr;
        cache.entries[i].prev_link = nullptr;
    }
    cache.free_entries = &cache.entries[0];
}

#endif  // PELMORIX_GRAPHICS_INTERNAL_H
