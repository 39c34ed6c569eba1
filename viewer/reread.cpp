// One cell of a log read again: the log from its start, as far as its first
// read went, each line read as the plot loop reads it, but only the one
// cell's token converted, and its values plotted as the single cell of a
// grid of one box.
#include <chrono>
#include <climits>
#include <cstring>

#include "graphics.h"
#include "viewer.h"

namespace {

// The window is served this often while the log is read again, as often
// as the screen shows a new picture while a log is plotted.
constexpr std::chrono::milliseconds kServeEvery(16);
// Lines read between two looks at the clock.
constexpr int kLinesBetweenLooks = 256;

}  // namespace

bool row_value_at(const LineView& line, int column, double* value) {
    const char* p = line.text;
    const char* const end = line.text + line.length;
    for (int k = 0;; ++k) {
        while (p != end && *p == ' ') ++p;
        if (p == end) return false;
        if (k == column) {
            convert_token(p, end, value);
            return true;
        }
        const void* blank = std::memchr(p, ' ', static_cast<std::size_t>(end - p));
        if (blank == nullptr) return false;
        p = static_cast<const char*>(blank);
    }
}

void replot_cell(CellLogStream& stream, int column, int row, bool (*serve)()) {
    char line_buffer[kLineBufferSize];
    // The first read checked the heading and the first row: both are there.
    (void)read_line_view(stream, line_buffer);
    LineView line = read_line_view(stream, line_buffer);
    draw_grid_column(0, 1);
    int row_index = 0;
    double block_time = 0;
    int lines_to_look = kLinesBetweenLooks;
    auto last_served = std::chrono::steady_clock::now();
    // The plot loop's rows and blocks, line for line (see plot_rows).
    while (!stream.end_reached) {
        double value;
        if (row_index == row && row_value_at(line, column, &value)) plot_cell_value(0, 0, block_time, value);
        line = read_line_view(stream, line_buffer);
        if (row_index < INT_MAX) ++row_index;
        if (is_blank_line(line)) {
            line = read_line_view(stream, line_buffer);
            block_time += 0.025;
            row_index = 0;
        }
        if (--lines_to_look == 0) {
            lines_to_look = kLinesBetweenLooks;
            const auto now = std::chrono::steady_clock::now();
            if (now - last_served >= kServeEvery) {
                last_served = now;
                flush_graphics();
                if (!serve()) return;
            }
        }
    }
}
