// The trajectory viewer's private interface: the program-wide values (axis
// limits, plot state, screen state) and the operations its units share.
//
// The data path is one straight line, with nothing allocated on the way:
// file -> line (in the read chunk) -> tokens -> doubles -> pixel of the cell
// box -> put_pixel, on the program's one thread. A compressed log adds one
// step in front, raw chunk -> decompressor -> read chunk, set up once.
#ifndef PELMORIX_VIEWER_H
#define PELMORIX_VIEWER_H

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

// Axis limits, set once from the command line: time across every cell box,
// value up every cell box.
extern double minimox;
extern double minimoy;
extern double maximox;
extern double maximoy;

// Conversion of a limit or a cell value: leading white space (the C
// locale's) skipped, the longest prefix that forms a decimal number
// converted to the correctly rounded double, +0 when there is none
// (hexadecimal, "inf" and "nan" are none). A number beyond a double's range
// gives an infinity, one below it a subnormal or a signed zero. The same
// code, with the same result, on every host.
double atof_value(const char* text);
// Converts the token at `token`, which runs up to the next blank (0x20) or
// to `line_end`, as atof_value converts that token alone; returns its end.
const char* convert_token(const char* token, const char* line_end, double* value);
// Whole numbers of 1 to 3 digits, each with a minus sign or none, that end
// within the 16 bytes at `token` (a token's first byte, 16 bytes readable),
// each followed by a blank: up to `room` of them converted as split_row
// converts them into `values`, *converted set to how many; returns the byte
// after the last. Null, having converted nothing, when those bytes hold
// anything else, or on a host without the quick way.
const char* convert_whole_numbers(const char* token, double* values, int room, int* converted);

// Flushes the console's output (standard output), noting the first failure.
void flush_console();
// Registered to run at exit: output that could not be written is said on
// standard error, once; a pipe whose reader has gone stays silent. The
// status stays the run's own.
void say_console_failure();

// ---------------------------------------------------------------------------
// Cell log reader and plot loop.

constexpr int kLineBufferSize = 10000;        // one line: 9999 characters and the NUL
constexpr int kLineChars = kLineBufferSize - 1;
constexpr int kMaxRowValues = 400;            // values after the 400th of a row are ignored
constexpr std::size_t kReadChunk = 64 * 1024; // bytes fetched from the file at a time

// The decompression of a compressed log (compressed.h), made only for one.
struct CompressedInput;
struct CompressedInputRelease {
    void operator()(CompressedInput* input) const;
};

// The cell log opened for line reads with the semantics of a text-mode
// stream: a line ends at a line feed, carriage returns belong to no line,
// a 0x1A byte ends the file.
//
// Bytes are fetched with the system's own read, which returns what has
// arrived: a log that comes through a pipe while its simulation runs is
// drawn as it comes. A regular file is still read in whole chunks. A log
// that begins as a compressed stream does is decompressed into `bytes` a
// chunk at a time, and read from there as a plain one.
struct CellLogStream {
    std::FILE* file = nullptr;
    bool open_failed = false;   // every read stores an empty line and never reaches the end
    bool whole_chunks = false;  // a regular file: every fetch fills the chunk until the end
    // When the picture was last put on the screen before waiting for the log.
    std::chrono::steady_clock::time_point last_shown{};
    // Called when the reader is about to wait for more of a log that is not
    // a regular file, and then at least every 50 ms while it waits; null
    // until there is a window to serve.
    void (*while_waiting)() = nullptr;
    // Called at least every 50 ms while the log is read, whatever is drawn,
    // and when it was last; null until there is a window to answer for.
    void (*while_reading)() = nullptr;
    std::chrono::steady_clock::time_point last_answered{};
#ifdef _WIN32
    // A second handle on a log that is not a regular file, opened for
    // overlapped reads, and the event they signal; null where the system
    // gives none (the descriptor is read then).
    void* read_handle = nullptr;
    void* read_event = nullptr;
#endif
    bool end_reached = false;   // the end-of-file state: a read met the end of the file
    bool source_done = false;   // no byte will come any more (end, read error or 0x1A)
    std::size_t next = 0;       // next unread byte of `bytes`
    std::size_t filled = 0;     // bytes of `bytes` that hold file data
    // Where in `bytes` the next carriage return, 0x1A and NUL lie (`filled`
    // when there is none, kNotSought when not looked for yet): a line with
    // none of them is taken where it stands, without a copy.
    std::size_t next_return = 0;
    std::size_t next_end_byte = 0;
    std::size_t next_nul = 0;
    bool format_known = false;  // the first bytes have been looked at
    // Bytes of text (decompressed, for a compressed log) fetched so far, and
    // the most that may be: a log read again stops where its first read did.
    std::uint64_t text_fetched = 0;
    std::uint64_t text_limit = UINT64_MAX;
    // Set for a compressed log: its raw bytes and their decompressor.
    std::unique_ptr<CompressedInput, CompressedInputRelease> compressed;
    bool damaged = false;       // the compressed data was corrupt or cut short: the log ended there
    // A read of the file failed (the log ended there): the system's text
    // for the error; empty while none has.
    char read_error[160] = "";
    // A regular file's size when it was opened, and the bytes fetched from
    // it since: the file ending before that size was shortened meanwhile.
    long long size_at_open = 0;
    long long fetched = 0;
    bool cut_short = false;     // the file ended before its size at opening
    std::size_t lines_cut = 0;  // lines read so far that were longer than kLineChars
    unsigned char bytes[kReadChunk];  // the chunk lines are read from: file data, or decompressed text
};

// A line as read: `length` characters at `text`, up to the line's first NUL
// (so exactly the string a NUL-terminated copy would hold), not terminated.
// Valid until the next read of the stream.
struct LineView {
    const char* text;
    std::size_t length;
};

// Opens `file_name` for reading; a failure leaves the stream failed, which
// later reads report as empty lines.
void open_cell_log(CellLogStream& stream, const char* file_name);
// The same, for a stream opened already (standard input, say), which the
// cell log stream then owns; null is a failed open.
void open_cell_log_file(CellLogStream& stream, std::FILE* file);
void close_cell_log(CellLogStream& stream);
// Takes a regular file's log back to its start, to be read again only as
// far as it has been read so far; false for any other log, or when the
// system cannot.
bool rewind_cell_log(CellLogStream& stream);
// Reads the next line into `line` (kLineBufferSize bytes), without its line
// feed, NUL-terminated. Sets `end_reached` when the read meets the end of
// the file, whether or not it read characters first. After the end, and on
// a stream that failed to open, it stores an empty line. A line longer than
// kLineChars keeps its first kLineChars characters; the rest of that
// physical line is skipped.
void read_line(CellLogStream& stream, char* line);
// The same read, with the same effect on the stream, but the line is left
// where it lies in the stream's chunk when it can be: `line` is filled only
// when the line needs changing (carriage returns in it, cut at 9999
// characters) or lies across two chunks.
LineView read_line_view(CellLogStream& stream, char* line);
// Splits the line at blanks (0x20 only) and converts the first
// kMaxRowValues tokens into `values`; returns how many were converted.
int split_row(const LineView& line, double* values);
int split_row(const char* line, double* values);  // a NUL-terminated line
// True when the line holds nothing but blanks (0x20).
bool is_blank_line(const LineView& line);
bool is_blank_line(const char* line);  // a NUL-terminated line

// The stages of the log's way in, each over the one below: the source
// (source.cpp), the text (compressed.cpp), the lines (above), the plot
// loop (plot.cpp), the run (reader.cpp).

// The source: the log's file, opened (null: a failed open), taken back to
// its start (regular files only; false otherwise, or when the system
// cannot), closed.
void open_log_source(CellLogStream& stream, std::FILE* file);
bool rewind_log_source(CellLogStream& stream);
void close_log_source(CellLogStream& stream);
// The raw bytes of the log, from its file: up to `size` of them into `into`,
// all that come for a regular file, what has arrived for anything else
// (after showing the picture, should the read have to wait); 0 when no byte
// will come any more. A failed read, or a regular file that ends short of
// its size at opening, is noted in the stream (`read_error`, `cut_short`)
// and ends the log: no read is tried after it. Once a chunk, the window
// system is answered when its time has come (answer_on_clock).
std::size_t fetch_log_bytes(CellLogStream& stream, unsigned char* into, std::size_t size);
// The same read with nothing shown, served or answered: for a reader that
// is not the program's main thread, which waits in it as the system's read
// waits.
std::size_t read_log_bytes(CellLogStream& stream, unsigned char* into, std::size_t size);
// Calls `while_reading` when at least 40 ms have passed since it last did.
void answer_on_clock(CellLogStream& stream);
#ifndef _WIN32
// Whether a read of the log would return at once (bytes, the end or an
// error), waiting up to `timeout_ms` for it.
bool log_bytes_ready(const CellLogStream& stream, int timeout_ms);
// The wait before a read of a log that is not a regular file: returns when
// `ready(what, timeout_ms)` says what is awaited is there (it waits up to
// timeout_ms for it); meanwhile the picture is put on the screen, at most
// once a frame, and the window served while the wait goes on.
void wait_showing(CellLogStream& stream, bool (*ready)(void*, int), void* what);
#endif

// The text: the next chunk of the log's text into `bytes`, its length
// returned; 0 when no byte will come any more. The log's first bytes tell
// whether it is compressed: a plain log's text is its bytes; a compressed
// one's is decompressed (which sets `damaged` where the data is damaged or
// cut short); a log in a compressed format this build cannot read has no
// text.
std::size_t fetch_log_text(CellLogStream& stream);
// As the source's open, rewind and close, with the text's own state.
void open_log_text(CellLogStream& stream, std::FILE* file);
bool rewind_log_text(CellLogStream& stream);
void close_log_text(CellLogStream& stream);

// The plot loop, from the log's first row `line`, which has already been
// read into the stream's chunk or `line_buffer`, to the end of the file.
// Each row is drawn before the next line is read, and the console is
// flushed as soon as a block has ended and the next one's first row is in.
void plot_rows(CellLogStream& stream, char* line_buffer, LineView line);

// Reads and plots the whole cell log; returns the exit status. File
// problems are reported before any window opens.
int read_cell_log(const char* file_name);
// The message for a log that cannot be plotted, on standard output.
void print_file_error(const char* file_name);
// The line that says why the log ended early (a read error, a file
// shortened while read, damaged compressed data), on standard error;
// nothing when it simply ended.
void report_early_end(const CellLogStream& stream, const char* file_name);

// The value in column `column` (counting from 0, at most kMaxRowValues - 1)
// of a row, converted as split_row converts it, into *value; false when the
// row has no such column. The other tokens are passed over unconverted.
bool row_value_at(const LineView& line, int column, double* value);
// Reads a log whose first read has ended again from its start, as far as
// the first read went, and plots cell (column, row) of every block alone,
// as the one cell of a log whose model is one cell: the grid of one box,
// then its points. `serve` is called about every 1/60 s while it reads;
// the read stops early when it returns false.
void replot_cell(CellLogStream& stream, int column, int row, bool (*serve)());

// ---------------------------------------------------------------------------
// Cell grid geometry.

extern int plot_height;   // plot viewport bottom - top
extern int plot_width;    // plot viewport right - left
extern int point_color;   // colour of plotted points, 5
extern int grid_columns;  // box columns, from the first row of the first block
extern int grid_rows;     // box rows, always grid_columns

// A pixel in plot viewport coordinates. `placed` is false when the point
// has no position at all (a coordinate that is not a number, or no grid
// sized yet); such a point is not drawn.
struct ScreenPoint {
    int x;
    int y;
    bool placed;
};

void measure_plot_area();
ScreenPoint cell_to_screen(int column, int row, double x_value, double y_value);
void draw_grid_column(int column, int count);
void plot_cell_value(int column, int row, double time, double value);
// cell_to_screen for columns 0 to count - 1 (at most kMaxRowValues) of one
// row, value c in column c, into `points`; returns how many were mapped.
int map_cell_row(int row, double time, const double* values, int count, ScreenPoint* points);
// plot_cell_value for columns 0 to count - 1 (at most kMaxRowValues) of one
// row, in that order: the same pixels, drawn in the same order.
void plot_cell_row(int row, double time, const double* values, int count);

// A box of the grid and the time and value at a pixel of it.
struct CellReading {
    int column;
    int row;
    double time;
    double value;
};
// The box under pixel (x, y) of the plot viewport and, by the inverse of
// cell_to_screen, the time and value at that pixel's centre; false when the
// pixel is not inside a box (a grid line, outside the grid, no grid yet).
bool screen_to_cell(int x, int y, CellReading* reading);

// ---------------------------------------------------------------------------
// Looking closer: the pointer's readout in the caption, and one cell opened
// across the whole plot area (on page 1; the grid stays on page 0).

// What looking closer knows of the run, set once the plot area is measured.
struct CloserState {
    CellLogStream* stream = nullptr;  // the log, to read a cell again; null before the plot
    const char* file_name = nullptr;  // as on the command line
    int plot_left = 0;                // the plot viewport's origin in the window
    int plot_top = 0;
    int grid_count = 0;               // the grid's size, kept while a cell is open
    int open_column = -1;             // the cell open, -1 while the grid is shown
    int open_row = -1;
    bool reading = false;             // the open cell's log is being read again
    bool back_asked = false;          // going back was asked for while it was read
    char caption[192] = {};           // the caption last set; empty: the window's own
};
extern CloserState closer;

// Starts looking closer at the log of `stream`, once the plot area is measured.
void watch_pointer(CellLogStream* stream, const char* file_name);
// Acts on every pointer event waiting in the graphics layer.
void take_pointer_events();

// ---------------------------------------------------------------------------
// Screen frame and key wait.

extern int graph_driver;
extern int graph_mode;
extern int max_x;
extern int max_y;
extern int color_count;

void start_graphics();
void draw_title_bar(const char* text);
void draw_status_bar(const char* message);
void draw_plot_frame();
void wait_key_or_escape();
// For the reader while a log that is not a regular file pauses: takes the
// window's messages; Esc among the keys, or the window closed, ends the run
// with status 1.
void serve_window_while_waiting();
void show_end_screen();

#endif  // PELMORIX_VIEWER_H
