// The run over the cell log: its first two lines checked before any window
// opens, the window set up, the plot loop, the end of the log said when it
// came early, and the final prompt.
//
// The log's way in is one straight line of stages, each over the one below:
// the source's bytes (source.cpp), the text, decompressed when the log is
// compressed (compressed.cpp), the lines (lines.cpp), the plot loop
// (plot.cpp), and this run over them.
#include <cstdio>

#include "graphics.h"
#include "viewer.h"

void print_file_error(const char* file_name) {
    std::fputs("Error. Archivo vacio o con formato erroneo: ", stdout);
    std::fputs(file_name, stdout);
    std::fputs("\n", stdout);
}

// Why the log ended early, if it did: on standard error, so that the
// console output stays what it is for a log that simply ends there. A
// compressed log whose file failed or was shortened also looks cut short to
// its decompressor: the file's fault is the cause, and is said instead.
void report_early_end(const CellLogStream& stream, const char* file_name) {
    if (!stream.damaged && stream.read_error[0] == '\0' && !stream.cut_short) return;
    flush_console();  // what came before it, first, on a shared console
    if (stream.read_error[0] != '\0') {
        std::fprintf(stderr, "Error. Fallo de lectura en %s: %s\n", file_name, stream.read_error);
    } else if (stream.cut_short) {
        std::fprintf(stderr, "Error. El archivo se acorto mientras se leia: %s\n", file_name);
    } else {
        std::fprintf(stderr, "Error. Datos comprimidos danados o incompletos: %s\n", file_name);
    }
}

int read_cell_log(const char* file_name) {
    CellLogStream stream;
    char line_buffer[kLineBufferSize];

    open_cell_log(stream, file_name);
    (void)read_line_view(stream, line_buffer);  // the heading, ignored
    if (stream.end_reached) {
        print_file_error(file_name);
        report_early_end(stream, file_name);
        close_cell_log(stream);
        return 0;
    }
    const LineView first_row = read_line_view(stream, line_buffer);
    // A file that could not be opened arrives at the length test with an
    // empty line, since its reads never reach an end.
    if (stream.end_reached || first_row.length == 0) {
        print_file_error(file_name);
        report_early_end(stream, file_name);
        close_cell_log(stream);
        return 0;
    }

    start_graphics();
    draw_title_bar(file_name);
    draw_status_bar("ESC Aborta");
    measure_plot_area();
    watch_pointer(&stream, file_name);
    stream.while_waiting = serve_window_while_waiting;
    stream.while_reading = answer_window_system;

    plot_rows(stream, line_buffer, first_row);
    report_early_end(stream, file_name);

    flush_console();
    wait_key_or_escape();
    show_end_screen();
    close_graphics();
    close_cell_log(stream);
    return 0;
}
