// Cell grid geometry: which pixel of which cell box a (time, value) pair of
// a cell lands on, and the grid lines of the boxes.
#include <climits>
#include <cmath>

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

// Truncation toward zero, saturated at the ends of the int range, since a
// coordinate that far out is clipped wherever it lands.
int truncate_coordinate(long double v) {
    if (v >= 2147483648.0L) return INT_MAX;
    if (v <= -2147483649.0L) return INT_MIN;
    return static_cast<int>(v);
}

// The pixel at fractions (fx, fy) of box (column, row). Every step is
// carried out in long double and only the finished coordinate truncated:
// rounding the steps to double would move some points by a pixel.
ScreenPoint box_point(int column, int row, long double fx, long double fy) {
    if (grid_columns <= 0 || grid_rows <= 0 || std::isnan(fx) || std::isnan(fy)) return ScreenPoint{0, 0, false};
    const int box_width = plot_width / grid_columns;
    const int box_height = plot_height / grid_rows;
    // Formed in long long: a row index near INT_MAX must not overflow it.
    const long long rows_below = static_cast<long long>(grid_rows) - row - 1;
    const long double x = (fx + column) * box_width;
    const long double y = plot_height - (fy + rows_below) * box_height;
    if (std::isnan(x) || std::isnan(y)) return ScreenPoint{0, 0, false};  // an infinity times a box size of 0
    return ScreenPoint{truncate_coordinate(x), truncate_coordinate(y), true};
}

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

void draw_grid_column(int column, int count) {
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
