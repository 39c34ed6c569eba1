// Looking closer: the time and value under the pointer in the window's
// caption, and one cell opened across the whole plot area by a double-click.
// The open cell is drawn on page 1, so that the grid's picture stays whole on
// page 0 for going back.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "graphics.h"
#include "viewer.h"

CloserState closer;

namespace {

constexpr int kEscape = 27;
constexpr int kGridPage = 0;
constexpr int kCellPage = 1;
const char kWindowTitle[] = "N-Vorq Pelmorix";

// Sets the caption unless it already says `text`.
void show_caption(const char* text) {
    if (std::strcmp(closer.caption, text) == 0) return;
    std::snprintf(closer.caption, sizeof closer.caption, "%s", text);
    set_caption(text);
}

// The cell shown at plot viewport pixel (x, y), in the view now shown;
// false off the boxes.
bool cell_at(int x, int y, CellReading* reading) {
    if (!screen_to_cell(x - closer.plot_left, y - closer.plot_top, reading)) return false;
    if (closer.open_column >= 0) {
        reading->column = closer.open_column;
        reading->row = closer.open_row;
    }
    return true;
}

void show_readout(int x, int y) {
    CellReading reading;
    if (!cell_at(x, y, &reading)) {
        show_caption(kWindowTitle);
        return;
    }
    char text[sizeof closer.caption];
    std::snprintf(text, sizeof text, "%s - celda (%d, %d)  t = %g  valor = %g", kWindowTitle, reading.column,
                  reading.row, reading.time, reading.value);
    show_caption(text);
}

// While the open cell's log is read again: the window's messages, and the
// pointer's events. Esc, or the window closed, ends the run as while a log
// pauses; other keys wait for the final prompt.
bool serve_while_rereading() {
    if (!dispatch_waiting_messages() || key_waiting(kEscape)) {
        close_graphics();
        std::exit(1);
    }
    take_pointer_events();
    return !closer.back_asked;
}

void go_back_to_grid() {
    set_visual_page(kGridPage);
    set_active_page(kGridPage);
    grid_columns = closer.grid_count;
    grid_rows = closer.grid_count;
    closer.open_column = -1;
    closer.open_row = -1;
}

void open_cell(int column, int row) {
    if (closer.stream == nullptr || !rewind_cell_log(*closer.stream)) {
        char text[sizeof closer.caption];
        std::snprintf(text, sizeof text, "%s - celda (%d, %d): solo con archivos", kWindowTitle, column, row);
        show_caption(text);
        return;
    }
    closer.grid_count = grid_columns;
    closer.open_column = column;
    closer.open_row = row;
    // Drawn as a run on a log of one cell draws, out of sight until its
    // frame is there, then in sight as its points come.
    set_active_page(kCellPage);
    const std::string title = std::string(closer.file_name) + "  celda (" + std::to_string(column) + ", " +
                              std::to_string(row) + ")";
    draw_title_bar(title.c_str());
    draw_status_bar("ESC Aborta");
    set_visual_page(kCellPage);
    closer.reading = true;
    closer.back_asked = false;
    replot_cell(*closer.stream, column, row, serve_while_rereading);
    closer.reading = false;
    // A read that fails this time is said as the first read's would be.
    report_early_end(*closer.stream, closer.file_name);
    draw_status_bar("Esc aborta o presione una tecla...");
    if (closer.back_asked) go_back_to_grid();
}

void act_on(const PointerEvent& event) {
    switch (event.action) {
        case pointer_moved:
            show_readout(event.x, event.y);
            break;
        case pointer_right_click:
            if (closer.reading) {
                closer.back_asked = true;
            } else if (closer.open_column >= 0) {
                go_back_to_grid();
            }
            break;
        case pointer_double_click: {
            if (closer.reading) {
                closer.back_asked = true;
                break;
            }
            CellReading reading;
            if (!cell_at(event.x, event.y, &reading)) break;
            if (closer.open_column >= 0) {
                go_back_to_grid();
            } else {
                open_cell(reading.column, reading.row);
            }
            break;
        }
        default:
            break;
    }
}

}  // namespace

void watch_pointer(CellLogStream* stream, const char* file_name) {
    ViewportRecord viewport;
    get_view_settings(&viewport);
    closer.stream = stream;
    closer.file_name = file_name;
    closer.plot_left = viewport.left;
    closer.plot_top = viewport.top;
    std::snprintf(closer.caption, sizeof closer.caption, "%s", kWindowTitle);
}

void take_pointer_events() {
    PointerEvent event;
    while (get_pointer_event(&event)) act_on(event);
}
