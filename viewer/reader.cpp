// The cell log reader and the plot loop: the file is read a chunk at a time
// and a line at a time, each line used where it lies in the chunk (or in one
// fixed buffer when it must be put together), and the rows are drawn in
// order as they are converted, so memory stays the same however long the
// log is. One thread does it all: each row is drawn before the next line is
// read, so a log that arrives slowly (through a pipe, from a running
// simulation) is drawn as it arrives.
#include <sys/stat.h>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <poll.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "graphics.h"
#include "viewer.h"


namespace {

constexpr unsigned char kEndOfFileByte = 0x1A;
constexpr std::size_t kNotSought = static_cast<std::size_t>(-1);
// The screen is shown a new picture at most this often while the log keeps
// coming, as the window is while it is drawn on.
constexpr std::chrono::milliseconds kFrame(16);
// While the log pauses, the window is served at least this often, well
// within what a desktop allows a window to take to answer.
constexpr std::chrono::milliseconds kServeEvery(50);
#ifdef _WIN32
// How long a wait for window messages lasts before the pipe is looked at again.
constexpr std::chrono::milliseconds kPipeLook(10);
#endif

int descriptor_of(std::FILE* file) {
#ifdef _WIN32
    return _fileno(file);
#else
    return fileno(file);
#endif
}

// A failed read ends the log; the first failure's text is kept to be said.
void note_read_error(CellLogStream& stream, const char* text) {
    if (stream.read_error[0] != '\0') return;
    std::snprintf(stream.read_error, sizeof stream.read_error, "%s", text);
}

#ifdef _WIN32
// The system's own text for error `code`, without its line end.
void note_system_error(CellLogStream& stream, DWORD code) {
    char text[sizeof stream.read_error];
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                             sizeof text, nullptr);
    while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == ' ')) --n;
    if (n == 0) {
        std::snprintf(text, sizeof text, "error %lu", static_cast<unsigned long>(code));
    } else {
        text[n] = '\0';
    }
    note_read_error(stream, text);
}
#endif

// One read of the system's own: returns as soon as some bytes are there
// (from a pipe, say), with their number; 0 at the end, -1 on an error,
// which is noted in the stream.
long read_some(CellLogStream& stream, int fd, unsigned char* into, std::size_t size) {
#ifdef _WIN32
    _doserrno = 0;
    const int got = _read(fd, into, static_cast<unsigned int>(size));
    if (got < 0) {
        if (_doserrno != 0) {
            note_system_error(stream, static_cast<DWORD>(_doserrno));
        } else {
            note_read_error(stream, std::strerror(errno));
        }
    }
    return got;
#else
    ssize_t got;
    do {
        got = read(fd, into, size);
    } while (got < 0 && errno == EINTR);
    if (got < 0) note_read_error(stream, std::strerror(errno));
    return static_cast<long>(got);
#endif
}

// The reader is about to wait for more of the log: what has been drawn goes
// to the screen first, or it would stay off it for as long as the log
// pauses. A log that keeps coming is not held up, and the screen is not
// shown a new picture more than once a frame. Once there is a window, it is
// served while the log pauses, so that it answers the desktop, and Esc or
// its close button can end the run; the read that follows does not wait.
#ifdef _WIN32
void show_before_waiting(CellLogStream& stream) {
    // A log read through its overlapped handle is shown and served by the
    // read itself, while it waits.
    if (stream.read_handle != nullptr) return;
    // The window is on the screen as it is drawn; this only sends what the
    // system still holds back.
    flush_graphics();
    if (stream.while_waiting == nullptr) return;
    // Only a pipe can be asked whether bytes are there; from anything else
    // (a console, say) the read waits as it would.
    const HANDLE pipe = reinterpret_cast<HANDLE>(_get_osfhandle(descriptor_of(stream.file)));
    DWORD available = 0;
    // A pipe whose writer has gone fails the peek: the read sees the end.
    while (PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) != 0 && available == 0) {
        stream.while_waiting();
        // Wakes for window messages; the pipe is looked at again meanwhile.
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(kPipeLook.count()), QS_ALLINPUT);
    }
}

// A log that is not a regular file is read, where the system allows it,
// through a second handle opened for overlapped reads: a read that has to
// wait then waits for the log and for the window's messages at once.
void open_overlapped(CellLogStream& stream) {
    const HANDLE file = reinterpret_cast<HANDLE>(_get_osfhandle(descriptor_of(stream.file)));
    const HANDLE again = ReOpenFile(file, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_FLAG_OVERLAPPED);
    if (again == INVALID_HANDLE_VALUE) return;
    const HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (event == nullptr) {
        CloseHandle(again);
        return;
    }
    stream.read_handle = again;
    stream.read_event = event;
}

// One overlapped read, waited for here; as read_some.
long read_overlapped(CellLogStream& stream, unsigned char* into, std::size_t size) {
    const HANDLE handle = static_cast<HANDLE>(stream.read_handle);
    HANDLE event = static_cast<HANDLE>(stream.read_event);
    OVERLAPPED request{};
    request.hEvent = event;
    DWORD got = 0;
    // A pipe whose writer has gone, like the end of a file, is the end.
    auto ended = [&stream] {
        const DWORD error = GetLastError();
        if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF) return 0L;
        note_system_error(stream, error);
        return -1L;
    };
    if (ReadFile(handle, into, static_cast<DWORD>(size), &got, &request) != 0) return static_cast<long>(got);
    if (GetLastError() != ERROR_IO_PENDING) return ended();
    // The log has paused.
    if (stream.while_waiting != nullptr) stream.while_waiting();
    flush_graphics();
    for (;;) {
        const DWORD woke = stream.while_waiting == nullptr
                               ? WaitForSingleObject(event, INFINITE)
                               : MsgWaitForMultipleObjects(1, &event, FALSE, static_cast<DWORD>(kServeEvery.count()),
                                                           QS_ALLINPUT);
        if (woke == WAIT_OBJECT_0) break;
        if (woke == WAIT_FAILED) {
            // Nothing to wait with: the read is given up, and the log ends.
            note_system_error(stream, GetLastError());
            CancelIo(handle);
            GetOverlappedResult(handle, &request, &got, TRUE);
            return -1;
        }
        stream.while_waiting();
    }
    if (GetOverlappedResult(handle, &request, &got, FALSE) == 0) return ended();
    return static_cast<long>(got);
}
#else
// poll, again when a signal cut it short.
int poll_log(pollfd& ready, int timeout_ms) {
    int found;
    do {
        ready.revents = 0;
        found = poll(&ready, 1, timeout_ms);
    } while (found < 0 && errno == EINTR);
    return found;
}

void show_before_waiting(CellLogStream& stream) {
    pollfd ready{descriptor_of(stream.file), POLLIN, 0};
    if (poll_log(ready, 0) != 0) return;  // bytes, the end or an error: the read will not wait
    if (stream.while_waiting != nullptr) stream.while_waiting();
    const auto since = std::chrono::steady_clock::now() - stream.last_shown;
    if (since < kFrame) {
        // Shown a moment ago: the rest of the frame for more of the log.
        const auto rest = std::chrono::ceil<std::chrono::milliseconds>(kFrame - since);
        if (poll_log(ready, static_cast<int>(rest.count())) > 0) return;
    }
    flush_graphics();
    stream.last_shown = std::chrono::steady_clock::now();
    if (stream.while_waiting == nullptr) return;
    while (poll_log(ready, static_cast<int>(kServeEvery.count())) == 0) stream.while_waiting();
}
#endif

}  // namespace

std::size_t fetch_log_bytes(CellLogStream& stream, unsigned char* into, std::size_t size) {
    // After a failure the log has ended: a later read could only skip bytes.
    if (stream.read_error[0] != '\0' || stream.cut_short) return 0;
    const int fd = descriptor_of(stream.file);
    std::size_t got = 0;
    if (stream.whole_chunks) {
        while (got < size) {
            const long n = read_some(stream, fd, into + got, size - got);
            if (n < 0) break;
            if (n == 0) {
                stream.cut_short = stream.fetched + static_cast<long long>(got) < stream.size_at_open;
                break;
            }
            got += static_cast<std::size_t>(n);
        }
        stream.fetched += static_cast<long long>(got);
    } else {
        show_before_waiting(stream);
#ifdef _WIN32
        const long n =
            stream.read_handle != nullptr ? read_overlapped(stream, into, size) : read_some(stream, fd, into, size);
#else
        const long n = read_some(stream, fd, into, size);
#endif
        if (n > 0) got = static_cast<std::size_t>(n);
    }
    return got;
}

namespace {

// Fetches the next chunk of the log's text; false when no byte will come
// any more.
bool refill(CellLogStream& stream) {
    if (stream.source_done || stream.file == nullptr) return false;
    std::size_t got;
    if (stream.compressed) {
        got = decompress_chunk(stream);
    } else {
        got = fetch_log_bytes(stream, stream.bytes, sizeof stream.bytes);
        if (!stream.format_known) {
            stream.format_known = true;
            got = start_decompressing(stream, got);
        }
    }
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

}  // namespace

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

namespace {

// Nothing read yet, from the file's start.
void start_reading(CellLogStream& stream) {
    stream.end_reached = false;
    stream.source_done = false;
    stream.next = 0;
    stream.filled = 0;
    stream.next_return = kNotSought;
    stream.next_end_byte = kNotSought;
    stream.next_nul = kNotSought;
    stream.format_known = false;
    stream.compressed.reset();
    stream.damaged = false;
    stream.read_error[0] = '\0';
    stream.fetched = 0;
    stream.cut_short = false;
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
    stream.file = file;
    stream.open_failed = stream.file == nullptr;
    start_reading(stream);
    stream.text_limit = UINT64_MAX;
    stream.whole_chunks = false;
    stream.last_shown = std::chrono::steady_clock::time_point{};
    stream.while_waiting = nullptr;
#ifdef _WIN32
    stream.read_handle = nullptr;
    stream.read_event = nullptr;
#endif
    stream.size_at_open = 0;
    if (stream.file != nullptr) {
        // Our own chunk buffer is the only one: the stream is used for
        // opening and closing, its descriptor for reading.
        std::setvbuf(stream.file, nullptr, _IONBF, 0);
        struct stat status;
        const bool known = fstat(descriptor_of(stream.file), &status) == 0;
        if (known && S_ISDIR(status.st_mode)) {
            // A folder is no file to read, as on hosts where it cannot be
            // opened at all: not a read error.
            std::fclose(stream.file);
            stream.file = nullptr;
            stream.open_failed = true;
            return;
        }
        stream.whole_chunks = known && S_ISREG(status.st_mode);
        if (stream.whole_chunks) stream.size_at_open = static_cast<long long>(status.st_size);
#ifdef _WIN32
        if (!stream.whole_chunks) open_overlapped(stream);
#endif
    }
}

bool rewind_cell_log(CellLogStream& stream) {
    if (stream.file == nullptr || !stream.whole_chunks) return false;
#ifdef _WIN32
    if (_lseeki64(descriptor_of(stream.file), 0, SEEK_SET) != 0) return false;
#else
    if (lseek(descriptor_of(stream.file), 0, SEEK_SET) != 0) return false;
#endif
    const std::uint64_t read_so_far = stream.text_fetched;
    start_reading(stream);
    stream.text_limit = read_so_far;
    return true;
}

void close_cell_log(CellLogStream& stream) {
#ifdef _WIN32
    if (stream.read_handle != nullptr) {
        CloseHandle(static_cast<HANDLE>(stream.read_handle));
        CloseHandle(static_cast<HANDLE>(stream.read_event));
        stream.read_handle = nullptr;
        stream.read_event = nullptr;
    }
#endif
    if (stream.file != nullptr) std::fclose(stream.file);
    stream.file = nullptr;
    stream.compressed.reset();
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

// The plot loop, from the log's first row, which has already been read, to
// the end of the file. Each row is drawn before the next line is read, and
// the console is flushed as soon as a block has ended and the next one's
// first row is in: while the log comes slowly, what has arrived is on the
// screen and the console.
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

}  // namespace

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

    plot_rows(stream, line_buffer, first_row);
    report_early_end(stream, file_name);

    flush_console();
    wait_key_or_escape();
    show_end_screen();
    close_graphics();
    close_cell_log(stream);
    return 0;
}
