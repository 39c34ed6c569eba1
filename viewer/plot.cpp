// The plot loop: the log's rows, line after line, converted and drawn in
// order as they are read, so that a log that arrives slowly (through a
// pipe, from a running simulation) is drawn as it arrives.
#include <climits>
#include <cstdio>

#include "viewer.h"

void plot_rows(CellLogStream& stream, char* line_buffer, LineView line) {
    double values[kMaxRowValues];
    int row_index = 0;
    double block_time = 0;
    for (;;) {
        const int count = split_row(line, values);
        if (block_time == 0 && row_index == 0) {
            // The first row of the log: each column's grid lines, then its point.
            for (int c = 0; c < count; ++c) {
                draw_grid_column(c, count);
                plot_cell_value(c, row_index, block_time, values[c]);
            }
        } else {
            plot_cell_row(row_index, block_time, values, count);
        }
        line = read_line_view(stream, line_buffer);
        // Rows far beyond the grid are all clipped alike; stopping the count
        // keeps a block of more than INT_MAX rows from overflowing it.
        if (row_index < INT_MAX) ++row_index;
        if (is_blank_line(line)) {
            // The line after the blank one is the next block's first row,
            // taken as a row even if it is blank too.
            line = read_line_view(stream, line_buffer);
            if (block_time == 0) std::printf("Dimension detectada del modelo: %d x %d\n", count, row_index);
            flush_console();
            block_time += 0.025;  // a running sum, not a multiple
            row_index = 0;
        }
        if (stream.end_reached) return;
    }
}
