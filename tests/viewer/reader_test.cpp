// Unit tests of the cell log reader's pieces: the text-mode line read with
// its end-of-file state, the split of a row into values, the blank-line test
// and the number conversion; and the plot loop in this process, on the
// headless display, fed through a pipe.
#include <gtest/gtest.h>
#include <platform_testing.h>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "graphics.h"
#include "graphics_internal.h"
#include "support.h"
#include "viewer.h"

namespace {

using viewer_test::ScratchDir;

// One line read: what it stores and whether the end of the file was reached.
struct Read {
    std::string line;
    bool end;
};

// Reads `count` lines of a file holding `bytes`.
std::vector<Read> read_lines(const std::string& bytes, int count) {
    ScratchDir dir;
    const std::string path = dir.write("log.skv", bytes);
    auto stream = std::make_unique<CellLogStream>();
    open_cell_log(*stream, path.c_str());
    std::vector<Read> reads;
    std::vector<char> line(kLineBufferSize, 'X');
    for (int i = 0; i < count; ++i) {
        read_line(*stream, line.data());
        reads.push_back(Read{std::string(line.data()), stream->end_reached});
    }
    close_cell_log(*stream);
    return reads;
}

std::string describe(const std::vector<Read>& reads) {
    std::string s;
    for (const Read& r : reads) s += "[" + r.line + (r.end ? "] end " : "] ");
    return s;
}

void expect_reads(const std::string& bytes, const std::vector<Read>& expected, const char* what) {
    const std::vector<Read> got = read_lines(bytes, static_cast<int>(expected.size()));
    EXPECT_EQ(describe(got), describe(expected)) << what;
}

TEST(ReadLine, FollowsTheTextModeLineRules) {
    struct Case {
        const char* what;
        std::string bytes;
        std::vector<Read> reads;
    } cases[] = {
        {"last line without a line end reaches the end while reading it", "a\nb", {{"a", false}, {"b", true}, {"", true}}},
        {"last line with a line end: the end is met by the next read", "a\nb\n", {{"a", false}, {"b", false}, {"", true}}},
        {"empty file", "", {{"", true}}},
        {"reads after the end store empty lines and stay at the end", "x\n", {{"x", false}, {"", true}, {"", true}, {"", true}}},
        {"empty lines are lines", "\n\n", {{"", false}, {"", false}, {"", true}}},
        {"carriage returns belong to no line", "a\r\nb\rc\r\n\r\n", {{"a", false}, {"bc", false}, {"", false}, {"", true}}},
        {"a line of carriage returns only is empty", "\r\r\r", {{"", true}}},
        {"0x1A ends the file in the middle of a line", "a\nb\x1A" "c\nd\n", {{"a", false}, {"b", true}, {"", true}}},
        {"0x1A right after a line end", "a\n\x1A\nb\n", {{"a", false}, {"", true}, {"", true}}},
        {"blanks and tabs are kept", "  1\t2  \n", {{"  1\t2  ", false}}},
    };
    for (const Case& c : cases) expect_reads(c.bytes, c.reads, c.what);
}

TEST(ReadLine, FileThatCannotBeOpenedGivesEmptyLinesButNeverTheEnd) {
    auto stream = std::make_unique<CellLogStream>();
    open_cell_log(*stream, "/nonexistent/pelmorix/log.skv");
    char line[kLineBufferSize] = "stale";
    for (int i = 0; i < 3; ++i) {
        read_line(*stream, line);
        EXPECT_STREQ(line, "");
        EXPECT_FALSE(stream->end_reached);
    }
    close_cell_log(*stream);
}

TEST(ReadLine, LongLinesKeepTheirFirst9999Characters) {
    const std::string full(kLineChars, 'x');
    struct Case {
        const char* what;
        std::string bytes;
        std::vector<Read> reads;
    } cases[] = {
        // Exactly the buffer's capacity: the line end still belongs to it.
        {"9999 characters and a line end", full + "\nz\n", {{full, false}, {"z", false}}},
        // Carriage returns do not count towards the limit.
        {"9999 characters with carriage returns", "\r" + full + "\r\nz\n", {{full, false}, {"z", false}}},
        // One more: the rest of the physical line is skipped, reading goes on.
        {"10000 characters", full + "y\nz\n", {{full, false}, {"z", false}}},
        {"far longer line", full + std::string(30000, 'y') + "\nz\n", {{full, false}, {"z", false}}},
        // The skipped rest runs into the end of the file.
        {"overlong last line without a line end", full + "yyy", {{full, true}, {"", true}}},
        {"0x1A inside the skipped rest", full + "yy\x1Ayy\nz\n", {{full, true}, {"", true}}},
    };
    for (const Case& c : cases) expect_reads(c.bytes, c.reads, c.what);
}

TEST(ReadLine, LinesAcrossReadChunksComeOutWhole) {
    // Enough short CR LF lines to cross several chunk boundaries, at varying
    // places within a line.
    std::string bytes;
    std::vector<std::string> lines;
    for (int i = 0; bytes.size() < 3 * kReadChunk + 100; ++i) {
        lines.push_back(std::to_string(i) + " " + std::string(static_cast<std::size_t>(i % 37), '7'));
        bytes += lines.back() + "\r\n";
    }
    const std::vector<Read> got = read_lines(bytes, static_cast<int>(lines.size()) + 1);
    ASSERT_EQ(got.size(), lines.size() + 1);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        ASSERT_EQ(got[i].line, lines[i]) << "line " << i;
        ASSERT_FALSE(got[i].end) << "line " << i;
    }
    EXPECT_EQ(got.back().line, "");
    EXPECT_TRUE(got.back().end);
}

// Every line of the log at `path`, up to and including the read that
// reaches the end; `damaged` tells what the stream said of its data.
std::vector<Read> read_to_end(const std::string& path, bool* damaged) {
    auto stream = std::make_unique<CellLogStream>();
    open_cell_log(*stream, path.c_str());
    std::vector<Read> reads;
    std::vector<char> line(kLineBufferSize);
    do {
        read_line(*stream, line.data());
        reads.push_back(Read{std::string(line.data()), stream->end_reached});
    } while (!stream->end_reached && !stream->open_failed);
    *damaged = stream->damaged;
    close_cell_log(*stream);
    return reads;
}

TEST(ReadLine, CompressedLogsGiveTheLinesOfTheirText) {
    // A log of several chunks once decompressed, with line ends of both
    // kinds, blank lines and a last line without a line end.
    std::string text = "heading\r\n";
    for (int i = 0; text.size() < 3 * kReadChunk + 100; ++i) {
        text += std::to_string(i) + " " + std::string(static_cast<std::size_t>(i % 37), '7') + (i % 5 ? "\n" : "\r\n");
        if (i % 40 == 0) text += "\n";
    }
    text += "9 9";
    const std::string half = text.substr(0, text.size() / 2);
    const std::string rest = text.substr(text.size() / 2);
    ScratchDir dir;
    bool damaged = true;
    const std::string expected = describe(read_to_end(dir.write("plain.skv", text), &damaged));
    ASSERT_FALSE(damaged);
    // A zstd frame whose header says it uses a reserved feature: damage
    // right after the whole text.
    std::string corrupt_frame = viewer_test::compress("zstd", "1 2\n");
    if (corrupt_frame.size() > 4) corrupt_frame[4] = static_cast<char>(corrupt_frame[4] | 0x08);
    const struct {
        const char* what;
        std::string bytes;
        bool damaged = false;  // the text is whole, then the data is damaged
    } cases[] = {
        {"gzip, then bytes that are no member", viewer_test::compress("gzip", text) + "no member", true},
        {"zstd, then a corrupt frame", viewer_test::compress("zstd", text) + corrupt_frame, true},
        {"gzip", viewer_test::compress("gzip", text)},
        {"gzip, two members", viewer_test::compress("gzip", half) + viewer_test::compress("gzip", rest)},
        {"zstd", viewer_test::compress("zstd", text, {"-3"})},
        {"zstd, two frames", viewer_test::compress("zstd", half) + viewer_test::compress("zstd", rest)},
        {"xz", viewer_test::compress("xz", text)},
        {"xz, two streams", viewer_test::compress("xz", half) + viewer_test::compress("xz", rest)},
    };
    for (const auto& c : cases) {
        ASSERT_GT(c.bytes.size(), 20u) << c.what << ": the compressing tool did not run";
        damaged = true;
        EXPECT_EQ(describe(read_to_end(dir.write("log", c.bytes), &damaged)), expected) << c.what;
        EXPECT_EQ(damaged, c.damaged) << c.what;
        // Through a pipe in small pieces: the first bytes one at a time, too
        // few to tell the format by, then odd-sized pieces, each let reach
        // the reader on its own.
        int ends[2];
        ASSERT_EQ(pipe(ends), 0);
        std::thread writer([&] {
            for (std::size_t done = 0; done < c.bytes.size();) {
                const std::size_t piece = std::min<std::size_t>(done < 6 ? 1 : 4093, c.bytes.size() - done);
                if (write(ends[1], c.bytes.data() + done, piece) != static_cast<ssize_t>(piece)) break;
                done += piece;
                std::this_thread::sleep_for(std::chrono::milliseconds(done <= 6 ? 5 : 1));
            }
            close(ends[1]);
        });
        damaged = true;
        const std::vector<Read> piped = read_to_end("/dev/fd/" + std::to_string(ends[0]), &damaged);
        // A reader that stopped early leaves the writer a pipe with nobody
        // at its end: its write fails rather than waits.
        std::signal(SIGPIPE, SIG_IGN);
        close(ends[0]);
        writer.join();
        EXPECT_EQ(describe(piped), expected) << c.what << ", through a pipe";
        EXPECT_EQ(damaged, c.damaged) << c.what << ", through a pipe";
    }
}

std::vector<double> split(const std::string& text) {
    std::vector<char> line(text.begin(), text.end());
    line.push_back('\0');
    double values[kMaxRowValues];
    const int count = split_row(line.data(), values);
    return std::vector<double>(values, values + count);
}

// A cellular automaton's row: `count` one-digit states after `first`.
std::string states_after(const std::string& first, int count) {
    std::string line = first;
    for (int i = 0; i < count; ++i) line += i % 3 == 0 ? " 1" : " 0";
    return line;
}

std::vector<double> state_values_after(double first, int count) {
    std::vector<double> values{first};
    for (int i = 0; i < count; ++i) values.push_back(i % 3 == 0 ? 1 : 0);
    return values;
}

TEST(SplitRow, SplitsAtBlanksOnlyAndConvertsEveryToken) {
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        const char* what;
        std::string line;
        std::vector<double> values;
    } cases[] = {
        {"plain row", "1 2 3", {1, 2, 3}},
        {"blanks around and between", "   1    -2.5   ", {1, -2.5}},
        {"empty line", "", {}},
        {"blanks only", "     ", {}},
        // A tab is part of the token; the token converts to its leading number.
        {"tab-separated values", "1\t2\t3", {1}},
        {"tab then blank", "1\t 2", {1, 2}},
        // A token of white space alone is 0, and must not run on into the next token.
        {"token that is only a tab", "\t 5", {0, 5}},
        {"a word takes its column as 0", "1 abc 3", {1, 0, 3}},
        // No hexadecimal, infinity or NaN: each takes its column as 0, or
        // as the decimal "0" in front of it.
        {"infinity, hexadecimal and nan", "inf 0x10 -INFINITY nan 0x5", {0, 0, 0, 0, 0}},
        {"numbers beyond a double's range", "1e400 -1e400", {inf, -inf}},
        // Whole numbers are converted many at a time, and still no more
        // than 400 of them.
        {"whole numbers of a cellular model", "0 1 -1 -0 42 -99 999 007 -305 1000 -1000 1-2",
         {0, 1, -1, -0.0, 42, -99, 999, 7, -305, 1000, -1000, 1}},
        {"more than 400 states", states_after("999", 420), state_values_after(999, kMaxRowValues - 1)},
    };
    for (const Case& c : cases) EXPECT_EQ(split(c.line), c.values) << c.what;
}

TEST(BlankLine, OnlyBlanksMakeABlankLine) {
    EXPECT_TRUE(is_blank_line(""));
    EXPECT_TRUE(is_blank_line("    "));
    EXPECT_FALSE(is_blank_line("  \t "));  // a tab is a token
    EXPECT_FALSE(is_blank_line(" 0 "));
}

// One row of a log and the points it must leave in the window.
struct LiveRow {
    int row;
    double time;
    double values[2];
};

// What the window and the console hold when the reader is about to wait:
// the console so far and every row of `rows` whose points are not all
// drawn yet.
std::string live_state(const std::string& console, const std::vector<LiveRow>& rows) {
    ViewportRecord plot;
    get_view_settings(&plot);
    std::string missing;
    for (const LiveRow& r : rows) {
        for (int c = 0; c < 2; ++c) {
            const ScreenPoint p = cell_to_screen(c, r.row, r.time, r.values[c]);
            unsigned rgb = 0;
            if (!platform_testing::read_pixel(graphics_context().screen_dc, plot.left + p.x, plot.top + p.y, &rgb) ||
                rgb != 0xFF00FF) {  // colour 5, the points' colour
                missing += " " + std::to_string(r.values[c]);
            }
        }
    }
    return "console [" + console + "] missing [" + missing + " ]";
}

// A run of the plot loop in this process, on the headless display: while
// alive, standard output goes to `console_path` and the final prompt's key
// is waiting. The display, made once for the whole process, reads its keys
// from one descriptor, so each run puts its own keys there.
class PlotRun {
public:
    explicit PlotRun(const std::string& console_path) {
        setenv("PELMORIX_DISPLAY", "headless", 1);
        if (pipe(keys_) != 0 || write(keys_[1], "x", 1) != 1 || dup2(keys_[0], kKeyInput) != kKeyInput) {
            ADD_FAILURE() << "no key for the final prompt";
        }
        platform_testing::set_headless_input(kKeyInput);
        std::fflush(stdout);
        saved_stdout_ = dup(1);
        const int console = open(console_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (console < 0) ADD_FAILURE() << "no console file";
        dup2(console, 1);
        close(console);
    }
    ~PlotRun() {
        std::fflush(stdout);
        dup2(saved_stdout_, 1);
        close(saved_stdout_);
        platform_testing::set_headless_input(0);
        for (const int fd : {kKeyInput, keys_[0], keys_[1]}) close(fd);
    }
    PlotRun(const PlotRun&) = delete;
    PlotRun& operator=(const PlotRun&) = delete;

private:
    static constexpr int kKeyInput = 100;
    int keys_[2] = {-1, -1};
    int saved_stdout_ = -1;
};

// A simulation writing its log in `bursts` through a FIFO and keeping it
// open. The reader hands the picture to the screen (GdiFlush) just before it
// waits for more; at that moment every row of the bursts so far must be in
// the window, and the dimension line on the console once the second block
// has begun. Only then is the next burst written.
void expect_drawn_before_waiting(const std::vector<std::string>& bursts) {
    ScratchDir dir;
    const std::string fifo = dir.file("live.skv");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // Read and write: the reader's open does not wait for a writer, and the
    // log ends when this descriptor closes.
    int writer = open(fifo.c_str(), O_RDWR);
    ASSERT_GE(writer, 0);
    // The rows of "heading\n1 2\n3 4\n", "\n5 6\n" and "7 8\n".
    const std::vector<std::vector<LiveRow>> burst_rows = {
        {{0, 0, {1, 2}}, {1, 0, {3, 4}}}, {{0, 0.025, {5, 6}}}, {{1, 0.025, {7, 8}}}};
    ASSERT_EQ(write(writer, bursts[0].data(), bursts[0].size()), static_cast<ssize_t>(bursts[0].size()));

    // Limits that put every point inside its box, clear of the grid lines.
    minimox = -1;
    maximox = 1;
    minimoy = 0;
    maximoy = 10;
    const std::string console_path = dir.file("console");
    auto run = std::make_unique<PlotRun>(console_path);

    std::mutex lock;
    std::condition_variable finished;
    bool done = false;
    std::vector<LiveRow> rows_sent;
    std::vector<std::string> seen;
    platform_testing::on_gdi_flush([&] {
        std::lock_guard<std::mutex> hold(lock);
        if (graphics_context().screen_dc == nullptr || writer < 0) return;  // not plotting, or all sent
        const std::size_t sent = seen.size() + 1;
        for (const LiveRow& r : burst_rows[sent - 1]) rows_sent.push_back(r);
        seen.push_back(live_state(viewer_test::read_file(console_path), rows_sent));
        if (sent < bursts.size()) {
            if (write(writer, bursts[sent].data(), bursts[sent].size()) < 0) seen.push_back("write failed");
        } else {
            close(writer);  // the end of the log
            writer = -1;
        }
    });
    // Should the reader wait without showing the picture first, nothing more
    // is written: end the log after a while, so that the test fails but ends.
    std::thread watchdog([&] {
        std::unique_lock<std::mutex> hold(lock);
        if (!finished.wait_for(hold, std::chrono::seconds(30), [&] { return done; }) && writer >= 0) {
            close(writer);
            writer = -1;
        }
    });
    platform_testing::journal_enable(true);
    const int status = read_cell_log(fifo.c_str());
    const std::size_t served = platform_testing::journal_of("PeekMessageA").size();
    platform_testing::journal_enable(false);
    platform_testing::journal_clear();
    {
        std::lock_guard<std::mutex> hold(lock);
        done = true;
    }
    finished.notify_one();
    watchdog.join();
    platform_testing::on_gdi_flush(nullptr);
    run.reset();
    if (writer >= 0) close(writer);

    EXPECT_EQ(status, 0);
    const std::string dimension = "Dimension detectada del modelo: 2 x 2\n";
    EXPECT_EQ(seen, (std::vector<std::string>{"console [] missing [ ]", "console [" + dimension + "] missing [ ]",
                                              "console [" + dimension + "] missing [ ]"}));
    EXPECT_GT(served, 0u) << "the window's messages were not taken while the log paused";
}

TEST(PlotLoop, ARegularFileIsPlottedWithoutTakingTheWindowsMessages) {
    // Read in whole chunks, a file never makes the reader wait: its window
    // hears nothing until the final prompt.
    ScratchDir dir;
    const std::string path = dir.write("log.skv", "heading\n1 2\n3 4\n\n5 6\n7 8\n");
    int status = -1;
    std::size_t served = 0;
    std::size_t waited = 0;
    {
        PlotRun run(dir.file("console"));
        platform_testing::journal_enable(true);
        status = read_cell_log(path.c_str());
        served = platform_testing::journal_of("PeekMessageA").size();
        waited = platform_testing::journal_of("GetMessageA").size();
        platform_testing::journal_enable(false);
        platform_testing::journal_clear();
    }
    EXPECT_EQ(status, 0);
    EXPECT_GT(waited, 0u) << "the final prompt took no message";
    EXPECT_EQ(served, 0u);
}

TEST(PlotLoop, RowsFromAPipeAreDrawnAndReportedBeforeTheReaderWaits) {
    const std::vector<std::string> text = {"heading\n1 2\n3 4\n", "\n5 6\n", "7 8\n"};
    {
        SCOPED_TRACE("plain");
        expect_drawn_before_waiting(text);
    }
    // Compressed, each burst a whole member: the text of one is read before
    // the reader waits for the next.
    std::vector<std::string> members;
    for (const std::string& t : text) members.push_back(viewer_test::compress("gzip", t));
    SCOPED_TRACE("gzip members");
    expect_drawn_before_waiting(members);
}

TEST(AtofValue, ConvertsTheLongestNumberPrefix) {
    // (The cases the command line shows, abc, 12abc, 0x10, inf, nan and 1e400,
    // are checked through the program's echo.)
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        const char* text;
        double value;
    } cases[] = {
        {"  7", 7},          // leading white space skipped
        {"\t-3.5", -3.5},    // a tab is white space too
        {"\v\f\r\n+.5e1", 5}, // and so are VT, FF, CR and LF
        {"+2", 2},           // explicit sign
        {".5", 0.5},         // no integer part
        {"5.", 5},           // no fraction digits
        {"1e3", 1000},       // exponent
        {"2.5e-1x", 0.25},   // exponent then text
        {"1e5x", 100000},    // the same with no point
        {"1e", 1},           // exponent letter without digits is not part of the number
        {"5e", 5},
        {"1e+", 1},          // nor with a sign only
        {"-", 0},            // a sign alone
        {".", 0},            // a point alone
        {"", 0},             // nothing
        {"0x10", 0},         // hexadecimal is not read: the number is the "0" in front
        {"0x1p3", 0},
        {"00x5", 0},
        {"inf", 0},          // nor are infinities and NaNs, in any spelling
        {"-Infinity", 0},
        {"nan(1)", 0},
        {"-1e400", -inf},    // beyond a double's range
        {"1e-400", 0},       // below the smallest double
        {"650.2", 650.2},    // correctly rounded
    };
    for (const Case& c : cases) EXPECT_EQ(atof_value(c.text), c.value) << '"' << c.text << '"';
    // The sign of a zero survives where the number has one, and only there.
    EXPECT_TRUE(std::signbit(atof_value("-0x1")));
    EXPECT_TRUE(std::signbit(atof_value("-1e-400")));
    EXPECT_FALSE(std::signbit(atof_value("-abc")));
    EXPECT_FALSE(std::signbit(atof_value("-nan")));
    EXPECT_FALSE(std::signbit(atof_value("-inf")));
}

}  // namespace
