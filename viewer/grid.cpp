// Cell grid geometry: which pixel of which cell box a (time, value) pair of
// a cell lands on, and the grid lines of the boxes.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#if defined(__SSE2__) && defined(__GNUC__)
#include <emmintrin.h>
#endif

#include "graphics.h"
#include "viewer.h"

// Set by the entry point from the command line; read only here.
double minimox = 0;
double minimoy = 0;
double maximox = 0;
double maximoy = 0;

int plot_height = 0;
int plot_width = 0;
int point_color = 0;
int grid_columns = 0;
int grid_rows = 0;

#if defined(__GNUC__)
#define PELMORIX_ALL_WRITTEN_OUT __attribute__((flatten))
#else
#define PELMORIX_ALL_WRITTEN_OUT
#endif

namespace {

constexpr int kGridColor = 8;
constexpr int kPointColor = 5;

// Where `value` lies between two limits, as a fraction of their span, in
// extended precision. Equal limits have no span to divide by: every value
// then lands half-way across its box, which keeps the point visibly inside
// it whatever the value. A value that is not a number stays one.
long double axis_fraction(double value, double low, double high) {
    if (low == high) return std::isnan(value) ? static_cast<long double>(value) : 0.5L;
    return (static_cast<long double>(value) - low) / (static_cast<long double>(high) - low);
}

// The value at `fraction` of the span between two limits; equal limits
// (every value lands half-way, see axis_fraction) give that one value.
double axis_value(long double fraction, double low, double high) {
    if (low == high) return low;
    return static_cast<double>(low + fraction * (static_cast<long double>(high) - low));
}

// Truncation toward zero, saturated at the ends of the int range, since a
// coordinate that far out is clipped wherever it lands.
int truncate_coordinate(long double v) {
    if (v >= 2147483648.0L) return INT_MAX;
    if (v <= -2147483649.0L) return INT_MIN;
    return static_cast<int>(v);
}

// One coordinate of a point, or that the point has no position along it.
struct Coordinate {
    int value;
    bool placed;
};

// Every step of a coordinate is carried out in long double and only the
// finished coordinate truncated: rounding the steps to double would move
// some points by a pixel.

// x of the point at fraction fx across box column `column`.
Coordinate column_x(int column, long double fx, int box_width) {
    if (std::isnan(fx)) return Coordinate{0, false};
    const long double x = (fx + column) * box_width;
    if (std::isnan(x)) return Coordinate{0, false};  // an infinity times a box size of 0
    return Coordinate{truncate_coordinate(x), true};
}

// y of the point at fraction fy up box row `row`.
Coordinate row_y(int row, long double fy, int box_height) {
    if (std::isnan(fy)) return Coordinate{0, false};
    // Formed in long long: a row index near INT_MAX must not overflow it.
    const long long rows_below = static_cast<long long>(grid_rows) - row - 1;
    const long double y = plot_height - (fy + rows_below) * box_height;
    if (std::isnan(y)) return Coordinate{0, false};
    return Coordinate{truncate_coordinate(y), true};
}

// The pixel at fractions (fx, fy) of box (column, row).
ScreenPoint box_point(int column, int row, long double fx, long double fy) {
    if (grid_columns <= 0 || grid_rows <= 0) return ScreenPoint{0, 0, false};
    const Coordinate x = column_x(column, fx, plot_width / grid_columns);
    const Coordinate y = row_y(row, fy, plot_height / grid_rows);
    if (!x.placed || !y.placed) return ScreenPoint{0, 0, false};
    return ScreenPoint{x.value, y.value, true};
}

// The x of every column at one time. All rows of a time block share it, so
// it is worked out once per block, and kept while the time, the limits and
// the grid stay as they were (compared bit for bit).
struct ColumnCoordinates {
    std::uint64_t time_bits = 0;
    std::uint64_t low_bits = 0;
    std::uint64_t high_bits = 0;
    int plot_width = 0;
    int grid_columns = 0;
    int filled = 0;          // columns worked out so far; 0 = nothing kept
    int first_unplaced = 0;  // the first of them without an x; `filled` when none
    unsigned serial = 0;     // changes whenever an x may have changed
    Coordinate x[kMaxRowValues];
};

std::uint64_t bits_of(double v) {
    std::uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

ColumnCoordinates kept_columns;

const Coordinate* columns_at(double time, int count) {
    ColumnCoordinates& kept = kept_columns;
    if (kept.filled == 0 || kept.time_bits != bits_of(time) || kept.low_bits != bits_of(minimox) ||
        kept.high_bits != bits_of(maximox) || kept.plot_width != plot_width || kept.grid_columns != grid_columns) {
        kept.time_bits = bits_of(time);
        kept.low_bits = bits_of(minimox);
        kept.high_bits = bits_of(maximox);
        kept.plot_width = plot_width;
        kept.grid_columns = grid_columns;
        kept.filled = 0;
        kept.first_unplaced = 0;
        ++kept.serial;
    }
    if (kept.filled < count) {
        const long double fx = axis_fraction(time, minimox, maximox);
        const int box_width = plot_width / grid_columns;
        const bool all_placed = kept.first_unplaced == kept.filled;
        for (int c = kept.filled; c < count; ++c) kept.x[c] = column_x(c, fx, box_width);
        if (all_placed) {
            int c = kept.filled;
            while (c < count && kept.x[c].placed) ++c;
            kept.first_unplaced = c;
        }
        kept.filled = count;
        ++kept.serial;
    }
    return kept.x;
}

// What the row drawing has set, so that it is not set again: a log of
// many more blocks than a box is pixels wide (a cellular automaton's two
// states, hundreds of blocks to a pixel column) sets the same pixels over
// and over. Kept for each box column at its present x: a bit for each pixel
// row that holds a point, and for each of its cells the last two values
// whose points are among them, and whether all of its box's pixels are.
// Between two drawings of the grid only the row drawing sets pixels in the
// plot area, all in the point colour, so a pixel it set keeps that colour;
// the grid's lines cover points, so drawing it forgets everything, as a
// change of the geometry does, and a column's new x forgets that column.
struct DrawnPixels {
    // No value: a NaN, which is never drawn and equals nothing, so that no
    // value is passed over as if it matched it.
    static constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();

    unsigned grid_drawing = 0;     // the grid drawing all this is of
    unsigned columns_serial = 0;   // kept_columns' serial when the x's were last compared
    int plot_width = 0;            // the geometry it is of
    int plot_height = 0;
    int grid_columns = 0;
    int grid_rows = 0;
    std::uint64_t low_bits = 0;    // minimoy and maximoy, bit for bit
    std::uint64_t high_bits = 0;
    // For each kept box row, the values that land on its box above its
    // bottom line: from inside_from to inside_to; NaN when there are none.
    double inside_from[kMaxRowValues];
    double inside_to[kMaxRowValues];
    int columns = 0;               // box columns kept; 0 when nothing is kept
    int rows = 0;                  // box rows whose cells are kept
    int words = 0;                 // 64-bit words a column: a bit a pixel row, 0 to plot_height
    Coordinate x[kMaxRowValues];   // the x each column's pixels and cells are of
    std::vector<std::uint64_t> pixels;  // columns x words
    // For each kept cell (rows x columns), at its column's x: the last two
    // values whose points are set (kNoValue: none; a zero of either sign
    // stands for both, as both land on the same pixel), and whether every
    // pixel of its box above its bottom line is set (all bits set, or none).
    // Apart, so that the row drawing compares several cells at once.
    std::vector<double> latest;
    std::vector<double> before;
    std::vector<std::uint64_t> box_full;
};

// A box row's kept cells: column c's at [c] of each.
struct RowCells {
    double* latest;
    double* before;
    std::uint64_t* box_full;
};

DrawnPixels drawn_pixels;
unsigned grid_drawings = 0;  // how many times the grid has been drawn

// The values of box row `row` whose points land in its box above its
// bottom line: those from *from to *to, both NaN when none are known to.
// The mapping's steps are monotonic, so all values from a value that lands
// above the bottom line to the limit at the top land between the two lines.
// Only the bottom line's neighbourhood is left out: the values on the
// bottom limit or next to it land on the line, and are few (a count of 0).
void inside_values(int row, double* from, double* to) {
    *from = *to = std::nan("");
    const int box_height = plot_height / grid_rows;
    if (box_height < 2 || !(minimoy != maximoy)) return;
    // A thousandth of a pixel row up from the bottom limit: all but the
    // values on or next to it.
    const double start = minimoy + (maximoy - minimoy) * (1.0 / 1024 / box_height);
    if (!std::isfinite(start) || !(std::fabs(start - minimoy) <= std::fabs(maximoy - minimoy))) return;
    const Coordinate y = row_y(row, axis_fraction(start, minimoy, maximoy), box_height);
    const int bottom = plot_height - (grid_rows - row - 1) * box_height;
    if (!y.placed || y.value >= bottom) return;
    *from = std::min(start, maximoy);
    *to = std::max(start, maximoy);
}

void forget_column(DrawnPixels& d, int c) {
    std::uint64_t* pixels = d.pixels.data() + static_cast<std::size_t>(c) * static_cast<std::size_t>(d.words);
    std::fill(pixels, pixels + d.words, std::uint64_t{0});
    for (int r = 0; r < d.rows; ++r) {
        const std::size_t at = static_cast<std::size_t>(r) * static_cast<std::size_t>(d.columns) + c;
        d.latest[at] = DrawnPixels::kNoValue;
        d.before[at] = DrawnPixels::kNoValue;
        d.box_full[at] = 0;
    }
}

// What has been drawn, made to hold for the grid and the columns' x's as
// they are now: the one place where any of it is forgotten.
DrawnPixels& drawn_pixels_now() {
    DrawnPixels& d = drawn_pixels;
    const ColumnCoordinates& kept = kept_columns;
    if (d.grid_drawing != grid_drawings || d.plot_width != plot_width || d.plot_height != plot_height ||
        d.grid_columns != grid_columns || d.grid_rows != grid_rows || d.low_bits != bits_of(minimoy) ||
        d.high_bits != bits_of(maximoy)) {
        d.grid_drawing = grid_drawings;
        d.plot_width = plot_width;
        d.plot_height = plot_height;
        d.grid_columns = grid_columns;
        d.grid_rows = grid_rows;
        d.low_bits = bits_of(minimoy);
        d.high_bits = bits_of(maximoy);
        const bool usable = plot_height > 0 && grid_columns > 0 && grid_rows > 0;
        d.columns = usable ? std::min(grid_columns, kMaxRowValues) : 0;
        d.rows = usable ? std::min(grid_rows, kMaxRowValues) : 0;
        d.words = usable ? plot_height / 64 + 1 : 0;
        d.pixels.assign(static_cast<std::size_t>(d.columns) * static_cast<std::size_t>(d.words), 0);
        const std::size_t cells = static_cast<std::size_t>(d.rows) * static_cast<std::size_t>(d.columns);
        d.latest.assign(cells, DrawnPixels::kNoValue);
        d.before.assign(cells, DrawnPixels::kNoValue);
        d.box_full.assign(cells, 0);
        for (int c = 0; c < d.columns; ++c) d.x[c] = Coordinate{0, false};
        for (int r = 0; r < d.rows; ++r) inside_values(r, &d.inside_from[r], &d.inside_to[r]);
        d.columns_serial = kept.serial - 1;
    }
    if (d.columns_serial != kept.serial) {
        d.columns_serial = kept.serial;
        const int n = std::min(kept.filled, d.columns);
        for (int c = 0; c < n; ++c) {
            if (kept.x[c].value == d.x[c].value && kept.x[c].placed == d.x[c].placed) continue;
            d.x[c] = kept.x[c];
            forget_column(d, c);
        }
    }
    return d;
}

// Whether every pixel of box row `row` (of the kept ones) is set in column
// `column`, from its top line to the row above its bottom line.
bool box_pixels_set(const DrawnPixels& d, int column, int row) {
    const int box_height = d.plot_height / d.grid_rows;
    if (box_height < 2) return false;
    const int top = d.plot_height - (d.grid_rows - row) * box_height;
    const std::uint64_t* pixels = d.pixels.data() + static_cast<std::size_t>(column) * static_cast<std::size_t>(d.words);
    for (int y = top; y < top + box_height; ++y) {
        if ((pixels[y >> 6] & (std::uint64_t{1} << (y & 63))) == 0) return false;
    }
    return true;
}

// The y of a row's values in double arithmetic, where that is certain to
// truncate to the pixel the long double steps give: it spares the plot loop
// long double arithmetic (the x87 unit, on x86) for nearly every point. With |fraction| <= max_fraction,
// every step in double together is off the exact value by less than
// 2^-49 * M, and the long double steps by less still, where
// M = box_height * (max_fraction + |rows_below|) + |plot_height|, kept
// below 2^30. A double result further than M * 2^-40 from every integer
// therefore lies strictly between the same two integers as the long double
// one, and truncates alike. Values it cannot decide (near a pixel edge, far
// outside the limits, not finite) are left to the long double steps.
class QuickRowY {
public:
    QuickRowY(int row, int box_height) {
        const double span = maximoy - minimoy;
        const long long rows_below = static_cast<long long>(grid_rows) - row - 1;
        low_ = minimoy;
        scale_ = 1.0 / span;
        rows_below_ = static_cast<double>(rows_below);
        box_height_ = box_height;
        plot_height_ = plot_height;
        // The largest fraction whose y stays below 2^30 in size, at most 2^20.
        double most = kMaxFraction;
        if (box_height > 0) {
            // fmin's choice, without its library call on every row: a NaN
            // bound leaves `most` as it is.
            const double bound = (kMaxCoordinate - std::fabs(plot_height_)) / box_height_ - std::fabs(rows_below_);
            if (bound < most) most = bound;
        }
        const bool usable = std::isfinite(minimoy) && std::isfinite(span) && span != 0 && std::isfinite(scale_) &&
                            scale_ != 0 && std::fabs(rows_below_) <= kMaxRowsBelow && most >= 1;
        max_fraction_ = usable ? most : -1;  // no fraction passes -1
        const double largest = box_height_ * (most + std::fabs(rows_below_)) + std::fabs(plot_height_);
        margin_ = largest * kMarginScale;
    }

    // Sets *y and returns true when the double evaluation decides the pixel.
    bool y_of(double value, int* y) const {
        const double fy = (value - low_) * scale_;
        if (!(std::fabs(fy) <= max_fraction_)) return false;  // a NaN fails too
        const double v = plot_height_ - (fy + rows_below_) * box_height_;
        const int whole = static_cast<int>(v);
        const double part = std::fabs(v - whole);  // exact
        if (!(part > margin_ && part < 1 - margin_)) return false;
        *y = whole;
        return true;
    }

    // y_of for values[0] to values[n - 1]: sets ys[c] wherever it decides,
    // and lists the others, in order, in `undecided`; returns how many those
    // are. Two values a step where the processor has SSE2: the same double
    // operations, so the same pixels (every benchmark shape).
    int ys_of(const double* values, int n, int* ys, int* undecided) const {
        int k = 0;
        int c = 0;
#if defined(__SSE2__) && defined(__GNUC__)
        const __m128d magnitude = _mm_castsi128_pd(_mm_set1_epi64x(0x7FFFFFFFFFFFFFFFLL));
        const __m128d low = _mm_set1_pd(low_);
        const __m128d scale = _mm_set1_pd(scale_);
        const __m128d rows_below = _mm_set1_pd(rows_below_);
        const __m128d box_height = _mm_set1_pd(box_height_);
        const __m128d plot_height = _mm_set1_pd(plot_height_);
        const __m128d max_fraction = _mm_set1_pd(max_fraction_);
        const __m128d margin = _mm_set1_pd(margin_);
        const __m128d upper = _mm_set1_pd(1 - margin_);
        for (; c + 2 <= n; c += 2) {
            const __m128d fy = _mm_mul_pd(_mm_sub_pd(_mm_loadu_pd(values + c), low), scale);
            const __m128d inside = _mm_cmple_pd(_mm_and_pd(fy, magnitude), max_fraction);  // a NaN fails too
            const __m128d v = _mm_sub_pd(plot_height, _mm_mul_pd(_mm_add_pd(fy, rows_below), box_height));
            // Wherever `inside` holds, |v| < 2^30 and the truncation is exact.
            const __m128i whole = _mm_cvttpd_epi32(v);
            const __m128d part = _mm_and_pd(_mm_sub_pd(v, _mm_cvtepi32_pd(whole)), magnitude);
            const __m128d decided =
                _mm_and_pd(inside, _mm_and_pd(_mm_cmpgt_pd(part, margin), _mm_cmplt_pd(part, upper)));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(ys + c), whole);
            const int mask = _mm_movemask_pd(decided);
            if (mask != 3) {
                if ((mask & 1) == 0) undecided[k++] = c;
                if ((mask & 2) == 0) undecided[k++] = c + 1;
            }
        }
#endif
        for (; c < n; ++c) {
            if (!y_of(values[c], &ys[c])) undecided[k++] = c;
        }
        return k;
    }

private:
    static constexpr double kMaxFraction = 1048576;       // 2^20 spans beyond the limits
    static constexpr double kMaxRowsBelow = 1048576;      // 2^20 rows beyond the grid
    static constexpr double kMaxCoordinate = 1073741824;  // 2^30: far inside the int range
    static constexpr double kMarginScale = 1.0 / 1099511627776.0;  // 2^-40

    double low_;
    double scale_;  // 1 / span of the limits
    double rows_below_;
    double box_height_;
    double plot_height_;
    double max_fraction_;  // -1 when the limits or the row leave the double way out
    double margin_;
};

}  // namespace

void measure_plot_area() {
    ViewportRecord viewport;
    get_view_settings(&viewport);
    plot_height = viewport.bottom - viewport.top;
    plot_width = viewport.right - viewport.left;
}

ScreenPoint cell_to_screen(int column, int row, double x_value, double y_value) {
    return box_point(column, row, axis_fraction(x_value, minimox, maximox), axis_fraction(y_value, minimoy, maximoy));
}

bool screen_to_cell(int x, int y, CellReading* reading) {
    if (grid_columns <= 0 || grid_rows <= 0) return false;
    const int box_width = plot_width / grid_columns;
    const int box_height = plot_height / grid_rows;
    if (box_width <= 0 || box_height <= 0) return false;
    // The grid's lines (see draw_grid_column): columns 0 and
    // (c + 1) x box width - 1, rows top + k x box height, with the grid's
    // top row at `top`; the bottom one, at plot_height, is never shown.
    const long long right_line = static_cast<long long>(grid_columns) * box_width - 1;
    if (x <= 0 || x >= right_line) return false;
    const int column = x / box_width;
    if (x == (column + 1) * box_width - 1) return false;
    const int top = plot_height - grid_rows * box_height;
    if (y <= top || y >= plot_height) return false;
    const int row = (y - top) / box_height;
    if ((y - top) % box_height == 0) return false;
    // cell_to_screen solved for the time and value at the pixel's centre,
    // in the same extended precision.
    const long double fx = (x + 0.5L) / box_width - column;
    const long double fy = (plot_height - (y + 0.5L)) / box_height - (grid_rows - row - 1);
    reading->column = column;
    reading->row = row;
    reading->time = axis_value(fx, minimox, maximox);
    reading->value = axis_value(fy, minimoy, maximoy);
    return true;
}

void draw_grid_column(int column, int count) {
    ++grid_drawings;  // its lines may cover points drawn before
    grid_columns = count;
    grid_rows = count;
    set_line_style(0, 0, 1);
    set_color(kGridColor);
    for (int k = 0; k <= count; ++k) {
        // The corner of box (column, k) at (maximox, maximoy): fractions of
        // exactly 1, taken as such so that equal or infinite limits, which
        // have no usable span, still give the grid its lines.
        const ScreenPoint corner = box_point(column, k, 1.0L, 1.0L);
        draw_rectangle(0, 0, corner.x - 1, corner.y);
    }
}

void plot_cell_value(int column, int row, double time, double value) {
    point_color = kPointColor;
    const ScreenPoint p = cell_to_screen(column, row, time, value);
    if (p.placed) put_pixel(p.x, p.y, point_color);
}

namespace {

// A row's points: column c's at (xs[c].value, ys[c]) when `all_placed`,
// else only where placed[c].
struct MappedRow {
    const Coordinate* xs;
    int ys[kMaxRowValues];
    bool all_placed;
    bool placed[kMaxRowValues];
};

// The y of the values of one row that the double way left undecided, each
// worked out in the long double steps once: a log of whole numbers (a
// cellular automaton's states, a spin model's spins) has few distinct
// values, and with limits at whole numbers they lie on pixel edges, where
// the double way decides none of them (the benchmark's states and spins
// logs). Kept for one row only, since y depends on the row.
class RowYMemo {
public:
    RowYMemo(int row, int box_height, const QuickRowY& quick) : row_(row), box_height_(box_height), quick_(quick) {}

    Coordinate y_of(double value) {
        const std::uint64_t bits = bits_of(value);
        const auto slot = static_cast<unsigned>((bits * 0x9E3779B97F4A7C15ULL) >> (64 - kSlotBits));
        Entry& e = entries_[slot];
        if ((kept_ & (1u << slot)) == 0 || e.bits != bits) {
            ++misses_;
            e.bits = bits;
            int y = 0;
            e.y = quick_.y_of(value, &y) ? Coordinate{y, true}
                                         : row_y(row_, axis_fraction(value, minimoy, maximoy), box_height_);
            kept_ |= 1u << slot;
        }
        return e.y;
    }

    int misses() const { return misses_; }

private:
    static constexpr int kSlotBits = 3;
    struct Entry {
        std::uint64_t bits;
        Coordinate y;
    };
    int row_;
    int box_height_;
    const QuickRowY& quick_;
    int misses_ = 0;
    unsigned kept_ = 0;  // a bit a slot: the entries that hold a value of this row
    Entry entries_[1 << kSlotBits];
};

// Whether the next row is mapped a distinct value at a time: it is while
// the rows before it had few distinct values, or most of their values lay
// where the double way decides nothing. Only the speed depends on it.
bool map_by_value = false;

// The y of values[0] to values[n - 1] (n at most kMaxRowValues) in box row
// `row` of a sized grid, into ys; lists, in order, the positions of those
// without one in `unplaced` and returns how many those are.
int map_row_ys(int row, const double* values, int n, int* ys, int* unplaced) {
    const int box_height = plot_height / grid_rows;
    const QuickRowY quick(row, box_height);
    RowYMemo memo(row, box_height, quick);
    int undecided[kMaxRowValues];
    int without = 0;
    if (map_by_value) {
        for (int c = 0; c < n; ++c) {
            const Coordinate y = memo.y_of(values[c]);
            ys[c] = y.value;
            if (!y.placed) unplaced[without++] = c;
        }
        map_by_value = memo.misses() * 4 <= n;
    } else {
        const int left = quick.ys_of(values, n, ys, undecided);
        // The undecided ones in the long double steps.
        for (int k = 0; k < left; ++k) {
            const int c = undecided[k];
            const Coordinate y = memo.y_of(values[c]);
            ys[c] = y.value;
            if (!y.placed) unplaced[without++] = c;
        }
        map_by_value = left * 2 > n && memo.misses() * 4 <= n;
    }
    return without;
}

// Maps a row of n values (1 to kMaxRowValues) on a sized grid.
void map_row(int row, double time, const double* values, int n, MappedRow* out) {
    out->xs = columns_at(time, n);
    int unplaced[kMaxRowValues];
    const int without = map_row_ys(row, values, n, out->ys, unplaced);
    out->all_placed = without == 0 && kept_columns.first_unplaced >= n;
    if (out->all_placed) return;
    for (int c = 0; c < n; ++c) out->placed[c] = out->xs[c].placed;
    for (int k = 0; k < without; ++k) out->placed[unplaced[k]] = false;
}

}  // namespace

int map_cell_row(int row, double time, const double* values, int count, ScreenPoint* points) {
    const int n = count < kMaxRowValues ? count : kMaxRowValues;
    if (n <= 0) return 0;
    if (grid_columns <= 0 || grid_rows <= 0) {
        for (int c = 0; c < n; ++c) points[c] = ScreenPoint{0, 0, false};
        return n;
    }
    MappedRow mapped;
    map_row(row, time, values, n, &mapped);
    for (int c = 0; c < n; ++c) {
        const bool placed = mapped.all_placed || mapped.placed[c];
        points[c] = placed ? ScreenPoint{mapped.xs[c].value, mapped.ys[c], true} : ScreenPoint{0, 0, false};
    }
    return n;
}

namespace {

// Whether the next rows look up the values their cells have drawn at this
// x before mapping them: they do unless most cells of the last row looked
// up kept two values and missed (a log of many distinct values); the look-up
// is then tried again after kRowsBetweenTries rows. Cells that keep fewer
// (a column at a new x) do not count, as the look-up fills them. Only the
// speed depends on it.
bool pass_over_seen = true;
int rows_until_try = 0;
constexpr int kRowsBetweenTries = 64;

// Draws the points of `fresh` values of a row, the k-th in box column
// columns[k] (k itself when `all_columns`), mapped with ys and `unplaced`
// as map_row_ys gives them. A pixel of the plot area (or of the row just
// below it) is set once for each x of its box column; others (clipped ones)
// go to put_pixel every time. `cells`: the row's kept cells, or nulls. When
// `note_values`, every value whose point is now drawn is noted there as its
// cell's latest.
template <bool all_columns, bool note_values>
inline void draw_row_points(DrawnPixels& drawn, int row, const RowCells& cells, const Coordinate* xs,
                            const int* columns, const double* values, int fresh, const int* ys, const int* unplaced) {
    const int kept = drawn.columns;
    const auto pixel_rows = static_cast<unsigned>(drawn.plot_height);
    int next_unplaced = 0;
    for (int k = 0; k < fresh; ++k) {
        if (k == unplaced[next_unplaced]) {
            ++next_unplaced;
            continue;
        }
        const int column = all_columns ? k : columns[k];
        if (!xs[column].placed) continue;
        const int y = ys[k];
        if (note_values && column < kept) {
            const double value = values[k];
            if (!(cells.latest[column] == value)) {
                cells.before[column] = cells.latest[column];
                cells.latest[column] = value;
            }
        }
        if (column < kept && static_cast<unsigned>(y) <= pixel_rows) {
            std::uint64_t& word = drawn.pixels[static_cast<std::size_t>(column) * static_cast<std::size_t>(drawn.words) +
                                               (static_cast<unsigned>(y) >> 6)];
            const std::uint64_t bit = std::uint64_t{1} << (static_cast<unsigned>(y) & 63);
            if ((word & bit) != 0) continue;
            word |= bit;
            if (cells.box_full != nullptr) cells.box_full[column] = box_pixels_set(drawn, column, row) ? ~std::uint64_t{0} : 0;
        }
        put_pixel(xs[column].value, y, kPointColor);  // point_color, as a constant
    }
}

}  // namespace

// Every call plot_cell_row makes, put_pixel's and SetPixel's as far as they
// can be, written out in it: the row's points then cost no calls (the
// benchmark's every shape, smooth and noisy).
PELMORIX_ALL_WRITTEN_OUT void plot_cell_row(int row, double time, const double* values, int count) {
    point_color = kPointColor;
    const int n = count < kMaxRowValues ? count : kMaxRowValues;
    if (n <= 0 || grid_columns <= 0 || grid_rows <= 0) return;
    const Coordinate* xs = columns_at(time, n);
    DrawnPixels& drawn = drawn_pixels_now();
    RowCells cells{nullptr, nullptr, nullptr};
    if (row >= 0 && row < drawn.rows) {
        const std::size_t first = static_cast<std::size_t>(row) * static_cast<std::size_t>(drawn.columns);
        cells = RowCells{drawn.latest.data() + first, drawn.before.data() + first, drawn.box_full.data() + first};
    }
    // Mapped whole before any of it is drawn: the mapping reads nothing
    // that drawing changes, and its arithmetic runs far slower when pixel
    // stores come between its steps.
    int ys[kMaxRowValues];
    int unplaced[kMaxRowValues + 1];
    if (cells.latest == nullptr || !pass_over_seen) {
        if (cells.latest != nullptr && --rows_until_try <= 0) pass_over_seen = true;
        const int without = map_row_ys(row, values, n, ys, unplaced);
        unplaced[without] = n;  // past the last
        draw_row_points<true, false>(drawn, row, cells, xs, nullptr, values, n, ys, unplaced);
        return;
    }
    // The values whose points are known to be set are passed over before
    // they are mapped: one of the cell's last two, or any that lands above
    // its box's bottom line once all of those pixels are set. The others
    // are gathered, with their columns.
    const int kept = std::min(n, drawn.columns);
    const double lowest = drawn.inside_from[row];
    const double highest = drawn.inside_to[row];
    int fresh_columns[kMaxRowValues];
    double fresh_values[kMaxRowValues];
    int fresh = 0;
    int c = 0;
    // Without a branch a value: which of a cell's values comes is as random
    // as the log, and a branch on it would be mispredicted half the time.
    // Where the processor has SSE2, four at a time, and a branch on whether
    // any of the four is fresh, which nearly none are once the cells keep
    // their values.
#if defined(__SSE2__) && defined(__GNUC__)
    const __m128d low2 = _mm_set1_pd(lowest);
    const __m128d high2 = _mm_set1_pd(highest);
    // Bit k for each of the two values from c on that are passed over.
    const auto seen_pair = [&](int at) {
        const __m128d v = _mm_loadu_pd(values + at);
        const __m128d full = _mm_castsi128_pd(_mm_loadu_si128(reinterpret_cast<const __m128i*>(cells.box_full + at)));
        // A NaN compares false: an empty interval, a cell without values.
        const __m128d inside = _mm_and_pd(full, _mm_and_pd(_mm_cmpge_pd(v, low2), _mm_cmple_pd(v, high2)));
        const __m128d kept_value =
            _mm_or_pd(_mm_cmpeq_pd(v, _mm_loadu_pd(cells.latest + at)), _mm_cmpeq_pd(v, _mm_loadu_pd(cells.before + at)));
        return _mm_movemask_pd(_mm_or_pd(inside, kept_value));
    };
    for (; c + 4 <= kept; c += 4) {
        const int seen = seen_pair(c) | seen_pair(c + 2) << 2;
        if (seen == 0xF) continue;
        for (int k = 0; k < 4; ++k) {
            fresh_columns[fresh] = c + k;
            fresh_values[fresh] = values[c + k];
            fresh += ((seen >> k) & 1) ^ 1;
        }
    }
#endif
    for (; c < kept; ++c) {
        const double value = values[c];
        const bool inside = (cells.box_full[c] != 0) & (value >= lowest) & (value <= highest);  // a NaN is not
        fresh_columns[fresh] = c;
        fresh_values[fresh] = value;
        fresh += static_cast<int>(!(cells.latest[c] == value) & !(cells.before[c] == value) & !inside);
    }
    if (fresh * 2 > kept) {
        int missed = 0;  // values not found although their cell keeps two
        for (int k = 0; k < fresh; ++k) missed += !std::isnan(cells.before[fresh_columns[k]]);
        if (missed * 2 > kept) {
            pass_over_seen = false;
            rows_until_try = kRowsBetweenTries;
        }
    }
    for (; c < n; ++c) {
        fresh_columns[fresh] = c;
        fresh_values[fresh++] = values[c];
    }
    if (fresh == 0) return;
    const int without = map_row_ys(row, fresh_values, fresh, ys, unplaced);
    unplaced[without] = fresh;  // past the last
    draw_row_points<false, true>(drawn, row, cells, xs, fresh_columns, fresh_values, fresh, ys, unplaced);
}
