// The cell log reader and the plot loop: the file is read a chunk at a time
// and a line at a time, each line used where it lies in the chunk (or in one
// fixed buffer when it must be put together), and every value is drawn as
// soon as it is converted, so memory stays the same however long the log is.
#include <climits>
#include <cstdio>
#include <cstring>

#include "graphics.h"
#include "viewer.h"

namespace {

constexpr unsigned char kEndOfFileByte = 0x1A;
constexpr std::size_t kNotSought = static_cast<std::size_t>(-1);

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
    stream.next_return = kNotSought;
    stream.next_end_byte = kNotSought;
    stream.next_nul = kNotSought;
    return true;
}

// Whether `byte` occurs in bytes [from, to) of the chunk. `found` remembers
// where it next occurs, so that each byte of a chunk is searched once for
// each kind, however many lines the chunk holds.
bool occurs(const CellLogStream& stream, std::size_t& found, unsigned char byte, std::size_t from, std::size_t to) {
    if (found == kNotSought || found < from) {
        const void* at = std::memchr(stream.bytes + from, byte, stream.filled - from);
        found = at != nullptr ? static_cast<std::size_t>(static_cast<const unsigned char*>(at) - stream.bytes)
                              : stream.filled;
    }
    return found < to;
}

// The text-mode read a byte at a time, into `line`: the way for lines that
// need changing or cross a chunk boundary.
void read_line_bytes(CellLogStream& stream, char* line) {
    int length = 0;
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
    stream.next_return = kNotSought;
    stream.next_end_byte = kNotSought;
    stream.next_nul = kNotSought;
    // Our own chunk buffer is the only one needed.
    if (stream.file != nullptr) std::setvbuf(stream.file, nullptr, _IONBF, 0);
}

void close_cell_log(CellLogStream& stream) {
    if (stream.file != nullptr) std::fclose(stream.file);
    stream.file = nullptr;
}

LineView read_line_view(CellLogStream& stream, char* line) {
    // A stream that failed, or already met the end, reads nothing more; only
    // the end itself, not the failure, counts as reaching the end.
    if (stream.open_failed || stream.end_reached) {
        line[0] = '\0';
        return LineView{line, 0};
    }
    // The usual line: whole in the chunk, ended by a line feed, at most one
    // carriage return and that one right before the feed, no 0x1A or NUL, and
    // short enough. It is used where it lies.
    const std::size_t from = stream.next;
    const void* feed = std::memchr(stream.bytes + from, '\n', stream.filled - from);
    if (feed != nullptr) {
        const std::size_t at = static_cast<std::size_t>(static_cast<const unsigned char*>(feed) - stream.bytes);
        std::size_t to = at;
        if (to > from && stream.bytes[to - 1] == '\r') --to;
        if (to - from <= static_cast<std::size_t>(kLineChars) && !occurs(stream, stream.next_return, '\r', from, to) &&
            !occurs(stream, stream.next_end_byte, kEndOfFileByte, from, to) &&
            !occurs(stream, stream.next_nul, '\0', from, to)) {
            stream.next = at + 1;
            return LineView{reinterpret_cast<const char*>(stream.bytes + from), to - from};
        }
    }
    read_line_bytes(stream, line);
    return LineView{line, std::strlen(line)};
}

void read_line(CellLogStream& stream, char* line) {
    const LineView view = read_line_view(stream, line);
    if (view.text != line) {
        std::memcpy(line, view.text, view.length);
        line[view.length] = '\0';
    }
}

int split_row(const LineView& line, double* values) {
    int count = 0;
    const char* p = line.text;
    const char* const end = line.text + line.length;
    while (count < kMaxRowValues) {
        while (p != end && *p == ' ') ++p;
        if (p == end) break;
        // Each token is converted on its own, as if cut out of the line: a
        // tab or other white space after it must not lead into the next one.
        p = convert_token(p, end, &values[count++]);
    }
    return count;
}

int split_row(const char* line, double* values) { return split_row(LineView{line, std::strlen(line)}, values); }

bool is_blank_line(const LineView& line) {
    for (std::size_t i = 0; i < line.length; ++i) {
        if (line.text[i] != ' ') return false;
    }
    return true;
}

bool is_blank_line(const char* line) { return is_blank_line(LineView{line, std::strlen(line)}); }

int read_cell_log(const char* file_name) {
    CellLogStream stream;
    char line_buffer[kLineBufferSize];
    double row_values[kMaxRowValues];

    open_cell_log(stream, file_name);
    (void)read_line_view(stream, line_buffer);  // the heading, ignored
    if (stream.end_reached) {
        print_file_error(file_name);
        close_cell_log(stream);
        return 0;
    }
    LineView line = read_line_view(stream, line_buffer);
    // A file that could not be opened arrives at the length test with an
    // empty line, since its reads never reach an end.
    if (stream.end_reached || line.length == 0) {
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
        value_count = split_row(line, row_values);
        if (block_time == 0 && row_index == 0) {
            // The first row of the log: each column's grid lines, then its point.
            for (int c = 0; c < value_count; ++c) {
                draw_grid_column(c, value_count);
                plot_cell_value(c, row_index, block_time, row_values[c]);
            }
        } else {
            plot_cell_row(row_index, block_time, row_values, value_count);
        }
        line = read_line_view(stream, line_buffer);
        // Rows far beyond the grid are all clipped alike; stopping the count
        // keeps a block of more than INT_MAX rows from overflowing it.
        if (row_index < INT_MAX) ++row_index;
        if (is_blank_line(line)) {
            // The block ends; the next line is the next block's first row,
            // taken as a row even if it is blank too.
            line = read_line_view(stream, line_buffer);
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
