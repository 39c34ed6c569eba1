// Prints what the viewer's number conversion and cell mapping compute, bit
// for bit, so that the Windows program's arithmetic can be compared with the
// native build's: the same source is built both ways and run with the same
// arguments.
//
//   pelmorix-probe atof TEXT...
//       one line per TEXT: the 64 bits of atof_value(TEXT) in hex; a value
//       that is not a number prints as "nan" or "-nan" by its sign, the only
//       part of it the program's output can show.
//   pelmorix-probe row LINE...
//       each LINE split and converted as the reader does a row of the cell
//       log: one line per LINE, the number of values, then each value as
//       above.
//   pelmorix-probe map WIDTH HEIGHT COLUMNS ROWS MINX MINY MAXX MAXY {COLUMN ROW TIME VALUE}...
//       sets the plot state and the limits, then one line per quadruple:
//       "x y" of cell_to_screen, or "-" when the point has no position.
//   pelmorix-probe message CODE...
//       one line per CODE: the system's text for it (FormatMessageA from the
//       system), its CR and LF written as \r and \n; "none" when there is
//       no text.
#include <windows.h>

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "viewer.h"

namespace {

int usage() {
    std::fputs(
        "usage: pelmorix-probe atof TEXT... | row LINE... |\n"
        "                      map W H COLUMNS ROWS MINX MINY MAXX MAXY {COLUMN ROW TIME VALUE}... |\n"
        "                      message CODE...\n",
        stderr);
    return 2;
}

void print_value(double v) {
    if (std::isnan(v)) {
        std::fputs(std::signbit(v) ? "-nan" : "nan", stdout);
        return;
    }
    std::uint64_t bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    std::printf("%016" PRIx64, bits);
}

int print_conversions(int count, char** texts) {
    for (int i = 0; i < count; ++i) {
        print_value(atof_value(texts[i]));
        std::putchar('\n');
    }
    return 0;
}

int print_rows(int count, char** lines) {
    static double values[kMaxRowValues];
    for (int i = 0; i < count; ++i) {
        const int n = split_row(lines[i], values);
        std::printf("%d:", n);
        for (int v = 0; v < n; ++v) {
            std::putchar(' ');
            print_value(values[v]);
        }
        std::putchar('\n');
    }
    return 0;
}

int print_mapping(int count, char** args) {
    if (count < 8 || (count - 8) % 4 != 0) return usage();
    plot_width = std::atoi(args[0]);
    plot_height = std::atoi(args[1]);
    grid_columns = std::atoi(args[2]);
    grid_rows = std::atoi(args[3]);
    minimox = atof_value(args[4]);
    minimoy = atof_value(args[5]);
    maximox = atof_value(args[6]);
    maximoy = atof_value(args[7]);
    for (int i = 8; i < count; i += 4) {
        const ScreenPoint p = cell_to_screen(std::atoi(args[i]), std::atoi(args[i + 1]), atof_value(args[i + 2]),
                                             atof_value(args[i + 3]));
        if (p.placed) std::printf("%d %d\n", p.x, p.y);
        else std::puts("-");
    }
    return 0;
}

int print_messages(int count, char** codes) {
    for (int i = 0; i < count; ++i) {
        char text[256] = {};
        const DWORD code = static_cast<DWORD>(std::strtoul(codes[i], nullptr, 10));
        if (FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code, 0, text, sizeof text, nullptr) == 0) {
            std::printf("%lu none\n", static_cast<unsigned long>(code));
            continue;
        }
        std::printf("%lu ", static_cast<unsigned long>(code));
        for (const char* c = text; *c != '\0'; ++c) {
            if (*c == '\r') std::fputs("\\r", stdout);
            else if (*c == '\n') std::fputs("\\n", stdout);
            else std::putchar(*c);
        }
        std::putchar('\n');
    }
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 2) return usage();
    int status = 2;
    if (std::strcmp(argv[1], "atof") == 0) status = print_conversions(argc - 2, argv + 2);
    else if (std::strcmp(argv[1], "row") == 0) status = print_rows(argc - 2, argv + 2);
    else if (std::strcmp(argv[1], "map") == 0) status = print_mapping(argc - 2, argv + 2);
    else if (std::strcmp(argv[1], "message") == 0) status = print_messages(argc - 2, argv + 2);
    else return usage();
    std::fflush(stdout);
    return status;
}
