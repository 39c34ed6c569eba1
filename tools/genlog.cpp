// pelmorix-genlog: writes a cell log from a small two-dimensional
// simulation of our own, for trying the viewer and for benchmarks.
//
// The log: a heading line, then one time block per written step, one line of
// blank-separated values per row of cells, blocks separated by one blank
// line, every value with 6 significant digits. Written as it is simulated,
// through one fixed output buffer, so a log of any length costs the same
// memory.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kUsage[] =
    "usage: pelmorix-genlog [--model diffusion|gray-scott|brusselator] [--size N]\n"
    "                       [--steps BLOCKS] [--every K] [--output FILE]\n"
    "  --model   the simulation (default diffusion)\n"
    "  --size    cells per side of the square grid, 1 to 400 (default 10)\n"
    "  --steps   time blocks written (default 300)\n"
    "  --every   simulation steps per written block (default 1)\n"
    "  --output  the log file (default: standard output)\n";

enum class Model { Diffusion, GrayScott, Brusselator };

struct Options {
    Model model = Model::Diffusion;
    int size = 10;
    long long steps = 300;
    int every = 1;
    const char* output = nullptr;
};

// A square field with its borders reflected (no flow across the edge), or
// wrapped round for the models that form patterns.
class Field {
public:
    Field(int n, double value) : n_(n), cells_(static_cast<std::size_t>(n) * n, value) {}
    double& at(int row, int column) { return cells_[static_cast<std::size_t>(row) * n_ + column]; }
    double at(int row, int column) const { return cells_[static_cast<std::size_t>(row) * n_ + column]; }
    int size() const { return n_; }

    // The five-point Laplacian of one cell.
    double laplacian(int row, int column, bool wrap) const {
        const double centre = at(row, column);
        return neighbour(row - 1, column, wrap, centre) + neighbour(row + 1, column, wrap, centre) +
               neighbour(row, column - 1, wrap, centre) + neighbour(row, column + 1, wrap, centre) - 4 * centre;
    }

private:
    double neighbour(int row, int column, bool wrap, double centre) const {
        if (row >= 0 && row < n_ && column >= 0 && column < n_) return at(row, column);
        if (!wrap) return centre;  // reflected: the missing neighbour equals the cell
        return at((row + n_) % n_, (column + n_) % n_);
    }

    int n_;
    std::vector<double> cells_;
};

// Heat spreading from a hot corner block through an insulated plate: the
// cells near the corner cool, the far ones warm, all towards the mean.
class Diffusion {
public:
    explicit Diffusion(int n) : u_(n, 0.0), next_(n, 0.0) {
        const int hot = n / 2 > 0 ? n / 2 : 1;
        for (int r = 0; r < hot; ++r)
            for (int c = 0; c < hot; ++c) u_.at(r, c) = 1.0;
    }
    void step() {
        const int n = u_.size();
        constexpr double kRate = 0.2;  // D dt / dx^2, below the explicit scheme's 0.25 limit
        for (int r = 0; r < n; ++r)
            for (int c = 0; c < n; ++c) next_.at(r, c) = u_.at(r, c) + kRate * u_.laplacian(r, c, false);
        std::swap(u_, next_);
    }
    const Field& shown() const { return u_; }

private:
    Field u_;
    Field next_;
};

// Gray-Scott reaction-diffusion: a seed of V in a sea of U grows into spots
// that spread over the (wrapped) grid.
class GrayScott {
public:
    explicit GrayScott(int n) : u_(n, 1.0), v_(n, 0.0), nu_(n, 0.0), nv_(n, 0.0) {
        const int lo = n / 2 - n / 6;
        const int hi = n / 2 + n / 6;
        for (int r = lo; r <= hi && r < n; ++r) {
            for (int c = lo; c <= hi && c < n; ++c) {
                // A little unevenness, so the seed does not stay symmetric.
                u_.at(r, c) = 0.50 + 0.02 * ((r * 7 + c * 3) % 5 - 2);
                v_.at(r, c) = 0.25 + 0.02 * ((r * 5 + c * 11) % 5 - 2);
            }
        }
    }
    void step() {
        const int n = u_.size();
        constexpr double kDu = 0.05, kDv = 0.025, kFeed = 0.035, kKill = 0.060;
        for (int r = 0; r < n; ++r) {
            for (int c = 0; c < n; ++c) {
                const double u = u_.at(r, c), v = v_.at(r, c);
                const double uvv = u * v * v;
                nu_.at(r, c) = u + kDu * u_.laplacian(r, c, true) - uvv + kFeed * (1 - u);
                nv_.at(r, c) = v + kDv * v_.laplacian(r, c, true) + uvv - (kFeed + kKill) * v;
            }
        }
        std::swap(u_, nu_);
        std::swap(v_, nv_);
    }
    const Field& shown() const { return v_; }

private:
    Field u_, v_, nu_, nv_;
};

// The Brusselator with A = 1, B = 3: every cell is an oscillator; diffusion
// couples them, so cells started out of step fall into step over the run.
class Brusselator {
public:
    explicit Brusselator(int n) : u_(n, 1.0), v_(n, 3.0), nu_(n, 0.0), nv_(n, 0.0) {
        for (int r = 0; r < n; ++r)
            for (int c = 0; c < n; ++c) u_.at(r, c) = 1.0 + 2.0 * (r + c) / (2.0 * n);
    }
    void step() {
        const int n = u_.size();
        constexpr double kA = 1.0, kB = 3.0, kDu = 0.02, kDv = 0.01, kDt = 0.01;
        for (int r = 0; r < n; ++r) {
            for (int c = 0; c < n; ++c) {
                const double u = u_.at(r, c), v = v_.at(r, c);
                const double uuv = u * u * v;
                nu_.at(r, c) = u + kDt * (kA - (kB + 1) * u + uuv) + kDu * u_.laplacian(r, c, false);
                nv_.at(r, c) = v + kDt * (kB * u - uuv) + kDv * v_.laplacian(r, c, false);
            }
        }
        std::swap(u_, nu_);
        std::swap(v_, nv_);
    }
    const Field& shown() const { return u_; }

private:
    Field u_, v_, nu_, nv_;
};

// Output through one fixed buffer.
class Writer {
public:
    explicit Writer(std::FILE* out) : out_(out), buffer_(kBufferSize) {}

    void text(const char* s) {
        const std::size_t n = std::strlen(s);
        reserve(n);
        std::memcpy(buffer_.data() + used_, s, n);
        used_ += n;
    }
    void byte(char c) {
        reserve(1);
        buffer_[used_++] = c;
    }
    // Six significant digits, the shortest of fixed and exponent form, as
    // printf's %.6g writes it.
    void value(double v) {
        if (v == 0) v = 0;  // no "-0"
        reserve(kMaxNumber);
        char* at = buffer_.data() + used_;
        const auto result = std::to_chars(at, at + kMaxNumber, v, std::chars_format::general, 6);
        used_ += static_cast<std::size_t>(result.ptr - at);
    }
    bool flush() {
        if (used_ > 0 && std::fwrite(buffer_.data(), 1, used_, out_) != used_) failed_ = true;
        used_ = 0;
        return !failed_;
    }
    bool failed() const { return failed_; }

private:
    static constexpr std::size_t kMaxNumber = 32;
    static constexpr std::size_t kBufferSize = 1 << 20;
    void reserve(std::size_t n) {
        if (used_ + n > kBufferSize) flush();
    }
    std::FILE* out_;
    std::vector<char> buffer_;
    std::size_t used_ = 0;
    bool failed_ = false;
};

void write_block(Writer& out, const Field& field) {
    const int n = field.size();
    for (int r = 0; r < n; ++r) {
        for (int c = 0; c < n; ++c) {
            if (c > 0) out.byte(' ');
            out.value(field.at(r, c));
        }
        out.byte('\n');
    }
}

template <class Simulation>
bool run(const Options& options, Writer& out) {
    Simulation simulation(options.size);
    for (long long block = 0; block < options.steps; ++block) {
        if (block > 0) {
            out.byte('\n');  // the blank line between blocks
            for (int k = 0; k < options.every; ++k) simulation.step();
        }
        write_block(out, simulation.shown());
        if (out.failed()) return false;
    }
    return out.flush();
}

bool parse_int(const char* text, long long low, long long high, long long* value) {
    char* end = nullptr;
    const long long v = std::strtoll(text, &end, 10);
    if (end == text || *end != '\0' || v < low || v > high) return false;
    *value = v;
    return true;
}

const char* model_name(Model m) {
    switch (m) {
        case Model::Diffusion: return "diffusion";
        case Model::GrayScott: return "gray-scott";
        case Model::Brusselator: return "brusselator";
    }
    return "";
}

// Returns false, with a message on standard error, for anything it does not understand.
bool parse_options(int argc, char* argv[], Options* options) {
    for (int i = 1; i < argc; ++i) {
        const std::string flag = argv[i];
        if (flag == "--help" || flag == "-h") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "pelmorix-genlog: %s needs a value\n", argv[i]);
            return false;
        }
        const char* value = argv[++i];
        long long number = 0;
        if (flag == "--model") {
            if (std::strcmp(value, "diffusion") == 0) options->model = Model::Diffusion;
            else if (std::strcmp(value, "gray-scott") == 0) options->model = Model::GrayScott;
            else if (std::strcmp(value, "brusselator") == 0) options->model = Model::Brusselator;
            else {
                std::fprintf(stderr, "pelmorix-genlog: unknown model %s\n", value);
                return false;
            }
        } else if (flag == "--size" && parse_int(value, 1, 400, &number)) {
            options->size = static_cast<int>(number);
        } else if (flag == "--steps" && parse_int(value, 1, 1000000000LL, &number)) {
            options->steps = number;
        } else if (flag == "--every" && parse_int(value, 1, 1000000, &number)) {
            options->every = static_cast<int>(number);
        } else if (flag == "--output" || flag == "-o") {
            options->output = value;
        } else {
            std::fprintf(stderr, "pelmorix-genlog: bad option %s %s\n", argv[i - 1], value);
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char* argv[]) {
    Options options;
    if (!parse_options(argc, argv, &options)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    std::FILE* file = stdout;
    if (options.output != nullptr) {
        file = std::fopen(options.output, "wb");
        if (file == nullptr) {
            std::fprintf(stderr, "pelmorix-genlog: cannot write %s\n", options.output);
            return 1;
        }
    }
    bool ok;
    {
        Writer out(file);
        char heading[160];
        std::snprintf(heading, sizeof heading, "pelmorix-genlog %s %dx%d, %lld blocks, %d steps each\n",
                      model_name(options.model), options.size, options.size, options.steps, options.every);
        out.text(heading);
        switch (options.model) {
            case Model::Diffusion: ok = run<Diffusion>(options, out); break;
            case Model::GrayScott: ok = run<GrayScott>(options, out); break;
            default: ok = run<Brusselator>(options, out); break;
        }
    }
    if (options.output != nullptr && std::fclose(file) != 0) ok = false;
    if (!ok) {
        std::fputs("pelmorix-genlog: write failed\n", stderr);
        return 1;
    }
    return 0;
}
