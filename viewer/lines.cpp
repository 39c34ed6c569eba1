// The log's lines, over the chunks of its text: each line used where it
// lies in the chunk, or put together in one fixed buffer when it must be
// changed or crosses a chunk's end, with the rules of a text-mode stream
// (carriage returns dropped, 0x1A the end of the file, lines cut at 9999
// characters).
#include <cstring>

#include "viewer.h"

namespace {

constexpr unsigned char kEndOfFileByte = 0x1A;
constexpr std::size_t kNotSought = static_cast<std::size_t>(-1);

// Fetches the next chunk of the log's text; false when no byte will come
// any more.
bool refill(CellLogStream& stream) {
    if (stream.source_done || stream.file == nullptr) return false;
    std::size_t got = fetch_log_text(stream);
    // A log read again ends where its first read did, however it has grown.
    if (got > stream.text_limit - stream.text_fetched) got = static_cast<std::size_t>(stream.text_limit - stream.text_fetched);
    stream.text_fetched += got;
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
    bool cut = false;
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
                if (cut) ++stream.lines_cut;
                return;
            }
            if (length == kLineChars) {  // the line is full: the rest of it is skipped
                cut = true;
                continue;
            }
            line[length++] = static_cast<char>(c);
        }
        stream.next += span;
        if (feed != nullptr) {
            ++stream.next;  // the line feed is consumed, not stored
            break;
        }
    }
    line[length] = '\0';
    if (cut) ++stream.lines_cut;
}

// Nothing read yet, from the text's start.
void start_reading(CellLogStream& stream) {
    stream.end_reached = false;
    stream.source_done = false;
    stream.next = 0;
    stream.filled = 0;
    stream.next_return = kNotSought;
    stream.next_end_byte = kNotSought;
    stream.next_nul = kNotSought;
    stream.lines_cut = 0;
    stream.text_fetched = 0;
}

}  // namespace

void open_cell_log(CellLogStream& stream, const char* file_name) {
    // Binary, so that the host does no line-end translation of its own: the
    // text-mode rules are applied by read_line, the same on every host.
    open_cell_log_file(stream, std::fopen(file_name, "rb"));
}

void open_cell_log_file(CellLogStream& stream, std::FILE* file) {
    open_log_text(stream, file);
    start_reading(stream);
    stream.text_limit = UINT64_MAX;
}

bool rewind_cell_log(CellLogStream& stream) {
    if (!rewind_log_text(stream)) return false;
    const std::uint64_t read_so_far = stream.text_fetched;
    start_reading(stream);
    stream.text_limit = read_so_far;
    return true;
}

void close_cell_log(CellLogStream& stream) { close_log_text(stream); }

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
