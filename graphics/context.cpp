// The graphics context: constant tables, static set-up, start-up, the
// queries and shutdown.
#include <cstring>

#include "graphics_internal.h"

namespace {

GraphicsContext context;

constexpr BYTE kExplicit = PC_EXPLICIT;
constexpr BYTE kNoCollapse = PC_NOCOLLAPSE;
constexpr int kPaletteEntries = 256;
constexpr int kKeyRingCapacity = 256;

// Start-up steps that fail with no last error still need a code whose text
// says what went wrong, or the caller would take the failure for success.
constexpr DWORD kNoWindowError = ERROR_DEVICE_NOT_CONNECTED;     // "The device is not connected."
constexpr DWORD kNoClassError = ERROR_CLASS_DOES_NOT_EXIST;      // "Class does not exist."
constexpr DWORD kNoPaletteMemoryError = ERROR_NOT_ENOUGH_MEMORY;

DWORD error_or(DWORD error, DWORD fallback) { return error != 0 ? error : fallback; }

// Static set-up before the program's own code, and the key ring's release at
// exit. Defined after `context`, so it runs after it is initialised.
struct LayerLifetime {
    LayerLifetime() {
        KeyRing& ring = context.key_ring;
        ring.read_index = 0;
        ring.write_index = 0;
        ring.capacity = kKeyRingCapacity;
        ring.slots = new unsigned char[kKeyRingCapacity]();
        pen_cache_init(context.pen_cache);
        font_cache_init(context.font_cache);
    }
    ~LayerLifetime() {
        delete[] context.key_ring.slots;
        context.key_ring.slots = nullptr;
    }
    LayerLifetime(const LayerLifetime&) = delete;
    LayerLifetime& operator=(const LayerLifetime&) = delete;
};
LayerLifetime lifetime;

// Whether RegisterClassA has succeeded: a set-up that failed after it must
// not register the class a second time.
bool class_registered = false;

PALETTEENTRY* palette_entries() { return context.logical_palette->palPalEntry; }

// Class registration, the logical palette's memory and the brushes. Runs
// until it has completed once, so that a call after a failed registration
// finishes the set-up instead of working without palette or brushes.
bool one_time_set_up() {
    GraphicsContext& g = context;
    if (g.window_class.lpszClassName == nullptr) {
        g.window_class.lpszClassName = "PelmorixCanvas";
        g.window_class.hInstance = nullptr;
        g.window_class.lpfnWndProc = window_procedure;
        g.window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        g.window_class.hIcon = nullptr;
        g.window_class.lpszMenuName = nullptr;
        g.window_class.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
        // Double-clicks come as messages of their own only to a class
        // that asks for them.
        g.window_class.style = CS_SAVEBITS | CS_DBLCLKS;
        g.window_class.cbClsExtra = 0;
        g.window_class.cbWndExtra = 0;
    }
    if (!class_registered) {
        if (RegisterClassA(&g.window_class) == 0) {
            g.last_error = error_or(GetLastError(), kNoClassError);
            return false;
        }
        class_registered = true;
    }

    const SIZE_T bytes = sizeof(LOGPALETTE) + (kPaletteEntries - 1) * sizeof(PALETTEENTRY);
    g.logical_palette = static_cast<LOGPALETTE*>(LocalAlloc(LMEM_FIXED, bytes));
    if (g.logical_palette == nullptr) {
        g.last_error = error_or(GetLastError(), kNoPaletteMemoryError);
        return false;
    }
    g.logical_palette->palVersion = 0x300;
    g.logical_palette->palNumEntries = kPaletteEntries;
    PALETTEENTRY* entries = palette_entries();
    for (int i = 0; i < kPaletteEntries; ++i) entries[i] = PALETTEENTRY{0, 0, 0, 0};
    for (int i = 0; i < 16; ++i) {
        entries[i] = PALETTEENTRY{static_cast<BYTE>(i), 0, 0, kExplicit};
        entries[240 + i] = PALETTEENTRY{static_cast<BYTE>(240 + i), 0, 0, kExplicit};
    }

    g.fill_brushes[kBackgroundBrush] = CreateSolidBrush(palette_color(0));
    g.fill_brushes[0] = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    for (int i = 1; i <= 11; ++i) {
        HBITMAP bits = CreateBitmap(8, 8, 1, 1, fill_pattern_bits[i - 1]);
        g.fill_brushes[i] = CreatePatternBrush(bits);
    }
    HBITMAP user_bits = CreateBitmap(8, 8, 1, 1, fill_pattern_bits[0]);
    g.fill_brushes[12] = CreatePatternBrush(user_bits);
    return true;
}

}  // namespace

int always_to_page = 1;
int default_mode = 2;
unsigned char palette_dirty = 0;
unsigned char window_exists = 0;
unsigned char quit_waiting = 0;
unsigned char size_detected = 0;

const PALETTEENTRY default_colors[16] = {
    {0, 0, 0, kNoCollapse},       {0, 0, 255, kNoCollapse},     {0, 255, 0, kNoCollapse},
    {0, 255, 255, kNoCollapse},   {255, 0, 0, kNoCollapse},     {255, 0, 255, kNoCollapse},
    {165, 42, 42, kNoCollapse},   {211, 211, 211, kNoCollapse}, {47, 79, 79, kNoCollapse},
    {173, 216, 230, kNoCollapse}, {32, 178, 170, kNoCollapse},  {224, 255, 255, kNoCollapse},
    {240, 128, 128, kNoCollapse}, {219, 112, 147, kNoCollapse}, {255, 255, 0, kNoCollapse},
    {255, 255, 255, kNoCollapse},
};

// Each row is its pattern byte followed by 0xFF, as 8 x 8 monochrome bitmaps
// pad their rows to 16 bits.
#define PELMORIX_PATTERN(a, b, c, d, e, f, g, h) \
    { a, 0xFF, b, 0xFF, c, 0xFF, d, 0xFF, e, 0xFF, f, 0xFF, g, 0xFF, h, 0xFF }
const unsigned char fill_pattern_bits[11][16] = {
    PELMORIX_PATTERN(0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00),  // solid
    PELMORIX_PATTERN(0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00),  // horizontal lines
    PELMORIX_PATTERN(0xFE, 0xFD, 0xFB, 0xF7, 0xEF, 0xDF, 0xBF, 0x7F),  // light slashes
    PELMORIX_PATTERN(0x7E, 0xFC, 0xF9, 0xF3, 0xE7, 0xCF, 0x9F, 0x3F),  // thick slashes
    PELMORIX_PATTERN(0x3F, 0x9F, 0xCF, 0xE7, 0xF3, 0xF9, 0xFC, 0x7E),  // thick backslashes
    PELMORIX_PATTERN(0x7F, 0xBF, 0xDF, 0xEF, 0xF7, 0xFB, 0xFD, 0xFE),  // light backslashes
    PELMORIX_PATTERN(0xFE, 0xFE, 0xFE, 0xFE, 0xFE, 0xFE, 0xFE, 0x00),  // hatch
    PELMORIX_PATTERN(0x7E, 0xBD, 0xDB, 0xE7, 0xE7, 0xDB, 0xBD, 0x7E),  // cross-hatch
    PELMORIX_PATTERN(0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55),  // interleave
    PELMORIX_PATTERN(0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE),  // wide dots
    PELMORIX_PATTERN(0xBB, 0xFF, 0xEE, 0xFF, 0xBB, 0xFF, 0xEE, 0xFF),  // close dots
};
#undef PELMORIX_PATTERN

GraphicsContext& graphics_context() { return context; }

void init_graphics(int* driver, int* mode, const char* driver_path) {
    (void)driver_path;
    GraphicsContext& g = context;
    g.last_error = 0;
    if (g.logical_palette == nullptr && !one_time_set_up()) return;

    g.palette.size = 16;
    PALETTEENTRY* entries = palette_entries();
    for (int i = 10; i < 16; ++i) entries[i] = default_colors[0];
    for (int i = 0; i < 16; ++i) {
        g.palette.colors[i] = static_cast<std::uint8_t>(i);
        entries[16 + i] = default_colors[i];
    }
    g.palette_handle = CreatePalette(g.logical_palette);

    // A window opened again gets new DCs that hold none of the old pen, font
    // or clip: forget them, so the first use selects them afresh.
    g.current_pen = nullptr;
    g.current_font = nullptr;
    if (g.clip_region != nullptr) {
        DeleteObject(g.clip_region);
        g.clip_region = nullptr;
    }

    mode_resolution(driver, mode);
    graph_defaults();

    // A size asked for is the client area's: the frame is measured around it.
    RECT outer{0, 0, g.window_width + 8, g.window_height + 27};
    if (size_detected != 0) {
        outer = RECT{0, 0, g.window_width, g.window_height};
        AdjustWindowRect(&outer, WS_OVERLAPPEDWINDOW, FALSE);
    }
    g.window_handle = CreateWindowExA(0, "PelmorixCanvas", "N-Vorq Pelmorix", WS_OVERLAPPEDWINDOW, 0, 0,
                                      outer.right - outer.left, outer.bottom - outer.top, nullptr, nullptr, nullptr,
                                      nullptr);
    if (g.window_handle == nullptr) {
        g.last_error = error_or(GetLastError(), kNoWindowError);
        return;
    }
    window_exists = 1;
    ShowWindow(g.window_handle, *mode == 3 ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL);
    UpdateWindow(g.window_handle);
}

void mode_resolution(int* driver, int* mode) {
    GraphicsContext& g = context;
    std::uint32_t d = static_cast<std::uint32_t>(*driver);
    const bool detect = d == 0 || d > 10;
    if (detect) {
        *driver = 9;
        *mode = default_mode;
        d = 9;
    }
    const std::uint32_t m = static_cast<std::uint32_t>(*mode);
    int width = 640;
    int height = 480;
    switch (d) {
        case 1:
            width = m == 4 ? 640 : 320;
            height = 200;
            break;
        case 2:
            width = m == 4 || m == 5 ? 640 : 320;
            height = m == 5 ? 480 : 200;
            break;
        case 3:
        case 4:
            height = m == 0 ? 200 : 350;
            break;
        case 5:
            height = 350;
            break;
        case 6:
            width = m == 0 ? 640 : 1024;
            height = m == 0 ? 480 : 768;
            break;
        case 7:
            width = 720;
            height = 348;
            break;
        case 8:
            width = m == 4 || m == 5 ? 640 : 320;
            height = m == 5 ? 400 : 200;
            break;
        case 9:
            height = m == 0 ? 200 : m == 1 ? 350 : 480;
            break;
        default:  // 10
            width = 720;
            height = 350;
            break;
    }
    size_detected = detect && detected_client_size(&width, &height) ? 1 : 0;
    g.window_width = width;
    g.window_height = height;
}

void graph_defaults() {
    GraphicsContext& g = context;
    g.text_color_cache = 15;
    g.current_color = 15;
    g.line_thickness = 1;
    g.line_style = 0;
    g.line_pattern = -1;  // all 32 bits set
    g.fill_pattern = 1;
    g.fill_color = 15;
    g.text_direction = 0;
    g.text_font = 0;
    g.char_size = 1;
    g.h_justify = 0;
    g.v_justify = 2;
    g.align_state = 0;
    g.visual_page = 0;
    g.active_page = 0;
    g.viewport.left = 0;
    g.viewport.top = 0;
    g.viewport.right = g.window_width - 1;
    g.viewport.bottom = g.window_height - 1;
    g.aspect_y = 10000;
    g.aspect_x = 10000;
}

unsigned int graph_result() { return context.last_error; }

const char* graph_error_message(unsigned int code) {
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code, 0, context.error_text, kErrorTextSize, nullptr);
    return context.error_text;
}

int get_max_x() { return context.window_width - 1; }

int get_max_y() { return context.window_height - 1; }

int get_max_color() { return 15; }

void get_aspect_ratio(int* x, int* y) {
    *x = context.aspect_x;
    *y = context.aspect_y;
}

void get_palette(PaletteRecord* palette) {
    palette->size = context.palette.size;
    std::memcpy(palette->colors, context.palette.colors, sizeof palette->colors);
}

void close_graphics() {
    // A window the user already closed has nothing left to destroy; only its
    // quit message may still wait (get_key takes it too), and a later
    // init_graphics must not find it.
    if (window_exists != 0) DestroyWindow(context.window_handle);
    take_quit_message();
}
