// The cell log reader and the plot loop: the file is read a chunk at a time
// and a line at a time, each line used where it lies in the chunk (or in one
// fixed buffer when it must be put together), and the rows are drawn in
// order as they are converted, so memory stays the same however long the
// log is. One thread does it all: each row is drawn right after it is read.
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

// split_row itself lies with the number conversion, which it is the loop of.
int split_row(const char* line, double* values) { return split_row(LineView{line, std::strlen(line)}, values); }

bool is_blank_line(const LineView& line) {
    for (std::size_t i = 0; i < line.length; ++i) {
        if (line.text[i] != ' ') return false;
    }
    return true;
}

bool is_blank_line(const char* line) { return is_blank_line(LineView{line, std::strlen(line)}); }

namespace {

// One row of the log as the plot loop takes it: how many values it holds,
// where it lies (its row in its time block, the block's time), whether the
// line after it was blank (its block ends with it) and whether the reads
// after it met the end of the file (the loop ends there).
struct RowRecord {
    int count;
    int row_index;
    double block_time;
    bool block_ends;
    bool file_ends;
    int rows_in_block;  // when the block ends: its rows, as the dimension line gives them
};

// The reading half of the plot loop: the reads and splits the loop makes,
// in its order, and the count of rows and blocks, drawing nothing. Starts
// at the log's first row, which has already been read.
class RowSource {
public:
    RowSource(CellLogStream& stream, char* line_buffer, LineView first_row)
        : stream_(stream), line_buffer_(line_buffer), line_(first_row) {}

    // The next row, its values into `values` (room for kMaxRowValues). Not
    // to be called again after a row that ends the file.
    RowRecord next(double* values) {
        RowRecord row;
        row.count = split_row(line_, values);
        row.row_index = row_index_;
        row.block_time = block_time_;
        line_ = read_line_view(stream_, line_buffer_);
        // Rows far beyond the grid are all clipped alike; stopping the count
        // keeps a block of more than INT_MAX rows from overflowing it.
        if (row_index_ < INT_MAX) ++row_index_;
        row.block_ends = is_blank_line(line_);
        row.rows_in_block = row_index_;
        if (row.block_ends) {
            // The line after the blank one is the next block's first row,
            // taken as a row even if it is blank too.
            line_ = read_line_view(stream_, line_buffer_);
            block_time_ += 0.025;  // a running sum, not a multiple
            row_index_ = 0;
        }
        row.file_ends = stream_.end_reached;
        return row;
    }

private:
    CellLogStream& stream_;
    char* line_buffer_;
    LineView line_;
    int row_index_ = 0;
    double block_time_ = 0;
};

// The drawing half of the plot loop: the first row with its grid, every
// row's points, and the dimension line when the first block ends.
void plot_row(const RowRecord& row, const double* values) {
    if (row.block_time == 0 && row.row_index == 0) {
        // The first row of the log: each column's grid lines, then its point.
        for (int c = 0; c < row.count; ++c) {
            draw_grid_column(c, row.count);
            plot_cell_value(c, row.row_index, row.block_time, values[c]);
        }
    } else {
        plot_cell_row(row.row_index, row.block_time, values, row.count);
    }
    if (row.block_ends) {
        if (row.block_time == 0) std::printf("Dimension detectada del modelo: %d x %d\n", row.count, row.rows_in_block);
        std::fflush(stdout);
    }
}

void plot_rows_in_turn(RowSource& source) {
    double values[kMaxRowValues];
    for (;;) {
        const RowRecord row = source.next(values);
        plot_row(row, values);
        if (row.file_ends) return;
    }
}


}  // namespace

int read_cell_log(const char* file_name) {
    CellLogStream stream;
    char line_buffer[kLineBufferSize];

    open_cell_log(stream, file_name);
    (void)read_line_view(stream, line_buffer);  // the heading, ignored
    if (stream.end_reached) {
        print_file_error(file_name);
        close_cell_log(stream);
        return 0;
    }
    const LineView first_row = read_line_view(stream, line_buffer);
    // A file that could not be opened arrives at the length test with an
    // empty line, since its reads never reach an end.
    if (stream.end_reached || first_row.length == 0) {
        print_file_error(file_name);
        close_cell_log(stream);
        return 0;
    }

    start_graphics();
    draw_title_bar(file_name);
    draw_status_bar("ESC Aborta");
    measure_plot_area();

    RowSource source(stream, line_buffer, first_row);
    plot_rows_in_turn(source);

    std::fflush(stdout);
    wait_key_or_escape();
    show_end_screen();
    close_graphics();
    close_cell_log(stream);
    return 0;
}
