// Private state and helpers of the portable platform layer.
//
// Every handle the layer hands out (windows, device contexts, GDI objects)
// names a slot of one object table; `PlatformState` is the layer's only
// state record. Errors follow the Win32 contract: FALSE or null plus the last
// error. Internal invariants are asserts.
#pragma once

#include <windows.h>

#include <platform_testing.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "surface.h"

namespace pelmorix_platform {

enum class Kind : std::uint8_t { Free = 0, Window, Dc, Pen, Brush, Bitmap, Palette, Region, Font };

struct Object {
    explicit Object(Kind k) : kind(k) {}
    virtual ~Object() = default;
    Kind kind;
    bool stock = false;    // stock objects survive DeleteObject
    int select_count = 0;  // how many DCs hold this object now
};

struct PenObject : Object {
    PenObject() : Object(Kind::Pen) {}
    int style = PS_SOLID;               // PS_SOLID ... PS_USERSTYLE
    int width = 1;                      // pixels
    COLORREF color = 0;                 // as given; resolved when drawing
    bool geometric = false;             // made by ExtCreatePen(PS_GEOMETRIC ...)
    DWORD end_cap = PS_ENDCAP_ROUND;    // PS_ENDCAP_*, of pens wider than one pixel
    DWORD join = PS_JOIN_ROUND;         // PS_JOIN_*, likewise
    std::vector<std::uint32_t> dashes;  // PS_USERSTYLE lengths, as given
};

struct BrushObject : Object {
    BrushObject() : Object(Kind::Brush) {}
    enum class Type { Solid, Null, Pattern } type = Type::Solid;
    COLORREF color = 0;  // solid brushes; resolved when painting
    Pattern8 pattern;    // pattern brushes: 0 bits text colour, 1 bits background
};

struct BitmapObject : Object {
    BitmapObject() : Object(Kind::Bitmap) {}
    int bits_per_pixel = 32;         // 1 (monochrome) or 32
    Surface surface;                 // 32-bit bitmaps; also size of monochrome ones
    std::vector<std::uint8_t> mono;  // monochrome bits, rows padded to 16 bits
};

struct PaletteObject : Object {
    PaletteObject() : Object(Kind::Palette) {}
    std::vector<PALETTEENTRY> entries;
};

struct RegionObject : Object {
    RegionObject() : Object(Kind::Region) {}
    ClipRect rect;  // device coordinates, normalised; empty = nothing passes
};

struct FontObject : Object {
    FontObject() : Object(Kind::Font) {}
    int cell_width = 8;   // pixels per character along the baseline
    int cell_height = 9;  // pixels across the baseline
    int ascent = 7;       // cell rows above the baseline
    int quarter_turns = 0;  // 0..3, counter-clockwise, from the escapement
};

struct WindowObject;

struct DcObject : Object {
    DcObject() : Object(Kind::Dc) {}
    HWND window = nullptr;    // window DC: draws on the window's client surface
    HBITMAP bitmap = nullptr; // memory DC: draws on this bitmap (null = none)
    HPEN pen = nullptr;
    HBRUSH brush = nullptr;
    HFONT font = nullptr;
    HPALETTE palette = nullptr;
    COLORREF text_color = RGB(0, 0, 0);
    COLORREF bk_color = RGB(255, 255, 255);
    int bk_mode = OPAQUE;
    UINT text_align = TA_LEFT | TA_TOP;
    POINT origin = {0, 0};    // viewport origin: device = logical + origin
    POINT position = {0, 0};  // current position, logical
    bool clipped = false;     // clip region selected
    ClipRect clip;            // device coordinates, valid when clipped

    // What drawing looked up last time, kept so that a run of pixels does
    // not repeat the handle look-ups and the palette search for each one.
    // Valid while `PlatformState::object_epoch` still has the value it had
    // then (no object has gone since) and the DC's own selection is the same.
    mutable std::uint64_t target_epoch = 0;  // 0: nothing kept
    mutable Surface* target_surface = nullptr;
    mutable WindowObject* target_window = nullptr;
    mutable std::uint64_t color_epoch = 0;  // 0: nothing kept
    mutable HPALETTE color_palette = nullptr;
    mutable COLORREF color_key = 0;       // a palette index ...
    mutable std::uint32_t color_rgb = 0;  // ... and what it resolved to through color_palette
};

// What a full SetPixel on a DC looked up, made ready for the next call with
// the same colour: the clip (surface bounds and clip region) in the DC's
// logical coordinates, so that one unsigned compare per axis tests it, and
// the address of its top-left pixel. A window DC's entry exists only while
// its window is marked drawn: showing the window forgets it, so the short
// cut need not mark the window again.
struct PixelShortcut {
    std::uintptr_t handle = kNoShortcut;  // the DC; kNoShortcut: the entry is empty
    COLORREF key = 0;                     // the colour asked for ...
    std::uint32_t rgb = 0;                // ... what it resolves to
    COLORREF result = 0;                  // SetPixel's result: rgb as a COLORREF
    int countdown = 0;                    // short cuts left before the present clock is read
    long long left = 0;                   // the clip's top-left, logical
    long long top = 0;
    unsigned long long width = 0;         // the clip's size, 0 when empty
    unsigned long long height = 0;
    std::uint32_t* first = nullptr;       // the clip's top-left pixel
    std::ptrdiff_t stride = 0;            // pixels from one row to the next

    // No handle is all ones: its kind bits would name no kind of object.
    static constexpr std::uintptr_t kNoShortcut = ~std::uintptr_t{0};
};

// SetPixel's short cuts for the two DCs it drew on last (the program draws
// on two in turn). Kept beside the state rather than in it, at an address
// fixed when the program is linked, so that the short cut loads nothing to
// find them. An object gone, a window resized or shown, a change to a DC's
// bitmap, palette, clip region or origin, and turning the journal on,
// forget them all, so that SetPixel need test nothing but the DC and the
// colour.
extern PixelShortcut pixel_shortcuts[2];

struct WindowClass {
    std::string name;
    WNDPROC proc = nullptr;
    UINT style = 0;
    HBRUSH background = nullptr;
    ATOM atom = 0;
};

class Display;

struct WindowObject : Object {
    WindowObject() : Object(Kind::Window) {}
    WindowClass cls;           // copy of the class it was made from
    std::string title;
    DWORD style = 0;
    Surface surface;           // the client area
    bool visible = false;
    bool minimized = false;
    bool maximized = false;
    bool needs_paint = false;  // update region not empty
    bool needs_erase = false;  // BeginPaint sends WM_ERASEBKGND
    bool destroying = false;   // inside DestroyWindow
    bool dirty = false;        // drawn on since last shown on the display
    int restore_width = 0;     // client size to return to after maximise/minimise
    int restore_height = 0;
    void* display_data = nullptr;  // the display's own record of the window
};

// Input and window events, as a display reports them.
struct DisplayEvent {
    enum class Type { Char, Key, Close, Resize, Minimize, Restore, Focus, Expose, EndOfInput, Pointer, Button };
    Type type = Type::Char;
    HWND window = nullptr;
    int width = 0;  // Resize: the new client size
    int height = 0;
    unsigned char ch = 0;  // Char: the byte typed
    UINT vk = 0;           // Key: the virtual key (Char: the key that made it)
    // Pointer and Button: where the pointer is, in client pixels (outside
    // the client too, while a button is held).
    int x = 0;
    int y = 0;
    // Button: which (MK_LBUTTON or MK_RBUTTON), pressed or released, and
    // for a press the clicks in a row that it makes (2 for a double-click).
    UINT button = 0;
    bool pressed = false;
    int clicks = 1;
};

// A place windows are shown and input comes from: a desktop window or
// nothing at all (headless).
class Display {
public:
    virtual ~Display() = default;
    virtual const char* name() const = 0;
    // True for a display that shows nothing (the picture is in memory only).
    virtual bool headless() const { return false; }
    virtual void screen_size(int* width, int* height) = 0;
    // The screen less what the desktop keeps for itself (panels, docks), in
    // the same pixels as screen_size; false where there is no screen.
    virtual bool work_area(RECT* area) {
        (void)area;
        return false;
    }
    // Gives the window a place on the display; false (last error set) on failure.
    virtual bool open_window(HWND handle, WindowObject& window) = 0;
    virtual void close_window(WindowObject& window) = 0;
    // The window became visible, or its size or state changed.
    virtual void show_window(WindowObject& window) = 0;
    // The window's title changed.
    virtual void retitle(WindowObject& window) = 0;
    // Puts the window's surface on screen as it stands.
    virtual void present(WindowObject& window) = 0;
    // Answers what the window system asks of the display itself (pings, a
    // picture to show again) and keeps the events that matter for the next
    // poll. Never reaches a window procedure. Called with every round of
    // presents, and by poll.
    virtual void service() = 0;
    // Events already there, without waiting.
    virtual void poll(std::vector<DisplayEvent>& out) = 0;
    // Waits until there is at least one event.
    virtual void wait(std::vector<DisplayEvent>& out) = 0;
};

// The layer's environment variables (settings.cpp). A value not understood
// reads as unset; report_settings says so, once, at start-up.
enum class DisplayChoice { Either, Window, Headless };
constexpr int kMaxDisplayScale = 8;
DisplayChoice display_choice();  // PELMORIX_DISPLAY
int scale_choice();              // PELMORIX_SCALE: 1 to kMaxDisplayScale, 0 when unset
void report_settings();          // one line on standard error per value not understood

// The desktop display; null with *error set when none can be opened.
std::unique_ptr<Display> make_window_display(DWORD* error);
std::unique_ptr<Display> make_headless_display(int input_fd, int screen_width, int screen_height);

// Writes a surface as a PNG file: a regular file (or none yet) atomically,
// through a fresh temporary renamed over it; through a link to the file it
// names; into a device or FIFO where it is. False with errno set on failure,
// the older file then left as it was.
bool write_png(const char* path, const Surface& surface);

struct Slot {
    std::unique_ptr<Object> object;  // null when free
    std::uint32_t generation = 0;    // bumped on reuse, so stale handles fail
};

// Characters that key presses produce, waiting for TranslateMessage; found by
// the MSG time of their WM_KEYDOWN.
struct TypedChar {
    DWORD time = 0;
    unsigned char ch = 0;
};

struct PlatformState {
    std::vector<Slot> slots;                 // the object table
    std::vector<std::uint32_t> free_slots;   // slots to reuse
    HGDIOBJ stock[SYSTEM_FIXED_FONT + 1] = {};  // stock objects, made on first use
    std::vector<WindowClass> classes;        // registered classes
    std::vector<HWND> windows;               // live windows, oldest first
    std::deque<MSG> posted;                  // posted messages, in order
    bool quit_pending = false;               // PostQuitMessage called
    int quit_code = 0;
    DWORD clock = 0;                         // MSG time stamps, one per message
    std::deque<TypedChar> typed;             // see TypedChar; in the order the keys were posted
    UINT buttons_down = 0;                   // MK_LBUTTON and MK_RBUTTON as the pointer's events left them
    DWORD last_error = 0;
    std::unique_ptr<Display> display;        // opened with the first window
    std::vector<DisplayEvent> injected;      // test input, delivered like a display's
    bool input_ended = false;                // the display said no input can come any more
    long long draws_since_check = 0;         // drawing calls on windows since the present clock was read
    long long last_present_ms = 0;
    long long last_present_cost_ms = 0;      // how long that round of presents took
    std::uint64_t object_epoch = 1;          // counts objects gone; what DCs keep of look-ups is checked against it
    int pixel_shortcut_next = 0;             // the entry of pixel_shortcuts the next new DC replaces
    bool snapshot_stale = false;             // a window was shown changed since the snapshot was written
    long long last_snapshot_ms = -1;         // when the snapshot was last written; -1: never
    std::vector<int> snapshot_errors_said;   // errno values of failed snapshot writes said so far, once each
    // Test instrumentation.
    bool journal_on = false;
    std::vector<platform_testing::Call> journal;
    std::string fail_function;  // next call of it fails ...
    DWORD fail_error = 0;       // ... with this error
    int headless_fd = 0;
    std::function<void()> flush_hook;  // see platform_testing::on_gdi_flush
    int headless_width = 1280;
    int headless_height = 1024;
};

// The state, made on first use. Read through a plain pointer so that the
// drawing calls, which fetch it on every pixel, pay one load for it.
extern PlatformState* state_pointer;
PlatformState& make_state();
inline PlatformState& state() { return state_pointer != nullptr ? *state_pointer : make_state(); }

// Object table. A handle is (generation << 24) | ((slot + 1) << 4) | kind,
// so a stale handle of a reused slot, or one of the wrong kind, is told
// apart at once.
constexpr std::uint32_t kMaxSlots = 0xFFFFF;
HANDLE add_object(std::unique_ptr<Object> object);
// Null for stale or unknown handles. Inline: every drawing call starts here.
inline Object* find_object_in(PlatformState& st, const void* handle) {
    const std::uintptr_t v = reinterpret_cast<std::uintptr_t>(handle);
    const std::uintptr_t index = (v >> 4) & kMaxSlots;
    if (index == 0) return nullptr;
    if (index > st.slots.size()) return nullptr;
    Slot& s = st.slots[index - 1];
    if (s.object == nullptr || (v >> 24) != (s.generation & 0xFF) || static_cast<Kind>(v & 0xF) != s.object->kind) {
        return nullptr;
    }
    return s.object.get();
}
inline Object* find_object(const void* handle) { return find_object_in(state(), handle); }
void remove_object(const void* handle);
template <class T>
T* find(const void* handle, Kind kind) {
    Object* o = find_object(handle);
    return o != nullptr && o->kind == kind ? static_cast<T*>(o) : nullptr;
}
inline DcObject* find_dc(HDC dc) { return find<DcObject>(dc, Kind::Dc); }
inline WindowObject* find_window(HWND w) { return find<WindowObject>(w, Kind::Window); }

// Sets the last error and returns `result`, for one-line failure returns.
template <class T>
T fail(DWORD error, T result) {
    state().last_error = error;
    return result;
}

// Journal: records a call when the journal is on.
void journal_call(const char* function, const void* target, std::initializer_list<long long> args,
                  const char* text = nullptr, int text_length = -1);
inline bool journaling() { return state().journal_on; }

// After a change to what a DC draws on or how (bitmap, palette, clip, origin).
inline void forget_pixel_shortcuts() { pixel_shortcuts[0] = pixel_shortcuts[1] = PixelShortcut{}; }
// After an object has gone or a surface changed size: what DCs kept of
// their look-ups no longer holds.
inline void objects_changed() {
    ++state().object_epoch;
    forget_pixel_shortcuts();
}
inline long long hv(const void* handle) { return static_cast<long long>(reinterpret_cast<std::uintptr_t>(handle)); }

// Colour: a COLORREF as the DC resolves it now, as 0x00RRGGBB.
std::uint32_t resolve_palette_color(const DcObject& dc, COLORREF color);
inline std::uint32_t resolve_color_in(const PlatformState& st, const DcObject& dc, COLORREF color) {
    if ((color >> 24) != 0x01) {
        return (static_cast<std::uint32_t>(GetRValue(color)) << 16) |
               (static_cast<std::uint32_t>(GetGValue(color)) << 8) | GetBValue(color);
    }
    // A palette index: the DC keeps the last one it resolved.
    if (dc.color_epoch == st.object_epoch && dc.color_key == color && dc.color_palette == dc.palette) {
        return dc.color_rgb;
    }
    return resolve_palette_color(dc, color);
}
inline std::uint32_t resolve_color(const DcObject& dc, COLORREF color) { return resolve_color_in(state(), dc, color); }

// Where a DC draws: its surface, the clip in device coordinates (already
// intersected with the surface) and its origin. False when it has no surface.
struct DrawTarget {
    Surface* surface = nullptr;
    ClipRect clip;
    WindowObject* window = nullptr;  // set for window DCs
};
bool draw_target(DcObject& dc, DrawTarget* target);
// The DC's surface (null when it has none) and, for window DCs, its window.
void look_up_surface(const DcObject& dc);
inline Surface* dc_surface(const DcObject& dc, WindowObject** window) {
    if (dc.target_epoch != state().object_epoch) look_up_surface(dc);
    *window = dc.target_window;
    return dc.target_surface;
}

// Shows every window drawn on since it was last shown; the second form only
// when about 1/60 s has passed since the last time.
void present_dirty_windows();
void present_dirty_windows_if_due();
// A window surface was drawn on: shown on the display within about 1/60 s.
inline void note_window_drawn(PlatformState& st, WindowObject& window) {
    window.dirty = true;
    // Reading the clock on every pixel would cost more than the pixel.
    if (++st.draws_since_check < 4096) return;
    st.draws_since_check = 0;
    present_dirty_windows_if_due();
}
inline void note_window_drawn(WindowObject& window) { note_window_drawn(state(), window); }

// Window DCs, as BeginPaint hands them out; release_dc frees any DC.
HDC make_window_dc(HWND window);
void release_dc(HDC dc);

// The display, opened on first use; null with the last error set on failure.
Display* display();

// Gives a window's client a new size and tells its procedure (WM_SIZE).
void resize_window(HWND handle, WindowObject& window, int width, int height, WPARAM size_kind);

// Sends a message to a window procedure, as SendMessageA does.
LRESULT send_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// Font metrics of a DC's selected font (the default font when none).
const FontObject& dc_font(const DcObject& dc);

// Stock objects.
HGDIOBJ stock_object(int index);

}  // namespace pelmorix_platform
