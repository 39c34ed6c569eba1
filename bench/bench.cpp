// The benchmark driver. Generates cell logs of four shapes of numbers (the
// model's own with pelmorix-genlog, the others here), each with values on
// smooth curves, and two shapes more with every value at random across its
// box; then the logs of cellular models, whole numbers at random (states,
// spins, counts), and decimals whose length changes from token to token;
// runs the viewer, `wc -w` and the reference reader on each log
// several times, interleaved, all on the same processor, and prints per log
// the medians, the ratios and the throughput, and pelmorix-scan on each
// log against the viewer; then the viewer and `wc -w`
// on a 1 GB noisy log, with the peak resident memory there and on a 1 MB
// one, and the time from start to the first frame on the headless display,
// at 640 x 480 and at 3840 x 2160.
// bench/run.sh builds everything in release mode and runs this.
//
//   pelmorix-bench [--runs N] [--work DIR] [--big-dir DIR] [--big-mb MB] [--no-big]
//                  [--viewer PROGRAM] [--shape N]...
//
// --viewer times another build of the viewer (an older one, say) in place
// of this build's, for a comparison on the same logs. --shape times only
// the shapes named (1 to 6, as printed), for a quicker look.
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <sched.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

// Every log is 20 x 20 cells; the model's has 25,000 time blocks (86 MB).
constexpr int kCells = 20;
constexpr int kBlocks = 25000;
constexpr const char* kModel = "brusselator";
// The other shapes are written here, block after block, up to this size.
constexpr long kShapeBytes = 80L * 1000 * 1000;
// The logs of whole numbers are of 50 x 50 cells.
constexpr long kIntegerBytes = 40L * 1000 * 1000;
// The logs of the memory comparison, of the first noisy shape: about
// 1 MB and about 1 GB.
constexpr long kSmallBytes = 1000L * 1000;
constexpr long kBigBytes = 1070L * 1000 * 1000;
// Goals.
constexpr double kGoalVersusWc = 0.7;
constexpr long kGoalMemoryKb = 2048;
constexpr double kGoalFirstFrameMs = 100;
// pelmorix-scan reads as the viewer reads but draws nothing.
constexpr double kGoalScanVersusViewer = 0.6;

// The shapes of numbers a log may hold, as programs print them.
enum class Format { Model, SixDigits, Shortest, EighteenDigits, Integer };
struct Shape {
    const char* name;
    const char* example;
    Format format;
    // The plot limits: the whole run across each box, the values up it.
    const char* min_y;
    const char* max_y;
    double goal_versus_reference;  // the reference's own atof is slow on long numbers too
    // Each value drawn uniformly at random between the limits at every
    // block, as a stochastic simulation's or a noisy measurement's may lie:
    // the points of a row land on other cache lines of the pictures from
    // one block to the next.
    bool noisy;
    int cells = kCells;        // the log is cells x cells
    long bytes = kShapeBytes;  // about this long
    // Format::Integer: min_y + step * k, k drawn at random below `levels`.
    int levels = 0;
    int step = 1;
};
const Shape kShapes[] = {
    {"model, one digit, 6 significant (pelmorix-genlog)", "3.14159", Format::Model, "0", "4.5", 0.30, false},
    {"6 significant, mixed magnitudes and signs (%.6g)", "-17.1179", Format::SixDigits, "-10000", "10000", 0.30,
     false},
    {"shortest round-trip, up to 17 significant", "-9.185730012345678", Format::Shortest, "-20", "20", 0.40, false},
    {"%.18e", "1.234567890123456789e+01", Format::EighteenDigits, "-20", "20", 0.40, false},
    {"noisy, 6 significant, at random across the box (%.6g)", "-4344.89", Format::SixDigits, "-10000", "10000", 0.30,
     true},
    {"noisy, the model's one digit, at random across the box", "3.14159", Format::SixDigits, "0", "4.5", 0.30, true},
    // The logs of cellular models: a cellular automaton's states, a lattice
    // spin model's spins, a population or epidemic model's counts, each
    // cell's value at random from one block to the next.
    {"states 0 and 1 at random, 50 x 50", "1", Format::Integer, "0", "1", 0.30, true, 50, kIntegerBytes, 2, 1},
    {"spins -1 and 1 at random, 50 x 50", "-1", Format::Integer, "-1", "1", 0.30, true, 50, kIntegerBytes, 2, 2},
    {"counts 0 to 999 at random, 50 x 50", "243", Format::Integer, "0", "999", 0.30, true, 50, kIntegerBytes, 1000,
     1},
    // One or two whole digits, either sign: every token's length differs
    // from the one before, as little as a branch can foresee.
    {"noisy, lengths changing, one or two whole digits (%.6g)", "-43.4489", Format::SixDigits, "-100", "100", 0.30,
     true},
};
// The shape of the 1 GB log and of the 1 MB one beside it.
const Shape& kBigShape = kShapes[4];

struct Options {
    int runs = 7;
    std::string work;
    std::string big_dir = "/tmp";
    long big_bytes = kBigBytes;
    bool big = true;
    std::string viewer = PELMORIX_BENCH_VIEWER;
    std::vector<std::size_t> shapes;  // the shapes to time, counting from 1; empty: all
};

struct Run {
    double seconds = 0;  // wall clock, from just before the process is made to its end
    double cpu_seconds = 0;
    long max_rss_kb = 0;
    int status = -1;
};

long long monotonic_ns() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

// The processor every timed program runs on, or -1 for any. On a virtual
// machine one processor can run half again as slow as the other for
// minutes at a time (its host's other work); programs that landed on
// different ones would be compared across that.
int timed_cpu = -1;

// The first processor this process may run on, or -1 when it cannot tell.
int first_allowed_cpu() {
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    if (sched_getaffinity(0, sizeof allowed, &allowed) != 0) return -1;
    for (int c = 0; c < CPU_SETSIZE; ++c) {
        if (CPU_ISSET(c, &allowed)) return c;
    }
    return -1;
}

// Files to remove if the run stops half-way: the big log above all.
std::vector<std::string> to_remove;

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "pelmorix-bench: %s\n", what.c_str());
    for (const std::string& f : to_remove) std::remove(f.c_str());
    std::exit(1);
}

// Runs `args` with standard input from `in_path` and standard output to
// `out_path`; `headless` puts the viewer on the headless display.
Run run(const std::vector<std::string>& args, const char* in_path, const char* out_path, bool headless,
        long long* started_ns = nullptr) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::fflush(nullptr);
    const long long start = monotonic_ns();
    if (started_ns != nullptr) *started_ns = start;
    const pid_t pid = fork();
    if (pid < 0) fail("fork failed");
    if (pid == 0) {
        if (headless) setenv("PELMORIX_DISPLAY", "headless", 1);
        if (timed_cpu >= 0) {
            cpu_set_t one;
            CPU_ZERO(&one);
            CPU_SET(timed_cpu, &one);
            if (sched_setaffinity(0, sizeof one, &one) != 0) _exit(125);
        }
        const int in = open(in_path, O_RDONLY);
        const int out = open(out_path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0) _exit(126);
        dup2(in, 0);
        dup2(out, 1);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0) {
        if (errno != EINTR) fail("wait4 failed");
    }
    Run r;
    r.seconds = static_cast<double>(monotonic_ns() - start) / 1e9;
    r.cpu_seconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                    static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    r.max_rss_kb = usage.ru_maxrss;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

long file_size(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

std::string read_text(const std::string& path) {
    std::ifstream in(path);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string cpu_model() {
    std::ifstream in("/proc/cpuinfo");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("model name", 0) == 0) {
            const std::size_t colon = line.find(':');
            if (colon != std::string::npos) return line.substr(colon + 2);
        }
    }
    return "unknown";
}

void generate(const std::string& path, long blocks) {
    const Run r = run({PELMORIX_BENCH_GENLOG, "--model", kModel, "--size", std::to_string(kCells), "--steps",
                       std::to_string(blocks), "--output", path},
                      "/dev/null", "/dev/null", false);
    if (r.status != 0) fail("pelmorix-genlog failed for " + path);
}

// Writes a log of `shape` (not the model's), block after block up to
// `size` bytes; returns its number of blocks. A smooth shape's cells each
// follow a smooth curve over time, as a simulation's do (so the points of a
// box lie near each other, as in a real log): a sine of the cell's own
// amplitude, frequency and phase. For the 6-digit shape the amplitudes run
// from 10^-3 to 10^4, for the others from 1 to 20. A noisy shape's values
// are drawn anew at every block, uniformly between the shape's limits. The
// same seed every time, so every run of the benchmark times the same bytes.
long generate_shape(const std::string& path, const Shape& shape, long size) {
    const Format format = shape.format;
    const double low = std::atof(shape.min_y);
    const double high = std::atof(shape.max_y);
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) fail("cannot write " + path);
    std::mt19937_64 rng(20261209);
    std::uniform_real_distribution<double> unit(0, 1);
    struct Curve {
        double amplitude, frequency, phase;
    };
    const int cells = shape.cells;
    std::vector<Curve> curves(static_cast<std::size_t>(cells * cells));
    for (Curve& c : curves) {
        c.amplitude = format == Format::SixDigits ? (1 + 9 * unit(rng)) * std::pow(10.0, static_cast<int>(rng() % 7) - 3)
                                                  : 1 + 19 * unit(rng);
        // Radians per unit of simulated time: periods of 6 to 60 units, about
        // the pace of the model's own cells, which spike every 18 or so.
        c.frequency = 0.1 + 0.9 * unit(rng);
        c.phase = 6.283185307179586 * unit(rng);
    }
    std::string block;
    std::fputs("benchmark log\n", out);
    long bytes = 0;
    long blocks = 0;
    char number[64];
    while (bytes < size) {
        block.clear();
        if (blocks > 0) block += '\n';
        for (int r = 0; r < cells; ++r) {
            for (int c = 0; c < cells; ++c) {
                const Curve& curve = curves[static_cast<std::size_t>(r * cells + c)];
                const double v = shape.noisy ? low + (high - low) * unit(rng)
                                             : curve.amplitude * std::sin(curve.frequency * 0.025 *
                                                                              static_cast<double>(blocks) +
                                                                          curve.phase);
                std::to_chars_result end{};
                if (format == Format::Integer) {
                    const long k = static_cast<long>(rng() % static_cast<std::uint64_t>(shape.levels));
                    end = std::to_chars(number, number + sizeof number, static_cast<long>(low) + shape.step * k);
                } else if (format == Format::SixDigits) {
                    end = std::to_chars(number, number + sizeof number, v, std::chars_format::general, 6);
                } else if (format == Format::Shortest) {
                    end = std::to_chars(number, number + sizeof number, v);
                } else {
                    end = std::to_chars(number, number + sizeof number, v, std::chars_format::scientific, 18);
                }
                if (c > 0) block += ' ';
                block.append(number, end.ptr);
            }
            block += '\n';
        }
        if (std::fwrite(block.data(), 1, block.size(), out) != block.size()) fail("cannot write " + path);
        bytes += static_cast<long>(block.size());
        ++blocks;
    }
    if (std::fclose(out) != 0) fail("cannot write " + path);
    return blocks;
}

struct Limits {
    std::string min_x, min_y, max_x, max_y;
};

// The whole run across each box, the shape's values up it.
Limits shape_limits(const Shape& shape, long blocks) {
    char max_x[32];
    std::snprintf(max_x, sizeof max_x, "%g", static_cast<double>(blocks) * 0.025);
    return Limits{"0", shape.min_y, max_x, shape.max_y};
}

std::vector<std::string> viewer_args(const std::string& viewer, const std::string& log, const Limits& l) {
    return {viewer, log, l.min_x, l.min_y, l.max_x, l.max_y};
}

// What one shape's runs came to.
struct Figures {
    const Shape* shape = nullptr;
    long bytes = 0;
    long long values = 0;
    double viewer = 0, wc = 0, reference = 0;              // wall clock
    double viewer_cpu = 0, wc_cpu = 0, reference_cpu = 0;  // user + system time of the process
    double scan = 0, scan_cpu = 0;                         // pelmorix-scan, wall clock and CPU
};

const char* verdict(bool met) { return met ? "met" : "NOT met"; }

std::string list(const std::vector<double>& v, double scale, const char* format) {
    std::string s;
    char buffer[32];
    for (double x : v) {
        std::snprintf(buffer, sizeof buffer, format, x * scale);
        s += s.empty() ? "" : " ";
        s += buffer;
    }
    return s;
}

Options parse_options(int argc, char* argv[]) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) fail("missing value after " + a);
            return argv[++i];
        };
        if (a == "--runs") {
            o.runs = std::atoi(value().c_str());
        } else if (a == "--work") {
            o.work = value();
        } else if (a == "--big-dir") {
            o.big_dir = value();
        } else if (a == "--big-mb") {
            o.big_bytes = std::atol(value().c_str()) * 1000L * 1000;
        } else if (a == "--no-big") {
            o.big = false;
        } else if (a == "--viewer") {
            o.viewer = value();
        } else if (a == "--shape") {
            o.shapes.push_back(static_cast<std::size_t>(std::atol(value().c_str())));
        } else {
            fail("usage: pelmorix-bench [--runs N] [--work DIR] [--big-dir DIR] [--big-mb MB] [--no-big] "
                 "[--viewer PROGRAM] [--shape N]...");
        }
    }
    if (o.runs < 1) fail("--runs must be at least 1");
    if (o.runs < 5) std::fprintf(stderr, "pelmorix-bench: fewer than 5 runs: the medians are rough\n");
    return o;
}

}  // namespace

int main(int argc, char* argv[]) {
    Options opt = parse_options(argc, argv);
    bool made_work = false;
    if (opt.work.empty()) {
        char pattern[] = "/tmp/pelmorix-bench-XXXXXX";
        if (mkdtemp(pattern) == nullptr) fail("cannot make a work directory");
        opt.work = pattern;
        made_work = true;
    } else if (mkdir(opt.work.c_str(), 0755) != 0 && errno != EEXIST) {
        fail("cannot make " + opt.work);
    }
    const std::string small_log = opt.work + "/cells-1mb.skv";
    const std::string key = opt.work + "/key.txt";
    const std::string counted = opt.work + "/reference.out";
    const std::string first_frame = opt.work + "/first-frame.ns";
    std::vector<std::string> logs;
    for (std::size_t s = 0; s < sizeof kShapes / sizeof kShapes[0]; ++s) {
        logs.push_back(opt.work + "/shape-" + std::to_string(s + 1) + ".skv");
    }
    const std::string& log = logs[0];  // the model's, for the first-frame runs too
    if (made_work) {
        to_remove.insert(to_remove.end(), logs.begin(), logs.end());
        to_remove.insert(to_remove.end(), {small_log, key, counted, first_frame, opt.work});
    }
    {
        std::ofstream k(key);
        k << "a";  // the key for the final prompt
    }
    // The model's log: the whole run across each box (25,000 x 0.025), the
    // model's values up it.
    const Limits model_limits{"0", "0", "625", "4.5"};

    utsname host{};
    uname(&host);
    std::printf("Machine: %ld processors online (nproc), %s; %s %s\n", sysconf(_SC_NPROCESSORS_ONLN),
                cpu_model().c_str(), host.sysname, host.release);
    std::printf("Viewer: %s\nwc runs with LC_ALL=C.UTF-8, as on a usual desktop\n", opt.viewer.c_str());
    timed_cpu = first_allowed_cpu();
    if (timed_cpu >= 0) std::printf("Every timed program runs on processor %d\n", timed_cpu);

    std::printf("Generating the logs in %s ...\n", opt.work.c_str());
    generate(log, kBlocks);
    const long small_blocks = generate_shape(small_log, kBigShape, kSmallBytes);

    std::vector<Figures> figures;
    for (std::size_t s = 0; s < logs.size(); ++s) {
        const Shape& shape = kShapes[s];
        if (!opt.shapes.empty() && std::find(opt.shapes.begin(), opt.shapes.end(), s + 1) == opt.shapes.end()) {
            continue;
        }
        const long blocks = shape.format == Format::Model ? kBlocks : generate_shape(logs[s], shape, shape.bytes);
        const Limits limits = shape.format == Format::Model ? model_limits : shape_limits(shape, blocks);
        const std::vector<std::string> viewer = viewer_args(opt.viewer, logs[s], limits);
        const std::vector<std::string> wc_args = {"env", "LC_ALL=C.UTF-8", "wc", "-w", logs[s]};
        const std::vector<std::string> reference_args = {PELMORIX_BENCH_REFERENCE, logs[s]};
        const std::vector<std::string> scan_args = {PELMORIX_BENCH_SCAN, logs[s]};

        // Every program once first, so that all of them find the file cached.
        run(wc_args, "/dev/null", "/dev/null", false);
        run(reference_args, "/dev/null", counted.c_str(), false);
        if (run(viewer, key.c_str(), "/dev/null", true).status != 0) fail("the viewer failed");
        if (run(scan_args, "/dev/null", "/dev/null", false).status != 0) fail("pelmorix-scan failed");
        Figures f;
        f.shape = &shape;
        f.bytes = file_size(logs[s]);
        if (std::sscanf(read_text(counted).c_str(), "%lld", &f.values) != 1) {
            fail("the reference reader printed no count");
        }

        std::vector<double> viewer_s, viewer_cpu, wc_s, wc_cpu, reference_s, reference_cpu, scan_s, scan_cpu;
        for (int i = 0; i < opt.runs; ++i) {
            const Run v = run(viewer, key.c_str(), "/dev/null", true);
            const Run w = run(wc_args, "/dev/null", "/dev/null", false);
            const Run r = run(reference_args, "/dev/null", counted.c_str(), false);
            const Run sc = run(scan_args, "/dev/null", "/dev/null", false);
            if (v.status != 0 || w.status != 0 || r.status != 0 || sc.status != 0) fail("a timed run failed");
            scan_s.push_back(sc.seconds);
            scan_cpu.push_back(sc.cpu_seconds);
            viewer_s.push_back(v.seconds);
            viewer_cpu.push_back(v.cpu_seconds);
            wc_s.push_back(w.seconds);
            wc_cpu.push_back(w.cpu_seconds);
            reference_s.push_back(r.seconds);
            reference_cpu.push_back(r.cpu_seconds);
        }
        f.viewer = median(viewer_s);
        f.wc = median(wc_s);
        f.reference = median(reference_s);
        f.viewer_cpu = median(viewer_cpu);
        f.wc_cpu = median(wc_cpu);
        f.reference_cpu = median(reference_cpu);
        f.scan = median(scan_s);
        f.scan_cpu = median(scan_cpu);
        figures.push_back(f);
        // The big logs go as soon as they are timed; the model's stays for
        // the runs below.
        if (s > 0 && made_work) std::remove(logs[s].c_str());

        std::printf("\nShape %zu: %s, like %s\n", s + 1, shape.name, shape.example);
        std::printf("Log: %ld bytes, %lld values (%d x %d cells, %ld blocks), limits %s %s %s %s\n", f.bytes,
                    f.values, shape.cells, shape.cells, blocks, limits.min_x.c_str(), limits.min_y.c_str(),
                    limits.max_x.c_str(), limits.max_y.c_str());
        std::printf("Wall-clock seconds, %d runs of each, interleaved (median, then every run):\n", opt.runs);
        std::printf("  pelmorix, headless, key from stdin  %.3f  [%s]  (CPU %.3f)\n", f.viewer,
                    list(viewer_s, 1, "%.3f").c_str(), f.viewer_cpu);
        std::printf("  wc -w                               %.3f  [%s]  (CPU %.3f)\n", f.wc, list(wc_s, 1, "%.3f").c_str(),
                    f.wc_cpu);
        std::printf("  reference reader                    %.3f  [%s]  (CPU %.3f)\n", f.reference,
                    list(reference_s, 1, "%.3f").c_str(), f.reference_cpu);
        std::printf("  pelmorix-scan                       %.3f  [%s]  (CPU %.3f)\n", f.scan,
                    list(scan_s, 1, "%.3f").c_str(), f.scan_cpu);
        std::printf("Throughput of pelmorix: %.1f million values/s, %.1f MB/s (reference reader: %.1f million "
                    "values/s)\n",
                    static_cast<double>(f.values) / f.viewer / 1e6, static_cast<double>(f.bytes) / f.viewer / 1e6,
                    static_cast<double>(f.values) / f.reference / 1e6);
        std::fflush(stdout);
    }

    // The goals are judged on wall-clock time; the ratios of CPU time (user
    // and system) beside them move less when other work shares the machine.
    std::printf("\nRatios of the medians, per shape: wall clock against the goal, then CPU time:\n");
    std::printf("  %-52s %6s  %-30s %-30s\n", "shape", "MB", "pelmorix / wc -w", "pelmorix / reference");
    for (const Figures& f : figures) {
        char versus_wc[64];
        char versus_reference[64];
        std::snprintf(versus_wc, sizeof versus_wc, "%.2f (<= %.2f %s), CPU %.2f", f.viewer / f.wc, kGoalVersusWc,
                      verdict(f.viewer / f.wc <= kGoalVersusWc), f.viewer_cpu / f.wc_cpu);
        std::snprintf(versus_reference, sizeof versus_reference, "%.2f (<= %.2f %s), CPU %.2f",
                      f.viewer / f.reference, f.shape->goal_versus_reference,
                      verdict(f.viewer / f.reference <= f.shape->goal_versus_reference),
                      f.viewer_cpu / f.reference_cpu);
        std::printf("  %-52s %6.1f  %-30s %-30s\n", f.shape->name, static_cast<double>(f.bytes) / 1e6, versus_wc,
                    versus_reference);
    }

    std::printf("\npelmorix-scan against the viewer, ratios of the medians per shape:\n");
    for (const Figures& f : figures) {
        std::printf("  %-52s %.2f (<= %.2f %s), CPU %.2f\n", f.shape->name, f.scan / f.viewer, kGoalScanVersusViewer,
                    verdict(f.scan / f.viewer <= kGoalScanVersusViewer), f.scan_cpu / f.viewer_cpu);
    }

    // The 1 GB log: the viewer against `wc -w`, interleaved, and the peak
    // resident memory there against the same shape's 1 MB log.
    if (opt.big) {
        const std::string big_log = opt.big_dir + "/pelmorix-bench-1gb-" + std::to_string(getpid()) + ".skv";
        std::printf("\nGenerating the 1 GB log (%s, like %s) in %s ...\n", kBigShape.name, kBigShape.example,
                    opt.big_dir.c_str());
        std::fflush(stdout);
        to_remove.push_back(big_log);
        const long big_blocks = generate_shape(big_log, kBigShape, opt.big_bytes);
        const long big_bytes = file_size(big_log);
        const std::vector<std::string> wc_args = {"env", "LC_ALL=C.UTF-8", "wc", "-w", big_log};
        const std::vector<std::string> big_viewer = viewer_args(opt.viewer, big_log, shape_limits(kBigShape, big_blocks));
        const std::vector<std::string> small_viewer =
            viewer_args(opt.viewer, small_log, shape_limits(kBigShape, small_blocks));
        run(wc_args, "/dev/null", "/dev/null", false);  // into the file cache
        std::vector<double> small_kb, big_kb, viewer_s, viewer_cpu, wc_s, wc_cpu;
        for (int i = 0; i < opt.runs; ++i) {
            const Run s = run(small_viewer, key.c_str(), "/dev/null", true);
            const Run b = run(big_viewer, key.c_str(), "/dev/null", true);
            const Run w = run(wc_args, "/dev/null", "/dev/null", false);
            if (s.status != 0 || b.status != 0 || w.status != 0) fail("a run on the 1 GB log failed");
            small_kb.push_back(static_cast<double>(s.max_rss_kb));
            big_kb.push_back(static_cast<double>(b.max_rss_kb));
            viewer_s.push_back(b.seconds);
            viewer_cpu.push_back(b.cpu_seconds);
            wc_s.push_back(w.seconds);
            wc_cpu.push_back(w.cpu_seconds);
        }
        std::remove(big_log.c_str());
        const double v = median(viewer_s);
        const double w = median(wc_s);
        std::printf("Log: %ld bytes (%ld blocks)\n", big_bytes, big_blocks);
        std::printf("Wall-clock seconds, %d runs of each, interleaved (median, then every run):\n", opt.runs);
        std::printf("  pelmorix, headless, key from stdin  %.3f  [%s]  (CPU %.3f)\n", v,
                    list(viewer_s, 1, "%.3f").c_str(), median(viewer_cpu));
        std::printf("  wc -w                               %.3f  [%s]  (CPU %.3f)\n", w, list(wc_s, 1, "%.3f").c_str(),
                    median(wc_cpu));
        std::printf("Throughput of pelmorix: %.1f MB/s; pelmorix / wc -w %.2f (<= %.2f %s), CPU %.2f\n",
                    static_cast<double>(big_bytes) / v / 1e6, v / w, kGoalVersusWc, verdict(v / w <= kGoalVersusWc),
                    median(viewer_cpu) / median(wc_cpu));
        const double s = median(small_kb);
        const double b = median(big_kb);
        const double most = *std::max_element(big_kb.begin(), big_kb.end()) - *std::min_element(small_kb.begin(), small_kb.end());
        std::printf("Peak resident memory of pelmorix, KB (median, then every run):\n");
        std::printf("  %ld-byte log  %.0f  [%s]\n", file_size(small_log), s, list(small_kb, 1, "%.0f").c_str());
        std::printf("  %ld-byte log  %.0f  [%s]\n", big_bytes, b, list(big_kb, 1, "%.0f").c_str());
        std::printf("  difference of the medians %.0f KB, largest of any pair %.0f KB (goal within %ld KB: %s)\n",
                    b - s, most, kGoalMemoryKb, verdict(std::abs(b - s) <= kGoalMemoryKb));
    }

    // Start to first frame: from just before the process is made until the
    // window's first drawn picture is handed to the display; at the usual
    // 640 x 480 and at the largest canvas a user is likely to ask for.
    for (const char* size : {"", "3840x2160"}) {
        std::vector<double> first_ms;
        setenv("PELMORIX_SIZE", size, 1);  // inherited by the probe; empty counts as unset
        for (int i = 0; i < opt.runs; ++i) {
            long long started = 0;
            std::remove(first_frame.c_str());
            const Run r = run({PELMORIX_BENCH_PROBE, first_frame, log, model_limits.min_x, model_limits.min_y,
                               model_limits.max_x, model_limits.max_y},
                              key.c_str(), "/dev/null", false, &started);
            long long shown = 0;
            if (r.status != 0 || std::sscanf(read_text(first_frame).c_str(), "%lld", &shown) != 1) {
                fail("the first-frame probe noted no frame");
            }
            first_ms.push_back(static_cast<double>(shown - started) / 1e6);
        }
        unsetenv("PELMORIX_SIZE");
        const double first = median(first_ms);
        std::printf("%sStart to first frame, headless, %s, ms (median, then every run): %.1f  [%s]  (goal < %.0f ms: %s)\n",
                    *size == '\0' ? "\n" : "", *size == '\0' ? "640x480" : size, first,
                    list(first_ms, 1, "%.1f").c_str(), kGoalFirstFrameMs, verdict(first < kGoalFirstFrameMs));
    }

    if (made_work) {
        for (const std::string& f : {log, small_log, key, counted, first_frame}) std::remove(f.c_str());
        rmdir(opt.work.c_str());
    }
    return 0;
}
