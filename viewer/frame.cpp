// The screen furniture: opening the graphics, the title bar, the frame of
// the plot area, the status bar, the final key wait and the end screen.
#include <cstdio>
#include <cstdlib>

#include "graphics.h"
#include "viewer.h"

int graph_driver = 0;
int graph_mode = 0;
int max_x = 0;
int max_y = 0;
int color_count = 0;

namespace {

constexpr int kEscape = 27;

// The plot area: one pixel inside the frame, between the two bars.
void set_plot_viewport(int h) { set_viewport(1, h + 5, max_x - 1, max_y - h - 5, 1); }

}  // namespace

void start_graphics() {
    graph_driver = 0;  // detect: the layer picks the client area (640 x 480 unless PELMORIX_SIZE asks)
    init_graphics(&graph_driver, &graph_mode, "");
    const unsigned int code = graph_result();
    if (code != 0) {
        // The system's text already ends in its own line break; it is
        // printed unchanged.
        std::printf(" Graphics System Error: %s\n", graph_error_message(code));
        std::exit(1);
    }
    color_count = get_max_color() + 1;
    max_x = get_max_x();
    max_y = get_max_y();
}

void draw_title_bar(const char* text) {
    clear_device();
    set_color(color_count - 1);
    set_viewport(0, 0, max_x, max_y, 1);
    const int h = text_height("H");
    set_text_justify(1, 2);
    out_text_xy(max_x / 2, 2, text);
    set_viewport(0, h + 4, max_x, max_y - h - 4, 1);
    draw_plot_frame();
    set_plot_viewport(h);
}

void draw_status_bar(const char* message) {
    set_viewport(0, 0, max_x, max_y, 1);
    set_color(color_count - 1);
    set_text_justify(1, 2);
    set_line_style(0, 0, 1);
    set_fill_style(0, 0);  // the empty pattern: the bar leaves the pixels as they are
    const int h = text_height("H");
    fill_bar(0, max_y - h - 4, max_x, max_y);
    draw_rectangle(0, max_y - h - 4, max_x, max_y);
    out_text_xy(max_x / 2, max_y - h - 2, message);
    set_plot_viewport(h);
}

void draw_plot_frame() {
    set_color(color_count - 1);
    set_line_style(0, 0, 1);
    ViewportRecord viewport;
    get_view_settings(&viewport);
    draw_rectangle(0, 0, viewport.right - viewport.left, viewport.bottom - viewport.top);
}

void wait_key_or_escape() {
    draw_status_bar("Esc aborta o presione una tecla...");
    // The pointer is looked at until a key comes.
    while (wait_for_input()) take_pointer_events();
    const int key = get_key();
    if (key == kEscape) {
        // Also what get_key answers when the user closed the window.
        close_graphics();
        std::exit(1);
    }
    if (key == 0) (void)get_key();  // a 0 byte leads a second one, which goes with it
    clear_device();
}

void serve_window_while_waiting() {
    // Esc, or the window closed, while the log pauses ends the run as at the
    // final prompt; every other key waits in the queue to answer that prompt.
    if (!dispatch_waiting_messages() || key_waiting(kEscape)) {
        close_graphics();
        std::exit(1);
    }
    take_pointer_events();
}

void show_end_screen() {
    draw_title_bar("== Final ==");
    ViewportRecord viewport;
    get_view_settings(&viewport);
    set_text_justify(1, 1);
    out_text_xy((viewport.right - viewport.left) / 2, (viewport.bottom - viewport.top) / 2, "Fin!");
    clear_device();
}
