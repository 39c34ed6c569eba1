// Hostile input for the program as a user runs it, headless: odd cell logs,
// odd limits, files that cannot be read or change while being read, and
// standard input that ends, is missing or brings a burst of keys. Every case
// checks the exit status, the console output byte for byte, that the process
// ended by itself, that nothing was written to standard error (where the
// sanitizers report) but the line that says a compressed log is damaged,
// and that the program wrote no file: the cell log keeps its bytes and time
// stamp, and the empty folder it runs in holds at most the snapshot asked
// for afterwards.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "../support/decimal_model.h"
#include "../viewer/support.h"

namespace {

using viewer_test::Launch;
using viewer_test::Outcome;
using viewer_test::Picture;
using viewer_test::Process;
using viewer_test::ScratchDir;

const std::string kExe = PELMORIX_EXE;
constexpr std::uint32_t kPointMagenta = 0xFF00FF;  // colour 5: plotted points and nothing else

const char kInconsistent[] = "Error. Minimos y maximos inconsistentes. Un minimo no puede ser mayor que un maximo...\n";

std::string g(double v) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%g", v);
    return buffer;
}

// The echo lines, the limits read by the decimal model and printed by the C
// library.
std::string echo(const std::string& file, const std::vector<std::string>& limits) {
    const auto v = [&](int i) { return g(decimal_model::convert(limits[static_cast<std::size_t>(i)])); };
    return "Archivo skv: " + file + "\nMinimo(x)=" + v(0) + " Minimo(y)=" + v(1) + "\nMaximo(x)=" + v(2) +
           " Maximo(y)=" + v(3) + "\n";
}

std::string file_error(const std::string& file) { return "Error. Archivo vacio o con formato erroneo: " + file + "\n"; }
std::string dimension(int columns, int rows) {
    return "Dimension detectada del modelo: " + std::to_string(columns) + " x " + std::to_string(rows) + "\n";
}

// What a folder holds: each entry's bytes (files) and modification time.
struct Entry {
    std::string bytes;
    long long mtime_ns;
    bool operator==(const Entry& o) const { return bytes == o.bytes && mtime_ns == o.mtime_ns; }
};
std::map<std::string, Entry> contents(const std::string& folder) {
    std::map<std::string, Entry> out;
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
        struct stat st;
        if (lstat(e.path().c_str(), &st) != 0) continue;
        const long long mtime = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
        out[e.path().filename().string()] =
            Entry{S_ISREG(st.st_mode) ? viewer_test::read_file(e.path().string()) : std::string(), mtime};
    }
    return out;
}

std::vector<std::string> names(const std::map<std::string, Entry>& folder) {
    std::vector<std::string> out;
    for (const auto& [name, entry] : folder) out.push_back(name);
    return out;
}

int count_points(const Picture& picture) {
    int n = 0;
    for (std::uint32_t p : picture.pixels) n += p == kPointMagenta;
    return n;
}

// Pixels that are a point in one picture and not in the other (the
// pictures' titles may differ); every pixel when their sizes differ.
std::size_t points_differing(const Picture& a, const Picture& b) {
    if (a.pixels.size() != b.pixels.size()) return std::max(a.pixels.size(), b.pixels.size());
    std::size_t differ = 0;
    for (std::size_t i = 0; i < a.pixels.size(); ++i)
        differ += (a.pixels[i] == kPointMagenta) != (b.pixels[i] == kPointMagenta);
    return differ;
}

// One run: the cell log in a folder of its own, the program in another,
// empty one that only the snapshot may appear in.
struct LogRun {
    ScratchDir logs;
    ScratchDir work;
    std::string log;  // the cell log's path, as given to the program
    Launch launch;

    LogRun(const std::string& bytes, const std::vector<std::string>& limits, const std::string& keys) {
        log = logs.write("log.skv", bytes);
        launch.args = {log};
        launch.args.insert(launch.args.end(), limits.begin(), limits.end());
        launch.env["PELMORIX_DISPLAY"] = "headless";
        launch.env["PELMORIX_SNAPSHOT"] = work.file("window.png");
        launch.cwd = work.path();
        launch.input = keys;
    }
    std::string snapshot() const { return work.file("window.png"); }
};

// The checks every case shares. Standard error stays empty but for the one
// line that says a compressed log's data is damaged.
void expect_clean_end(const Outcome& r, const std::string& what, int status, const std::string& out,
                      const std::string& err = "") {
    EXPECT_FALSE(r.timed_out) << what << ": the process did not end";
    EXPECT_EQ(r.status, status) << what;
    EXPECT_EQ(r.out, out) << what;
    EXPECT_EQ(r.err, err) << what;
}

std::string damage(const std::string& file) { return "Error. Datos comprimidos danados o incompletos: " + file + "\n"; }

// `window`: whether the program reached the final prompt, which writes the
// snapshot.
void expect_no_writes(const LogRun& run, const std::map<std::string, Entry>& logs_before, bool window, const std::string& what) {
    EXPECT_EQ(contents(run.logs.path()), logs_before) << what << ": the cell log's folder changed";
    const std::vector<std::string> expected = window ? std::vector<std::string>{"window.png"} : std::vector<std::string>{};
    EXPECT_EQ(names(contents(run.work.path())), expected) << what << ": files in the working folder";
}

// A log of one first row "1 2" and then `row`, ended by a blank line: the
// grid stays 2 x 2 (a first row of 400 values would draw a 400 x 400 grid,
// which under the sanitizers takes half a minute), and the dimension line
// reports how many values `row` was taken to have.
std::string after_first_row(const std::string& row) { return "heading\n1 2\n" + row + "\n\n"; }

std::string values(int count) {
    std::string s;
    for (int i = 0; i < count; ++i) s += (i > 0 ? " " : "") + std::to_string(i % 10);
    return s;
}

// A line of `length` characters holding two values, "4" first and "5" last:
// cut at 9999 characters, only the 4 is left.
std::string two_values_apart(std::size_t length) { return "4" + std::string(length - 2, ' ') + "5"; }

// A log of a first block "1 2 / 3 4" and then enough rows of varied
// numbers to compress to some kilobytes.
std::string long_log() {
    std::string s = "heading\n1 2\n3 4\n\n";
    for (int i = 0; i < 20000; ++i) s += std::to_string(i * 7919 % 10007) + " " + std::to_string(i) + "\n";
    return s;
}

// `bytes` with their first `keep` bytes only.
std::string cut(const std::string& bytes, std::size_t keep) { return bytes.substr(0, std::min(keep, bytes.size())); }

// A zstd frame whose header says it uses a reserved feature: no decoder
// can go on past its first bytes.
std::string corrupt_zstd_frame(std::string frame) {
    if (frame.size() > 4) frame[4] = static_cast<char>(frame[4] | 0x08);  // the descriptor's reserved bit
    return frame;
}

TEST(FaultMatrix, HostileCellLogs) {
    const std::string nul(1, '\0');
    const std::string gzip_log = viewer_test::compress("gzip", long_log());
    struct Case {
        const char* what;
        std::string bytes;
        std::string printed;  // after the echo
        bool window;          // the program reached the final prompt
        bool damaged = false; // standard error names the file's damaged compressed data
    } cases[] = {
        // Long lines: up to 9999 characters a line is whole; beyond, the rest
        // of the line is skipped and the next line is read as its own.
        {"line of 9999 characters", after_first_row(two_values_apart(9999)), dimension(2, 2), true},
        {"line of 10000 characters", after_first_row(two_values_apart(10000)), dimension(1, 2), true},
        {"line of 100,000 characters", after_first_row(two_values_apart(100000)), dimension(1, 2), true},
        {"line of 100,000 characters, then a row of its own",
         "heading\n1 2\n" + two_values_apart(100000) + "\n7 8 9\n\n", dimension(3, 3), true},
        // Long rows: the values after the 400th are ignored.
        {"row of 400 values", after_first_row(values(400)), dimension(400, 2), true},
        {"row of 401 values", after_first_row(values(401)), dimension(400, 2), true},
        {"row of 5,000 values", after_first_row(values(5000)), dimension(400, 2), true},
        // One huge line with no line end: the heading never ends.
        {"one line of a million characters, no line end", std::string(1000000, '7'), file_error(""), false},
        {"a heading, then a million characters with no line end", "heading\n" + values(500000), file_error(""), false},
        {"a last row of a million characters with no line end", "heading\n1 2\n\n" + values(500000), dimension(2, 1),
         true},
        // A NUL ends the line as a string; 0x1A ends the file where it stands.
        {"NUL in the middle of a row", "heading\n1 2\n3" + nul + " 4 5\n\n", dimension(1, 2), true},
        {"NUL in the middle of the heading", "head" + nul + "ing\n1 2\n\n", dimension(2, 1), true},
        {"0x1A in the middle of a row", "heading\n1 2\n3 4\x1A 5\n\n6\n", "", true},
        {"0x1A in the middle of the second line", "heading\n1 2\x1A" "3\n\n", file_error(""), false},
        // A carriage return alone ends no line, and belongs to none.
        {"lines ended by CR alone", "heading\r1 2\r3 4\r", file_error(""), false},
        {"CR alone inside a row", "heading\n1\r2 3\n\n", dimension(2, 1), true},
        // Blank lines.
        {"10,000 blank lines after a row", "heading\n1 2\n" + std::string(10000, '\n'), dimension(2, 1), true},
        {"10,000 blank lines after the heading", "heading\n" + std::string(10000, '\n'), file_error(""), false},
        {"a second line of 40,000 blanks and no line end", "heading\n" + std::string(40000, ' '), file_error(""), false},
        {"10,000 lines of blanks, each ended", [] {
             std::string s = "heading\n";
             for (int i = 0; i < 10000; ++i) s += "   \n";
             return s;
         }(),
         dimension(0, 1), true},
        // Numbers a double cannot hold, and forms that are no decimal numbers.
        {"numbers beyond range and odd forms", "heading\n1e400 -1e400 nan inf 0x1p3 +5 5e\n-inf -nan 1e-400 .5 5. 0x -\n\n",
         dimension(7, 2), true},
        // Compressed logs: damage ends the log where it lies, and is said
        // on standard error; before two lines it is the log's error.
        {"a gzip log cut short", cut(gzip_log, gzip_log.size() / 2), dimension(2, 2), true, true},
        {"a corrupt zstd frame after a whole one",
         viewer_test::compress("zstd", "heading\n1 2\n3 4\n\n5 6\n") +
             corrupt_zstd_frame(viewer_test::compress("zstd", "7 8\n\n")),
         dimension(2, 2), true, true},
        {"a gzip header and nothing after it", cut(gzip_log, 10), file_error(""), false, true},
        {"a gzip log whose text is one line", viewer_test::compress("gzip", "heading\n"), file_error(""), false},
    };
    const std::vector<std::string> limits = {"0", "0", "1", "1"};
    for (const Case& c : cases) {
        LogRun run(c.bytes, limits, "x");
        const auto before = contents(run.logs.path());
        const Outcome r = viewer_test::run(kExe, run.launch);
        // The error line names the file as given.
        const std::string printed = c.printed == file_error("") ? file_error(run.log) : c.printed;
        expect_clean_end(r, c.what, 0, echo(run.log, limits) + printed, c.damaged ? damage(run.log) : "");
        expect_no_writes(run, before, c.window, c.what);
    }
}

// The program with a library preloaded that makes reads of its cell log
// fail with `error` once `after` bytes have been read (0: the file ends
// there instead, as one shortened meanwhile).
void fail_reads(LogRun& run, long long after, int error) {
    run.launch.env["LD_PRELOAD"] = FAILING_READ_LIB;
    run.launch.env["FAILING_READ_PATH"] = std::filesystem::canonical(run.log).string();
    run.launch.env["FAILING_READ_AFTER"] = std::to_string(after);
    run.launch.env["FAILING_READ_ERRNO"] = std::to_string(error);
    // Under AddressSanitizer its runtime is then not the first library.
    const char* asan = std::getenv("ASAN_OPTIONS");
    run.launch.env["ASAN_OPTIONS"] = std::string(asan != nullptr ? asan : "") + ":verify_asan_link_order=0";
}

std::string read_failure(const std::string& file, int error) {
    return "Error. Fallo de lectura en " + file + ": " + std::strerror(error) + "\n";
}

// 10,000 blocks of 2 x 2 values between 0 and 1, over 250 time units:
// where a log ends shows in every box.
std::string blocks_log() {
    std::string s = "heading\n";
    char row[32];
    for (int i = 0; i < 10000; ++i) {
        std::snprintf(row, sizeof row, "0.%02d 0.%02d\n0.%02d 0.%02d\n\n", i % 100, i * 7 % 100, i * 13 % 100,
                      i * 31 % 100);
        s += row;
    }
    return s;
}

TEST(FaultMatrix, AReadThatFails) {
    const std::string plain = blocks_log();
    const std::string gzip_log = viewer_test::compress("gzip", plain);
    const std::size_t middle = plain.size() / 2;
    struct Case {
        const char* what;
        std::string bytes;
        long long after;  // bytes read before the fault
        int error;        // 0: the file ends there
        bool window;      // the program reached the final prompt
        std::string err;  // FILE for the log's name
    } cases[] = {
        // What came before is drawn, the run ends as at the file's end, and
        // the failure is said.
        {"EIO in the middle of a log", plain, static_cast<long long>(middle), EIO, true, read_failure("FILE", EIO)},
        {"ENOMEM in the middle of a log", plain, static_cast<long long>(middle), ENOMEM, true,
         read_failure("FILE", ENOMEM)},
        // Before two lines: the file error, and the failure as well.
        {"EIO at the start of a log", plain, 0, EIO, false, read_failure("FILE", EIO)},
        {"ENOMEM inside the heading", plain, 5, ENOMEM, false, read_failure("FILE", ENOMEM)},
        // A compressed log: the failure, not damaged data.
        {"EIO in the middle of a gzip log", gzip_log, static_cast<long long>(gzip_log.size() / 2), EIO, true,
         read_failure("FILE", EIO)},
        // The file shorter than when it was opened.
        {"a log that ends before its size", plain, static_cast<long long>(middle), 0, true,
         "Error. El archivo se acorto mientras se leia: FILE\n"},
        {"a gzip log that ends before its size", gzip_log, static_cast<long long>(gzip_log.size() / 2), 0, true,
         "Error. El archivo se acorto mientras se leia: FILE\n"},
        // A read cut short by a signal is tried again: the whole log.
        {"EINTR in the middle of a log", plain, static_cast<long long>(middle), EINTR, true, ""},
    };
    const std::vector<std::string> limits = {"0", "0", "250", "1"};
    for (const Case& c : cases) {
        LogRun run(c.bytes, limits, "x");
        fail_reads(run, c.after, c.error);
        const Outcome r = viewer_test::run(kExe, run.launch);
        std::string err = c.err;
        if (err.find("FILE") != std::string::npos) err.replace(err.find("FILE"), 4, run.log);
        expect_clean_end(r, c.what, 0, echo(run.log, limits) + (c.window ? dimension(2, 2) : file_error(run.log)), err);
        if (!c.window) continue;
        // The points are those of the log as far as it was read (the whole
        // log when the read was retried); the title differs, naming
        // another file.
        const std::string seen = c.error == EINTR ? c.bytes : cut(c.bytes, static_cast<std::size_t>(c.after));
        LogRun whole(seen, limits, "x");
        viewer_test::run(kExe, whole.launch);
        Picture got;
        Picture expected;
        ASSERT_TRUE(viewer_test::read_png(run.snapshot(), &got)) << c.what;
        ASSERT_TRUE(viewer_test::read_png(whole.snapshot(), &expected)) << c.what;
        EXPECT_EQ(points_differing(got, expected), 0u) << c.what;
        EXPECT_GT(count_points(got), 1000) << c.what << ": the rows before the fault drawn";
    }
}

TEST(FaultMatrix, LimitsWithZeroTinyAndHugeSpans) {
    struct Case {
        const char* what;
        std::vector<std::string> limits;
        std::string rows;  // two rows of two values each, one block
        bool points;       // whether any point lands inside the plot
    } cases[] = {
        // No span: every point half-way across its box along that axis.
        {"zero spans at 0", {"0", "0", "0", "0"}, "0 0\n5 -5\n", true},
        {"zero spans elsewhere, values off the limits", {"5", "-3", "5", "-3"}, "1e300 -1e300\nnan 7\n", true},
        {"zero time span only", {"2", "0", "2", "1"}, "0.5 0.25\n0.75 1\n", true},
        {"zero value span only", {"0", "7", "1", "7"}, "1 2\n3 4\n", true},
        // Spans of 1e-300 and 1e300, values inside them.
        {"span of 1e-300", {"0", "0", "1e-300", "1e-300"}, "5e-301 2.5e-301\n1e-300 0\n", true},
        {"a value span of one unit in the last place", {"0", "1", "1", "1.0000000000000002"},
         "1 1.0000000000000002\n1 1\n", true},
        {"span of 1e300", {"0", "0", "1e300", "1e300"}, "5e299 1e299\n2.5e299 9e299\n", true},
        {"span of 2e300 across 0", {"-1e300", "-1e300", "1e300", "1e300"}, "0 1e299\n-5e299 5e299\n", true},
        // A span a double cannot hold (1e308 - -1e308 overflows).
        {"span beyond a double", {"-1e308", "-1e308", "1e308", "1e308"}, "0 1e307\n-5e307 5e307\n", true},
        // Values far outside a tiny span: every point is clipped away.
        {"values 1e300 spans away", {"0", "0", "1e-300", "1e-300"}, "1 2\n-1 -2\n", false},
        // Infinite limits on both sides give infinity over infinity: no
        // point has a position.
        {"infinite limits", {"-1e400", "-1e400", "1e400", "1e400"}, "1 2\n3 4\n", false},
        {"the smallest subnormal span", {"0", "0", "4.9e-324", "4.9e-324"}, "0 4.9e-324\n0 0\n", true},
    };
    for (const Case& c : cases) {
        LogRun run("heading\n" + c.rows + "\n", c.limits, "x");
        const auto before = contents(run.logs.path());
        const Outcome r = viewer_test::run(kExe, run.launch);
        expect_clean_end(r, c.what, 0, echo(run.log, c.limits) + dimension(2, 2));
        expect_no_writes(run, before, true, c.what);
        Picture picture;
        ASSERT_TRUE(viewer_test::read_png(run.snapshot(), &picture)) << c.what;
        EXPECT_EQ(count_points(picture) > 0, c.points) << c.what;
    }
}

TEST(FaultMatrix, InconsistentLimitsOpenNothing) {
    const struct {
        const char* what;
        std::vector<std::string> limits;
    } cases[] = {
        {"x minimum a hair above its maximum", {"1e-300", "0", "0", "1"}},
        {"y minimum infinite", {"0", "1e400", "1", "1e308"}},
        {"x maximum minus infinity", {"0", "0", "-1e400", "1"}},
    };
    for (const auto& c : cases) {
        LogRun run("heading\n1 2\n\n", c.limits, "x");
        const auto before = contents(run.logs.path());
        const Outcome r = viewer_test::run(kExe, run.launch);
        expect_clean_end(r, c.what, 0, echo(run.log, c.limits) + kInconsistent);
        expect_no_writes(run, before, false, c.what);
    }
}

TEST(FaultMatrix, AFolderIsNoCellLog) {
    ScratchDir work;
    ScratchDir logs;
    const std::string folder = logs.file("folder.skv");
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    Launch launch;
    launch.args = {folder, "0", "0", "1", "1"};
    launch.env["PELMORIX_DISPLAY"] = "headless";
    launch.env["PELMORIX_SNAPSHOT"] = work.file("window.png");
    launch.cwd = work.path();
    launch.input = "x";
    const Outcome r = viewer_test::run(kExe, launch);
    expect_clean_end(r, "folder", 0, echo(folder, {"0", "0", "1", "1"}) + file_error(folder));
    EXPECT_TRUE(std::filesystem::is_empty(work.path()));
    EXPECT_TRUE(std::filesystem::is_empty(folder));
}

TEST(FaultMatrix, AnUnreadableFileIsReportedLikeAMissingOne) {
    LogRun run("heading\n1 2\n\n", {"0", "0", "1", "1"}, "x");
    ASSERT_EQ(chmod(run.log.c_str(), 0), 0);
    // A user who may read any file (root, as tests often run in containers)
    // still reads it: the case cannot be made, so it is not run.
    const int probe = open(run.log.c_str(), O_RDONLY);
    if (probe >= 0) {
        close(probe);
        GTEST_SKIP() << "mode 000 does not stop this user reading the file (running as root?)";
    }
    const auto before = contents(run.logs.path());
    const Outcome r = viewer_test::run(kExe, run.launch);
    expect_clean_end(r, "unreadable", 0, echo(run.log, {"0", "0", "1", "1"}) + file_error(run.log));
    expect_no_writes(run, before, false, "unreadable");
}

// A FIFO in a scratch folder; the test holds its writing end.
class Fifo {
public:
    explicit Fifo(const std::string& path) : path_(path) { made_ = mkfifo(path.c_str(), 0600) == 0; }
    ~Fifo() { close_writer(); }
    Fifo(const Fifo&) = delete;
    Fifo& operator=(const Fifo&) = delete;
    bool made() const { return made_; }
    const std::string& path() const { return path_; }
    // Waits until the reader has opened its end, for as long as `reader`
    // runs: a program that never opens the FIFO must fail the test, not
    // leave it waiting.
    bool open_writer(Process& reader) {
        // A reader gone mid-way must not take the test down with SIGPIPE.
        std::signal(SIGPIPE, SIG_IGN);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while ((fd_ = open(path_.c_str(), O_WRONLY | O_NONBLOCK)) < 0) {
            if (errno != ENXIO || !reader.running() || std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) & ~O_NONBLOCK) == 0;
    }
    bool write_all(const std::string& bytes) {
        for (std::size_t done = 0; done < bytes.size();) {
            const ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
            if (n <= 0) return false;
            done += static_cast<std::size_t>(n);
        }
        return true;
    }
    void close_writer() {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }

private:
    std::string path_;
    bool made_ = false;
    int fd_ = -1;
};

// Whether process `pid` is blocked in a read of the file at `path`: then it
// has taken everything written so far and waits for more. Read from the
// process's current system call and its open descriptors.
bool blocked_reading(pid_t pid, const std::string& path) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/syscall");
    long number = -1;
    std::string fd_hex;
    if (!(in >> number >> fd_hex) || number != 0) return false;  // 0: read
    const long fd = std::strtol(fd_hex.c_str(), nullptr, 16);
    std::error_code error;
    const auto target =
        std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/fd/" + std::to_string(fd), error);
    return !error && target == path;
}

TEST(FaultMatrix, ALogThatGrowsOrEndsWhileBeingRead) {
    struct Case {
        const char* what;
        std::string first;   // written, then the program is let read all of it
        std::string second;  // written afterwards, before the writer closes
        std::string printed;
        // A window is there while the log pauses after `first`: the
        // snapshot is written then too.
        bool window_in_pause;
    } cases[] = {
        // More rows arrive after the reader has taken the first ones (and
        // waits): they belong to the same block.
        {"rows arrive later", "heading\n1 2\n3 4\n", "5 6\n\n", dimension(2, 3), true},
        {"the line end arrives later", "heading\n1 2\n3 4", "\n\n", dimension(2, 2), true},
        {"the second line arrives later", "heading\n", "1 2 3\n\n", dimension(3, 1), false},
        // The writer stops in the middle of a row: the file ends there.
        {"ends in the middle of a row", "heading\n1 2\n3 4\n5 6", "", "", true},
        {"ends after the heading", "heading\n", "", file_error(""), false},
    };
    for (const Case& c : cases) {
        ScratchDir logs;
        ScratchDir work;
        Fifo fifo(logs.file("log.skv"));
        ASSERT_TRUE(fifo.made());
        Launch launch;
        launch.args = {fifo.path(), "0", "0", "1", "10"};
        launch.env["PELMORIX_DISPLAY"] = "headless";
        launch.env["PELMORIX_SNAPSHOT"] = work.file("window.png");
        launch.cwd = work.path();
        launch.input = "x";
        Process p(kExe, launch);
        ASSERT_TRUE(p.started());
        ASSERT_TRUE(fifo.open_writer(p)) << c.what;
        ASSERT_TRUE(fifo.write_all(c.first)) << c.what;
        // The program has read the first part and waits for more (when the
        // system shows its calls; otherwise the parts may run together,
        // which the outcome must not depend on either).
        viewer_test::wait_until([&] { return !p.running() || blocked_reading(p.pid(), fifo.path()); },
                                std::chrono::seconds(10));
        if (c.window_in_pause) {
            // Headless, the snapshot is what a watcher sees of a live log:
            // written while it pauses, with the points of the rows that came
            // before, as the same bytes in a file give them.
            Picture paused;
            EXPECT_TRUE(viewer_test::wait_until([&] { return viewer_test::read_png(work.file("window.png"), &paused); },
                                                std::chrono::seconds(10)))
                << c.what << ": no snapshot while the log pauses";
            LogRun so_far(c.first, {"0", "0", "1", "10"}, "x");
            viewer_test::run(kExe, so_far.launch);
            Picture expected;
            ASSERT_TRUE(viewer_test::read_png(so_far.snapshot(), &expected)) << c.what;
            EXPECT_EQ(points_differing(paused, expected), 0u) << c.what;
            EXPECT_GT(count_points(paused), 0) << c.what;
        }
        EXPECT_TRUE(fifo.write_all(c.second)) << c.what;
        fifo.close_writer();
        const Outcome r = p.finish();
        const std::string printed = c.printed == file_error("") ? file_error(fifo.path()) : c.printed;
        const bool window = c.printed != file_error("");
        expect_clean_end(r, c.what, 0, echo(fifo.path(), {"0", "0", "1", "10"}) + printed);
        const std::vector<std::string> expected = window ? std::vector<std::string>{"window.png"} : std::vector<std::string>{};
        EXPECT_EQ(names(contents(work.path())), expected) << c.what;
    }
}

TEST(FaultMatrix, ALogCutShortWhileBeingRead) {
    // A long log, cut to a few bytes once its first block has been reported:
    // wherever the reader is, it meets the end, says the file was shortened
    // and finishes the run. (The cut may also come after the reader has
    // finished; then there is nothing to say.)
    std::string bytes = "heading\n";
    while (bytes.size() < 40u * 1000 * 1000) bytes += "1 2 3\n4 5 6\n7 8 9\n\n";
    LogRun run(bytes, {"0", "0", "100", "10"}, "x");
    Process p(kExe, run.launch);
    ASSERT_TRUE(p.started());
    const std::string head = echo(run.log, {"0", "0", "100", "10"}) + dimension(3, 3);
    EXPECT_TRUE(viewer_test::wait_until([&] { return p.output_so_far() == head || !p.running(); },
                                        std::chrono::seconds(20)));
    ASSERT_EQ(truncate(run.log.c_str(), 20), 0);
    const Outcome r = p.finish(std::chrono::seconds(120));
    const std::string shortened = "Error. El archivo se acorto mientras se leia: " + run.log + "\n";
    expect_clean_end(r, "cut short", 0, head, r.err.empty() ? "" : shortened);
    EXPECT_EQ(names(contents(run.work.path())), std::vector<std::string>{"window.png"});
}

std::string snapshot_error(const std::string& file, int error) {
    return "Error. No se pudo escribir la imagen " + file + ": " + std::strerror(error) + "\n";
}

bool is_png(const std::string& bytes) { return bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0; }

TEST(FaultMatrix, TheSnapshotWrittenSafely) {
    // Each case sets up the target in the working folder and checks it
    // after the run. In every case a link to a file of the user's is planted
    // at the name a predictable temporary would take, and the file must keep
    // its bytes. The log pauses once, so the snapshot is written at least
    // twice, and a failure is said once.
    struct Target {
        std::string snapshot;  // PELMORIX_SNAPSHOT
        std::string err;       // standard error
        std::function<void()> check;
    };
    using Setup = std::function<Target(const ScratchDir& work)>;
    // A character device node as the target, made in the working folder;
    // writing it fails with `error` (0: it does not).
    const auto device_node = [](dev_t device, int error) -> Setup {
        return [device, error](const ScratchDir& work) {
            const std::string node = work.file("window.png");
            EXPECT_EQ(mknod(node.c_str(), S_IFCHR | 0600, device), 0);
            return Target{node, error != 0 ? snapshot_error(node, error) : "", [node] {
                              struct stat st;
                              EXPECT_TRUE(lstat(node.c_str(), &st) == 0 && S_ISCHR(st.st_mode)) << "not replaced";
                          }};
        };
    };
    const std::string old_picture = "an older picture";
    struct Case {
        const char* what;
        bool needs_root;     // device nodes
        bool needs_non_root; // a read-only folder stops only other users
        Setup setup;
    } cases[] = {
        {"a new file", false, false,
         [&](const ScratchDir& work) {
             const std::string target = work.file("window.png");
             return Target{target, "", [target] {
                               EXPECT_TRUE(is_png(viewer_test::read_file(target)));
                           }};
         }},
        {"a target that is a link", false, false,
         [&](const ScratchDir& work) {
             const std::string file = work.file("picture.png");
             const std::string link = work.file("window.png");
             std::ofstream(file) << old_picture;
             EXPECT_EQ(symlink("picture.png", link.c_str()), 0);
             return Target{link, "", [file, link] {
                               struct stat st;
                               EXPECT_TRUE(lstat(link.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) << "the link stays";
                               EXPECT_TRUE(is_png(viewer_test::read_file(file))) << "written through";
                           }};
         }},
        {"a FIFO", false, false,
         [&](const ScratchDir& work) {
             const std::string fifo = work.file("window.png");
             EXPECT_EQ(mkfifo(fifo.c_str(), 0600), 0);
             // Its reader, there before the program writes: the pictures
             // fit in the pipe's buffer, read after the run.
             const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
             return Target{fifo, "", [fifo, reader] {
                               char buffer[65536];
                               const ssize_t n = read(reader, buffer, sizeof buffer);
                               close(reader);
                               EXPECT_TRUE(n > 0 && is_png(std::string(buffer, static_cast<std::size_t>(n))));
                               struct stat st;
                               EXPECT_TRUE(lstat(fifo.c_str(), &st) == 0 && S_ISFIFO(st.st_mode)) << "still a FIFO";
                           }};
         }},
        // The memory devices' numbers: 1, 3 takes anything, 1, 7 is always full.
        {"a device node that takes anything", true, false, device_node(makedev(1, 3), 0)},
        {"a device node that is always full", true, false, device_node(makedev(1, 7), ENOSPC)},
        {"a missing folder", false, false,
         [&](const ScratchDir& work) {
             const std::string target = work.file("missing/window.png");
             return Target{target, snapshot_error(target, ENOENT), [] {}};
         }},
        {"a folder", false, false,
         [&](const ScratchDir& work) {
             const std::string folder = work.file("window.png");
             EXPECT_EQ(mkdir(folder.c_str(), 0700), 0);
             return Target{folder, snapshot_error(folder, EISDIR), [folder] {
                               EXPECT_TRUE(std::filesystem::is_empty(folder));
                           }};
         }},
        {"a read-only folder with an older picture", false, true,
         [&](const ScratchDir& work) {
             const std::string folder = work.file("pictures");
             const std::string target = folder + "/window.png";
             EXPECT_EQ(mkdir(folder.c_str(), 0700), 0);
             std::ofstream(target) << old_picture;
             EXPECT_EQ(chmod(folder.c_str(), 0500), 0);
             return Target{target, snapshot_error(target, EACCES), [folder, target, old_picture] {
                               EXPECT_EQ(viewer_test::read_file(target), old_picture) << "the older picture stays";
                               EXPECT_EQ(names(contents(folder)), std::vector<std::string>{"window.png"});
                               chmod(folder.c_str(), 0700);
                           }};
         }},
    };
    const bool root = geteuid() == 0;
    const std::vector<std::string> limits = {"0", "0", "1", "10"};
    for (const Case& c : cases) {
        if ((c.needs_root && !root) || (c.needs_non_root && root)) continue;
        ScratchDir logs;
        ScratchDir work;
        const std::string victim = logs.write("victim", "the user's own file");
        Fifo fifo(logs.file("log.skv"));
        ASSERT_TRUE(fifo.made());
        Launch launch;
        launch.args = {fifo.path(), "0", "0", "1", "10"};
        launch.env["PELMORIX_DISPLAY"] = "headless";
        launch.cwd = work.path();
        launch.input = "x";
        const Target target = c.setup(work);
        launch.env["PELMORIX_SNAPSHOT"] = target.snapshot;
        Process p(kExe, launch);
        ASSERT_TRUE(p.started());
        // Planted before the log begins, so before any snapshot is written
        // (where the folder is there).
        const std::string planted = target.snapshot + ".tmp" + std::to_string(p.pid());
        (void)symlink(victim.c_str(), planted.c_str());
        ASSERT_TRUE(fifo.open_writer(p)) << c.what;
        ASSERT_TRUE(fifo.write_all("heading\n1 2\n3 4\n")) << c.what;
        viewer_test::wait_until([&] { return !p.running() || blocked_reading(p.pid(), fifo.path()); },
                                std::chrono::seconds(3));
        EXPECT_TRUE(fifo.write_all("\n5 6\n\n")) << c.what;
        fifo.close_writer();
        const Outcome r = p.finish();
        expect_clean_end(r, c.what, 0, echo(fifo.path(), limits) + dimension(2, 2), target.err);
        EXPECT_EQ(viewer_test::read_file(victim), "the user's own file") << c.what << ": written through a planted link";
        target.check();
        // No temporary left behind, whatever happened.
        unlink(planted.c_str());
        const std::filesystem::path snapshot(target.snapshot);
        std::error_code error;
        for (const auto& e : std::filesystem::directory_iterator(snapshot.parent_path(), error)) {
            const std::string name = e.path().filename().string();
            EXPECT_NE(name.rfind(snapshot.filename().string() + ".", 0), 0u) << c.what << ": left behind: " << name;
        }
    }
}

TEST(FaultMatrix, StandardInputThatEndsOrIsMissing) {
    const std::string log = "heading\n1 2\n3 4\n\n";
    const std::string printed = dimension(2, 2);
    // Closed by the writer once the program waits at the final prompt (the
    // snapshot is written just before it waits): as the window closed.
    {
        LogRun run(log, {"0", "0", "1", "1"}, "");
        Fifo keys(run.logs.file("keys"));
        ASSERT_TRUE(keys.made());
        run.launch.input_path = keys.path();
        const auto before = contents(run.logs.path());
        Process p(kExe, run.launch);
        ASSERT_TRUE(keys.open_writer(p));
        EXPECT_TRUE(viewer_test::wait_until([&] { return viewer_test::file_exists(run.snapshot()) || !p.running(); },
                                            std::chrono::seconds(20)));
        keys.close_writer();
        const Outcome r = p.finish();
        expect_clean_end(r, "closed at the final prompt", 1, echo(run.log, {"0", "0", "1", "1"}) + printed);
        expect_no_writes(run, before, true, "closed at the final prompt");
    }
    struct Case {
        const char* what;
        std::string log;
        bool no_input;  // descriptor 0 closed; otherwise standard input is empty
    } cases[] = {
        {"empty from the start", log, false},
        {"no standard input at all", log, true},
        // With descriptor 0 free, the cell log is opened as descriptor 0;
        // its bytes past the 0x1A (and past the reader's first fetch) must
        // not be taken for typed keys.
        {"no standard input, and a log with bytes after its end", log + "\x1A" + std::string(200000, 'a'), true},
    };
    for (const Case& c : cases) {
        LogRun run(c.log, {"0", "0", "1", "1"}, "");
        run.launch.no_input = c.no_input;
        const auto before = contents(run.logs.path());
        const Outcome r = viewer_test::run(kExe, run.launch);
        expect_clean_end(r, c.what, 1, echo(run.log, {"0", "0", "1", "1"}) + printed);
        expect_no_writes(run, before, true, c.what);
    }
}

// The settings a program may change and must give back.
bool same_settings(const termios& a, const termios& b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag && a.c_lflag == b.c_lflag &&
           std::equal(std::begin(a.c_cc), std::end(a.c_cc), std::begin(b.c_cc));
}

TEST(FaultMatrix, ASignalAtTheFinalPromptInATerminal) {
    // Standard input a pseudo-terminal, which the headless display puts in
    // raw mode at the final prompt: a signal then ends the run as it would
    // (a shell reports 128 + n), and the terminal keeps its settings.
    for (const int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        const std::string what = std::string("signal ") + strsignal(signal_number);
        LogRun run("heading\n1 2\n3 4\n\n", {"0", "0", "1", "1"}, "");
        int master = -1;
        int terminal = -1;
        ASSERT_EQ(openpty(&master, &terminal, nullptr, nullptr, nullptr), 0);
        termios before;
        ASSERT_EQ(tcgetattr(terminal, &before), 0);
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            const rlimit no_core{0, 0};
            setrlimit(RLIMIT_CORE, &no_core);  // SIGQUIT would leave one
            dup2(terminal, STDIN_FILENO);
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, STDOUT_FILENO);
            close(master);
            if (chdir(run.work.path().c_str()) != 0) _exit(126);
            setenv("PELMORIX_DISPLAY", "headless", 1);
            setenv("PELMORIX_SNAPSHOT", run.snapshot().c_str(), 1);
            execl(kExe.c_str(), kExe.c_str(), run.log.c_str(), "0", "0", "1", "1", static_cast<char*>(nullptr));
            _exit(127);
        }
        // At the final prompt the terminal is in raw mode.
        termios now;
        const bool raw = viewer_test::wait_until(
            [&] { return tcgetattr(terminal, &now) == 0 && (now.c_lflag & ICANON) == 0; }, std::chrono::seconds(20));
        EXPECT_TRUE(raw) << what << ": the prompt never put the terminal in raw mode";
        kill(pid, signal_number);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal_number) << what << ": ended otherwise";
        ASSERT_EQ(tcgetattr(terminal, &now), 0);
        EXPECT_TRUE(same_settings(now, before)) << what << ": the terminal's settings were not given back";
        close(master);
        close(terminal);
    }
}

std::string output_failure(int error) {
    return std::string("Error. No se pudo escribir la salida: ") + std::strerror(error) + "\n";
}

TEST(FaultMatrix, StandardOutputClosed) {
    // Closed: the cell log is then opened as descriptor 1, where the console
    // output goes, and must not reach the log (which is opened for reading
    // only); the lost output is said at the end. A pipe whose reader has
    // gone: every write fails, silently, and the run still ends as the keys
    // say. A full device: said at the end.
    const struct {
        const char* what;
        std::string keys;
        int status;
        bool reader_gone;
        std::string device;  // standard output this device instead
        std::string err;
    } cases[] = {
        {"a key at the prompt", "x", 0, false, "", output_failure(EBADF)},
        {"Esc at the prompt", "\x1B", 1, false, "", output_failure(EBADF)},
        {"a pipe without a reader, a key at the prompt", "x", 0, true, "", ""},
        {"a full device, a key at the prompt", "x", 0, false, "/dev/full", output_failure(ENOSPC)},
        {"a full device, Esc at the prompt", "\x1B", 1, false, "/dev/full", output_failure(ENOSPC)},
    };
    for (const auto& c : cases) {
        LogRun run("heading\n1 2\n3 4\n\n5 6\n", {"0", "0", "1", "1"}, c.keys);
        run.launch.no_output = !c.reader_gone && c.device.empty();
        run.launch.output_reader_gone = c.reader_gone;
        run.launch.output_path = c.device;
        const auto before = contents(run.logs.path());
        const Outcome r = viewer_test::run(kExe, run.launch);
        expect_clean_end(r, c.what, c.status, "", c.err);
        expect_no_writes(run, before, true, c.what);
    }
}

TEST(FaultMatrix, ThreeHundredKeysTypedDuringTheRun) {
    const std::string esc = "\x1B";
    const std::string nul(1, '\0');
    struct Case {
        const char* what;
        std::string keys;
        int status;
    } cases[] = {
        // Only the first key counts, however many follow it.
        {"Esc, then 299 letters", esc + std::string(299, 'a'), 1},
        {"a letter, then 299 Esc", "a" + std::string(299, '\x1B'), 0},
        {"299 letters, then Esc", std::string(299, 'a') + esc, 0},
        {"300 Esc", std::string(300, '\x1B'), 1},
        // A 0 takes the next key with it, Esc included.
        {"0, Esc, then 298 letters", nul + esc + std::string(298, 'a'), 0},
        {"300 zero bytes", std::string(300, '\0'), 0},
        {"a thousand keys, Esc first", esc + std::string(999, 'b'), 1},
    };
    for (const Case& c : cases) {
        // Keys typed before the prompt reach the program together, when it
        // first waits: the headless display takes them all at once.
        LogRun run("heading\n1 2\n3 4\n\n", {"0", "0", "1", "1"}, c.keys);
        const auto before = contents(run.logs.path());
        const Outcome r = viewer_test::run(kExe, run.launch);
        expect_clean_end(r, c.what, c.status, echo(run.log, {"0", "0", "1", "1"}) + dimension(2, 2));
        expect_no_writes(run, before, true, c.what);
    }
}

}  // namespace
