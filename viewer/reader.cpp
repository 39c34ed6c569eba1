// The cell log reader and the plot loop: the file is read a line at a time
// into one fixed buffer and every value is drawn as soon as it is converted,
// so memory stays the same however long the log is.
#include <climits>
#include <cstdio>
#include <cstring>

#include "graphics.h"
#include "viewer.h"

namespace {

constexpr unsigned char kEndOfFileByte = 0x1A;

// Fetches the next chunk of the file; false when no byte will come any more.
bool refill(CellLogStream& stream) {
    if (stream.source_done || stream.file == nullptr) return false;
    const std::size_t got = std::fread(stream.bytes, 1, sizeof stream.bytes, stream.file);
    if (got == 0) {
        // The end of the file, or a read error (a directory, say): either
        // way nothing more can be read, and the read counts as the end.
        stream.source_done = true;
        return false;
    }
    stream.next = 0;
    stream.filled = got;
    return true;
}

void print_file_error(const char* file_name) {
    std::fputs("Error. Archivo vacio o con formato erroneo: ", stdout);
    std::fputs(file_name, stdout);
    std::fputs("\n", stdout);
}

}  // namespace

void open_cell_log(CellLogStream& stream, const char* file_name) {
    // Binary, so that the host does no line-end translation of its own: the
    // text-mode rules are applied by read_line, the same on every host.
    stream.file = std::fopen(file_name, "rb");
    stream.open_failed = stream.file == nullptr;
    stream.end_reached = false;
    stream.source_done = false;
    stream.next = 0;
    stream.filled = 0;
    // Our own chunk buffer is the only one needed.
    if (stream.file != nullptr) std::setvbuf(stream.file, nullptr, _IONBF, 0);
}

void close_cell_log(CellLogStream& stream) {
    if (stream.file != nullptr) std::fclose(stream.file);
    stream.file = nullptr;
}

void read_line(CellLogStream& stream, char* line) {
    int length = 0;
    line[0] = '\0';
    // A stream that failed, or already met the end, reads nothing more; only
    // the end itself, not the failure, counts as reaching the end.
    if (stream.open_failed || stream.end_reached) return;
    for (;;) {
        if (stream.next == stream.filled && !refill(stream)) {
            stream.end_reached = true;
            break;
        }
        const unsigned char* start = stream.bytes + stream.next;
        const std::size_t available = stream.filled - stream.next;
        const void* feed = std::memchr(start, '\n', available);
        const std::size_t span =
            feed != nullptr ? static_cast<std::size_t>(static_cast<const unsigned char*>(feed) - start) : available;
        for (std::size_t i = 0; i < span; ++i) {
            const unsigned char c = start[i];
            if (c == '\r') continue;  // part of no line
            if (c == kEndOfFileByte) {
                // The file ends here, for this read and every later one.
                stream.source_done = true;
                stream.next = stream.filled;
                stream.end_reached = true;
                line[length] = '\0';
                return;
            }
            if (length == kLineChars) continue;  // the line is full: the rest of it is skipped
            line[length++] = static_cast<char>(c);
        }
        stream.next += span;
        if (feed != nullptr) {
            ++stream.next;  // the line feed is consumed, not stored
            break;
        }
    }
    line[length] = '\0';
}

int split_row(char* line, double* values) {
    int count = 0;
    char* p = line;
    while (count < kMaxRowValues) {
        while (*p == ' ') ++p;
        if (*p == '\0') break;
        char* token = p;
        while (*p != ' ' && *p != '\0') ++p;
        const bool more = *p != '\0';
        // Each token is converted on its own, as if cut out of the line: a
        // tab or other white space after it must not lead into the next one.
        *p = '\0';
        values[count++] = atof_value(token);
        if (more) ++p;
    }
    return count;
}

bool is_blank_line(const char* line) {
    while (*line == ' ') ++line;
    return *line == '\0';
}

int read_cell_log(const char* file_name) {
    CellLogStream stream;
    char line_buffer[kLineBufferSize];
    double row_values[kMaxRowValues];

    open_cell_log(stream, file_name);
    read_line(stream, line_buffer);  // the heading, ignored
    if (stream.end_reached) {
        print_file_error(file_name);
        close_cell_log(stream);
        return 0;
    }
    read_line(stream, line_buffer);
    // A file that could not be opened arrives at the length test with an
    // empty line, since its reads never reach an end.
    if (stream.end_reached || line_buffer[0] == '\0') {
        print_file_error(file_name);
        close_cell_log(stream);
        return 0;
    }

    int row_index = 0;
    double block_time = 0;
    int value_count = 0;

    start_graphics();
    draw_title_bar(file_name);
    draw_status_bar("ESC Aborta");
    measure_plot_area();

    do {
        value_count = split_row(line_buffer, row_values);
        const bool first_row_of_log = block_time == 0 && row_index == 0;
        for (int c = 0; c < value_count; ++c) {
            if (first_row_of_log) draw_grid_column(c, value_count);
            plot_cell_value(c, row_index, block_time, row_values[c]);
        }
        read_line(stream, line_buffer);
        // Rows far beyond the grid are all clipped alike; stopping the count
        // keeps a block of more than INT_MAX rows from overflowing it.
        if (row_index < INT_MAX) ++row_index;
        if (is_blank_line(line_buffer)) {
            // The block ends; the next line is the next block's first row,
            // taken as a row even if it is blank too.
            read_line(stream, line_buffer);
            if (block_time == 0) std::printf("Dimension detectada del modelo: %d x %d\n", value_count, row_index);
            std::fflush(stdout);
            block_time += 0.025;  // a running sum, not a multiple
            row_index = 0;
        }
    } while (!stream.end_reached);

    std::fflush(stdout);
    wait_key_or_escape();
    show_end_screen();
    close_graphics();
    close_cell_log(stream);
    return 0;
}
