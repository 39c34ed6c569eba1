// The benchmark driver. Generates the cell logs with pelmorix-genlog, runs
// the viewer, `wc -w` and the reference reader on the same log several
// times, interleaved, and prints the medians, the ratios, the throughput,
// the peak resident memory on a 1 MB and a 1 GB log, and the time from
// start to the first frame on the headless display. bench/run.sh builds
// everything in release mode and runs this.
//
//   pelmorix-bench [--runs N] [--work DIR] [--big-dir DIR] [--big-blocks B] [--no-big]
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

// The log every speed is measured on: 20 x 20 cells, 25,000 time blocks.
constexpr int kCells = 20;
constexpr int kBlocks = 25000;
constexpr const char* kModel = "brusselator";
// The plot limits: the whole run across each box (25,000 x 0.025), and the
// model's values up it.
const char* const kLimits[] = {"0", "0", "625", "4.5"};
// The small log of the memory comparison: about 1 MB.
constexpr int kSmallBlocks = 300;
// Goals.
constexpr double kGoalVersusWc = 1.0;
constexpr double kGoalVersusReference = 0.33;
constexpr long kGoalMemoryKb = 2048;
constexpr double kGoalFirstFrameMs = 100;

struct Options {
    int runs = 7;
    std::string work;
    std::string big_dir = "/tmp";
    long big_blocks = 312500;  // about 1.07 GB at 20 x 20
    bool big = true;
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

std::vector<std::string> viewer_args(const std::string& log) {
    return {PELMORIX_BENCH_VIEWER, log, kLimits[0], kLimits[1], kLimits[2], kLimits[3]};
}

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
        } else if (a == "--big-blocks") {
            o.big_blocks = std::atol(value().c_str());
        } else if (a == "--no-big") {
            o.big = false;
        } else {
            fail("usage: pelmorix-bench [--runs N] [--work DIR] [--big-dir DIR] [--big-blocks B] [--no-big]");
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
    const std::string log = opt.work + "/cells.skv";
    const std::string small_log = opt.work + "/cells-1mb.skv";
    const std::string key = opt.work + "/key.txt";
    const std::string counted = opt.work + "/reference.out";
    const std::string first_frame = opt.work + "/first-frame.ns";
    if (made_work) to_remove.insert(to_remove.end(), {log, small_log, key, counted, first_frame, opt.work});
    {
        std::ofstream k(key);
        k << "a";  // the key for the final prompt
    }

    utsname host{};
    uname(&host);
    const char* lang = std::getenv("LANG");
    const char* lc_all = std::getenv("LC_ALL");
    std::printf("Machine: %ld processors online (nproc), %s; %s %s\n", sysconf(_SC_NPROCESSORS_ONLN),
                cpu_model().c_str(), host.sysname, host.release);
    std::printf("wc runs with LANG=%s LC_ALL=%s\n", lang != nullptr ? lang : "(unset)",
                lc_all != nullptr ? lc_all : "(unset)");

    std::printf("Generating the logs (%s, %d x %d cells) in %s ...\n", kModel, kCells, kCells, opt.work.c_str());
    generate(log, kBlocks);
    generate(small_log, kSmallBlocks);
    const long log_bytes = file_size(log);

    // Every program once first, so that all of them find the file cached.
    const std::vector<std::string> wc_args = {"wc", "-w", log};
    const std::vector<std::string> reference_args = {PELMORIX_BENCH_REFERENCE, log};
    run(wc_args, "/dev/null", "/dev/null", false);
    run(reference_args, "/dev/null", counted.c_str(), false);
    if (run(viewer_args(log), key.c_str(), "/dev/null", true).status != 0) fail("the viewer failed");

    long long values = 0;
    if (std::sscanf(read_text(counted).c_str(), "%lld", &values) != 1) fail("the reference reader printed no count");

    std::vector<double> viewer_s, viewer_cpu, wc_s, reference_s;
    for (int i = 0; i < opt.runs; ++i) {
        const Run v = run(viewer_args(log), key.c_str(), "/dev/null", true);
        const Run w = run(wc_args, "/dev/null", "/dev/null", false);
        const Run r = run(reference_args, "/dev/null", counted.c_str(), false);
        if (v.status != 0 || w.status != 0 || r.status != 0) fail("a timed run failed");
        viewer_s.push_back(v.seconds);
        viewer_cpu.push_back(v.cpu_seconds);
        wc_s.push_back(w.seconds);
        reference_s.push_back(r.seconds);
    }
    const double viewer = median(viewer_s);
    const double wc = median(wc_s);
    const double reference = median(reference_s);

    std::printf("\nLog: %ld bytes, %lld values (%d x %d cells, %d blocks)\n", log_bytes, values, kCells, kCells,
                kBlocks);
    std::printf("Wall-clock seconds, %d runs of each, interleaved (median, then every run):\n", opt.runs);
    std::printf("  pelmorix, headless, key from stdin  %.3f  [%s]  (CPU %.3f)\n", viewer,
                list(viewer_s, 1, "%.3f").c_str(), median(viewer_cpu));
    std::printf("  wc -w                               %.3f  [%s]\n", wc, list(wc_s, 1, "%.3f").c_str());
    std::printf("  reference reader                    %.3f  [%s]\n", reference,
                list(reference_s, 1, "%.3f").c_str());
    std::printf("Ratios of the medians:\n");
    std::printf("  pelmorix / wc -w             %.2f  (goal <= %.2f: %s)\n", viewer / wc, kGoalVersusWc,
                verdict(viewer / wc <= kGoalVersusWc));
    std::printf("  pelmorix / reference reader  %.2f  (goal <= %.2f: %s)\n", viewer / reference, kGoalVersusReference,
                verdict(viewer / reference <= kGoalVersusReference));
    std::printf("Throughput of pelmorix: %.1f million values/s, %.1f MB/s (reference reader: %.1f million values/s)\n",
                static_cast<double>(values) / viewer / 1e6, static_cast<double>(log_bytes) / viewer / 1e6,
                static_cast<double>(values) / reference / 1e6);

    // Peak resident memory: the same run on about 1 MB and about 1 GB.
    if (opt.big) {
        const std::string big_log = opt.big_dir + "/pelmorix-bench-1gb-" + std::to_string(getpid()) + ".skv";
        std::printf("\nGenerating the 1 GB log (%ld blocks) in %s ...\n", opt.big_blocks, opt.big_dir.c_str());
        to_remove.push_back(big_log);
        generate(big_log, opt.big_blocks);
        std::vector<double> small_kb, big_kb;
        for (int i = 0; i < opt.runs; ++i) {
            const Run s = run(viewer_args(small_log), key.c_str(), "/dev/null", true);
            const Run b = run(viewer_args(big_log), key.c_str(), "/dev/null", true);
            if (s.status != 0 || b.status != 0) fail("a memory run failed");
            small_kb.push_back(static_cast<double>(s.max_rss_kb));
            big_kb.push_back(static_cast<double>(b.max_rss_kb));
        }
        const long big_bytes = file_size(big_log);
        std::remove(big_log.c_str());
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
    // window's first drawn picture is handed to the display.
    std::vector<double> first_ms;
    for (int i = 0; i < opt.runs; ++i) {
        long long started = 0;
        std::remove(first_frame.c_str());
        const Run r = run({PELMORIX_BENCH_PROBE, first_frame, log, kLimits[0], kLimits[1], kLimits[2], kLimits[3]},
                          key.c_str(), "/dev/null", false, &started);
        long long shown = 0;
        if (r.status != 0 || std::sscanf(read_text(first_frame).c_str(), "%lld", &shown) != 1) {
            fail("the first-frame probe noted no frame");
        }
        first_ms.push_back(static_cast<double>(shown - started) / 1e6);
    }
    const double first = median(first_ms);
    std::printf("\nStart to first frame, headless, ms (median, then every run): %.1f  [%s]  (goal < %.0f ms: %s)\n",
                first, list(first_ms, 1, "%.1f").c_str(), kGoalFirstFrameMs, verdict(first < kGoalFirstFrameMs));

    if (made_work) {
        for (const std::string& f : {log, small_log, key, counted, first_frame}) std::remove(f.c_str());
        rmdir(opt.work.c_str());
    }
    return 0;
}
