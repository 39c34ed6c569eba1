// The graphics layer's public interface: one window with a 16-colour palette,
// drawn through a procedural interface over process-wide state.
//
// Colours are the numbers 0 to 15; operations that take a colour keep only
// its low four bits. Coordinates are relative to the current viewport.
// Only start-up reports errors: read them with graph_result() after
// init_graphics() and turn them into text with graph_error_message().
//
// This header does not need <windows.h>.
#ifndef PELMORIX_GRAPHICS_H
#define PELMORIX_GRAPHICS_H

#include <cstdint>

// The viewport as last given to set_viewport: window client coordinates and
// the clip flag exactly as passed (nonzero: drawing is clipped to it).
struct ViewportRecord {
    std::int32_t left;
    std::int32_t top;
    std::int32_t right;
    std::int32_t bottom;
    std::int32_t clip;
};

// What get_palette hands out: the number of colours and the colour numbers.
struct PaletteRecord {
    std::uint8_t size;
    std::uint8_t colors[16];
};

// One vertex for draw_poly, in viewport coordinates.
struct PointRecord {
    int x;
    int y;
};

// Start-up and shutdown.

// Opens the graphics window. `driver` and `mode` are read and may be
// rewritten (driver 0 or an unknown driver becomes driver 9, mode 2, with
// the client size PELMORIX_SIZE asks for, 640 x 480 without it);
// `driver_path` is accepted and ignored. The outcome is read with
// graph_result().
void init_graphics(int* driver, int* mode, const char* driver_path);
// Sets the requested client size for a driver and mode; may rewrite both.
void mode_resolution(int* driver, int* mode);
// Resets colour, line, fill, text and viewport settings (the clip flag
// excepted). Touches no device context.
void graph_defaults();
// The platform's error code of the start-up step that failed; 0 = success.
unsigned int graph_result();
// The system's message text for `code`, valid until the next call.
const char* graph_error_message(unsigned int code);
// Destroys the window and takes every message up to the quit message.
void close_graphics();

// Queries.

int get_max_x();  // client width - 1
int get_max_y();  // client height - 1
int get_max_color();  // always 15
void get_aspect_ratio(int* x, int* y);
void get_palette(PaletteRecord* palette);

// Puts what has been drawn on the screen now, not at the next chance the
// window system gets. For a caller about to wait for something else (more
// input, say) with the picture still changing.
void flush_graphics();

// Pages: 0 to 15, each made at its first use at the size of the screen.
// Drawing goes to the active page, and the window shows the visual page; a
// page that is not shown keeps what is drawn on it for when it is. Other
// numbers are ignored.
void set_active_page(int page);
void set_visual_page(int page);

// The pointer: what it did over the window, in window client coordinates.
enum PointerAction {
    pointer_moved = 1,         // moved to (x, y)
    pointer_double_click = 2,  // the left button double-clicked at (x, y)
    pointer_right_click = 3,   // the right button pressed at (x, y)
};
struct PointerEvent {
    int action;  // a PointerAction
    int x;
    int y;
};
// Takes the pointer's next event, oldest first, without waiting; false
// when none waits. Only the latest of several moves in a row is kept, and
// at most 16 events wait (the oldest gives way).
bool get_pointer_event(PointerEvent* event);
// Takes the window's messages until a pointer event or a typed character
// waits, or the window is gone. True when a pointer event waits; false when
// get_key will answer at once.
bool wait_for_input();
// The caption the window system shows for the window.
void set_caption(const char* text);

// Keyboard: the next typed character, 0 to 255; waits for one. 27 is Esc.
// Returns 27 as well when the window has gone away while waiting.
int get_key();
// Takes every window message already waiting, without waiting for one, as
// get_key takes them: typed characters go to the keyboard queue, a window
// uncovered is repainted. For a caller about to wait for something else
// (more of a log, say), whose window must answer meanwhile. False once the
// window is gone.
bool dispatch_waiting_messages();
// Lets the window system have its answers (a ping, a window uncovered
// shown again) without taking any message: typed keys and the close
// button wait where they are for get_key. For a caller busy with something
// else (reading a log past what it draws, say), often enough that the
// desktop never finds the window unresponsive.
void answer_window_system();
// Whether `ch` (0 to 255) is among the typed characters get_key has yet to
// return.
bool key_waiting(int ch);

// Colour, pens and lines.

void set_color(int color);
// `style` 0 solid, 1 dotted, 2 dash-dot, 3 dashed, 4 user pattern (the low
// 16 bits of `pattern`, lowest bit first, 1 = drawn); `thickness` in pixels.
void set_line_style(int style, int pattern, int thickness);
void move_to(int x, int y);
void put_pixel(int x, int y, int color);
// `count` - 1 connected segments through `points`; the last point is not drawn.
void draw_poly(int count, const PointRecord* points);
// The closed outline through the four corners, as given.
void draw_rectangle(int left, int top, int right, int bottom);

// Fills, viewport and clearing.

// `pattern` 0 (empty) to 13; see the fill pattern table.
void set_fill_style(int pattern, int color);
// Fills between the two corners; the right column and bottom row are left out.
void fill_bar(int x1, int y1, int x2, int y2);
void set_viewport(int left, int top, int right, int bottom, int clip);
void get_view_settings(ViewportRecord* viewport);
// Paints the whole page in colour 0, ignoring the clip; current position to
// the viewport's top-left corner.
void clear_device();

// Text.

// `horizontal` 0 left, 1 centre, 2 right; `vertical` 0 bottom, 1 baseline,
// 2 top.
void set_text_justify(int horizontal, int vertical);
void out_text_xy(int x, int y, const char* text);
int text_height(const char* text);

#endif  // PELMORIX_GRAPHICS_H
