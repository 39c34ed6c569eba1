// pelmorix-scan: a cell log's shape as the viewer would draw it, and the
// four limits to plot it with. The log is read by the viewer's own reader
// and conversion, so every figure is what the viewer would draw.
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include <cstdio>
#include <cstring>
#include <string>

#include "scan.h"

namespace {

const char kUsage[] =
    "usage: pelmorix-scan [--limits] FILE\n"
    "  FILE      the cell log, plain or compressed; - for standard input\n"
    "  --limits  print only the four limits, as the viewer's last four arguments\n";

constexpr int kLabelWidth = 16;

void fact(const char* label, const std::string& text) {
    std::printf("%-*s %s\n", kLabelWidth, label, text.c_str());
}

std::string number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

std::string count(long long n) { return std::to_string(n); }

// "none", or how many (`what` being one of them) and the line of the
// first, then what they mean.
std::string tallied(const LineTally& tally, const char* what, const char* meaning) {
    if (tally.count == 0) return "none";
    return count(tally.count) + " " + what + (tally.count == 1 ? "" : "s") + ", the first on line " +
           count(tally.first_line) + " (" + meaning + ")";
}

// The file name as a command line takes it: quoted where a shell would
// read something in it.
std::string quoted(const std::string& name) {
    bool plain = !name.empty();
    for (const char c : name) {
        const bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                          std::strchr("_./-+,:=@%", c) != nullptr;
        if (!safe) plain = false;
    }
    if (plain) return name;
#ifdef _WIN32
    return "\"" + name + "\"";
#else
    std::string text = "'";
    for (const char c : name) {
        if (c == '\'') text += "'\\''";
        else text += c;
    }
    return text + "'";
#endif
}

void print_report(const char* file_name, bool from_stdin, const LogShape& shape, const SuggestedLimits& limits) {
    fact("log:", from_stdin ? "standard input" : file_name);
    if (shape.grid > 0) {
        fact("grid:", count(shape.grid) + " x " + count(shape.grid) + " boxes (the first row has " + count(shape.grid) +
                          " values)");
    } else {
        fact("grid:", "none: the first row has no values, so nothing is drawn");
    }
    if (shape.grid > 0) {
        std::string boxes = count(kScanPlotWidth / shape.grid) + " x " + count(kScanPlotHeight / shape.grid) +
                            " pixels each in the viewer's window";
        if (limits.inside_boxes && !limits.clear_of_lines) boxes += ", too few to keep points off the grid lines";
        fact("boxes:", boxes);
    }
    fact("time blocks:", shape.blocks == 1 ? "1, at time 0"
                                           : count(shape.blocks) + ", at times 0 to " + number(shape.last_time));
    fact("values:", shape.values == 0 ? "none"
                                      : count(shape.values) + ", from " + number(shape.smallest) + " to " +
                                            number(shape.largest));
    if (shape.infinite.count > 0) {
        fact("beyond range:", tallied(shape.infinite, "value", "infinite: outside every box"));
    }
    fact("not numbers:", tallied(shape.not_numbers, "token", "read as 0"));
    fact("irregular rows:", tallied(shape.irregular_rows, "row", "a number of values not the first row's"));
    fact("long lines:", tallied(shape.long_lines, "line", "over 9999 characters: the rest is skipped"));
    fact("long rows:", tallied(shape.long_rows, "row", "over 400 values: the rest is skipped"));
    if (shape.unended_line > 0) {
        fact("last line:", "line " + count(shape.unended_line) + " has no line end: not drawn (" +
                               count(shape.unended_values) + " values)");
    } else {
        fact("last line:", "ends with its line end");
    }
    if (!limits.inside_boxes) fact("limits:", "none put every value inside its box; the values' own below");
    // What the viewer is to open: a pipe is read through its device name.
#ifdef _WIN32
    const std::string log = quoted(file_name);
#else
    const std::string log = from_stdin ? "/dev/stdin" : quoted(file_name);
#endif
    fact("plot with:", "pelmorix " + log + " " + limits.text[0] + " " + limits.text[1] + " " + limits.text[2] + " " +
                           limits.text[3]);
}

}  // namespace

int main(int argc, char* argv[]) {
    bool limits_only = false;
    const char* file_name = nullptr;
    bool options_done = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (!options_done && (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0)) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (!options_done && std::strcmp(arg, "--limits") == 0) {
            limits_only = true;
        } else if (!options_done && std::strcmp(arg, "--") == 0) {
            options_done = true;
        } else if (!options_done && arg[0] == '-' && arg[1] != '\0') {
            std::fprintf(stderr, "pelmorix-scan: unknown option %s\n", arg);
            std::fputs(kUsage, stderr);
            return 2;
        } else if (file_name == nullptr) {
            file_name = arg;
        } else {
            std::fprintf(stderr, "pelmorix-scan: one log at a time (%s, then %s)\n", file_name, arg);
            std::fputs(kUsage, stderr);
            return 2;
        }
    }
    if (file_name == nullptr) {
        std::fputs("pelmorix-scan: no log given\n", stderr);
        std::fputs(kUsage, stderr);
        return 2;
    }

    const bool from_stdin = std::strcmp(file_name, "-") == 0;
    CellLogStream stream;
    if (from_stdin) {
#ifdef _WIN32
        // Read byte for byte: the reader applies the line-end rules itself.
        _setmode(_fileno(stdin), _O_BINARY);
#endif
        open_cell_log_file(stream, stdin);
    } else {
        open_cell_log(stream, file_name);
    }
    LogShape shape;
    const bool read = scan_cell_log(stream, shape);
    int status = 0;
    if (!read) {
        // The viewer's own words, where the viewer says them.
        print_file_error(file_name);
        status = 1;
    } else {
        const SuggestedLimits limits = suggest_limits(shape, kScanPlotWidth, kScanPlotHeight);
        if (limits_only) {
            std::printf("%s %s %s %s\n", limits.text[0], limits.text[1], limits.text[2], limits.text[3]);
            if (!limits.inside_boxes) {
                std::fflush(stdout);
                std::fputs("pelmorix-scan: no limits put every value inside its box; these are the values' own\n",
                           stderr);
            }
        } else {
            print_report(file_name, from_stdin, shape, limits);
        }
    }
    report_early_end(stream, file_name);
    // Figures of a log that ended early are not the whole log's.
    if (stream.damaged || stream.read_error[0] != '\0' || stream.cut_short) status = 1;
    close_cell_log(stream);
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fputs("pelmorix-scan: cannot write to standard output\n", stderr);
        return 1;
    }
    return status;
}
