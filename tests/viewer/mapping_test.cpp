// Differential test of the cell grid mapping: cell_to_screen, and
// map_cell_row (a whole row at once, the time's x kept from row to row),
// against a straightforward evaluation of the mapping's formulas, step by
// step in long double, on many random plots, limits, cells and values; and
// the limits pelmorix-scan suggests, put through the mapping. And the
// rows drawn, against each point drawn by itself.
#include <gtest/gtest.h>
#include <platform_testing.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "graphics.h"
#include "graphics_internal.h"
#include "scan.h"
#include "support.h"
#include "viewer.h"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The formulas as written: fraction of the span (half-way when the limits
// are equal, a NaN staying one), box sizes by integer division, each
// coordinate in long double, truncated toward zero, saturated at the ends of
// the int range; no position when anything is not a number or no grid is set.
ScreenPoint formula(int column, int row, double x_value, double y_value) {
    const ScreenPoint none{0, 0, false};
    if (grid_columns <= 0 || grid_rows <= 0) return none;
    auto fraction = [](double value, double low, double high) -> long double {
        if (low == high) return std::isnan(value) ? value : 0.5L;
        return (static_cast<long double>(value) - static_cast<long double>(low)) /
               (static_cast<long double>(high) - static_cast<long double>(low));
    };
    const long double fx = fraction(x_value, minimox, maximox);
    const long double fy = fraction(y_value, minimoy, maximoy);
    if (std::isnan(fx) || std::isnan(fy)) return none;
    const long double box_width = plot_width / grid_columns;
    const long double box_height = plot_height / grid_rows;
    const long double rows_below = static_cast<long double>(static_cast<long long>(grid_rows) - row - 1);
    const long double x = (fx + static_cast<long double>(column)) * box_width;
    const long double y = static_cast<long double>(plot_height) - (fy + rows_below) * box_height;
    if (std::isnan(x) || std::isnan(y)) return none;
    auto truncate = [](long double v) {
        if (v >= 2147483648.0L) return INT_MAX;
        if (v <= -2147483649.0L) return INT_MIN;
        return static_cast<int>(std::trunc(v));
    };
    return ScreenPoint{truncate(x), truncate(y), true};
}

std::string describe(const ScreenPoint& p) {
    return p.placed ? "(" + std::to_string(p.x) + ", " + std::to_string(p.y) + ")" : "(not placed)";
}

std::string setting() {
    char text[400];
    std::snprintf(text, sizeof text, "plot %d x %d, grid %d x %d, x %.17g..%.17g, y %.17g..%.17g", plot_width,
                  plot_height, grid_columns, grid_rows, minimox, maximox, minimoy, maximoy);
    return text;
}

bool same(const ScreenPoint& a, const ScreenPoint& b) {
    return a.placed == b.placed && (!a.placed || (a.x == b.x && a.y == b.y));
}

// Random settings and values, weighted towards what makes mappings differ:
// equal, infinite and huge limits, values on and near box edges, special
// values, rows and columns beyond the grid.
class Generator {
public:
    explicit Generator(std::uint64_t seed) : rng_(seed) {}

    std::uint64_t next() { return rng_(); }
    int below(int n) { return static_cast<int>(rng_() % static_cast<std::uint64_t>(n)); }

    double any_bits() {
        const std::uint64_t b = rng_();
        double v;
        std::memcpy(&v, &b, sizeof v);
        return v;
    }

    double limit() {
        switch (below(10)) {
            case 0: return 0;
            case 1: return static_cast<double>(below(2001) - 1000);
            case 2: return kInf * (below(2) == 0 ? 1 : -1);
            case 3: return std::ldexp(static_cast<double>(below(1 << 20)), below(120) - 60);
            case 4: return any_bits();
            default: return static_cast<double>(below(200001) - 100000) / 997.0;
        }
    }

    // Sets the plot and the limits at random; min <= max, as the program checks.
    void setting() {
        plot_width = below(8) == 0 ? below(3) : below(2000);
        plot_height = below(8) == 0 ? below(3) : below(2000);
        grid_columns = below(20) == 0 ? 0 : 1 + below(below(2) == 0 ? 20 : 450);
        grid_rows = grid_columns;
        pick_limits(&minimox, &maximox);
        pick_limits(&minimoy, &maximoy);
    }

    double value(double low, double high) {
        const double span = high - low;
        switch (below(12)) {
            case 0: return any_bits();
            case 1: return low;
            case 2: return high;
            case 3: return kNaN;
            case 4: return kInf * (below(2) == 0 ? 1 : -1);
            case 5: {
                // On a box edge or a pixel edge, give or take an ulp.
                const double boxes = below(64);
                const double v = low + span * (boxes / 64.0);
                return below(3) == 0 ? v : std::nextafter(v, below(2) == 0 ? kInf : -kInf);
            }
            default:
                return low + span * (static_cast<double>(below(3000001)) / 1000000.0 - 1.0);
        }
    }

    int index() {
        switch (below(10)) {
            case 0: return INT_MAX - below(3);
            case 1: return below(1000);
            default: return below(grid_columns > 0 ? grid_columns + 2 : 5);
        }
    }

private:
    void pick_limits(double* low, double* high) {
        double a = limit();
        double b = below(6) == 0 ? a : limit();
        if (std::isnan(a)) a = 0;
        if (std::isnan(b)) b = 1;
        *low = std::fmin(a, b);
        *high = std::fmax(a, b);
    }

    std::mt19937_64 rng_;
};

// Each of the `count` points of a mapped row against the formulas for its
// column; a difference is reported and counted in *failures, up to five.
void compare_row_with_formulas(int row, double time, const std::vector<double>& values,
                               const std::vector<ScreenPoint>& points, int count, int* failures) {
    for (int c = 0; c < count && *failures < 5; ++c) {
        const ScreenPoint want = formula(c, row, time, values[c]);
        if (!same(points[c], want)) {
            ++*failures;
            ADD_FAILURE() << setting() << ": row " << row << ", column " << c << " at (" << time << ", " << values[c]
                          << ") maps to " << describe(points[c]) << ", the formulas give " << describe(want);
        }
    }
}

class Mapping : public ::testing::Test {
protected:
    void TearDown() override {
        plot_width = plot_height = grid_columns = grid_rows = 0;
        minimox = minimoy = maximox = maximoy = 0;
    }
};

TEST_F(Mapping, CellToScreenFollowsTheFormulas) {
    Generator g(11);
    int failures = 0;
    for (int s = 0; s < 3000 && failures < 5; ++s) {
        g.setting();
        for (int i = 0; i < 300 && failures < 5; ++i) {
            const int column = g.index();
            const int row = g.index();
            const double x = g.value(minimox, maximox);
            const double y = g.value(minimoy, maximoy);
            const ScreenPoint got = cell_to_screen(column, row, x, y);
            const ScreenPoint want = formula(column, row, x, y);
            if (!same(got, want)) {
                ++failures;
                ADD_FAILURE() << setting() << ": cell (" << column << ", " << row << ") at (" << x << ", " << y
                              << ") maps to " << describe(got) << ", the formulas give " << describe(want);
            }
        }
    }
}

// Whole rows, as the plot loop maps them: many rows at one time (so that the
// time's x is kept), then a new time, and now and then a change of plot or
// limits with the time unchanged (so that what is kept must be dropped).
TEST_F(Mapping, RowsMapAsEachPointByItself) {
    Generator g(29);
    g.setting();
    double time = 0;
    std::vector<double> values(kMaxRowValues + 10);
    std::vector<ScreenPoint> points(kMaxRowValues + 10);
    int failures = 0;
    for (int i = 0; i < 20000 && failures < 5; ++i) {
        switch (g.below(12)) {
            case 0: g.setting(); break;
            case 1: maximox = std::nextafter(maximox, kInf); break;
            case 2: minimox = std::nextafter(minimox, -kInf); break;
            case 3: plot_width += 1; break;
            case 4: grid_columns = grid_rows = 1 + g.below(450); break;
            case 5: time += 0.025; break;
            case 6: time = g.value(minimox, maximox); break;
            default: break;  // the same time and setting as the row before
        }
        const int count = g.below(8) == 0 ? kMaxRowValues + g.below(10) : 1 + g.below(g.below(2) == 0 ? 20 : 400);
        for (int c = 0; c < count; ++c) values[c] = g.value(minimoy, maximoy);
        const int row = g.index();
        const int mapped = map_cell_row(row, time, values.data(), count, points.data());
        const int expected_count = count < kMaxRowValues ? count : kMaxRowValues;
        if (mapped != expected_count) {
            ++failures;
            ADD_FAILURE() << "a row of " << count << " values maps " << mapped << " points";
            continue;
        }
        compare_row_with_formulas(row, time, values, points, mapped, &failures);
    }
}

// A run of rows to draw: its grid, blocks and values.
struct RowRun {
    int cells;
    int blocks;
    double span;      // the time axis, in runs of the blocks
    bool few_values;  // a handful of values (a cellular automaton's); else any between the limits
};

// The pictures, window then page, that a run of rows leaves on the headless
// display: each row drawn whole by plot_cell_row (`by_rows`), or each point
// by plot_cell_value. Drawn by rows, each row's points inside the plot
// area must be in the window as soon as the row is drawn; those that are
// not are counted in *missing. Many blocks to a pixel column, so that points repeat;
// some values beyond the limits or not numbers, some on the bottom limit or
// next to it; rows and columns past the grid; and the grid drawn again
// over the points a quarter of the way on. Any values: the odd rows' stay
// below their boxes' top lines, which are the even rows' bottom lines, so
// that only the even rows' own values set those.
std::vector<unsigned> drawn_picture(const RowRun& run, bool by_rows, int* missing) {
    setenv("PELMORIX_DISPLAY", "headless", 1);
    start_graphics();
    draw_title_bar("rows");
    draw_status_bar("ESC Aborta");
    measure_plot_area();
    minimox = 0;
    maximox = run.blocks * 0.025 * run.span;
    minimoy = 0;
    maximoy = 3;
    const double few[] = {0, 1, 2, 3, -1, 4, std::nan(""), 1.5};
    std::mt19937 random(5);
    std::uniform_real_distribution<double> any(0, 3);
    std::uniform_real_distribution<double> below_the_top(0, 2.5);
    const auto value = [&](int row) {
        if (run.few_values) return few[random() % (random() % 3 == 0 ? 8 : 2)];
        switch (random() % 16) {
            case 0: return 0.0;
            case 1: return std::nextafter(0.0, 1.0);
            case 2: return 1e-6;
            default: return row % 2 == 0 ? any(random) : below_the_top(random);
        }
    };
    std::vector<double> values(static_cast<std::size_t>(run.cells) + 1);
    for (int c = 0; c < run.cells; ++c) draw_grid_column(c, run.cells);
    const GraphicsContext& g = graphics_context();
    ViewportRecord plot;
    get_view_settings(&plot);
    double time = 0;
    for (int block = 0; block < run.blocks; ++block) {
        if (block == run.blocks / 4) {
            for (int c = 0; c < run.cells; ++c) draw_grid_column(c, run.cells);
        }
        for (int row = 0; row <= run.cells; ++row) {
            for (double& v : values) v = value(row);
            if (by_rows) {
                plot_cell_row(row, time, values.data(), run.cells + 1);
                for (int c = 0; c <= run.cells; ++c) {
                    const ScreenPoint p = cell_to_screen(c, row, time, values[c]);
                    unsigned rgb = 0;
                    if (p.placed && p.x >= 0 && p.x < plot_width && p.y >= 0 && p.y < plot_height &&
                        (!platform_testing::read_pixel(g.screen_dc, plot.left + p.x, plot.top + p.y, &rgb) ||
                         rgb != 0xFF00FF)) {  // colour 5, the points'
                        ++*missing;
                    }
                }
            } else {
                for (int c = 0; c <= run.cells; ++c) plot_cell_value(c, row, time, values[c]);
            }
        }
        time += 0.025;
    }
    std::vector<unsigned> picture;
    std::vector<unsigned> page;
    int width = 0;
    int height = 0;
    EXPECT_TRUE(platform_testing::read_surface(g.screen_dc, &picture, &width, &height));
    EXPECT_TRUE(platform_testing::read_surface(g.page_dc, &page, &width, &height));
    close_graphics();
    picture.insert(picture.end(), page.begin(), page.end());
    return picture;
}

TEST_F(Mapping, RowsDrawThePictureOfEachPointByItself) {
    // Large boxes of few values, their second half past the boxes; small
    // boxes, 7 pixels high, that fill up.
    for (const RowRun& run : {RowRun{5, 3000, 0.5, true}, RowRun{60, 300, 4, false}}) {
        SCOPED_TRACE(std::to_string(run.cells) + " cells");
        int missing = 0;
        const std::vector<unsigned> by_points = drawn_picture(run, false, &missing);
        const std::vector<unsigned> by_rows = drawn_picture(run, true, &missing);
        EXPECT_EQ(missing, 0) << "points not drawn with their rows";
        ASSERT_EQ(by_rows.size(), by_points.size());
        std::size_t differ = 0;
        for (std::size_t i = 0; i < by_rows.size(); ++i) differ += by_rows[i] != by_points[i];
        EXPECT_EQ(differ, 0u) << "pixels that differ, of " << by_rows.size();
    }
}

// Values a few ulps either side of the ones whose exact y is a whole pixel:
// where rounding decides the pixel, and a row must map exactly as each
// point by itself, on plots of every size and rows in and beyond the grid.
TEST_F(Mapping, ValuesAtPixelEdgesMapAsTheFormulasSay) {
    Generator g(43);
    std::vector<double> values(kMaxRowValues);
    std::vector<ScreenPoint> points(kMaxRowValues);
    int failures = 0;
    for (int s = 0; s < 3000 && failures < 5; ++s) {
        g.setting();
        if (grid_rows <= 0 || plot_height / grid_rows == 0) continue;
        if (s % 2 == 0) {  // limits like a log's, half the time
            minimoy = g.below(3) - 1.0;
            maximoy = minimoy + 0.5 + g.below(1000) / 7.0;
        }
        const long double low = minimoy;
        const long double span = static_cast<long double>(maximoy) - low;
        if (!std::isfinite(span) || span == 0) continue;
        const int row = g.below(4) == 0 ? g.index() : g.below(grid_rows);
        const long double box_height = plot_height / grid_rows;
        const long double rows_below = static_cast<long double>(static_cast<long long>(grid_rows) - row - 1);
        int count = 0;
        while (count < kMaxRowValues) {
            // The value whose y is exactly the pixel edge k, then its neighbours.
            const int k = g.below(plot_height + 5) - 2;
            const long double fy = (plot_height - k) / box_height - rows_below;
            double v = static_cast<double>(low + fy * span);
            const int step = g.below(7) - 3;
            for (int i = 0; i < std::abs(step); ++i) v = std::nextafter(v, step > 0 ? kInf : -kInf);
            values[count++] = v;
        }
        const double time = g.value(minimox, maximox);
        ASSERT_EQ(map_cell_row(row, time, values.data(), count, points.data()), count);
        compare_row_with_formulas(row, time, values, points, count, &failures);
    }
}

// The extended precision itself: a case where every step rounded to a
// double lands a pixel away, in a row as well as by itself.
TEST_F(Mapping, RowsKeepExtendedPrecision) {
    plot_width = 637;
    plot_height = 400;
    grid_columns = grid_rows = 2;
    minimox = 0;
    maximox = 1;
    minimoy = 0;
    maximoy = 10;
    const double values[] = {0.05, 0.05};
    ScreenPoint points[2];
    ASSERT_EQ(map_cell_row(1, 0, values, 2, points), 2);
    EXPECT_EQ(points[0].y, 398);
    EXPECT_EQ(points[1].y, 398);
    EXPECT_EQ(points[1].x, 318);
    EXPECT_EQ(cell_to_screen(0, 1, 0, 0.05).y, 398);
}

// The limits suggested for a log, then the viewer's own mapping: every
// value drawn lands strictly inside its own box (off the grid lines, inside
// the clip), the last block's too, in the viewer's window and in a bigger one.
TEST_F(Mapping, SuggestedLimitsKeepEveryValueInsideItsOwnBox) {
    struct Case {
        const char* what;
        int grid;           // values a row and rows a block
        int blocks;
        double low, high;   // the values run from low to high, both taken
        int short_every;    // every so many rows has one value less (0: none)
        bool unended;       // the last row has no line end (and is not drawn)
    } cases[] = {
        {"negative values only", 10, 40, -7.5, -0.003, 0, false},
        {"all values equal", 6, 30, 2.5, 2.5, 0, false},
        {"all values zero", 4, 3, 0, 0, 0, false},
        {"values of 1e-9", 5, 20, 1e-9, 3e-9, 0, false},
        {"values of 1e9", 5, 20, -2e9, 1e9, 0, false},
        {"one block", 8, 1, 0, 1, 0, false},
        {"rows of irregular length", 7, 12, -1, 1, 3, false},
        {"a last line without its line end", 3, 9, 0, 100, 0, true},
        {"values far from zero and close together", 4, 10, 1000.1, 1000.2, 0, false},
        {"boxes of 4 x 3 pixels", 150, 2, 0.5, 1.5, 0, false},
        {"boxes of 3 x 2 pixels", 212, 3, 0.5, 1.5, 0, false},
        {"boxes of 2 x 2 pixels", 220, 1, -3, 3, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        struct Drawn {
            int column, row;
            double time, value;
        };
        std::vector<Drawn> drawn;
        std::string log = "heading\n";
        double time = 0;
        int rows = 0;
        for (int b = 0; b < c.blocks; ++b, time += 0.025) {
            if (b > 0) log += "\n";
            for (int r = 0; r < c.grid; ++r, ++rows) {
                const int count = c.short_every > 0 && rows % c.short_every == 1 ? c.grid - 1 : c.grid;
                const bool last = b == c.blocks - 1 && r == c.grid - 1;
                for (int k = 0; k < count; ++k) {
                    // Both ends taken, and spread between them.
                    const int step = (b * 7 + r * 13 + k * 29) % 101;
                    const double v = c.low + (c.high - c.low) * (step / 100.0);
                    char text[32];
                    std::snprintf(text, sizeof text, "%.17g", v);
                    log += (k > 0 ? " " : "") + std::string(text);
                    if (!(last && c.unended)) drawn.push_back(Drawn{k, r, time, atof_value(text)});
                }
                if (!(last && c.unended)) log += "\n";
            }
        }
        viewer_test::ScratchDir dir;
        auto stream = std::make_unique<CellLogStream>();
        open_cell_log(*stream, dir.write("log.skv", log).c_str());
        LogShape shape;
        ASSERT_TRUE(scan_cell_log(*stream, shape));
        close_cell_log(*stream);
        ASSERT_EQ(shape.grid, c.grid);
        const SuggestedLimits limits = suggest_limits(shape, kScanPlotWidth, kScanPlotHeight);
        // Boxes 3 pixels wide and 2 high are the least that leave room off the lines.
        const bool room = kScanPlotWidth / c.grid >= 3 && kScanPlotHeight / c.grid >= 2;
        EXPECT_EQ(limits.clear_of_lines, room);
        ASSERT_TRUE(limits.inside_boxes);
        // The texts are what the viewer reads.
        EXPECT_EQ(atof_value(limits.text[0]), limits.minimox);
        EXPECT_EQ(atof_value(limits.text[1]), limits.minimoy);
        EXPECT_EQ(atof_value(limits.text[2]), limits.maximox);
        EXPECT_EQ(atof_value(limits.text[3]), limits.maximoy);
        for (const int scale : {1, 2}) {
            plot_width = kScanPlotWidth * scale + scale - 1;
            plot_height = kScanPlotHeight * scale + scale - 1;
            grid_columns = grid_rows = c.grid;
            minimox = limits.minimox;
            minimoy = limits.minimoy;
            maximox = limits.maximox;
            maximoy = limits.maximoy;
            const int width = plot_width / c.grid;
            const int height = plot_height / c.grid;
            // Off the lines where the boxes leave room; else on the box's own pixels.
            const int off = room ? 1 : 0;
            int failures = 0;
            for (const Drawn& d : drawn) {
                const ScreenPoint p = cell_to_screen(d.column, d.row, d.time, d.value);
                const int left = d.column * width + off;
                const int right = (d.column + 1) * width - 1 - off;
                const int top = plot_height - (c.grid - d.row) * height + off;
                const int bottom = plot_height - (c.grid - d.row - 1) * height - 1;
                if (p.placed && p.x >= left && p.x <= right && p.y >= top && p.y <= bottom && p.x < plot_width &&
                    p.y < plot_height) {
                    continue;
                }
                if (++failures <= 5) {
                    ADD_FAILURE() << "plot " << plot_width << " x " << plot_height << ", limits " << limits.text[0]
                                  << " " << limits.text[1] << " " << limits.text[2] << " " << limits.text[3]
                                  << ": value " << d.value << " at time " << d.time << " of box (" << d.column << ", "
                                  << d.row << ") maps to " << describe(p) << ", outside x " << left << ".." << right
                                  << ", y " << top << ".." << bottom;
                }
            }
            EXPECT_EQ(failures, 0);
        }
    }
}

}  // namespace
